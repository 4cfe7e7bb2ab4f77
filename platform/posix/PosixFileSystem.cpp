#include "platform/FileSystem.h"
#include "platform/Retry.h"
#include "platform/System.h"
#include "platform/posix/PosixError.h"
#include "platform/posix/PosixSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <unordered_map>

namespace platform {
namespace {

// The record getdents64 fills in; the name follows the fixed part.
struct linux_dirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
};

std::error_code lastError() { return posixError(errno); }
// Empty where the call succeeded (rc not negative), else errno.
std::error_code checked(long rc) { return rc < 0 ? lastError() : std::error_code(); }

int fdOf(FileHandle file) { return static_cast<int>(file); }

FileKind kindOfMode(mode_t mode) {
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISLNK(mode))
        return FileKind::Link;
    return FileKind::Other;
}

FileKind kindOfEntry(unsigned char type) {
    switch (type) {
    case DT_UNKNOWN:
        return FileKind::Unknown;
    case DT_REG:
        return FileKind::Regular;
    case DT_DIR:
        return FileKind::Folder;
    case DT_LNK:
        return FileKind::Link;
    default:
        return FileKind::Other;
    }
}

void fill(const struct stat& st, FileInfo& out) {
    out.kind = kindOfMode(st.st_mode);
    out.size = st.st_size;
    out.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    out.links = st.st_nlink;
    out.changed = {st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
    out.readOnly = (st.st_mode & S_IWUSR) == 0;
    out.owner = st.st_uid;
    out.group = st.st_gid;
    out.permissions = st.st_mode & 07777;
}

// Links are never followed, a FIFO never blocks the opening, and no terminal becomes ours.
int flagsOf(OpenMode mode) {
    constexpr int kAlways = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    switch (mode) {
    case OpenMode::Read:
        return O_RDONLY | kAlways;
    case OpenMode::ReadWrite:
        return O_RDWR | kAlways;
    case OpenMode::Append:
        return O_RDWR | O_APPEND | kAlways;
    case OpenMode::CreateAppend:
        return O_RDWR | O_APPEND | O_CREAT | O_EXCL | kAlways;
    case OpenMode::CreateTemporary:
        return O_RDWR | O_CREAT | O_EXCL | kAlways;
    case OpenMode::Folder:
        return O_RDONLY | O_DIRECTORY | kAlways;
    case OpenMode::FolderPath:
        return O_PATH | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
    }
    return O_RDONLY | kAlways;
}

// A descriptor of the platform's own, closed on every path; errno survives the close.
class RawFd {
public:
    explicit RawFd(int fd) : m_fd(fd) {}
    ~RawFd() {
        if (m_fd >= 0) {
            int err = errno;
            ::close(m_fd);
            errno = err;
        }
    }
    RawFd(const RawFd&) = delete;
    RawFd& operator=(const RawFd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Fills out through a call that reports the size it needs when given none, retrying while the
// value grows between the two calls.
template <typename Get> std::error_code readSized(std::string& out, Get get) {
    for (;;) {
        ssize_t n = get(nullptr, 0);
        if (n < 0)
            return lastError();
        out.resize(static_cast<std::size_t>(n));
        if (n == 0)
            return {};
        n = get(out.data(), out.size());
        if (n >= 0) {
            out.resize(static_cast<std::size_t>(n));
            return {};
        }
        if (errno != ERANGE)
            return lastError();
    }
}

// Kernels before 5.8 name the mount in the descriptor's entry under /proc.
std::error_code mountIdFromProc(int fd, std::uint64_t& id) {
    const std::string path = "/proc/self/fdinfo/" + std::to_string(fd);
    std::FILE* f = std::fopen(path.c_str(), "re");
    bool found = false;
    if (f) {
        char line[128];
        unsigned long long value = 0;
        while (!found && std::fgets(line, sizeof line, f))
            found = std::sscanf(line, "mnt_id: %llu", &value) == 1;
        std::fclose(f);
        id = value;
    }
    return found ? std::error_code() : std::make_error_code(std::errc::function_not_supported);
}

// A lock on the first byte of the folder's lock file, held by the open file description: the
// lock wine takes for a LockFileEx on the same file, and a share's server for its Windows clients.
int setFileLock(int fd, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &fl);
}

// Does the folder's lock file still name the file fd holds? A run letting go removes it, and one
// that opened it just before then holds a lock on a file no one else finds.
bool stillNamed(int dir, int fd) {
    struct stat named {
    }, held{};
    return ::fstatat(dir, kFolderLockName, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

// The folder's lock file, locked: its descriptor, or -1 where the folder has none this process may
// lock (a shared lock finds none made, a folder or a file that lets no one write): the folder's
// own lock then stands alone.
std::error_code takeLockFile(int dir, bool exclusive, int& out) {
    out = -1;
    // A folder that lets entries be added but never removed would keep the file for good.
    int attributes = 0;
    const bool fixed = ::ioctl(dir, FS_IOC_GETFLAGS, &attributes) == 0 &&
                       (attributes & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
    const int flags =
        O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | (exclusive && !fixed ? O_CREAT : 0);
    for (int attempt = 0; attempt < 100; ++attempt) {
        RawFd fd(::openat(dir, kFolderLockName, flags, 0666));
        if (fd.get() < 0)
            return {};
        if (setFileLock(fd.get(), exclusive ? F_WRLCK : F_RDLCK) != 0)
            return errno == EAGAIN || errno == EACCES ? posixError(EWOULDBLOCK) : std::error_code();
        if (stillNamed(dir, fd.get())) {
            out = ::dup(fd.get());
            return checked(out);
        }
    }
    return posixError(EWOULDBLOCK); // others keep making and removing it: they are running
}

// The last run to let go removes the lock file: one that can hold it alone.
void letGoOfLockFile(int dir, int fd) {
    if (setFileLock(fd, F_WRLCK) == 0 && stillNamed(dir, fd))
        ::unlinkat(dir, kFolderLockName, 0);
    ::close(fd);
}

class PosixFileSystem final : public FileSystem {
public:
    bool concurrent() const override { return true; }

    std::error_code openFolder(const std::string& path, FileHandle& out) override {
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        out = fd < 0 ? kNoFile : fd;
        return checked(fd);
    }

    std::error_code openAt(FileHandle dir, const std::string& name, OpenMode mode, std::uint32_t permissions,
                           FileHandle& out) override {
        const int fd = ::openat(fdOf(dir), name.c_str(), flagsOf(mode), static_cast<mode_t>(permissions));
        out = fd < 0 ? kNoFile : fd;
        return checked(fd);
    }

    std::error_code lockFolder(FileHandle dir, Lock kind) override {
        const bool exclusive = kind == Lock::Exclusive;
        std::lock_guard<std::mutex> guard(m_lockFilesMutex);
        auto found = m_lockFiles.find(fdOf(dir));
        if (found != m_lockFiles.end()) { // another kind replaces the one held, as flock does
            if (setFileLock(found->second, exclusive ? F_WRLCK : F_RDLCK) != 0 && errno == EAGAIN)
                return posixError(EWOULDBLOCK);
        } else {
            int lockFile = -1;
            if (std::error_code ec = takeLockFile(fdOf(dir), exclusive, lockFile))
                return ec;
            if (lockFile >= 0)
                found = m_lockFiles.emplace(fdOf(dir), lockFile).first;
        }
        std::error_code ec = checked(::flock(fdOf(dir), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB));
        if (ec && found != m_lockFiles.end()) {
            if (ec == std::errc::operation_would_block) {
                letGoOfLockFile(fdOf(dir), found->second);
                m_lockFiles.erase(found);
            } else {
                ec.clear(); // a folder that cannot be flocked is still locked by its file
            }
        }
        return ec;
    }

    std::error_code mountId(FileHandle file, std::uint64_t& id) override {
        struct statx stx {};
        if (::statx(fdOf(file), "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &stx) == 0 &&
            (stx.stx_mask & STATX_MNT_ID) != 0) {
            id = stx.stx_mnt_id;
            return {};
        }
        return mountIdFromProc(fdOf(file), id);
    }

    std::error_code readDir(FileHandle dir, std::vector<DirEntry>& out) override {
        // getdents64 on a duplicate so the caller's descriptor keeps its position.
        RawFd fd(::openat(fdOf(dir), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() < 0)
            return lastError();
        alignas(linux_dirent64) char buf[64 * 1024];
        for (;;) {
            long n = ::syscall(SYS_getdents64, fd.get(), buf, sizeof buf);
            if (n <= 0)
                return checked(n);
            for (long pos = 0; pos < n;) {
                auto* d = reinterpret_cast<linux_dirent64*>(buf + pos);
                pos += d->d_reclen;
                std::string name(reinterpret_cast<const char*>(d) + offsetof(linux_dirent64, d_type) + 1);
                if (name == "." || name == "..")
                    continue;
                const bool hidden = name.front() == '.';
                out.push_back({std::move(name), kindOfEntry(d->d_type), hidden});
            }
        }
    }

    std::error_code statAt(FileHandle dir, const std::string& name, FileInfo& out) override {
        struct stat st {};
        if (::fstatat(fdOf(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return lastError();
        fill(st, out);
        return {};
    }

    std::error_code stat(FileHandle file, FileInfo& out) override {
        struct stat st {};
        if (::fstat(fdOf(file), &st) != 0)
            return lastError();
        fill(st, out);
        return {};
    }

    std::error_code statPath(const std::string& path, FileInfo& out) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return lastError();
        fill(st, out);
        return {};
    }

    std::error_code openUnnamed(FileHandle dir, std::uint32_t permissions, FileHandle& out) override {
        out = kNoFile;
        // Naming it later goes through /proc: without /proc, say unnamed files are not to be had.
        static const bool procMounted = ::access("/proc/self/fd", X_OK) == 0;
        if (!procMounted)
            return std::make_error_code(std::errc::operation_not_supported);
        // Readable too, so that its content can still be moved should naming it fail.
        const int fd =
            ::openat(fdOf(dir), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, static_cast<mode_t>(permissions));
        if (fd >= 0)
            out = fd;
        return checked(fd);
    }

    std::error_code linkUnnamed(FileHandle file, FileHandle dir, const std::string& name) override {
        // By the descriptor itself where the system allows it (to root; since Linux 6.10 also to
        // the file's own opener), which skips a walk through /proc; else through /proc, whose
        // absence then shows as ENOENT.
        if (m_linkByDescriptor) {
            if (::linkat(fdOf(file), "", fdOf(dir), name.c_str(), AT_EMPTY_PATH) == 0)
                return {};
            if (errno != ENOENT && errno != EPERM && errno != EINVAL)
                return lastError();
            m_linkByDescriptor = false;
        }
        std::string proc = "/proc/self/fd/" + std::to_string(fdOf(file));
        return checked(::linkat(AT_FDCWD, proc.c_str(), fdOf(dir), name.c_str(), AT_SYMLINK_FOLLOW));
    }

    std::error_code read(FileHandle file, void* buf, std::size_t len, std::int64_t offset,
                         std::size_t& got) override {
        const ssize_t n = ::pread(fdOf(file), buf, len, static_cast<off_t>(offset));
        got = n < 0 ? 0 : static_cast<std::size_t>(n);
        return checked(n);
    }

    std::error_code write(FileHandle file, const void* buf, std::size_t len, std::size_t& written) override {
        const ssize_t n = ::write(fdOf(file), buf, len);
        written = n < 0 ? 0 : static_cast<std::size_t>(n);
        return checked(n);
    }

    std::error_code copyRange(FileHandle in, std::int64_t offset, FileHandle out, std::size_t len,
                              std::size_t& copied) override {
        copied = 0;
        loff_t off = offset;
        const ssize_t n = ::copy_file_range(fdOf(in), &off, fdOf(out), nullptr, len, 0);
        if (n >= 0) {
            copied = static_cast<std::size_t>(n);
            return {};
        }
        // Across file systems, or where they do not copy themselves: the caller copies through a buffer.
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
            return std::make_error_code(std::errc::operation_not_supported);
        return lastError();
    }

    std::error_code truncate(FileHandle file, std::int64_t length) override {
        return checked(::ftruncate(fdOf(file), static_cast<off_t>(length)));
    }

    std::error_code setOwner(FileHandle file, std::uint32_t owner, std::uint32_t group) override {
        return checked(::fchown(fdOf(file), static_cast<uid_t>(owner), static_cast<gid_t>(group)));
    }

    std::error_code setPermissions(FileHandle file, std::uint32_t permissions) override {
        return checked(::fchmod(fdOf(file), static_cast<mode_t>(permissions)));
    }

    // The mode and the extended attributes (ACLs among them) say who may do what: the caller
    // copies those.
    std::error_code copyAccess(FileHandle /*from*/, FileHandle /*to*/) override { return {}; }

    std::error_code listXattrs(FileHandle file, std::vector<std::string>& names) override {
        std::string buf;
        const int fd = fdOf(file);
        if (std::error_code ec =
                readSized(buf, [&](char* to, std::size_t n) { return ::flistxattr(fd, to, n); }))
            return ec;
        for (std::size_t at = 0; at < buf.size();) {
            std::size_t end = buf.find('\0', at);
            if (end == std::string::npos)
                end = buf.size();
            if (end > at)
                names.emplace_back(buf, at, end - at);
            at = end + 1;
        }
        return {};
    }

    std::error_code getXattr(FileHandle file, const std::string& name, std::string& value) override {
        const int fd = fdOf(file);
        return readSized(value,
                         [&](char* to, std::size_t n) { return ::fgetxattr(fd, name.c_str(), to, n); });
    }

    std::error_code setXattr(FileHandle file, const std::string& name, const std::string& value) override {
        return checked(::fsetxattr(fdOf(file), name.c_str(), value.data(), value.size(), 0));
    }

    std::error_code removeXattr(FileHandle file, const std::string& name) override {
        return checked(::fremovexattr(fdOf(file), name.c_str()));
    }

    std::error_code entriesFixed(FileHandle dir, bool& fixed) override {
        int flags = 0;
        // A file system without these attributes cannot forbid it either; should the question
        // fail otherwise, a rename that fails later still fails only its file.
        fixed = ::ioctl(fdOf(dir), FS_IOC_GETFLAGS, &flags) == 0 &&
                (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
        return {};
    }

    std::error_code startWriteback(FileHandle file, std::int64_t offset, std::int64_t length) override {
        return checked(::sync_file_range(fdOf(file), offset, length, SYNC_FILE_RANGE_WRITE));
    }

    std::error_code dataSync(FileHandle file) override { return checked(::fdatasync(fdOf(file))); }

    std::error_code fsSync(FileHandle file) override { return checked(::syncfs(fdOf(file))); }

    long long unwrittenBytes() override {
        // Dirty pages and pages being written, of every file system: what a syncfs may wait for.
        std::FILE* f = std::fopen("/proc/meminfo", "re");
        if (!f)
            return -1;
        long long total = 0;
        int found = 0;
        char line[128];
        while (std::fgets(line, sizeof line, f)) {
            long long kib = 0;
            if (std::sscanf(line, "Dirty: %lld kB", &kib) == 1 ||
                std::sscanf(line, "Writeback: %lld kB", &kib) == 1) {
                total += kib * 1024;
                ++found;
            }
        }
        std::fclose(f);
        return found == 2 ? total : -1;
    }

    std::error_code renameAt(FileHandle dir, const std::string& from, const std::string& to) override {
        return checked(::renameat(fdOf(dir), from.c_str(), fdOf(dir), to.c_str()));
    }

    std::error_code unlinkAt(FileHandle dir, const std::string& name) override {
        return checked(::unlinkat(fdOf(dir), name.c_str(), 0));
    }

    std::error_code close(FileHandle file) override {
        {
            std::lock_guard<std::mutex> guard(m_lockFilesMutex);
            auto found = m_lockFiles.find(fdOf(file));
            if (found != m_lockFiles.end()) {
                letGoOfLockFile(fdOf(file), found->second);
                m_lockFiles.erase(found);
            }
        }
        return checked(::close(fdOf(file)));
    }

private:
    std::mutex m_lockFilesMutex;
    // The folder's lock file held for each folder descriptor that took a lock.
    std::unordered_map<int, int> m_lockFiles;

    // Where the kernel cannot copy between these files: through a buffer.
    std::atomic<bool> m_linkByDescriptor{true};
};

} // namespace

FileSystem& systemFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

} // namespace platform
