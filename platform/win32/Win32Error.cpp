#include "platform/win32/Win32Error.h"

#include <windows.h>

#include <climits>

namespace platform::win32 {
namespace {

constexpr DWORD kDiskQuotaExceeded = 1295; // ERROR_DISK_QUOTA_EXCEEDED, which MinGW does not name

std::errc conditionOf(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
        return std::errc::no_such_file_or_directory;
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_ACCESS:
    case ERROR_CANNOT_MAKE:
        return std::errc::permission_denied;
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_INVALID_OWNER:
        return std::errc::operation_not_permitted;
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
    case ERROR_USER_MAPPED_FILE:
        return std::errc::device_or_resource_busy;
    case ERROR_LOCK_VIOLATION:
        return std::errc::operation_would_block;
    case ERROR_NOT_LOCKED:
        return std::errc::no_lock_available;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return std::errc::file_exists;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kDiskQuotaExceeded:
        return std::errc::no_space_on_device;
    case ERROR_WRITE_PROTECT:
        return std::errc::read_only_file_system;
    // The system's "directory name is invalid": a folder was expected where there is none.
    case ERROR_DIRECTORY:
        return std::errc::not_a_directory;
    case ERROR_DIR_NOT_EMPTY:
        return std::errc::directory_not_empty;
    case ERROR_NOT_SUPPORTED:
        return std::errc::not_supported;
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_INVALID_FUNCTION:
        return std::errc::function_not_supported;
    case ERROR_INVALID_HANDLE:
        return std::errc::bad_file_descriptor;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return std::errc::not_enough_memory;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME:
    case ERROR_NEGATIVE_SEEK:
        return std::errc::invalid_argument;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
        return std::errc::filename_too_long;
    case ERROR_NOT_SAME_DEVICE:
        return std::errc::cross_device_link;
    case ERROR_TOO_MANY_OPEN_FILES:
        return std::errc::too_many_files_open;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return std::errc::broken_pipe;
    case ERROR_OPERATION_ABORTED:
        return std::errc::operation_canceled;
    case ERROR_NO_UNICODE_TRANSLATION:
        return std::errc::illegal_byte_sequence;
    case ERROR_CANT_RESOLVE_FILENAME:
        return std::errc::too_many_symbolic_link_levels;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_IO_DEVICE:
        return std::errc::io_error;
    default:
        return std::errc();
    }
}

class Win32Category final : public std::error_category {
public:
    const char* name() const noexcept override { return "win32"; }

    std::string message(int code) const override {
        wchar_t* text = nullptr;
        // Language 0: the user's language, else the system's.
        const DWORD n = ::FormatMessageW(
            FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
            nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::wstring wide(text ? text : L"", n);
        ::LocalFree(text);
        while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' '))
            wide.pop_back();
        std::string out;
        if (wide.empty() || toUtf8(wide, out))
            return "error " + std::to_string(static_cast<unsigned long>(code));
        return out;
    }

    std::error_condition default_error_condition(int code) const noexcept override {
        const std::errc cond = conditionOf(static_cast<DWORD>(code));
        return cond == std::errc() ? std::error_condition(code, *this) : std::make_error_condition(cond);
    }
};

} // namespace

const std::error_category& win32Category() {
    static const Win32Category category;
    return category;
}

std::error_code lastError() { return win32Error(::GetLastError()); }

std::error_code toWide(std::string_view text, std::wstring& out) {
    out.clear();
    if (text.empty())
        return {};
    if (text.size() > INT_MAX)
        return win32Error(ERROR_FILENAME_EXCED_RANGE);
    const int n = static_cast<int>(text.size());
    const int need = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), n, nullptr, 0);
    if (need <= 0)
        return lastError();
    out.resize(static_cast<std::size_t>(need));
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), n, out.data(), need);
    return {};
}

std::error_code toUtf8(std::wstring_view text, std::string& out) {
    out.clear();
    if (text.empty())
        return {};
    if (text.size() > INT_MAX / 4)
        return win32Error(ERROR_FILENAME_EXCED_RANGE);
    const int n = static_cast<int>(text.size());
    const int need =
        ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), n, nullptr, 0, nullptr, nullptr);
    if (need <= 0)
        return lastError();
    out.resize(static_cast<std::size_t>(need));
    ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), n, out.data(), need, nullptr, nullptr);
    return {};
}

} // namespace platform::win32
