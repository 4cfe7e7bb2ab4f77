#include "platform/FileSystem.h"
#include "platform/SideThreads.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {
namespace {

// The record getdents64 fills in; the name follows the fixed part.
struct linux_dirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
};

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
template <typename Get> int readSized(std::string& out, Get get) {
    for (;;) {
        ssize_t n = get(nullptr, 0);
        if (n < 0)
            return -1;
        out.resize(static_cast<std::size_t>(n));
        if (n == 0)
            return 0;
        n = get(out.data(), out.size());
        if (n >= 0) {
            out.resize(static_cast<std::size_t>(n));
            return 0;
        }
        if (errno != ERANGE)
            return -1;
    }
}

// Kernels before 5.8 name the mount in the descriptor's entry under /proc.
int mountIdFromProc(int fd, std::uint64_t& id) {
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
    if (!found)
        errno = ENOSYS;
    return found ? 0 : -1;
}

class SystemFileSystem final : public FileSystem {
public:
    bool concurrent() const override { return true; }

    int openDir(const std::string& path) override {
        return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }

    int lockDir(int dirFd, Lock kind) override {
        return ::flock(dirFd, (kind == Lock::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB);
    }

    int mountId(int fd, std::uint64_t& id) override {
        struct statx stx {};
        if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &stx) == 0 &&
            (stx.stx_mask & STATX_MNT_ID) != 0) {
            id = stx.stx_mnt_id;
            return 0;
        }
        return mountIdFromProc(fd, id);
    }

    int readDir(int dirFd, std::vector<DirEntry>& out) override {
        // getdents64 on a duplicate so the caller's descriptor keeps its position.
        RawFd fd(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() < 0)
            return -1;
        alignas(linux_dirent64) char buf[64 * 1024];
        for (;;) {
            long n = ::syscall(SYS_getdents64, fd.get(), buf, sizeof buf);
            if (n < 0)
                return -1;
            if (n == 0)
                return 0;
            for (long pos = 0; pos < n;) {
                auto* d = reinterpret_cast<linux_dirent64*>(buf + pos);
                pos += d->d_reclen;
                std::string name(reinterpret_cast<const char*>(d) + offsetof(linux_dirent64, d_type) + 1);
                if (name == "." || name == "..")
                    continue;
                out.push_back({std::move(name), d->d_type});
            }
        }
    }

    int statAt(int dirFd, const std::string& name, struct stat& st) override {
        return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    }

    int openAt(int dirFd, const std::string& name, int flags, mode_t mode) override {
        return ::openat(dirFd, name.c_str(), flags | O_CLOEXEC, mode);
    }

    int openUnnamed(int dirFd, mode_t mode) override {
        // Naming it later goes through /proc: without /proc, say unnamed files are not to be had.
        static const bool procMounted = ::access("/proc/self/fd", X_OK) == 0;
        if (!procMounted) {
            errno = EOPNOTSUPP;
            return -1;
        }
        // Readable too, so that its content can still be moved should naming it fail.
        return ::openat(dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    }

    int linkUnnamed(int fd, int dirFd, const std::string& name) override {
        // By the descriptor itself where the system allows it (to root; since Linux 6.10 also to
        // the file's own opener), which skips a walk through /proc; else through /proc, whose
        // absence then shows as ENOENT.
        if (m_linkByDescriptor) {
            if (::linkat(fd, "", dirFd, name.c_str(), AT_EMPTY_PATH) == 0)
                return 0;
            if (errno != ENOENT && errno != EPERM && errno != EINVAL)
                return -1;
            m_linkByDescriptor = false;
        }
        std::string proc = "/proc/self/fd/" + std::to_string(fd);
        return ::linkat(AT_FDCWD, proc.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW);
    }

    int fstat(int fd, struct stat& st) override { return ::fstat(fd, &st); }

    ssize_t pread(int fd, void* buf, std::size_t len, off_t offset) override {
        return ::pread(fd, buf, len, offset);
    }

    ssize_t write(int fd, const void* buf, std::size_t len) override { return ::write(fd, buf, len); }

    ssize_t copyRange(int in, off_t offset, int out, std::size_t len) override {
        loff_t off = offset;
        ssize_t n = ::copy_file_range(in, &off, out, nullptr, len, 0);
        if (n >= 0 || (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP))
            return n;
        // Not supported between these files: copy through a buffer instead.
        // Made on first need: a buffer held in static thread storage would be cleared for every
        // thread the program starts, and a run starts many.
        constexpr std::size_t kBuffer = 1 << 20;
        static thread_local std::unique_ptr<char[]> buf;
        if (!buf)
            buf = std::make_unique_for_overwrite<char[]>(kBuffer);
        std::size_t want = len < kBuffer ? len : kBuffer;
        ssize_t got;
        do
            got = ::pread(in, buf.get(), want, offset);
        while (got < 0 && errno == EINTR);
        if (got <= 0)
            return got;
        ssize_t done = 0;
        while (done < got) {
            ssize_t w = ::write(out, buf.get() + done, static_cast<std::size_t>(got - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                return done > 0 ? done : -1;
            done += w;
        }
        return done;
    }

    int truncate(int fd, off_t length) override { return ::ftruncate(fd, length); }

    int chown(int fd, uid_t uid, gid_t gid) override { return ::fchown(fd, uid, gid); }

    int chmod(int fd, mode_t mode) override { return ::fchmod(fd, mode); }

    int listXattrs(int fd, std::vector<std::string>& names) override {
        std::string buf;
        if (readSized(buf, [&](char* to, std::size_t n) { return ::flistxattr(fd, to, n); }) != 0)
            return -1;
        for (std::size_t at = 0; at < buf.size();) {
            std::size_t end = buf.find('\0', at);
            if (end == std::string::npos)
                end = buf.size();
            if (end > at)
                names.emplace_back(buf, at, end - at);
            at = end + 1;
        }
        return 0;
    }

    int getXattr(int fd, const std::string& name, std::string& value) override {
        return readSized(value,
                         [&](char* to, std::size_t n) { return ::fgetxattr(fd, name.c_str(), to, n); });
    }

    int setXattr(int fd, const std::string& name, const std::string& value) override {
        return ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0);
    }

    int removeXattr(int fd, const std::string& name) override { return ::fremovexattr(fd, name.c_str()); }

    int entriesFixed(int dirFd) override {
        int flags = 0;
        // A file system without these attributes cannot forbid it either; should the question
        // fail otherwise, a rename that fails later still fails only its file.
        if (::ioctl(dirFd, FS_IOC_GETFLAGS, &flags) != 0)
            return 0;
        return (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0 ? 1 : 0;
    }

    int startWriteback(int fd, off_t offset, off_t length) override {
        return ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
    }

    int dataSync(int fd) override { return ::fdatasync(fd); }

    int fsSync(int fd) override { return ::syncfs(fd); }

    long dataSyncEach(const std::vector<int>& fds) override {
        // Flushes waiting side by side end in the same journal commit; one at a time, each
        // would wait for a commit of its own. One step for the crash switch, as a syncfs is, so
        // that a run makes the same calls whichever way it flushes.
        constexpr std::size_t kInFlight = 16;
        std::atomic<std::size_t> next{0};
        std::atomic<long> failed{-1};
        std::atomic<int> failedErrno{0};
        auto work = [&] {
            for (std::size_t i; (i = next++) < fds.size() && failed < 0;) {
                if (::fdatasync(fds[i]) != 0) {
                    long none = -1;
                    if (failed.compare_exchange_strong(none, static_cast<long>(i)))
                        failedErrno = errno;
                }
            }
        };
        // Out of threads, a helper's share is flushed by this thread, when it asks for its result.
        std::vector<SideTask<void>> helpers;
        for (std::size_t t = 1; t < std::min(kInFlight, fds.size()); ++t)
            helpers.push_back(sideThreads().start(work));
        work();
        for (auto& h : helpers)
            h.get();
        errno = failedErrno;
        return failed;
    }

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

    int renameAt(int dirFd, const std::string& from, const std::string& to) override {
        return ::renameat(dirFd, from.c_str(), dirFd, to.c_str());
    }

    int unlinkAt(int dirFd, const std::string& name) override { return ::unlinkat(dirFd, name.c_str(), 0); }

    int close(int fd) override { return ::close(fd); }

private:
    std::atomic<bool> m_linkByDescriptor{true};
};

} // namespace

long raiseOpenFileLimit() {
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0)
        return -1;
    if (rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &rl);
        (void)::getrlimit(RLIMIT_NOFILE, &rl);
    }
    return rl.rlim_cur == RLIM_INFINITY ? -1 : static_cast<long>(rl.rlim_cur);
}

long freeDescriptors() {
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0)
        return -1;
    const long limit = rl.rlim_cur == RLIM_INFINITY ? 1L << 20 : static_cast<long>(rl.rlim_cur);
    long open = 0;
    // Without /proc, ask each descriptor number below the limit.
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(d))
            open += e->d_name[0] != '.';
        ::closedir(d);
        --open; // the listing's own descriptor
    } else {
        for (int fd = 0; fd < limit && fd < (1 << 16); ++fd)
            open += ::fcntl(fd, F_GETFD) != -1;
    }
    return limit > open ? limit - open : 0;
}

void reserveDescriptors(long count) {
    const int base = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (base < 0)
        return;
    // The lowest free number at or above count - 1: no descriptor in use is touched.
    const int far = count > base + 1 ? ::fcntl(base, F_DUPFD_CLOEXEC, static_cast<int>(count - 1)) : -1;
    if (far >= 0)
        ::close(far);
    ::close(base);
}

FileSystem& systemFileSystem() {
    static SystemFileSystem fs;
    return fs;
}

} // namespace platform
