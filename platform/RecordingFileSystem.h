#pragma once

#include "platform/FileSystem.h"

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// A stand-in for tests: passes every call to another file system, notes each call's
// name in order, and can fail the N-th call (counting from 1) with a chosen errno,
// or every call of one name.
class RecordingFileSystem final : public FileSystem {
  public:
    explicit RecordingFileSystem(FileSystem& real = systemFileSystem()) : m_real(real) {}

    void failCall(long n, int err = EIO) {
        m_failAt = n;
        m_failErr = err;
    }
    void failEvery(std::string name, int err = EIO) {
        m_failName = std::move(name);
        m_failErr = err;
    }
    // Runs before the named call is passed on (to change the folder between two steps, say).
    void beforeCall(std::string name, std::function<void()> action) {
        m_hookName = std::move(name);
        m_hook = std::move(action);
    }
    const std::vector<std::string>& calls() const { return m_calls; }
    long count() const { return static_cast<long>(m_calls.size()); }
    void note(std::string event) { m_calls.push_back(std::move(event)); }
    // What unwrittenBytes() reports: by default "unknown", so runs flush the whole file system.
    void setUnwrittenBytes(long long bytes) { m_unwritten = bytes; }
    long long unwrittenBytes() override { return m_unwritten; }

    int openDir(const std::string& path) override {
        return pass("openDir", [&] { return m_real.openDir(path); });
    }
    int lockDir(int dirFd) override { return pass("lockDir", [&] { return m_real.lockDir(dirFd); }); }
    int readDir(int dirFd, std::vector<DirEntry>& out) override {
        return pass("readDir", [&] { return m_real.readDir(dirFd, out); });
    }
    int statAt(int dirFd, const std::string& name, struct stat& st) override {
        return pass("statAt", [&] { return m_real.statAt(dirFd, name, st); });
    }
    int openAt(int dirFd, const std::string& name, int flags, mode_t mode) override {
        return pass("openAt", [&] { return m_real.openAt(dirFd, name, flags, mode); });
    }
    int openUnnamed(int dirFd, mode_t mode) override {
        return pass("openUnnamed", [&] { return m_real.openUnnamed(dirFd, mode); });
    }
    int linkUnnamed(int fd, int dirFd, const std::string& name) override {
        return pass("linkUnnamed", [&] { return m_real.linkUnnamed(fd, dirFd, name); });
    }
    int fstat(int fd, struct stat& st) override {
        return pass("fstat", [&] { return m_real.fstat(fd, st); });
    }
    ssize_t pread(int fd, void* buf, std::size_t len, off_t offset) override {
        return pass("pread", [&] { return m_real.pread(fd, buf, len, offset); });
    }
    ssize_t write(int fd, const void* buf, std::size_t len) override {
        return pass("write", [&] { return m_real.write(fd, buf, len); });
    }
    ssize_t copyRange(int in, off_t offset, int out, std::size_t len) override {
        return pass("copyRange", [&] { return m_real.copyRange(in, offset, out, len); });
    }
    int truncate(int fd, off_t length) override {
        return pass("truncate", [&] { return m_real.truncate(fd, length); });
    }
    int chown(int fd, uid_t uid, gid_t gid) override {
        return pass("chown", [&] { return m_real.chown(fd, uid, gid); });
    }
    int chmod(int fd, mode_t mode) override {
        return pass("chmod", [&] { return m_real.chmod(fd, mode); });
    }
    int listXattrs(int fd, std::vector<std::string>& names) override {
        return pass("listXattrs", [&] { return m_real.listXattrs(fd, names); });
    }
    int getXattr(int fd, const std::string& name, std::string& value) override {
        return pass("getXattr", [&] { return m_real.getXattr(fd, name, value); });
    }
    int setXattr(int fd, const std::string& name, const std::string& value) override {
        return pass("setXattr", [&] { return m_real.setXattr(fd, name, value); });
    }
    int removeXattr(int fd, const std::string& name) override {
        return pass("removeXattr", [&] { return m_real.removeXattr(fd, name); });
    }
    int entriesFixed(int dirFd) override {
        return pass("entriesFixed", [&] { return m_real.entriesFixed(dirFd); });
    }
    int startWriteback(int fd, off_t offset, off_t length) override {
        return pass("startWriteback", [&] { return m_real.startWriteback(fd, offset, length); });
    }
    int dataSync(int fd) override {
        return pass("dataSync", [&] { return m_real.dataSync(fd); });
    }
    int fsSync(int fd) override {
        return pass("fsSync", [&] { return m_real.fsSync(fd); });
    }
    int renameAt(int dirFd, const std::string& from, const std::string& to) override {
        return pass("renameAt", [&] { return m_real.renameAt(dirFd, from, to); });
    }
    int unlinkAt(int dirFd, const std::string& name) override {
        return pass("unlinkAt", [&] { return m_real.unlinkAt(dirFd, name); });
    }
    // Closing always happens, so no descriptor leaks from a test; a failure is only reported.
    int close(int fd) override {
        int rc = m_real.close(fd);
        return pass("close", [&] { return rc; });
    }

  private:
    template <typename Call> auto pass(const char* name, Call call) -> decltype(call()) {
        m_calls.emplace_back(name);
        if (m_hook && m_hookName == name) {
            auto hook = std::move(m_hook);
            m_hook = nullptr;
            hook();
        }
        if (static_cast<long>(m_calls.size()) == m_failAt || m_failName == name) {
            errno = m_failErr;
            return -1;
        }
        return call();
    }

    FileSystem& m_real;
    std::vector<std::string> m_calls;
    long m_failAt = 0;
    std::string m_failName;
    int m_failErr = EIO;
    long long m_unwritten = -1;
    std::string m_hookName;
    std::function<void()> m_hook;
};

} // namespace platform
