#include "platform/Console.h"

#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// UTF-16 in pieces a console takes at once, never splitting a surrogate pair.
constexpr std::size_t kPiece = 8192;

} // namespace

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
    out.clear();
    for (int i = 0; i < argc; ++i) {
        const int size =
            ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, argv[i], -1, nullptr, 0, nullptr, nullptr);
        if (size == 0)
            return false;
        std::string arg(static_cast<std::size_t>(size), '\0');
        ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, argv[i], -1, arg.data(), size, nullptr, nullptr);
        arg.pop_back(); // the terminating NUL
        out.push_back(std::move(arg));
    }
    return true;
}

} // namespace platform
