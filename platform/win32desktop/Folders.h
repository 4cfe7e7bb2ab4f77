#pragma once

#include <string>
#include <vector>

// What the folder picker asks of the system besides a folder's names (platform/FolderListing.h): the
// drives and the process's current folder.
namespace folders {

struct Drive {
    std::wstring root;  // "C:\"
    std::wstring shown; // as a drive list shows it: "c: [label]"
};

std::vector<Drive> drives();

// The process's current folder ("C:\Web", "C:\").
std::wstring currentFolder();

} // namespace folders
