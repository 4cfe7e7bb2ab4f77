#pragma once

#include <string>
#include <string_view>
#include <system_error>

// Win32 error codes (GetLastError) as std::error_code, and the UTF-8 / UTF-16 conversions that every
// Win32 call of the platform needs. Only platform/win32 includes this.
namespace platform::win32 {

// The category of GetLastError's codes: messages from the system in its own language, the common
// codes equal to their std::errc conditions.
const std::error_category& win32Category();

// The code of the calling thread's last failed Win32 call.
std::error_code lastError();
inline std::error_code win32Error(unsigned long code) { return {static_cast<int>(code), win32Category()}; }

// UTF-8 to UTF-16 and back; ERROR_NO_UNICODE_TRANSLATION (illegal_byte_sequence) for bad input.
std::error_code toWide(std::string_view text, std::wstring& out);
std::error_code toUtf8(std::wstring_view text, std::string& out);

} // namespace platform::win32
