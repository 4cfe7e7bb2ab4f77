#pragma once

#include <cstddef>
#include <string>
#include <system_error>

// How the Windows file system writes the paths it opens: always in their "\\?\" form, so that no
// length limit applies; a network share as "\\?\UNC\server\share\".
namespace platform::win32 {

// Where a "\\?\" path's root ends: "\\?\C:\", "\\?\UNC\server\share\", "\\?\Volume{...}\".
std::size_t rootLength(const std::wstring& path);
// Makes path (a folder's, in its "\\?\" form) the path of name in it; "." and ".." are resolved, and
// ".." stops at the root.
std::error_code childOf(std::wstring& path, const std::string& name);
// A path the user gave, absolute and in its "\\?\" form.
std::error_code longPath(const std::string& path, std::wstring& out);

} // namespace platform::win32
