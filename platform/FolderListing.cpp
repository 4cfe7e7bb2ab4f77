#include "platform/FolderListing.h"

namespace platform {

namespace {

// Links to folders are folders to walk into; to files, files the list shows.
FileKind kindOf(FileSystem& fs, const std::string& path, const DirEntry& entry) {
    if (entry.kind != FileKind::Unknown && entry.kind != FileKind::Link)
        return entry.kind;
    FileInfo info;
    return fs.statPath(path, info) ? FileKind::Unknown : info.kind;
}

UniqueFile openFolder(FileSystem& fs, const std::string& path, std::error_code& ec) {
    FileHandle dir = kNoFile;
    ec = fs.openFolder(path, dir);
    return ec ? UniqueFile() : UniqueFile(fs, dir);
}

} // namespace

std::error_code listFolder(FileSystem& fs, const PathRules& paths, const std::string& folder,
                           FolderListing& out) {
    std::error_code ec;
    const UniqueFile dir = openFolder(fs, folder, ec);
    std::vector<DirEntry> entries;
    if (ec || (ec = fs.readDir(dir.get(), entries)))
        return ec;
    out = {};
    const std::string parent = paths.asFolder(folder);
    for (const DirEntry& entry : entries) {
        if (entry.hidden)
            continue;
        const FileKind kind = kindOf(fs, paths.join(parent, entry.name), entry);
        if (kind == FileKind::Folder)
            out.folders.push_back(entry.name);
        else if (kind == FileKind::Regular)
            out.files.push_back(entry.name);
    }
    return {};
}

std::error_code enterError(FileSystem& fs, const std::string& path) {
    std::error_code ec;
    const UniqueFile dir = openFolder(fs, path, ec);
    if (ec)
        return ec;
    // Opened, it can be listed; a name in it can be reached only where it may be searched too.
    FileInfo info;
    return fs.statAt(dir.get(), ".", info);
}

} // namespace platform
