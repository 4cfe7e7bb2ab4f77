#include "core/FolderScan.h"

#include "core/FolderEditor.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace {

using platform::DirEntry;
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

// "*." + extension, letter case ignored; only '*' and '?' of the extension are wildcards.
// As on the platform this program comes from, an extension of exactly three characters
// without wildcards also takes longer extensions that begin with it ("htm" takes "a.html").
bool nameMatches(const std::string& name, const std::string& extension) {
    if (extension.empty())
        return name.find('.') == std::string::npos;
    const bool wildcards = extension.find_first_of("*?") != std::string::npos;
    std::string pattern = "*.";
    for (char c : extension) {
        if (c == '[' || c == ']' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    if (!wildcards && characterCount(extension) == 3) {
        const std::string::size_type dot = name.rfind('.');
        return dot != std::string::npos &&
               ::fnmatch((pattern.substr(2) + "*").c_str(), name.c_str() + dot + 1, FNM_CASEFOLD) == 0;
    }
    return ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

// The entry's type, asked of the file itself (links not followed) where the folder does not keep it.
unsigned char entryType(FileSystem& fs, int dirFd, const DirEntry& e) {
    if (e.type != DT_UNKNOWN)
        return e.type;
    struct stat st {};
    if (fs.statAt(dirFd, e.name, st) != 0)
        return DT_UNKNOWN;
    return static_cast<unsigned char>(IFTODT(st.st_mode));
}

std::vector<std::string> selectMatches(FileSystem& fs, int dirFd, const std::vector<DirEntry>& entries,
                                       const std::string& extension) {
    std::vector<std::string> names;
    for (const auto& e : entries) {
        if (e.name.empty() || e.name[0] == '.' || !nameMatches(e.name, extension))
            continue;
        if (entryType(fs, dirFd, e) == DT_REG)
            names.push_back(e.name);
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

// The visible subfolders of a folder (links to folders are links, not folders), in run order.
std::vector<std::string> subfolders(FileSystem& fs, int dirFd, const std::vector<DirEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries)
        if (!e.name.empty() && e.name[0] != '.' && entryType(fs, dirFd, e) == DT_DIR)
            names.push_back(e.name);
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK;

std::optional<std::uint64_t> mountOf(FileSystem& fs, int fd) {
    std::uint64_t id = 0;
    if (fs.mountId(fd, id) != 0)
        return std::nullopt;
    return id;
}

// Reads an open folder of the tree: its files, its leftovers and, when asked, its subfolders.
void readFolder(FileSystem& fs, int fd, ScannedFolder& folder, const std::string& extension,
                std::vector<std::string>* subs) {
    std::vector<DirEntry> entries;
    if (fs.readDir(fd, entries) != 0)
        throw FileError(errno, "read folder", folder.name);
    folder.names = selectMatches(fs, fd, entries, extension);
    for (const auto& e : entries)
        if (FolderEditor::isTemporaryName(e.name))
            folder.leftovers.push_back(e);
    if (subs)
        *subs = subfolders(fs, fd, entries);
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

using Visited = std::set<std::pair<dev_t, ino_t>>;

// Scans one subfolder; it joins the run's order unless it is a mount point or was reached before.
void scanSubfolder(FileSystem& fs, FolderWalk& walk, FolderTree& tree, std::size_t folder,
                   const std::string& extension, Visited& visited, std::vector<std::size_t>& toScan) {
    std::vector<std::string> subs;
    try {
        const int fd = walk.enter(folder);
        const ScannedFolder& entered = tree.folders[folder];
        if (fd < 0 || !visited.insert({entered.dev, entered.ino}).second)
            return;
        readFolder(fs, fd, tree.folders[folder], extension, &subs);
    } catch (const FileError& e) {
        tree.folders[folder].failure = e;
    }
    tree.order.push_back(folder);
    addSubfolders(tree, folder, subs, toScan);
}

} // namespace

std::vector<std::string> matchingFiles(const std::string& folder, const std::string& extension,
                                       FileSystem& fs) {
    platform::UniqueFd dir(fs, fs.openDir(folder));
    if (!dir)
        throw FileError(errno, "open folder", folder);
    std::vector<DirEntry> entries;
    if (fs.readDir(dir.get(), entries) != 0)
        throw FileError(errno, "read folder", folder);
    return selectMatches(fs, dir.get(), entries, extension);
}

std::string FolderTree::relative(std::size_t folder) const {
    std::vector<const std::string*> names;
    for (; folder != 0; folder = folders[folder].parent)
        names.push_back(&folders[folder].name);
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        path += **it + "/";
    return path;
}

FolderTree scanFolders(FileSystem& fs, int rootFd, const std::string& extension, bool recursive) {
    struct stat st {};
    if (fs.fstat(rootFd, st) != 0)
        throw FileError(errno, "stat", "");
    FolderTree tree;
    tree.mount = mountOf(fs, rootFd);
    tree.folders.emplace_back();
    tree.folders[0].known = true, tree.folders[0].dev = st.st_dev, tree.folders[0].ino = st.st_ino;
    std::vector<std::string> subs;
    readFolder(fs, rootFd, tree.folders[0], extension, recursive ? &subs : nullptr);
    tree.order.push_back(0);
    // Depth first without recursion: the folders still to scan wait here, the next one last.
    std::vector<std::size_t> toScan;
    addSubfolders(tree, 0, subs, toScan);
    Visited visited{{st.st_dev, st.st_ino}};
    FolderWalk walk(fs, rootFd, tree);
    while (!toScan.empty()) {
        const std::size_t folder = toScan.back();
        toScan.pop_back();
        scanSubfolder(fs, walk, tree, folder, extension, visited, toScan);
    }
    return tree;
}

FolderWalk::FolderWalk(FileSystem& fs, int rootFd, FolderTree& tree)
    : m_fs(fs), m_root(rootFd), m_tree(tree) {}

int FolderWalk::enter(std::size_t folder) {
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
            return -1;
    return current();
}

void FolderWalk::up() {
    const std::size_t parent = m_tree.folders[m_at].parent;
    const std::size_t nameSize = m_tree.folders[m_at].name.size();
    platform::UniqueFd fd;
    if (parent != 0) { // the run's folder is open already
        fd = platform::UniqueFd(m_fs, m_fs.openAt(current(), "..", kFolderFlags, 0));
        struct stat st {};
        if (!fd || m_fs.fstat(fd.get(), st) != 0)
            throw FileError(errno, "open folder", "..");
        if (st.st_dev != m_tree.folders[parent].dev || st.st_ino != m_tree.folders[parent].ino)
            throw FileError(EAGAIN, "open folder", "..", Refusal::ChangedDuringRun);
    }
    m_fd = std::move(fd);
    m_at = parent;
    m_relative.resize(m_relative.size() - nameSize - 1);
}

bool FolderWalk::down(std::size_t child) {
    ScannedFolder& c = m_tree.folders[child];
    platform::UniqueFd fd(m_fs, m_fs.openAt(current(), c.name, kFolderFlags, 0));
    struct stat st {};
    if (!fd)
        throw FileError(errno, "open folder", c.name);
    if (m_fs.fstat(fd.get(), st) != 0)
        throw FileError(errno, "stat", c.name);
    // Another file system, or a folder bound here from elsewhere (same device, another mount).
    const std::optional<std::uint64_t> mount = m_tree.mount ? mountOf(m_fs, fd.get()) : std::nullopt;
    const bool foreign = st.st_dev != m_tree.folders[0].dev || (mount && mount != m_tree.mount);
    if (c.known && (foreign || st.st_dev != c.dev || st.st_ino != c.ino))
        throw FileError(EAGAIN, "open folder", c.name, Refusal::ChangedDuringRun);
    if (foreign)
        return false;
    c.known = true, c.dev = st.st_dev, c.ino = st.st_ino;
    m_fd = std::move(fd);
    m_at = child;
    m_relative += c.name + "/";
    return true;
}

void FolderWalk::restart() {
    m_fd.reset();
    m_at = 0;
    m_relative.clear();
}

// A run below a folder takes shared locks on every folder above its own, a run on that folder takes
// an exclusive one: whichever comes second is refused, whether the later one is above or below.
// Runs side by side share the locks above them. A run without subfolders locks the same way: flock
// has no lock that would keep out the runs above and on its folder but let a run below go on, and a
// run refused is the safe side of two runs in one tree. Above a mount no run reaches down, and a
// folder above that cannot be opened is passed over.
bool lockRunFolders(FileSystem& fs, int rootFd, std::vector<platform::UniqueFd>& locks) {
    using Lock = FileSystem::Lock;
    if (fs.lockDir(rootFd, Lock::Exclusive) != 0)
        return errno != EWOULDBLOCK; // a file system without locks does not stop the run
    const std::optional<std::uint64_t> mount = mountOf(fs, rootFd);
    struct stat below {};
    if (fs.fstat(rootFd, below) != 0)
        return true;
    platform::UniqueFd up(fs, fs.openAt(rootFd, "..", O_PATH | O_DIRECTORY, 0));
    for (struct stat st{}; up && fs.fstat(up.get(), st) == 0;) {
        const bool top = st.st_dev == below.st_dev && st.st_ino == below.st_ino; // "/" is its own parent
        if (top || st.st_dev != below.st_dev || (mount && mountOf(fs, up.get()) != mount))
            break;
        platform::UniqueFd folder(fs, fs.openAt(up.get(), ".", O_RDONLY | O_DIRECTORY, 0));
        if (folder && fs.lockDir(folder.get(), Lock::Shared) != 0 && errno == EWOULDBLOCK)
            return false;
        if (folder)
            locks.push_back(std::move(folder));
        below = st;
        up = platform::UniqueFd(fs, fs.openAt(up.get(), "..", O_PATH | O_DIRECTORY, 0));
    }
    return true;
}
