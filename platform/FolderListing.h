#pragma once

#include "platform/FileSystem.h"
#include "platform/System.h"

#include <string>
#include <system_error>
#include <vector>

// What the folder pickers of both systems list of a folder: one listing through the file system,
// so a folder one picker cannot open is one the other cannot open either.
namespace platform {

struct FolderListing {
    std::vector<std::string> folders; // subfolders, links to folders among them
    std::vector<std::string> files;   // regular files, links to files among them
};

// The entries of folder a person is shown (none hidden), in the system's order; the system's
// reason when the folder cannot be opened or read.
std::error_code listFolder(FileSystem& fs, const PathRules& paths, const std::string& folder,
                           FolderListing& out);

// Empty when path is a folder that can be opened and listed, else the system's reason why not.
std::error_code enterError(FileSystem& fs, const std::string& path);

} // namespace platform
