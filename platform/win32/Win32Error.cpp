#include "platform/win32/Win32Error.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace platform::win32 {
namespace {

constexpr DWORD kDiskQuotaExceeded = 1295; // ERROR_DISK_QUOTA_EXCEEDED, which MinGW does not name

// What each system error means in the standard's terms; an error not listed keeps its own.
struct Condition {
    DWORD code;
    std::errc condition;
};

constexpr Condition kConditions[] = {
    {ERROR_FILE_NOT_FOUND, std::errc::no_such_file_or_directory},
    {ERROR_PATH_NOT_FOUND, std::errc::no_such_file_or_directory},
    {ERROR_INVALID_DRIVE, std::errc::no_such_file_or_directory},
    {ERROR_BAD_NETPATH, std::errc::no_such_file_or_directory},
    {ERROR_BAD_NET_NAME, std::errc::no_such_file_or_directory},
    {ERROR_BAD_PATHNAME, std::errc::no_such_file_or_directory},
    {ERROR_ACCESS_DENIED, std::errc::permission_denied},
    {ERROR_INVALID_ACCESS, std::errc::permission_denied},
    {ERROR_CANNOT_MAKE, std::errc::permission_denied},
    {ERROR_PRIVILEGE_NOT_HELD, std::errc::operation_not_permitted},
    {ERROR_INVALID_OWNER, std::errc::operation_not_permitted},
    {ERROR_SHARING_VIOLATION, std::errc::device_or_resource_busy},
    {ERROR_BUSY, std::errc::device_or_resource_busy},
    {ERROR_USER_MAPPED_FILE, std::errc::device_or_resource_busy},
    {ERROR_LOCK_VIOLATION, std::errc::operation_would_block},
    {ERROR_NOT_LOCKED, std::errc::no_lock_available},
    {ERROR_FILE_EXISTS, std::errc::file_exists},
    {ERROR_ALREADY_EXISTS, std::errc::file_exists},
    {ERROR_DISK_FULL, std::errc::no_space_on_device},
    {ERROR_HANDLE_DISK_FULL, std::errc::no_space_on_device},
    {kDiskQuotaExceeded, std::errc::no_space_on_device},
    {ERROR_WRITE_PROTECT, std::errc::read_only_file_system},
    // The system's "directory name is invalid": a folder was expected where there is none.
    {ERROR_DIRECTORY, std::errc::not_a_directory},
    {ERROR_DIR_NOT_EMPTY, std::errc::directory_not_empty},
    {ERROR_NOT_SUPPORTED, std::errc::not_supported},
    {ERROR_CALL_NOT_IMPLEMENTED, std::errc::function_not_supported},
    {ERROR_INVALID_FUNCTION, std::errc::function_not_supported},
    {ERROR_INVALID_HANDLE, std::errc::bad_file_descriptor},
    {ERROR_NOT_ENOUGH_MEMORY, std::errc::not_enough_memory},
    {ERROR_OUTOFMEMORY, std::errc::not_enough_memory},
    {ERROR_INVALID_PARAMETER, std::errc::invalid_argument},
    {ERROR_INVALID_NAME, std::errc::invalid_argument},
    {ERROR_NEGATIVE_SEEK, std::errc::invalid_argument},
    {ERROR_FILENAME_EXCED_RANGE, std::errc::filename_too_long},
    {ERROR_BUFFER_OVERFLOW, std::errc::filename_too_long},
    {ERROR_NOT_SAME_DEVICE, std::errc::cross_device_link},
    {ERROR_TOO_MANY_OPEN_FILES, std::errc::too_many_files_open},
    {ERROR_BROKEN_PIPE, std::errc::broken_pipe},
    {ERROR_NO_DATA, std::errc::broken_pipe},
    {ERROR_OPERATION_ABORTED, std::errc::operation_canceled},
    {ERROR_NO_UNICODE_TRANSLATION, std::errc::illegal_byte_sequence},
    {ERROR_CANT_RESOLVE_FILENAME, std::errc::too_many_symbolic_link_levels},
    {ERROR_CRC, std::errc::io_error},
    {ERROR_READ_FAULT, std::errc::io_error},
    {ERROR_WRITE_FAULT, std::errc::io_error},
    {ERROR_IO_DEVICE, std::errc::io_error},
};

std::errc conditionOf(DWORD code) {
    const auto* found = std::ranges::find(kConditions, code, &Condition::code);
    return found == std::ranges::end(kConditions) ? std::errc() : found->condition;
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
