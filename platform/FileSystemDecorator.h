#pragma once

#include "platform/FileSystem.h"

namespace platform {

// Passes every call to another file system after asking admit() with the call's name; a call
// that is not admitted fails with the errno admit() set. Closing always reaches the real file
// system, so no descriptor leaks; a close that is not admitted is only reported as failed.
class FileSystemDecorator : public FileSystem {
public:
    explicit FileSystemDecorator(FileSystem& real) : m_real(real) {}

    bool concurrent() const override { return m_real.concurrent(); }
    int openDir(const std::string& path) override;
    int lockDir(int dirFd, Lock kind) override;
    int mountId(int fd, std::uint64_t& id) override;
    int readDir(int dirFd, std::vector<DirEntry>& out) override;
    int statAt(int dirFd, const std::string& name, struct stat& st) override;
    int openAt(int dirFd, const std::string& name, int flags, mode_t mode) override;
    int openUnnamed(int dirFd, mode_t mode) override;
    int linkUnnamed(int fd, int dirFd, const std::string& name) override;
    int fstat(int fd, struct stat& st) override;
    ssize_t pread(int fd, void* buf, std::size_t len, off_t offset) override;
    ssize_t write(int fd, const void* buf, std::size_t len) override;
    ssize_t copyRange(int in, off_t offset, int out, std::size_t len) override;
    int truncate(int fd, off_t length) override;
    int chown(int fd, uid_t uid, gid_t gid) override;
    int chmod(int fd, mode_t mode) override;
    int listXattrs(int fd, std::vector<std::string>& names) override;
    int getXattr(int fd, const std::string& name, std::string& value) override;
    int setXattr(int fd, const std::string& name, const std::string& value) override;
    int removeXattr(int fd, const std::string& name) override;
    int entriesFixed(int dirFd) override;
    int startWriteback(int fd, off_t offset, off_t length) override;
    int dataSync(int fd) override;
    int fsSync(int fd) override;
    // One call, however many files: a kill lands before or after all of them.
    long dataSyncEach(const std::vector<int>& fds) override;
    long long unwrittenBytes() override { return m_real.unwrittenBytes(); }
    int renameAt(int dirFd, const std::string& from, const std::string& to) override;
    int unlinkAt(int dirFd, const std::string& name) override;
    int close(int fd) override;

protected:
    // False, with errno set, fails the call without passing it on.
    virtual bool admit(const char* call) = 0;
    FileSystem& real() { return m_real; }

private:
    FileSystem& m_real;
};

// The file system the windowed program uses: the real one.
FileSystem& programFileSystem();

} // namespace platform
