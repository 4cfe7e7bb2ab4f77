#include "platform/win32desktop/Folders.h"

#include <windows.h>

#include <cwctype>

namespace folders {

namespace {

std::wstring shownDrive(const std::wstring& root) {
    std::wstring shown{wchar_t(std::towlower(root[0])), L':'};
    // Removable drives are not asked for their label: that would spin up or wait for a medium.
    const UINT type = GetDriveTypeW(root.c_str());
    wchar_t label[MAX_PATH + 1] = {};
    if (type == DRIVE_FIXED || type == DRIVE_RAMDISK) {
        if (GetVolumeInformationW(root.c_str(), label, MAX_PATH, nullptr, nullptr, nullptr, nullptr, 0) &&
            label[0] != L'\0')
            shown += L" [" + std::wstring(label) + L"]";
    }
    return shown;
}

} // namespace

std::vector<Drive> drives() {
    wchar_t buffer[512] = {};
    const DWORD length = GetLogicalDriveStringsW(DWORD(std::size(buffer) - 1), buffer);
    std::vector<Drive> out;
    for (const wchar_t* root = buffer; root < buffer + length && *root; root += wcslen(root) + 1)
        out.push_back({root, shownDrive(root)});
    return out;
}

std::wstring currentFolder() {
    std::wstring path(GetCurrentDirectoryW(0, nullptr), L'\0');
    path.resize(GetCurrentDirectoryW(DWORD(path.size()), path.data()));
    return path;
}

} // namespace folders
