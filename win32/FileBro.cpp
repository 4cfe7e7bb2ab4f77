#include "win32/FileBro.h"

#include "core/Mod.h"
#include "forms/ReasonText.h"
#include "forms/Wording.h"
#include "platform/FolderListing.h"
#include "win32/ControlIds.h"
#include "win32/MessageBoxes.h"
#include "win32/Wide.h"

#include <algorithm>
#include <cwctype>

namespace win32ui {

namespace {

// The folders from the root down to folder: "C:\", "C:\Web", "C:\Web\site".
std::vector<std::wstring> chainOf(const std::wstring& folder) {
    std::vector<std::wstring> chain;
    const std::size_t rootEnd = folder.find(L'\\');
    if (rootEnd == std::wstring::npos)
        return {folder};
    chain.push_back(folder.substr(0, rootEnd + 1));
    for (std::size_t at = folder.find(L'\\', rootEnd + 1); at != std::wstring::npos;
         at = folder.find(L'\\', at + 1))
        chain.push_back(folder.substr(0, at));
    if (folder.size() > rootEnd + 1)
        chain.push_back(folder);
    return chain;
}

std::wstring lastName(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\', path.size() - 2);
    return slash == std::wstring::npos || path.back() == L'\\' ? path : path.substr(slash + 1);
}

bool lessIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_LESS_THAN;
}

// The names as the lists show them, in their order.
std::vector<std::wstring> shown(const std::vector<std::string>& names) {
    std::vector<std::wstring> out;
    out.reserve(names.size());
    for (const std::string& name : names)
        out.push_back(toWide(name));
    std::sort(out.begin(), out.end(), lessIgnoringCase);
    return out;
}

void fill(HWND list, const std::vector<std::wstring>& rows) {
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const std::wstring& row : rows)
        SendMessageW(list, LB_ADDSTRING, 0, LPARAM(row.c_str()));
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

} // namespace

FileBro::FileBro(Mod& mod, const platform::PathRules& paths)
    : FormWindow(layout::kFileBro, kFileBroClass), m_mod(mod), m_paths(paths) {}

void FileBro::showSingle(HWND opener) {
    if (!exists())
        create(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW);
    bringUp(opener);
}

void FileBro::onCreated() {
    SendMessageW(control(kFileBroCheck1), BM_SETCHECK, m_mod.recursive ? BST_CHECKED : BST_UNCHECKED, 0);
    fillDrives();
    // Every fresh picker starts at the process's current folder.
    (void)openFolder(folders::currentFolder());
}

void FileBro::fillDrives() {
    m_drives = folders::drives();
    for (const folders::Drive& drive : m_drives)
        SendMessageW(control(kFileBroDrive1), CB_ADDSTRING, 0, LPARAM(drive.shown.c_str()));
}

void FileBro::showDriveOf(const std::wstring& folder) {
    for (std::size_t i = 0; i < m_drives.size(); ++i)
        if (std::towlower(m_drives[i].root[0]) == std::towlower(folder[0]))
            SendMessageW(control(kFileBroDrive1), CB_SETCURSEL, i, 0);
}

std::error_code FileBro::openFolder(const std::wstring& folder) {
    platform::FolderListing listing;
    if (std::error_code ec =
            platform::listFolder(platform::systemFileSystem(), m_paths, toUtf8(folder), listing))
        return ec;
    m_folder = folder;
    m_chain = chainOf(folder);
    m_subfolders = shown(listing.folders);
    std::vector<std::wstring> rows;
    for (std::size_t i = 0; i < m_chain.size(); ++i)
        rows.push_back(std::wstring(i * 2, L' ') + lastName(m_chain[i]));
    for (const std::wstring& name : m_subfolders)
        rows.push_back(std::wstring(m_chain.size() * 2, L' ') + name);
    fill(control(kFileBroDir1), rows);
    SendMessageW(control(kFileBroDir1), LB_SETCURSEL, m_chain.size() - 1, 0);
    fill(control(kFileBroFile1), shown(listing.files));
    showDriveOf(folder);
    return {};
}

void FileBro::drive1Change() {
    const LRESULT index = SendMessageW(control(kFileBroDrive1), CB_GETCURSEL, 0, 0);
    if (index < 0 || std::size_t(index) >= m_drives.size())
        return;
    // A drive that cannot be entered leaves Dir1 and File1 where they were; Drive1 keeps showing
    // the drive the user picked.
    if (openFolder(m_drives[std::size_t(index)].root))
        showMessage(m_hwnd, toWide(layout::kDriveUnavailable), MessageIcon::Information);
}

void FileBro::dir1Open() {
    const LRESULT row = SendMessageW(control(kFileBroDir1), LB_GETCURSEL, 0, 0);
    if (row < 0)
        return;
    const std::size_t r = std::size_t(row);
    std::wstring target = r < m_chain.size() ? m_chain[r] : m_chain.back();
    if (r >= m_chain.size())
        target += (target.back() == L'\\' ? L"" : L"\\") + m_subfolders[r - m_chain.size()];
    // A folder that cannot be opened (no permission, renamed or removed since the list was drawn)
    // says why; the lists stay where they were.
    if (const std::error_code ec = openFolder(target))
        showMessage(m_hwnd, toWide(layout::folderNotOpened(toUtf8(target), chineseSystemError(ec))),
                    MessageIcon::Information);
}

void FileBro::onCommand(int id, int code) {
    switch (id) {
    case kFileBroDrive1:
        if (code == CBN_SELCHANGE)
            drive1Change();
        break;
    case kFileBroDir1:
        if (code == LBN_DBLCLK)
            dir1Open();
        break;
    case kFileBroCommand1:
        if (code == BN_CLICKED)
            closeConfirming();
        break;
    case kFileBroCheck1:
        if (code == BN_CLICKED)
            m_mod.recursive = isChecked(kFileBroCheck1);
        break;
    default:
        break;
    }
}

void FileBro::confirm() {
    // The root of a drive keeps its one backslash; any other folder gets one.
    confirmFolder(m_mod, toUtf8(m_folder), m_paths);
    m_mod.recursive = isChecked(kFileBroCheck1);
}

void FileBro::onClose() { closeConfirming(); }

void FileBro::closeConfirming() {
    if (!exists())
        return;
    // With no folder shown there is nothing the user could have meant to confirm.
    if (!m_folder.empty())
        confirm();
    destroy();
}

} // namespace win32ui
