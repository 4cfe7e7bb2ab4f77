#pragma once

#include <string>
#include <system_error>

struct FileFailure;

// Why a file was left alone, in Chinese as the rest of the window's log: our own refusals and
// the common system errors from our own table; any other error keeps the system's text.
std::string chineseReason(const FileFailure& failure);
// The same for a bare system error.
std::string chineseSystemError(const std::error_code& error);
