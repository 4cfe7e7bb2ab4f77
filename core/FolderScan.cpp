#include "core/FolderScan.h"

#include "core/FolderEditor.h"
#include "core/NameFilter.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <utility>

namespace {

using platform::DirEntry;
using platform::FileHandle;
using platform::FileInfo;
using platform::FileKind;
using platform::FileSystem;

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        char x = lowerAscii(a[i]), y = lowerAscii(b[i]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b; // names differing only in case keep one fixed order
}

std::size_t characterCount(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The entry's kind, asked of the file itself (links not followed) where the folder does not keep it.
// A name gone meanwhile is passed over; one that cannot be asked fails its folder rather than be
// left out unseen. Throws FileError.
FileKind entryKind(FileSystem& fs, FileHandle dir, const DirEntry& e) {
    if (e.kind != FileKind::Unknown)
        return e.kind;
    FileInfo info;
    if (std::error_code ec = fs.statAt(dir, e.name, info)) {
        if (ec == std::errc::no_such_file_or_directory)
            return FileKind::Other;
        throw FileError(ec, "stat", e.name);
    }
    return info.kind;
}

std::vector<std::string> selectMatches(FileSystem& fs, FileHandle dir, const std::vector<DirEntry>& entries,
                                       const NameFilter& filter, const std::string& relative) {
    std::vector<std::string> names;
    for (const auto& e : entries) {
        if (e.name.empty() || e.name[0] == '.' || !filter.takesFile(relative, e.name))
            continue;
        if (entryKind(fs, dir, e) == FileKind::Regular)
            names.push_back(e.name);
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

// The visible subfolders of a folder (links to folders are links, not folders), in run order.
std::vector<std::string> subfolders(FileSystem& fs, FileHandle dir, const std::vector<DirEntry>& entries,
                                    const NameFilter& filter, const std::string& relative) {
    std::vector<std::string> names;
    for (const auto& e : entries)
        if (!e.name.empty() && e.name[0] != '.' && filter.entersFolder(relative, e.name) &&
            entryKind(fs, dir, e) == FileKind::Folder)
            names.push_back(e.name);
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

std::optional<std::uint64_t> mountOf(FileSystem& fs, FileHandle file) {
    std::uint64_t id = 0;
    if (fs.mountId(file, id))
        return std::nullopt;
    return id;
}

// Reads an open folder of the tree: its files, its leftovers and, when asked, its subfolders.
void readFolder(FileSystem& fs, FileHandle dir, ScannedFolder& folder, const NameFilter& filter,
                const std::string& relative, std::vector<std::string>* subs) {
    std::vector<DirEntry> entries;
    if (std::error_code ec = fs.readDir(dir, entries))
        throw FileError(ec, "read folder", folder.name);
    folder.names = selectMatches(fs, dir, entries, filter, relative);
    for (const auto& e : entries)
        if (FolderEditor::isTemporaryName(e.name))
            folder.leftovers.push_back(e);
    if (subs)
        *subs = subfolders(fs, dir, entries, filter, relative);
}

// Adds a folder's subfolders to the tree, and to the folders still to scan, the first one last.
void addSubfolders(FolderTree& tree, std::size_t parent, const std::vector<std::string>& subs,
                   std::vector<std::size_t>& toScan) {
    for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
        ScannedFolder sub;
        sub.parent = parent;
        sub.depth = tree.folders[parent].depth + 1;
        sub.name = *it;
        toScan.push_back(tree.folders.size());
        tree.folders.push_back(std::move(sub));
    }
}

using Visited = std::set<platform::FileId>;

// Scans one subfolder; it joins the run's order unless it is a mount point or was reached before.
void scanSubfolder(FileSystem& fs, FolderWalk& walk, FolderTree& tree, std::size_t folder,
                   const NameFilter& filter, Visited& visited, std::vector<std::size_t>& toScan) {
    std::vector<std::string> subs;
    try {
        const FileHandle dir = walk.enter(folder);
        if (dir == platform::kNoFile || !visited.insert(tree.folders[folder].id).second)
            return;
        readFolder(fs, dir, tree.folders[folder], filter, tree.relative(folder), &subs);
    } catch (const FileError& e) {
        tree.folders[folder].failure = e;
    }
    tree.order.push_back(folder);
    addSubfolders(tree, folder, subs, toScan);
}

// Opens a folder of the tree by its name in an open one, or throws FileError.
platform::UniqueFile openFolderAt(FileSystem& fs, FileHandle dir, const std::string& name,
                                  platform::OpenMode mode = platform::OpenMode::Folder) {
    std::error_code ec;
    platform::UniqueFile folder = platform::openAt(fs, dir, name, mode, ec);
    if (ec)
        throw FileError(ec, "open folder", name);
    return folder;
}

FileInfo statOf(FileSystem& fs, FileHandle file, const std::string& name) {
    FileInfo info;
    if (std::error_code ec = fs.stat(file, info))
        throw FileError(ec, "stat", name);
    return info;
}

} // namespace

bool nameMatches(const std::string& name, const std::string& extension) {
    if (extension.empty())
        return name.find('.') == std::string::npos;
    const bool wildcards = extension.find_first_of("*?") != std::string::npos;
    if (!wildcards && characterCount(extension) == 3) {
        const std::string::size_type dot = name.rfind('.');
        return dot != std::string::npos &&
               wildcardMatch(extension + "*", std::string_view(name).substr(dot + 1));
    }
    return wildcardMatch("*." + extension, name);
}

std::string FolderTree::relative(std::size_t folder) const {
    std::vector<const std::string*> names;
    for (; folder != 0; folder = folders[folder].parent)
        names.push_back(&folders[folder].name);
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        path += **it + separator;
    return path;
}

FolderTree scanFolders(const platform::System& system, FileHandle root, const NameFilter& filter,
                       bool recursive) {
    FileSystem& fs = system.files;
    const FileInfo info = statOf(fs, root, "");
    FolderTree tree;
    tree.separator = system.paths.separator;
    tree.mount = mountOf(fs, root);
    tree.folders.emplace_back();
    tree.folders[0].known = true, tree.folders[0].id = info.id;
    std::vector<std::string> subs;
    readFolder(fs, root, tree.folders[0], filter, "", recursive ? &subs : nullptr);
    tree.order.push_back(0);
    // Depth first without recursion: the folders still to scan wait here, the next one last.
    std::vector<std::size_t> toScan;
    addSubfolders(tree, 0, subs, toScan);
    Visited visited{info.id};
    FolderWalk walk(fs, root, tree);
    while (!toScan.empty()) {
        const std::size_t folder = toScan.back();
        toScan.pop_back();
        scanSubfolder(fs, walk, tree, folder, filter, visited, toScan);
    }
    return tree;
}

FolderWalk::FolderWalk(FileSystem& fs, FileHandle root, FolderTree& tree)
    : m_fs(fs), m_root(root), m_tree(tree) {}

FileHandle FolderWalk::enter(std::size_t folder) {
    const auto& f = m_tree.folders;
    // Up to the nearest folder above both, then down.
    std::vector<std::size_t> downs; // deepest first
    std::size_t from = m_at, to = folder, ups = 0;
    for (; f[to].depth > f[from].depth; to = f[to].parent)
        downs.push_back(to);
    for (; f[from].depth > f[to].depth; from = f[from].parent)
        ++ups;
    for (; from != to; from = f[from].parent, to = f[to].parent)
        ++ups, downs.push_back(to);
    try {
        for (; ups > 0; --ups)
            up();
    } catch (const FileError&) {
        // ".." no longer leads where the scan went down: down from the run's folder instead.
        restart();
        downs.clear();
        for (to = folder; to != 0; to = f[to].parent)
            downs.push_back(to);
    }
    for (auto it = downs.rbegin(); it != downs.rend(); ++it)
        if (!down(*it))
            return platform::kNoFile;
    return current();
}

void FolderWalk::up() {
    const std::size_t parent = m_tree.folders[m_at].parent;
    const std::size_t nameSize = m_tree.folders[m_at].name.size();
    platform::UniqueFile folder;
    if (parent != 0) { // the run's folder is open already
        folder = openFolderAt(m_fs, current(), "..");
        FileInfo info;
        if (std::error_code ec = m_fs.stat(folder.get(), info))
            throw FileError(ec, "open folder", "..");
        if (info.id != m_tree.folders[parent].id)
            throw FileError(std::errc::resource_unavailable_try_again, "open folder", "..",
                            Refusal::ChangedDuringRun);
    }
    m_folder = std::move(folder);
    m_at = parent;
    m_relative.resize(m_relative.size() - nameSize - 1);
}

bool FolderWalk::down(std::size_t child) {
    ScannedFolder& c = m_tree.folders[child];
    platform::UniqueFile folder = openFolderAt(m_fs, current(), c.name);
    const FileInfo info = statOf(m_fs, folder.get(), c.name);
    // Another file system, or a folder bound here from elsewhere (same device, another mount).
    const std::optional<std::uint64_t> mount = m_tree.mount ? mountOf(m_fs, folder.get()) : std::nullopt;
    const bool foreign = info.id.volume != m_tree.folders[0].id.volume || (mount && mount != m_tree.mount);
    if (c.known && (foreign || info.id != c.id))
        throw FileError(std::errc::resource_unavailable_try_again, "open folder", c.name,
                        Refusal::ChangedDuringRun);
    if (foreign)
        return false;
    c.known = true, c.id = info.id;
    m_folder = std::move(folder);
    m_at = child;
    m_relative += c.name + m_tree.separator;
    return true;
}

void FolderWalk::restart() {
    m_folder.reset();
    m_at = 0;
    m_relative.clear();
}

// A run below a folder takes shared locks on every folder above its own, a run on that folder takes
// an exclusive one: whichever comes second is refused, whether the later one is above or below.
// Runs side by side share the locks above them. A run without subfolders locks the same way: a
// folder lock has no kind that would keep out the runs above and on its folder but let a run below
// go on, and a run refused is the safe side of two runs in one tree. Above a mount no run reaches
// down, and a folder above that cannot be opened is passed over.
bool lockRunFolders(FileSystem& fs, FileHandle root, std::vector<platform::UniqueFile>& locks) {
    using Lock = FileSystem::Lock;
    using platform::OpenMode;
    if (std::error_code ec = fs.lockFolder(root, Lock::Exclusive))
        return ec != std::errc::operation_would_block; // a file system without locks does not stop the run
    const std::optional<std::uint64_t> mount = mountOf(fs, root);
    FileInfo below;
    if (fs.stat(root, below))
        return true;
    std::error_code ec;
    platform::UniqueFile up = platform::openAt(fs, root, "..", OpenMode::FolderPath, ec);
    for (FileInfo info; up && !fs.stat(up.get(), info);) {
        const bool top = info.id == below.id; // "/" is its own parent
        if (top || info.id.volume != below.id.volume || (mount && mountOf(fs, up.get()) != mount))
            break;
        platform::UniqueFile folder = platform::openAt(fs, up.get(), ".", OpenMode::Folder, ec);
        if (folder && fs.lockFolder(folder.get(), Lock::Shared) == std::errc::operation_would_block)
            return false;
        if (folder)
            locks.push_back(std::move(folder));
        below = info;
        up = platform::openAt(fs, up.get(), "..", OpenMode::FolderPath, ec);
    }
    return true;
}
