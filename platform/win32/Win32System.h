#pragma once

#include "platform/Charsets.h"

// What the Windows implementation's parts share among themselves.
namespace platform::win32 {

// The system's code pages, and UTF-8, UTF-16 and UTF-32 of our own.
Charsets& charsets();

} // namespace platform::win32
