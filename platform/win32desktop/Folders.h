#pragma once

#include <string>
#include <vector>

// What the folder picker asks of the system: the drives, the process's current folder, and the
// names in one folder.
namespace folders {

struct Drive {
    std::wstring root;  // "C:\"
    std::wstring shown; // as a drive list shows it: "c: [label]"
};

std::vector<Drive> drives();

// The process's current folder ("C:\Web", "C:\").
std::wstring currentFolder();

struct Listing {
    std::vector<std::wstring> folders; // subfolders, hidden and system ones left out, by name
    std::vector<std::wstring> files;   // files, hidden and system ones left out, by name
};

// False, with the system's error code in error, when the folder cannot be read (a drive without
// a medium, say).
bool list(const std::wstring& folder, Listing& out, unsigned long& error);

} // namespace folders
