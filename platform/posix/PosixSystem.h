#pragma once

#include "platform/Charsets.h"

// What the POSIX implementation's parts share among themselves.
namespace platform::posix {

// iconv, and the locale's charset.
Charsets& charsets();

} // namespace platform::posix
