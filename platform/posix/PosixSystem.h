#pragma once

#include "platform/Charsets.h"
#include "platform/SideThreads.h"

// What the POSIX implementation's parts share among themselves.
namespace platform::posix {

// The process's side threads; they end with the process, busy or not.
SideThreads& sideThreads();
// iconv, and the locale's charset.
Charsets& charsets();

} // namespace platform::posix
