#pragma once

#include "platform/Retry.h"

#include <algorithm>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

// Every file-system call the core makes goes through this interface, so tests can fail any one of
// them, record their order, or stop the process at a chosen call (FileSystemDecorator.h). It speaks
// in its own types: one implementation serves POSIX systems (posix/), one Windows (win32/).
//
// Each call returns an error code, empty on success. Where it matters to the core the code compares
// equal to a std::errc condition (no_such_file_or_directory, operation_would_block, interrupted,
// operation_not_supported, ...); its message() is the system's own description, and its category
// tells which system gave it.
// Names are UTF-8, relative to an open folder, and never hold a separator; the Windows
// implementation turns them into UTF-16 at its calls.
namespace platform {

// An open file or folder: a descriptor on POSIX, a HANDLE on Windows. Only its implementation
// looks inside.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

enum class FileKind : unsigned char { Unknown, Regular, Folder, Link, Other };

// Which file: the same file under every name and handle, another one after a replacement.
struct FileId {
    std::uint64_t volume = 0; // the device on POSIX, the volume's serial number on Windows
    std::uint64_t file = 0;   // the inode on POSIX, the file index on Windows
    friend auto operator<=>(const FileId&, const FileId&) = default;
};

// When the file's content or metadata last changed, as the system keeps it: any change moves it on.
// Opaque to the core beyond comparing two of them.
struct ChangeStamp {
    std::int64_t seconds = 0;
    std::int64_t fraction = 0; // nanoseconds on POSIX, 100 ns intervals on Windows
    friend bool operator==(const ChangeStamp&, const ChangeStamp&) = default;
};

inline constexpr std::uint32_t kKeepOwner = 0xffffffff;

struct FileInfo {
    FileKind kind = FileKind::Unknown;
    std::int64_t size = 0;
    FileId id;
    std::uint64_t links = 1; // names the file has
    ChangeStamp changed;
    bool readOnly = false; // its owner may not write it (no S_IWUSR; FILE_ATTRIBUTE_READONLY)
    // What carries over to a file's next content: on POSIX the owner, the group and the mode bits
    // (07777); on Windows the attributes (read-only, hidden, system, archive), with owner and group
    // 0: there the security descriptor goes whole (copyAccess).
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint32_t permissions = 0;
};

struct DirEntry {
    std::string name;
    FileKind kind = FileKind::Unknown; // Unknown where the folder's listing does not tell
    // Kept out of what a person is shown: a leading dot on POSIX, the hidden or system attribute
    // on Windows.
    bool hidden = false;
};

// How openAt opens a name. Links are never followed, a FIFO never blocks the opening, and no
// terminal becomes the process's own.
enum class OpenMode : unsigned char {
    Read,
    ReadWrite,
    Append,          // reading and writing, each write at the end
    CreateAppend,    // a new file (fails where the name is taken), each write at the end
    CreateTemporary, // a new file (fails where the name is taken) for a file's next content; hidden
                     // where the system has hidden files
    Folder,          // a folder, to read and to open names in
    FolderPath,      // a folder only to find its own folder ("..") and lock it
};

// The file a folder's lock is also taken on, in the folder itself, by the programs of both systems:
// a run of the other system's build (wine beside Linux, a share's server and its clients) sees it
// there. Made where it is missing, and removed again by the last run that lets it go.
inline constexpr const char* kFolderLockName = ".stepwick.lock";

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // True when two threads may call it at once.
    virtual bool concurrent() const { return false; }
    // True where a name can be renamed over while a handle holds the file it names (POSIX); false
    // where the system refuses that (Windows without POSIX rename semantics, wine): the core then
    // closes its own handles of both files before it renames.
    virtual bool replacesOpenFiles() const { return true; }

    // Opens a folder by its path (OpenMode::Folder).
    virtual std::error_code openFolder(const std::string& path, FileHandle& out) = 0;
    // "." opens the same folder again, ".." its parent. permissions: the mode bits a file the call
    // creates starts with (POSIX, narrowed by the umask); systems without them ignore it.
    virtual std::error_code openAt(FileHandle dir, const std::string& name, OpenMode mode,
                                   std::uint32_t permissions, FileHandle& out) = 0;
    // A lock on the folder, not waiting: fails with operation_would_block while another process
    // holds an exclusive one, or (asking for an exclusive one) a shared one. Released when the
    // handle is closed. Also taken on the folder's kFolderLockName, which an exclusive lock makes
    // where the folder lets it; a shared one only uses the file another run made.
    enum class Lock { Exclusive, Shared };
    virtual std::error_code lockFolder(FileHandle dir, Lock kind) = 0;
    // Which mount holds the open file: a folder bound elsewhere has the same identity, but not the
    // same mount. Fails with function_not_supported where the system does not tell.
    virtual std::error_code mountId(FileHandle file, std::uint64_t& id) = 0;
    // Reads every entry of the folder but "." and "..".
    virtual std::error_code readDir(FileHandle dir, std::vector<DirEntry>& out) = 0;
    // The name's own information: a link is not followed.
    virtual std::error_code statAt(FileHandle dir, const std::string& name, FileInfo& out) = 0;
    virtual std::error_code stat(FileHandle file, FileInfo& out) = 0;
    // What a path leads to, a link followed: only for what the folder picker shows (the core never
    // follows a link).
    virtual std::error_code statPath(const std::string& path, FileInfo& out) = 0;
    // An unnamed file in the folder (O_TMPFILE), open for reading and writing; fails with
    // operation_not_supported (or is_a_directory, invalid_argument) where the system has none, or
    // where it could not be named (no /proc).
    virtual std::error_code openUnnamed(FileHandle dir, std::uint32_t permissions, FileHandle& out) = 0;
    // Gives an unnamed file a name in the folder; no_such_file_or_directory without /proc.
    virtual std::error_code linkUnnamed(FileHandle file, FileHandle dir, const std::string& name) = 0;
    // Reads up to len bytes at offset; got 0 at the end of the file.
    virtual std::error_code read(FileHandle file, void* buf, std::size_t len, std::int64_t offset,
                                 std::size_t& got) = 0;
    // Writes up to len bytes at the current position (the end for an appending handle).
    virtual std::error_code write(FileHandle file, const void* buf, std::size_t len,
                                  std::size_t& written) = 0;
    // Copies up to len bytes from in at offset to the current position of out; fails with
    // operation_not_supported where the system cannot copy between the two itself (see copyRange
    // below, which then copies through a buffer).
    virtual std::error_code copyRange(FileHandle in, std::int64_t offset, FileHandle out, std::size_t len,
                                      std::size_t& copied) = 0;
    virtual std::error_code truncate(FileHandle file, std::int64_t length) = 0;
    // Gives the file an owner and a group (POSIX); kKeepOwner leaves one as it is.
    virtual std::error_code setOwner(FileHandle file, std::uint32_t owner, std::uint32_t group) = 0;
    // Sets FileInfo::permissions: the mode bits on POSIX, the attributes on Windows.
    virtual std::error_code setPermissions(FileHandle file, std::uint32_t permissions) = 0;
    // Gives to the who-may-do-what of from (Windows: its security descriptor, the owner where this
    // process may set it). POSIX keeps that in the mode and in extended attributes: nothing to do.
    virtual std::error_code copyAccess(FileHandle from, FileHandle to) = 0;
    // Extended attributes of an open file, by full name ("user.x", "system.posix_acl_access").
    // Where the file system or the system has none, listing fails with not_supported.
    virtual std::error_code listXattrs(FileHandle file, std::vector<std::string>& names) = 0;
    virtual std::error_code getXattr(FileHandle file, const std::string& name, std::string& value) = 0;
    virtual std::error_code setXattr(FileHandle file, const std::string& name, const std::string& value) = 0;
    virtual std::error_code removeXattr(FileHandle file, const std::string& name) = 0;
    // True when the folder lets entries be added but not renamed over or removed (append-only or
    // immutable); false when it does or cannot tell.
    virtual std::error_code entriesFixed(FileHandle dir, bool& fixed) = 0;
    // Starts writing a range of the file to disk without waiting for it; only a hint.
    virtual std::error_code startWriteback(FileHandle file, std::int64_t offset, std::int64_t length) = 0;
    // Flushes the file's data (and what is needed to read it back) to disk.
    virtual std::error_code dataSync(FileHandle file) = 0;
    // Flushes the whole file system that holds the file; function_not_supported where the system
    // offers no such flush to this process.
    virtual std::error_code fsSync(FileHandle file) = 0;
    // Bytes that programs have written on this machine and that are not on disk yet, or -1 when
    // the system does not tell.
    virtual long long unwrittenBytes() { return -1; }
    // Puts from in the place of to in one step, to replaced whole or not at all, and as far as
    // the system allows on disk when the call returns.
    virtual std::error_code renameAt(FileHandle dir, const std::string& from, const std::string& to) = 0;
    virtual std::error_code unlinkAt(FileHandle dir, const std::string& name) = 0;
    virtual std::error_code close(FileHandle file) = 0;
};

// Owns one open file; closes it through the file system that opened it.
class UniqueFile {
public:
    UniqueFile() = default;
    UniqueFile(FileSystem& fs, FileHandle file) : m_fs(&fs), m_file(file) {}
    UniqueFile(UniqueFile&& other) noexcept : m_fs(other.m_fs), m_file(other.release()) {}
    UniqueFile& operator=(UniqueFile&& other) noexcept {
        if (this != &other) {
            reset();
            m_fs = other.m_fs;
            m_file = other.release();
        }
        return *this;
    }
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    ~UniqueFile() { reset(); }

    FileHandle get() const { return m_file; }
    explicit operator bool() const { return m_file != kNoFile; }
    FileHandle release() {
        FileHandle file = m_file;
        m_file = kNoFile;
        return file;
    }
    // Closes now and returns close()'s result; the handle is gone either way.
    std::error_code reset() {
        std::error_code ec;
        if (m_file != kNoFile && m_fs)
            ec = m_fs->close(m_file);
        m_file = kNoFile;
        return ec;
    }

private:
    FileSystem* m_fs = nullptr;
    FileHandle m_file = kNoFile;
};

// Opens name in dir through fs: the open file, or an empty one with ec set.
inline UniqueFile openAt(FileSystem& fs, FileHandle dir, const std::string& name, OpenMode mode,
                         std::error_code& ec, std::uint32_t permissions = 0) {
    FileHandle file = kNoFile;
    ec = fs.openAt(dir, name, mode, permissions, file);
    return ec ? UniqueFile() : UniqueFile(fs, file);
}

// Copies up to len bytes as fs.copyRange does, through a buffer with fs.read and fs.write where the
// system cannot copy itself: every step goes through fs, so a stand-in can fail each. A write that
// fails after some bytes went down reports those; the next call meets the failure again.
inline std::error_code copyRange(FileSystem& fs, FileHandle in, std::int64_t offset, FileHandle out,
                                 std::size_t len, std::size_t& copied) {
    copied = 0;
    const std::error_code ec = fs.copyRange(in, offset, out, len, copied);
    if (ec != std::errc::operation_not_supported)
        return ec;
    // Made on first need: a run starts many threads, and few of them copy.
    constexpr std::size_t kBuffer = std::size_t{1} << 20;
    static thread_local std::unique_ptr<char[]> buf;
    if (!buf)
        buf = std::make_unique_for_overwrite<char[]>(kBuffer);
    std::size_t got = 0;
    if (std::error_code err =
            retryOnInterrupt([&] { return fs.read(in, buf.get(), std::min(len, kBuffer), offset, got); }))
        return err;
    while (copied < got) {
        std::size_t n = 0;
        if (std::error_code err =
                retryOnInterrupt([&] { return fs.write(out, buf.get() + copied, got - copied, n); }))
            return copied > 0 ? std::error_code() : err;
        copied += n;
    }
    return {};
}

} // namespace platform
