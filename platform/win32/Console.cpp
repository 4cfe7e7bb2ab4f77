#include "platform/Console.h"

#include "platform/win32/Win32Error.h"

#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

namespace platform {
namespace {

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// UTF-16 in pieces a console takes at once, never splitting a surrogate pair.
constexpr std::size_t kPiece = 8192;

std::error_code readAll(HANDLE h, std::string& out) {
    char buf[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(h, buf, sizeof buf, &got, nullptr)) {
            // The writing end of a pipe closed: the end of what it sent.
            const DWORD error = ::GetLastError();
            return error == ERROR_BROKEN_PIPE ? std::error_code() : win32::win32Error(error);
        }
        if (got == 0)
            return {};
        out.append(buf, got);
    }
}

} // namespace

// Described as the file system describes the file (its volume's 32-bit serial number, its index),
// so that the run recognises it. A handle that wine made of a Unix descriptor (a redirection by a
// Unix shell) tells only its file id, and volume 0.
bool standardStreamFile(int fd, FileId& out) {
    const HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE || h == nullptr || ::GetFileType(h) != FILE_TYPE_DISK)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(h, &info)) {
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return false;
        out = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
        return true;
    }
    // Handles opened for writing alone may not be asked for their attributes.
    const DWORD error = ::GetLastError();
    FILE_ID_INFO id{};
    std::uint64_t index = 0;
    if (::GetFileInformationByHandleEx(h, FileIdInfo, &id, sizeof id))
        std::memcpy(&index, id.FileId.Identifier, sizeof index);
    if (index == 0)
        throw std::system_error(win32::win32Error(error), std::string("cannot tell which file standard ") +
                                                              (fd == kStandardError ? "error" : "output") +
                                                              " is written into");
    out = {id.VolumeSerialNumber & 0xffffffffu, index};
    return true;
}

std::error_code readStream(int fd, std::string& out) {
    const HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE || h == nullptr)
        return std::make_error_code(std::errc::bad_file_descriptor);
    return readAll(h, out);
}

std::error_code readFile(const std::string& path, std::string& out) {
    std::wstring wide;
    if (std::error_code ec = win32::toWide(path, wide))
        return ec;
    const HANDLE h =
        ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return win32::lastError();
    const std::error_code ec = readAll(h, out);
    ::CloseHandle(h);
    return ec;
}

bool isConsole(int fd) {
    const HANDLE h = handleOf(fd);
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && ::GetFileType(h) == FILE_TYPE_CHAR && ::GetConsoleMode(h, &mode);
}

int writeConsole(int fd, std::string_view utf8) {
    if (utf8.empty())
        return 0;
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
    const HANDLE h = handleOf(fd);
    for (std::size_t at = 0; at < text.size();) {
        std::size_t piece = std::min(kPiece, text.size() - at);
        if (piece < text.size() - at && IS_HIGH_SURROGATE(text[at + piece - 1]))
            --piece;
        DWORD written = 0;
        if (!::WriteConsoleW(h, text.data() + at, static_cast<DWORD>(piece), &written, nullptr) ||
            written == 0)
            return EIO;
        at += written;
    }
    return 0;
}

bool argumentsAreUtf8() { return true; }

bool utf8Arguments(int argc, const wchar_t* const* argv, std::vector<std::string>& out) {
    out.assign(static_cast<std::size_t>(argc), std::string());
    for (int i = 0; i < argc; ++i)
        if (win32::toUtf8(argv[i], out[i]))
            return false;
    return true;
}

} // namespace platform
