#include "platform/win32desktop/Folders.h"

#include <windows.h>

#include <algorithm>
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

bool lessIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_LESS_THAN;
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

bool list(const std::wstring& folder, Listing& out, unsigned long& error) {
    std::wstring pattern = folder;
    if (pattern.empty() || pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW entry;
    HANDLE find =
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    out = {};
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L".." ||
            (entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
            continue;
        (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? out.folders : out.files).push_back(name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    std::sort(out.folders.begin(), out.folders.end(), lessIgnoringCase);
    std::sort(out.files.begin(), out.files.end(), lessIgnoringCase);
    return true;
}

} // namespace folders
