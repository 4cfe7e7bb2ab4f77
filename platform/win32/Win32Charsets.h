#pragma once

#include "platform/Charsets.h"

namespace platform::win32 {

// Conversions through the system's code pages, and UTF-8, UTF-16 and UTF-32 of our own.
Charsets& systemCharsets();

} // namespace platform::win32
