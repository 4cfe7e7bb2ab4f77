#pragma once

#include <system_error>

namespace platform {

// errno as an error code whose message is the system's description in UTF-8 (strerror speaks the
// locale's charset), and which compares equal to the std::errc of the same number.
std::error_code posixError(int err);

} // namespace platform
