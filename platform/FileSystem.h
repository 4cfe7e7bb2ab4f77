#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

// Every file-system call the core makes goes through this interface, so tests can
// fail any one of them, record their order, or stop the process at a chosen call
// (FileSystemDecorator.h).
// Calls follow the system's convention: -1 (or a negative count) with errno set on failure.
// Names are relative to a folder descriptor and never contain '/'.
namespace platform {

struct DirEntry {
    std::string name;
    unsigned char type; // DT_REG, DT_DIR, DT_LNK, ... or DT_UNKNOWN
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // True when two threads may call it at once.
    virtual bool concurrent() const { return false; }

    // Opens a folder for scanning and for *at() calls (O_RDONLY | O_DIRECTORY).
    virtual int openDir(const std::string& path) = 0;
    // A lock on the folder (flock), not waiting: fails with EWOULDBLOCK while another process holds
    // an exclusive one, or (asking for an exclusive one) a shared one. Released when the descriptor is
    // closed.
    enum class Lock { Exclusive, Shared };
    virtual int lockDir(int dirFd, Lock kind) = 0;
    // Which mount holds the open file: a folder bound elsewhere has the same device and inode, but
    // not the same mount. Fails with ENOSYS where the system does not tell.
    virtual int mountId(int fd, std::uint64_t& id) = 0;
    // Reads every entry of the folder but "." and "..".
    virtual int readDir(int dirFd, std::vector<DirEntry>& out) = 0;
    // lstat relative to the folder: links are not followed.
    virtual int statAt(int dirFd, const std::string& name, struct stat& st) = 0;
    virtual int openAt(int dirFd, const std::string& name, int flags, mode_t mode) = 0;
    // An unnamed file in the folder (O_TMPFILE), open for reading and writing; fails with
    // EOPNOTSUPP/EISDIR where unsupported, or where it could not be named (no /proc).
    virtual int openUnnamed(int dirFd, mode_t mode) = 0;
    // Gives an unnamed file a name in the folder (linkat through /proc/self/fd: ENOENT without /proc).
    virtual int linkUnnamed(int fd, int dirFd, const std::string& name) = 0;
    virtual int fstat(int fd, struct stat& st) = 0;
    virtual ssize_t pread(int fd, void* buf, std::size_t len, off_t offset) = 0;
    virtual ssize_t write(int fd, const void* buf, std::size_t len) = 0;
    // Copies len bytes from in at offset to the current position of out; may copy less.
    virtual ssize_t copyRange(int in, off_t offset, int out, std::size_t len) = 0;
    virtual int truncate(int fd, off_t length) = 0;
    virtual int chown(int fd, uid_t uid, gid_t gid) = 0;
    virtual int chmod(int fd, mode_t mode) = 0;
    // Extended attributes of an open file, by full name ("user.x", "system.posix_acl_access").
    // Where the file system has none, listing fails with ENOTSUP.
    virtual int listXattrs(int fd, std::vector<std::string>& names) = 0;
    virtual int getXattr(int fd, const std::string& name, std::string& value) = 0;
    virtual int setXattr(int fd, const std::string& name, const std::string& value) = 0;
    virtual int removeXattr(int fd, const std::string& name) = 0;
    // 1 when the folder lets entries be added but not renamed over or removed (append-only or
    // immutable), 0 when it does or cannot tell.
    virtual int entriesFixed(int dirFd) = 0;
    // Starts writing a range of the file to disk without waiting for it (sync_file_range).
    virtual int startWriteback(int fd, off_t offset, off_t length) = 0;
    virtual int dataSync(int fd) = 0;
    // Flushes the whole file system that holds fd (syncfs).
    virtual int fsSync(int fd) = 0;
    // Flushes the data of each of fds (dataSync), where possible several at once so that the
    // file system commits them together. Returns the index of a file whose flush failed, with
    // errno set, or -1 when all succeeded.
    virtual long dataSyncEach(const std::vector<int>& fds) {
        for (std::size_t i = 0; i < fds.size(); ++i)
            if (dataSync(fds[i]) != 0)
                return static_cast<long>(i);
        return -1;
    }
    // Bytes that programs have written on this machine and that are not on disk yet, or -1 when
    // the system does not tell.
    virtual long long unwrittenBytes() { return -1; }
    virtual int renameAt(int dirFd, const std::string& from, const std::string& to) = 0;
    virtual int unlinkAt(int dirFd, const std::string& name) = 0;
    virtual int close(int fd) = 0;
};

// The real system calls.
FileSystem& systemFileSystem();

// Raises this process's limit of open files to the most it may have: a run keeps a few hundred
// files open at once. Returns the limit now in force.
long raiseOpenFileLimit();

// How many more descriptors this process may open now: its limit less those already open.
long freeDescriptors();

// Makes room in this process's table of descriptors for count of them. The table grows as more are
// open; growing it while other threads of the process run makes the caller wait until each of them
// has been scheduled again (about 10 ms on a virtual machine), so a run makes its room once, before
// its own threads start. Only a preparation: where it fails, the table grows later as needed.
void reserveDescriptors(long count);

// Owns one descriptor; closes it through the file system that opened it.
class UniqueFd {
public:
    UniqueFd() = default;
    UniqueFd(FileSystem& fs, int fd) : m_fs(&fs), m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fs(other.m_fs), m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            m_fs = other.m_fs;
            m_fd = other.release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes now and returns close()'s result; the descriptor is gone either way.
    int reset() {
        int rc = 0;
        if (m_fd >= 0 && m_fs)
            rc = m_fs->close(m_fd);
        m_fd = -1;
        return rc;
    }

private:
    FileSystem* m_fs = nullptr;
    int m_fd = -1;
};

} // namespace platform
