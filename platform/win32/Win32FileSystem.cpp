#include "platform/FileSystem.h"
#include "platform/win32/Win32Error.h"
#include "platform/win32/Win32Paths.h"

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>
#include <utility>

namespace platform {
namespace {

using win32::lastError;
using win32::longPath;
using win32::rootLength;
using win32::win32Error;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The attributes that belong to a file's content and carry over to its next one.
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// Writes only at the end: every right of GENERIC_WRITE but FILE_WRITE_DATA.
constexpr DWORD kAppendAccess =
    FILE_GENERIC_READ | FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | SYNCHRONIZE;

// Windows 10's classes, which MinGW's headers hide behind a test that never holds.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

HANDLE handleOf(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle fileOf(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

// A handle of the implementation's own, closed on every path; the last error survives the close.
class OwnHandle {
public:
    explicit OwnHandle(HANDLE h) : m_h(h) {}
    ~OwnHandle() {
        if (m_h != INVALID_HANDLE_VALUE) {
            const DWORD err = ::GetLastError();
            ::CloseHandle(m_h);
            ::SetLastError(err);
        }
    }
    OwnHandle(const OwnHandle&) = delete;
    OwnHandle& operator=(const OwnHandle&) = delete;
    HANDLE get() const { return m_h; }
    HANDLE release() { return std::exchange(m_h, INVALID_HANDLE_VALUE); }

private:
    HANDLE m_h;
};

// Errors of the seam's own making, equal to the conditions the core asks about.
std::error_code errc(std::errc e) { return std::make_error_code(e); }

} // namespace

namespace win32 {

// Where a path's root ends: "\\?\C:\", "\\?\UNC\server\share\", "\\?\Volume{...}\".
std::size_t rootLength(const std::wstring& path) {
    constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
    std::size_t at = 4;
    int components = 1;
    if (path.compare(0, kUnc.size(), kUnc) == 0) {
        at = kUnc.size();
        components = 2;
    }
    for (; components > 0; --components) {
        const std::size_t sep = path.find(L'\\', at);
        at = sep == std::wstring::npos ? path.size() : sep + 1;
    }
    return at;
}

std::error_code childOf(std::wstring& path, const std::string& name) {
    const std::size_t root = rootLength(path);
    if (path.size() > root && path.back() == L'\\')
        path.pop_back();
    if (name == ".")
        return {};
    if (name == "..") {
        const std::size_t sep = path.rfind(L'\\');
        path.resize(sep == std::wstring::npos || sep < root ? root : sep);
        return {};
    }
    std::wstring wide;
    if (std::error_code ec = toWide(name, wide))
        return ec;
    if (path.back() != L'\\')
        path += L'\\';
    path += wide;
    return {};
}

// A path the user gave, absolute and in its "\\?\" form, so that no length limit applies.
std::error_code longPath(const std::string& path, std::wstring& out) {
    std::wstring wide;
    if (std::error_code ec = toWide(path, wide))
        return ec;
    if (wide.empty())
        return win32Error(ERROR_PATH_NOT_FOUND);
    if (wide.rfind(L"\\\\?\\", 0) == 0) {
        out = wide;
        return {};
    }
    std::wstring full;
    for (DWORD need = MAX_PATH;;) {
        full.resize(need);
        const DWORD n = ::GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
        if (n == 0)
            return lastError();
        if (n < need) { // else n is the size it needs
            full.resize(n);
            break;
        }
        need = n;
    }
    out = full.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
    return {};
}

} // namespace win32

namespace {

// The open file's or folder's path as the system finds it now, in its "\\?\" form; as it was
// opened where the file system cannot normalise it (some network and virtual drives).
std::error_code folderPath(HANDLE dir, std::wstring& out) {
    std::error_code ec;
    for (DWORD how : {FILE_NAME_NORMALIZED, FILE_NAME_OPENED}) {
        out.resize(MAX_PATH);
        for (;;) {
            const DWORD n = ::GetFinalPathNameByHandleW(dir, out.data(), static_cast<DWORD>(out.size()),
                                                        how | VOLUME_NAME_DOS);
            if (n == 0 && ::GetLastError() == ERROR_MORE_DATA && out.size() < 0x10000) {
                out.resize(out.size() * 2); // wine's answer for a path longer than the buffer
                continue;
            }
            if (n == 0) {
                ec = lastError();
                break;
            }
            if (n < out.size()) {
                out.resize(n);
                return {};
            }
            out.resize(n);
        }
    }
    return ec;
}

// The path of name in the open folder. "\\?\" paths are taken as written, so "." and ".." are
// resolved here.
std::error_code childPath(HANDLE dir, const std::string& name, std::wstring& out) {
    if (name.empty() || name.find_first_of("\\/:", 0, 3) != std::string::npos ||
        name.find('\0') != std::string::npos)
        return errc(std::errc::invalid_argument);
    if (std::error_code ec = folderPath(dir, out))
        return ec;
    return win32::childOf(out, name);
}

struct Opening {
    DWORD access;
    DWORD disposition;
    DWORD flags;
};

Opening openingOf(OpenMode mode) {
    constexpr DWORD noFollow = FILE_FLAG_OPEN_REPARSE_POINT;
    constexpr DWORD folder = noFollow | FILE_FLAG_BACKUP_SEMANTICS;
    switch (mode) {
    case OpenMode::Read: // opens a folder too, as reading one does on POSIX
        return {GENERIC_READ, OPEN_EXISTING, folder};
    case OpenMode::ReadWrite:
        return {GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, noFollow};
    case OpenMode::Append:
        return {kAppendAccess, OPEN_EXISTING, noFollow};
    case OpenMode::CreateAppend:
        return {kAppendAccess | READ_CONTROL | WRITE_DAC, CREATE_NEW, noFollow};
    // Its creator gets the rights it asks for: enough to give it the security of the file it replaces.
    case OpenMode::CreateTemporary:
        return {GENERIC_READ | GENERIC_WRITE | WRITE_DAC | WRITE_OWNER, CREATE_NEW,
                noFollow | FILE_ATTRIBUTE_HIDDEN};
    case OpenMode::Folder:
        return {FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
                OPEN_EXISTING, folder};
    case OpenMode::FolderPath:
        return {FILE_READ_ATTRIBUTES | SYNCHRONIZE, OPEN_EXISTING, folder};
    }
    return {0, OPEN_EXISTING, folder};
}

// A reparse point that names another file (a symbolic link, a junction), or one of a kind unknown.
bool isLinkTag(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (tag == 0 || IsReparseTagNameSurrogate(tag));
}

std::error_code linkTest(HANDLE h, bool& link, bool& folder) {
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info))
        return lastError();
    link = isLinkTag(info.FileAttributes, info.ReparseTag);
    folder = (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return {};
}

// Is the open file the one its path names, not one a link led to? Wine opens what a Unix
// symbolic link names and shows no reparse point for it: only the opened file's own path tells.
std::error_code whereNamed(HANDLE h, const std::wstring& path, bool& here) {
    std::wstring opened;
    if (std::error_code ec = folderPath(h, opened)) {
        // Wine names no path past its own limit; Windows always does. There the listing's word stands.
        if (ec == win32Error(ERROR_MORE_DATA) && path.size() > MAX_PATH) {
            here = true;
            return {};
        }
        return ec;
    }
    here = ::CompareStringOrdinal(opened.c_str(), static_cast<int>(opened.size()), path.c_str(),
                                  static_cast<int>(path.size()), TRUE) == CSTR_EQUAL;
    return {};
}

// Opens path as the mode says; an existing name must not be a link, and a folder mode wants a folder.
std::error_code openPath(const std::wstring& path, OpenMode mode, bool followLinks, HANDLE& out) {
    Opening how = openingOf(mode);
    if (followLinks)
        how.flags &= ~FILE_FLAG_OPEN_REPARSE_POINT;
    OwnHandle h(
        ::CreateFileW(path.c_str(), how.access, kShareAll, nullptr, how.disposition, how.flags, nullptr));
    if (h.get() == INVALID_HANDLE_VALUE)
        return lastError();
    if (how.disposition == OPEN_EXISTING) {
        bool link = false, folder = false;
        if (std::error_code ec = linkTest(h.get(), link, folder))
            return ec;
        bool here = true;
        if (!link && !followLinks)
            if (std::error_code ec = whereNamed(h.get(), path, here))
                return ec;
        if (link || !here)
            return win32Error(ERROR_CANT_RESOLVE_FILENAME);
        if (!folder && (mode == OpenMode::Folder || mode == OpenMode::FolderPath))
            return win32Error(ERROR_DIRECTORY);
    }
    out = h.release();
    return {};
}

ChangeStamp stampOf(const LARGE_INTEGER& time) {
    constexpr std::int64_t kPerSecond = 10'000'000;
    return {time.QuadPart / kPerSecond, time.QuadPart % kPerSecond};
}

FileKind kindOf(DWORD attributes, DWORD tag) {
    if (isLinkTag(attributes, tag))
        return FileKind::Link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder : FileKind::Regular;
}

// True for the errors of a system that has no such information class or flag.
bool notImplemented(DWORD err) {
    return err == ERROR_INVALID_PARAMETER || err == ERROR_NOT_SUPPORTED ||
           err == ERROR_CALL_NOT_IMPLEMENTED || err == ERROR_INVALID_FUNCTION;
}

// The lock file that stands for a folder: named by the folder's identity, in a folder of the user's
// temporary folder, so that every process of the user finds the same one.
std::error_code lockFilePath(HANDLE dir, std::wstring& out) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(dir, &info))
        return lastError();
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH)
        return n == 0 ? lastError() : win32Error(ERROR_FILENAME_EXCED_RANGE);
    out.assign(temp, n);
    out += L"stepwick-locks";
    if (!::CreateDirectoryW(out.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return lastError();
    wchar_t name[64];
    std::swprintf(name, 64, L"\\%08lx-%08lx%08lx.lock", info.dwVolumeSerialNumber, info.nFileIndexHigh,
                  info.nFileIndexLow);
    out += name;
    return {};
}

// Is the name still the file h holds? A run letting go removes it, and one that opened it just
// before then holds a lock on a file no one else finds.
bool stillNamed(const std::wstring& path, HANDLE h) {
    OwnHandle named(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return named.get() != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(named.get(), &a) &&
           ::GetFileInformationByHandle(h, &b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool lockFirstByte(HANDLE h, bool exclusive) {
    OVERLAPPED at{};
    return ::LockFileEx(h, LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0), 0, 1, 0,
                        &at) != 0;
}

// The folder's own lock file, its first byte locked: wine turns the lock into the fcntl lock that
// the Linux build takes on the same file, and a share's server into its own. The handle, or none
// where the folder has none this process may lock (a shared lock finds none made, a folder that
// lets no one write): the lock in the temporary folder then stands alone.
std::error_code takeLockFile(HANDLE dir, bool exclusive, HANDLE& out) {
    out = INVALID_HANDLE_VALUE;
    std::wstring path;
    if (childPath(dir, kFolderLockName, path))
        return {};
    for (int attempt = 0; attempt < 100; ++attempt) {
        OwnHandle h(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, kShareAll, nullptr,
                                  exclusive ? OPEN_ALWAYS : OPEN_EXISTING,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        // A name pending deletion (one that another run let go of just now) refuses every opening
        // until its last handle is closed.
        if (h.get() == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED && attempt < 20) {
            ::Sleep(1);
            continue;
        }
        bool link = false, folder = false, here = false;
        if (h.get() == INVALID_HANDLE_VALUE || linkTest(h.get(), link, folder) || link || folder ||
            whereNamed(h.get(), path, here) || !here)
            return {};
        if (!lockFirstByte(h.get(), exclusive))
            return ::GetLastError() == ERROR_LOCK_VIOLATION ? win32Error(ERROR_LOCK_VIOLATION)
                                                            : std::error_code();
        if (stillNamed(path, h.get())) {
            out = h.release();
            return {};
        }
    }
    return win32Error(ERROR_LOCK_VIOLATION); // others keep making and removing it: they are running
}

// The last run to let go removes the lock file: one that can lock it alone. Without POSIX semantics
// (older systems, wine) the name lingers until the handle is closed, and a run opening it then
// tries again.
void letGoOfLockFile(HANDLE dir, HANDLE h) {
    OVERLAPPED at{};
    ::UnlockFileEx(h, 0, 1, 0, &at);
    std::wstring path;
    if (lockFirstByte(h, true) && !childPath(dir, kFolderLockName, path) && stillNamed(path, h)) {
        FILE_DISPOSITION_INFO_EX ex{FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS};
        FILE_DISPOSITION_INFO plain{TRUE};
        if (!::SetFileInformationByHandle(h, kFileDispositionInfoEx, &ex, sizeof ex))
            ::SetFileInformationByHandle(h, FileDispositionInfo, &plain, sizeof plain);
    }
    ::CloseHandle(h);
}

class Win32FileSystem final : public FileSystem {
public:
    bool concurrent() const override { return true; }
    // MoveFileExW, the rename wine and older Windows offer, fails on a target any handle holds.
    bool replacesOpenFiles() const override { return false; }

    // The user's folder is taken as the path names it: a link on the way is followed.
    std::error_code openFolder(const std::string& path, FileHandle& out) override {
        std::wstring full;
        HANDLE h = INVALID_HANDLE_VALUE;
        if (std::error_code ec = longPath(path, full))
            return ec;
        if (std::error_code ec = openPath(full, OpenMode::Folder, true, h))
            return ec;
        out = fileOf(h);
        return {};
    }

    std::error_code openAt(FileHandle dir, const std::string& name, OpenMode mode,
                           std::uint32_t /*permissions*/, FileHandle& out) override {
        std::wstring path;
        HANDLE h = INVALID_HANDLE_VALUE;
        if (std::error_code ec = childPath(handleOf(dir), name, path))
            return ec;
        if (std::error_code ec = openPath(path, mode, false, h))
            return ec;
        out = fileOf(h);
        return {};
    }

    std::error_code lockFolder(FileHandle dir, Lock kind) override {
        std::lock_guard<std::mutex> guard(m_locksMutex);
        if (std::error_code ec = lockFolderFile(dir, kind == Lock::Exclusive))
            return ec;
        auto found = m_locks.find(dir);
        HANDLE lock = found == m_locks.end() ? INVALID_HANDLE_VALUE : found->second;
        if (lock == INVALID_HANDLE_VALUE) {
            std::wstring path;
            if (std::error_code ec = lockFilePath(handleOf(dir), path))
                return ec;
            lock =
                ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (lock == INVALID_HANDLE_VALUE) {
                const std::error_code ec = lastError();
                letGoOfFolderFile(dir);
                return ec;
            }
        } else {
            // Another kind of lock replaces the one held, as flock does.
            OVERLAPPED at{};
            ::UnlockFileEx(lock, 0, 1, 0, &at);
        }
        OVERLAPPED at{};
        const DWORD flags =
            LOCKFILE_FAIL_IMMEDIATELY | (kind == Lock::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
        if (!::LockFileEx(lock, flags, 0, 1, 0, &at)) {
            const std::error_code ec = lastError();
            ::CloseHandle(lock);
            m_locks.erase(dir);
            letGoOfFolderFile(dir);
            return ec;
        }
        m_locks[dir] = lock;
        return {};
    }

    std::error_code mountId(FileHandle /*file*/, std::uint64_t& /*id*/) override {
        return errc(std::errc::function_not_supported);
    }

    std::error_code readDir(FileHandle dir, std::vector<DirEntry>& out) override {
        // A handle of its own: a listing moves on the handle it reads.
        std::wstring path;
        if (std::error_code ec = folderPath(handleOf(dir), path))
            return ec;
        OwnHandle list(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                     nullptr));
        if (list.get() == INVALID_HANDLE_VALUE)
            return lastError();
        constexpr DWORD kBuffer = 64 * 1024;
        auto buf = std::make_unique<std::uint64_t[]>(kBuffer / sizeof(std::uint64_t));
        for (;;) {
            if (!::GetFileInformationByHandleEx(list.get(), FileIdBothDirectoryInfo, buf.get(), kBuffer))
                return ::GetLastError() == ERROR_NO_MORE_FILES ? std::error_code() : lastError();
            const char* at = reinterpret_cast<const char*>(buf.get());
            for (;;) {
                const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
                const std::wstring_view wide(e->FileName, e->FileNameLength / sizeof(wchar_t));
                if (wide != L"." && wide != L"..") {
                    DirEntry entry;
                    if (std::error_code ec = win32::toUtf8(wide, entry.name))
                        return ec;
                    // The reparse tag stands in the field of the extended attributes' size.
                    entry.kind = kindOf(e->FileAttributes, e->EaSize);
                    entry.hidden = (e->FileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
                    out.push_back(std::move(entry));
                }
                if (e->NextEntryOffset == 0)
                    break;
                at += e->NextEntryOffset;
            }
        }
    }

    std::error_code statAt(FileHandle dir, const std::string& name, FileInfo& out) override {
        std::wstring path;
        if (std::error_code ec = childPath(handleOf(dir), name, path))
            return ec;
        // Only the attributes: no one's sharing stands in the way.
        OwnHandle h(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
        if (h.get() == INVALID_HANDLE_VALUE)
            return lastError();
        bool here = true;
        if (std::error_code ec = stat(fileOf(h.get()), out); ec || (ec = whereNamed(h.get(), path, here)))
            return ec;
        if (!here)
            out.kind = FileKind::Link;
        return {};
    }

    std::error_code stat(FileHandle file, FileInfo& out) override {
        const HANDLE h = handleOf(file);
        BY_HANDLE_FILE_INFORMATION info{};
        FILE_BASIC_INFO basic{};
        if (!::GetFileInformationByHandle(h, &info) ||
            !::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic))
            return lastError();
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
            !::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag))
            return lastError();
        out = FileInfo{};
        out.kind = kindOf(info.dwFileAttributes, tag.ReparseTag);
        if (out.kind == FileKind::Regular && ::GetFileType(h) != FILE_TYPE_DISK)
            out.kind = FileKind::Other;
        out.size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
        out.id = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
        out.links = info.nNumberOfLinks;
        out.changed = stampOf(basic.ChangeTime.QuadPart != 0 ? basic.ChangeTime : basic.LastWriteTime);
        out.readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        out.permissions = info.dwFileAttributes & kCarriedAttributes;
        return {};
    }

    std::error_code statPath(const std::string& path, FileInfo& out) override {
        std::wstring full;
        if (std::error_code ec = longPath(path, full))
            return ec;
        // Without FILE_FLAG_OPEN_REPARSE_POINT the handle is of what a link leads to.
        const HANDLE h = ::CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return lastError();
        const std::error_code ec = stat(fileOf(h), out);
        ::CloseHandle(h);
        return ec;
    }

    std::error_code openUnnamed(FileHandle /*dir*/, std::uint32_t /*permissions*/,
                                FileHandle& /*out*/) override {
        return errc(std::errc::operation_not_supported);
    }

    std::error_code linkUnnamed(FileHandle /*file*/, FileHandle /*dir*/,
                                const std::string& /*name*/) override {
        return errc(std::errc::operation_not_supported);
    }

    // At the offset, leaving the handle's position where it was, as pread does: a synchronous
    // handle's position moves with every read.
    std::error_code read(FileHandle file, void* buf, std::size_t len, std::int64_t offset,
                         std::size_t& got) override {
        const HANDLE h = handleOf(file);
        got = 0;
        LARGE_INTEGER position{};
        if (!::SetFilePointerEx(h, LARGE_INTEGER{}, &position, FILE_CURRENT))
            return lastError();
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
        DWORD n = 0;
        const BOOL ok = ::ReadFile(h, buf, static_cast<DWORD>(std::min<std::size_t>(len, 1u << 30)), &n, &at);
        const DWORD err = ::GetLastError();
        ::SetFilePointerEx(h, position, nullptr, FILE_BEGIN);
        if (!ok && err != ERROR_HANDLE_EOF)
            return win32Error(err);
        got = n;
        return {};
    }

    std::error_code write(FileHandle file, const void* buf, std::size_t len, std::size_t& written) override {
        DWORD n = 0;
        written = 0;
        if (!::WriteFile(handleOf(file), buf, static_cast<DWORD>(std::min<std::size_t>(len, 1u << 30)), &n,
                         nullptr))
            return lastError();
        written = n;
        return {};
    }

    // Windows copies no range between two open files: the caller copies through a buffer.
    std::error_code copyRange(FileHandle /*in*/, std::int64_t /*offset*/, FileHandle /*out*/,
                              std::size_t /*len*/, std::size_t& copied) override {
        copied = 0;
        return std::make_error_code(std::errc::operation_not_supported);
    }

    std::error_code truncate(FileHandle file, std::int64_t length) override {
        FILE_END_OF_FILE_INFO info{};
        info.EndOfFile.QuadPart = length;
        if (!::SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &info, sizeof info))
            return lastError();
        return {};
    }

    // Owner and group go with the security descriptor (copyAccess).
    std::error_code setOwner(FileHandle /*file*/, std::uint32_t /*owner*/, std::uint32_t /*group*/) override {
        return {};
    }

    std::error_code setPermissions(FileHandle file, std::uint32_t permissions) override {
        FILE_BASIC_INFO info{}; // times of 0 stay as they are
        info.FileAttributes = permissions & kCarriedAttributes;
        if (info.FileAttributes == 0) // 0 would leave the attributes as they are
            info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!::SetFileInformationByHandle(handleOf(file), FileBasicInfo, &info, sizeof info))
            return lastError();
        return {};
    }

    std::error_code copyAccess(FileHandle from, FileHandle to) override {
        PSID owner = nullptr, group = nullptr;
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR sd = nullptr;
        DWORD rc = ::GetSecurityInfo(handleOf(from), SE_FILE_OBJECT,
                                     OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                         DACL_SECURITY_INFORMATION,
                                     &owner, &group, &dacl, nullptr, &sd);
        if (rc != ERROR_SUCCESS)
            return win32Error(rc);
        // Wine turns a DACL into mode bits, taking the read-only attribute along: it is put back.
        FILE_BASIC_INFO before{};
        const bool attributesKnown =
            ::GetFileInformationByHandleEx(handleOf(to), FileBasicInfo, &before, sizeof before) != 0;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ::GetSecurityDescriptorControl(sd, &control, &revision);
        // A DACL that inherits nothing stays so; one that inherits takes its folder's entries anew.
        const SECURITY_INFORMATION daclInfo =
            DACL_SECURITY_INFORMATION |
            ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                : UNPROTECTED_DACL_SECURITY_INFORMATION);
        rc = ::SetSecurityInfo(handleOf(to), SE_FILE_OBJECT,
                               daclInfo | OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, owner,
                               group, dacl, nullptr);
        // Giving a file another owner takes a privilege this process may not hold: the DACL alone then.
        if (rc == ERROR_INVALID_OWNER || rc == ERROR_PRIVILEGE_NOT_HELD || rc == ERROR_ACCESS_DENIED)
            rc = ::SetSecurityInfo(handleOf(to), SE_FILE_OBJECT, daclInfo, nullptr, nullptr, dacl, nullptr);
        ::LocalFree(sd);
        if (rc != ERROR_SUCCESS)
            return win32Error(rc);
        FILE_BASIC_INFO after{};
        if (attributesKnown &&
            ::GetFileInformationByHandleEx(handleOf(to), FileBasicInfo, &after, sizeof after) &&
            after.FileAttributes != before.FileAttributes)
            return setPermissions(to, before.FileAttributes);
        return {};
    }

    std::error_code listXattrs(FileHandle /*file*/, std::vector<std::string>& /*names*/) override {
        return errc(std::errc::not_supported);
    }
    std::error_code getXattr(FileHandle /*file*/, const std::string& /*name*/,
                             std::string& /*value*/) override {
        return errc(std::errc::not_supported);
    }
    std::error_code setXattr(FileHandle /*file*/, const std::string& /*name*/,
                             const std::string& /*value*/) override {
        return errc(std::errc::not_supported);
    }
    std::error_code removeXattr(FileHandle /*file*/, const std::string& /*name*/) override {
        return errc(std::errc::not_supported);
    }

    std::error_code entriesFixed(FileHandle /*dir*/, bool& fixed) override {
        fixed = false;
        return {};
    }

    std::error_code startWriteback(FileHandle /*file*/, std::int64_t /*offset*/,
                                   std::int64_t /*length*/) override {
        return {};
    }

    // A folder's entries are in the file system's journal, and renameAt writes its change through:
    // a folder handle, which Windows cannot flush without write access, succeeds as it is.
    std::error_code dataSync(FileHandle file) override {
        const HANDLE h = handleOf(file);
        if (::FlushFileBuffers(h))
            return {};
        const std::error_code ec = lastError();
        bool link = false, folder = false;
        if (!linkTest(h, link, folder) && folder)
            return {};
        return ec;
    }

    std::error_code fsSync(FileHandle /*file*/) override { return errc(std::errc::function_not_supported); }

    std::error_code renameAt(FileHandle dir, const std::string& from, const std::string& to) override {
        std::wstring fromPath, toPath;
        if (std::error_code ec = childPath(handleOf(dir), from, fromPath))
            return ec;
        if (std::error_code ec = childPath(handleOf(dir), to, toPath))
            return ec;
        // Asked once per volume: every attempt that fails widens the time between the core's last
        // look at the target and its replacement, in which another program's change would be lost.
        BY_HANDLE_FILE_INFORMATION folder{};
        const DWORD volume =
            ::GetFileInformationByHandle(handleOf(dir), &folder) ? folder.dwVolumeSerialNumber : 0;
        if (!renamesByName(volume)) {
            const DWORD err = renameByHandle(fromPath, toPath);
            if (err == ERROR_SUCCESS)
                return {};
            if (!notImplemented(err))
                return win32Error(err);
            std::lock_guard<std::mutex> guard(m_locksMutex);
            m_renamesByName.insert(volume);
        }
        // Older systems (and wine) replace by name, as long as no one holds the target without
        // sharing its deletion.
        if (!::MoveFileExW(fromPath.c_str(), toPath.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return lastError();
        return {};
    }

    std::error_code unlinkAt(FileHandle dir, const std::string& name) override {
        std::wstring path;
        if (std::error_code ec = childPath(handleOf(dir), name, path))
            return ec;
        OwnHandle h(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                                  nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (h.get() == INVALID_HANDLE_VALUE)
            return lastError();
        bool link = false, folder = false, here = true;
        if (std::error_code ec = linkTest(h.get(), link, folder))
            return ec;
        if (folder && !link)
            return errc(std::errc::is_a_directory);
        // Wine would remove the file a Unix link leads to, not the link.
        if (std::error_code ec = whereNamed(h.get(), path, here))
            return ec;
        if (!link && !here)
            return win32Error(ERROR_CANT_RESOLVE_FILENAME);
        // The name goes at once, even while others hold the file open, as on POSIX.
        FILE_DISPOSITION_INFO_EX ex{FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                                    FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE};
        if (::SetFileInformationByHandle(h.get(), kFileDispositionInfoEx, &ex, sizeof ex))
            return {};
        if (!notImplemented(::GetLastError()))
            return lastError();
        FILE_DISPOSITION_INFO plain{TRUE};
        if (!::SetFileInformationByHandle(h.get(), FileDispositionInfo, &plain, sizeof plain))
            return lastError();
        return {};
    }

    std::error_code close(FileHandle file) override {
        {
            std::lock_guard<std::mutex> guard(m_locksMutex);
            auto found = m_locks.find(file);
            if (found != m_locks.end()) {
                ::CloseHandle(found->second);
                m_locks.erase(found);
            }
            letGoOfFolderFile(file);
        }
        if (!::CloseHandle(handleOf(file)))
            return lastError();
        return {};
    }

private:
    // Replaces to in one step, also a target that others hold open with share-delete; the error,
    // or ERROR_SUCCESS.
    static DWORD renameByHandle(const std::wstring& fromPath, const std::wstring& toPath) {
        // With a right to write, so that a flush can put the rename on disk.
        constexpr DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
        HANDLE opened = ::CreateFileW(fromPath.c_str(), DELETE | FILE_APPEND_DATA | SYNCHRONIZE, kShareAll,
                                      nullptr, OPEN_EXISTING, flags, nullptr);
        const bool flushable = opened != INVALID_HANDLE_VALUE;
        if (!flushable)
            opened = ::CreateFileW(fromPath.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                                   flags, nullptr);
        OwnHandle h(opened);
        if (h.get() == INVALID_HANDLE_VALUE)
            return ::GetLastError();
        const std::size_t bytes = toPath.size() * sizeof(wchar_t);
        const std::size_t size = offsetof(FILE_RENAME_INFO, FileName) + bytes + sizeof(wchar_t);
        auto buf = std::make_unique<std::uint64_t[]>(size / sizeof(std::uint64_t) + 1);
        auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.get());
        info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<DWORD>(bytes);
        std::memcpy(info->FileName, toPath.c_str(), bytes + sizeof(wchar_t));
        if (!::SetFileInformationByHandle(h.get(), kFileRenameInfoEx, info, static_cast<DWORD>(size)))
            return ::GetLastError();
        // Flushing a file commits the volume's journal, and the rename with it. The replacement is
        // done by now whatever the flush says: it is not reported as a failed rename.
        if (flushable)
            ::FlushFileBuffers(h.get());
        return ERROR_SUCCESS;
    }

    // Takes the lock on the folder's own lock file, or changes its kind; m_locksMutex held.
    std::error_code lockFolderFile(FileHandle dir, bool exclusive) {
        auto found = m_folderFiles.find(dir);
        if (found != m_folderFiles.end()) { // another kind replaces the one held
            OVERLAPPED at{};
            ::UnlockFileEx(found->second, 0, 1, 0, &at);
            if (lockFirstByte(found->second, exclusive))
                return {};
            const std::error_code ec = lastError();
            letGoOfFolderFile(dir);
            return ec;
        }
        HANDLE h = INVALID_HANDLE_VALUE;
        if (std::error_code ec = takeLockFile(handleOf(dir), exclusive, h))
            return ec;
        if (h != INVALID_HANDLE_VALUE)
            m_folderFiles[dir] = h;
        return {};
    }

    // m_locksMutex held.
    void letGoOfFolderFile(FileHandle dir) {
        auto found = m_folderFiles.find(dir);
        if (found == m_folderFiles.end())
            return;
        letGoOfLockFile(handleOf(dir), found->second);
        m_folderFiles.erase(found);
    }

    bool renamesByName(DWORD volume) {
        std::lock_guard<std::mutex> guard(m_locksMutex);
        return m_renamesByName.contains(volume);
    }

    std::mutex m_locksMutex; // also guards m_renamesByName
    // The volumes that have no rename by handle: there renameAt goes straight to MoveFileExW.
    std::set<DWORD> m_renamesByName;
    // The lock file in the temporary folder held for each folder handle that took a lock, and the
    // folder's own one where it has one.
    std::unordered_map<FileHandle, HANDLE> m_locks;
    std::unordered_map<FileHandle, HANDLE> m_folderFiles;
};

} // namespace

FileSystem& systemFileSystem() {
    static Win32FileSystem fs;
    return fs;
}

} // namespace platform
