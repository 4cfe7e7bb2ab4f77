#pragma once

#include "platform/FileSystemDecorator.h"

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace platform {

// A stand-in for tests: passes every call to another file system, notes each call's name in
// order, and can fail the N-th call (counting from 1), every call of some names, or those made on
// the folder a run opened by its path, with an error.
class RecordingFileSystem final : public FileSystemDecorator {
public:
    explicit RecordingFileSystem(FileSystem& real = systemFileSystem()) : FileSystemDecorator(real) {}
    // One call at a time, so that the record keeps the order the calls were made in.
    bool concurrent() const override { return false; }
    void failCall(long n, std::error_code err) { m_failAt = n, m_failErr = err; }
    void failCall(long n, std::errc err = std::errc::io_error) { failCall(n, std::make_error_code(err)); }
    void failEvery(const std::string& name, std::error_code err) { m_failEvery[name] = err; }
    void failEvery(const std::string& name, std::errc err = std::errc::io_error) {
        failEvery(name, std::make_error_code(err));
    }
    // Fails every call of this name made on the folder that openFolder opened last.
    void failOnOpenedFolder(std::string name, std::errc err = std::errc::io_error) {
        m_folderCall = std::move(name), m_folderErr = std::make_error_code(err);
    }
    std::error_code openFolder(const std::string& path, FileHandle& out) override {
        const std::error_code ec = FileSystemDecorator::openFolder(path, out);
        m_opened = ec ? kNoFile : out;
        return ec;
    }
    // Lists a folder's first `kept` entries only, then fails with err: a listing that broke off.
    void breakOffListing(std::size_t kept, std::errc err = std::errc::io_error) {
        m_listingKept = kept, m_listingErr = std::make_error_code(err);
    }
    // Says a name cannot be renamed over while a handle holds its file, as Windows without POSIX
    // rename semantics does: the core then closes its handles before it renames.
    void refuseReplacingOpenFiles() { m_replacesOpenFiles = false; }
    bool replacesOpenFiles() const override {
        return m_replacesOpenFiles && FileSystemDecorator::replacesOpenFiles();
    }
    // Lists every entry's kind as unknown, as file systems that keep no entry types do.
    void hideEntryTypes() { m_hideTypes = true; }
    std::error_code readDir(FileHandle dir, std::vector<DirEntry>& out) override {
        const std::error_code ec = FileSystemDecorator::readDir(dir, out);
        for (DirEntry& e : out)
            if (m_hideTypes)
                e.kind = FileKind::Unknown;
        if (ec || !m_listingErr)
            return ec;
        out.resize(std::min(out.size(), m_listingKept));
        return m_listingErr;
    }
    // Runs once, before the named call is passed on (to change the folder between two steps, say).
    void beforeCall(std::string name, std::function<void()> action) {
        m_hookName = std::move(name), m_hook = action;
    }
    // Runs once, before the n-th call (counting from 1) is passed on, whatever call it is.
    void beforeCall(long n, std::function<void()> action) { m_hookAt = n, m_hookAtAction = action; }
    const std::vector<std::string>& calls() const { return m_calls; }
    long count() const { return static_cast<long>(m_calls.size()); }
    void note(std::string event) { m_calls.push_back(std::move(event)); }
    // What unwrittenBytes() reports: by default "unknown", so runs flush the whole file system.
    void setUnwrittenBytes(long long bytes) { m_unwritten = bytes; }
    long long unwrittenBytes() override { return m_unwritten; }

protected:
    std::error_code admit(const char* call, FileHandle file) override {
        m_calls.emplace_back(call);
        if (m_hook && m_hookName == call)
            std::exchange(m_hook, nullptr)();
        if (m_hookAtAction && count() == m_hookAt)
            std::exchange(m_hookAtAction, nullptr)();
        if (const auto every = m_failEvery.find(call); every != m_failEvery.end())
            return every->second;
        if (file != kNoFile && file == m_opened && m_folderCall == call)
            return m_folderErr;
        return count() == m_failAt ? m_failErr : std::error_code();
    }

private:
    std::vector<std::string> m_calls;
    long m_failAt = 0;
    std::error_code m_failErr = std::make_error_code(std::errc::io_error);
    std::map<std::string, std::error_code, std::less<>> m_failEvery;
    FileHandle m_opened = kNoFile;
    std::string m_folderCall;
    std::error_code m_folderErr;
    std::size_t m_listingKept = 0;
    std::error_code m_listingErr;
    bool m_hideTypes = false;
    bool m_replacesOpenFiles = true;
    long long m_unwritten = -1;
    std::string m_hookName;
    std::function<void()> m_hook;
    long m_hookAt = 0;
    std::function<void()> m_hookAtAction;
};

} // namespace platform
