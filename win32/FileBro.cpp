#include "win32/FileBro.h"

#include "core/Mod.h"
#include "forms/Wording.h"
#include "win32/ControlIds.h"
#include "win32/MessageBoxes.h"
#include "win32/Wide.h"

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
    SendMessageW(control("Check1"), BM_SETCHECK, m_mod.recursive ? BST_CHECKED : BST_UNCHECKED, 0);
    fillDrives();
    // Every fresh picker starts at the process's current folder.
    openFolder(folders::currentFolder());
}

void FileBro::fillDrives() {
    m_drives = folders::drives();
    for (const folders::Drive& drive : m_drives)
        SendMessageW(control("Drive1"), CB_ADDSTRING, 0, LPARAM(drive.shown.c_str()));
}

void FileBro::showDriveOf(const std::wstring& folder) {
    for (std::size_t i = 0; i < m_drives.size(); ++i)
        if (std::towlower(m_drives[i].root[0]) == std::towlower(folder[0]))
            SendMessageW(control("Drive1"), CB_SETCURSEL, i, 0);
}

bool FileBro::openFolder(const std::wstring& folder) {
    folders::Listing listing;
    unsigned long error = 0;
    if (!folders::list(folder, listing, error))
        return false;
    m_folder = folder;
    m_chain = chainOf(folder);
    m_subfolders = listing.folders;
    std::vector<std::wstring> rows;
    for (std::size_t i = 0; i < m_chain.size(); ++i)
        rows.push_back(std::wstring(i * 2, L' ') + lastName(m_chain[i]));
    for (const std::wstring& name : m_subfolders)
        rows.push_back(std::wstring(m_chain.size() * 2, L' ') + name);
    fill(control("Dir1"), rows);
    SendMessageW(control("Dir1"), LB_SETCURSEL, m_chain.size() - 1, 0);
    fill(control("File1"), listing.files);
    showDriveOf(folder);
    return true;
}

void FileBro::drive1Change() {
    const LRESULT index = SendMessageW(control("Drive1"), CB_GETCURSEL, 0, 0);
    if (index < 0 || std::size_t(index) >= m_drives.size())
        return;
    // A drive that cannot be entered leaves Dir1 and File1 where they were; Drive1 keeps showing
    // the drive the user picked.
    if (!openFolder(m_drives[std::size_t(index)].root))
        showMessage(m_hwnd, toWide(layout::kDriveUnavailable), MessageIcon::Information);
}

void FileBro::dir1Open() {
    const LRESULT row = SendMessageW(control("Dir1"), LB_GETCURSEL, 0, 0);
    if (row < 0)
        return;
    const std::size_t r = std::size_t(row);
    std::wstring target = r < m_chain.size() ? m_chain[r] : m_chain.back();
    if (r >= m_chain.size())
        target += (target.back() == L'\\' ? L"" : L"\\") + m_subfolders[r - m_chain.size()];
    openFolder(target);
}

void FileBro::onCommand(int id, int code) {
    if (id == idOf("Drive1") && code == CBN_SELCHANGE)
        drive1Change();
    else if (id == idOf("Dir1") && code == LBN_DBLCLK)
        dir1Open();
    else if (id == idOf("Command1") && code == BN_CLICKED)
        closeConfirming();
    else if (id == idOf("Check1") && code == BN_CLICKED)
        m_mod.recursive = isChecked("Check1");
}

void FileBro::confirm() {
    // The root of a drive keeps its one backslash; any other folder gets one.
    confirmFolder(m_mod, toUtf8(m_folder), m_paths);
    m_mod.recursive = isChecked("Check1");
}

void FileBro::onClose() { closeConfirming(); }

void FileBro::closeConfirming() {
    if (!exists())
        return;
    // With no folder shown there is nothing the user could have meant to confirm.
    if (!m_folder.empty())
        confirm();
    DestroyWindow(m_hwnd);
}

} // namespace win32ui
