#pragma once

#include "platform/FileSystem.h"

namespace platform {

// Passes every call to another file system after asking admit() with the call's name and the open
// file or folder it works on (the one it changes, kNoFile for a call by path); a call that is not
// admitted fails with the error admit() gave. Closing always reaches the real file
// system, so no handle leaks; a close that is not admitted is only reported as failed.
class FileSystemDecorator : public FileSystem {
public:
    explicit FileSystemDecorator(FileSystem& real) : m_real(real) {}

    bool concurrent() const override { return m_real.concurrent(); }
    bool replacesOpenFiles() const override { return m_real.replacesOpenFiles(); }
    std::error_code openFolder(const std::string& path, FileHandle& out) override;
    std::error_code openAt(FileHandle dir, const std::string& name, OpenMode mode, std::uint32_t permissions,
                           FileHandle& out) override;
    std::error_code lockFolder(FileHandle dir, Lock kind) override;
    std::error_code mountId(FileHandle file, std::uint64_t& id) override;
    std::error_code readDir(FileHandle dir, std::vector<DirEntry>& out) override;
    std::error_code statAt(FileHandle dir, const std::string& name, FileInfo& out) override;
    std::error_code stat(FileHandle file, FileInfo& out) override;
    std::error_code statPath(const std::string& path, FileInfo& out) override;
    std::error_code openUnnamed(FileHandle dir, std::uint32_t permissions, FileHandle& out) override;
    std::error_code linkUnnamed(FileHandle file, FileHandle dir, const std::string& name) override;
    std::error_code read(FileHandle file, void* buf, std::size_t len, std::int64_t offset,
                         std::size_t& got) override;
    std::error_code write(FileHandle file, const void* buf, std::size_t len, std::size_t& written) override;
    std::error_code copyRange(FileHandle in, std::int64_t offset, FileHandle out, std::size_t len,
                              std::size_t& copied) override;
    std::error_code truncate(FileHandle file, std::int64_t length) override;
    std::error_code setOwner(FileHandle file, std::uint32_t owner, std::uint32_t group) override;
    std::error_code setPermissions(FileHandle file, std::uint32_t permissions) override;
    std::error_code copyAccess(FileHandle from, FileHandle to) override;
    std::error_code listXattrs(FileHandle file, std::vector<std::string>& names) override;
    std::error_code getXattr(FileHandle file, const std::string& name, std::string& value) override;
    std::error_code setXattr(FileHandle file, const std::string& name, const std::string& value) override;
    std::error_code removeXattr(FileHandle file, const std::string& name) override;
    std::error_code entriesFixed(FileHandle dir, bool& fixed) override;
    std::error_code startWriteback(FileHandle file, std::int64_t offset, std::int64_t length) override;
    std::error_code dataSync(FileHandle file) override;
    std::error_code fsSync(FileHandle file) override;
    // One call, however many files: a kill lands before or after all of them.
    long long unwrittenBytes() override { return m_real.unwrittenBytes(); }
    std::error_code renameAt(FileHandle dir, const std::string& from, const std::string& to) override;
    std::error_code unlinkAt(FileHandle dir, const std::string& name) override;
    std::error_code close(FileHandle file) override;

protected:
    // An error fails the call without passing it on.
    virtual std::error_code admit(const char* call, FileHandle file) {
        (void)call, (void)file;
        return {};
    }
    FileSystem& real() { return m_real; }

private:
    FileSystem& m_real;
};

// The file system the windowed program uses: the real one.
FileSystem& programFileSystem();

} // namespace platform
