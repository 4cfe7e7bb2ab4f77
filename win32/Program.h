#pragma once

#include <windows.h>

namespace win32ui {

// The program: its main window, then the messages until it closes. Returns the exit status.
int runProgram(HINSTANCE instance);

} // namespace win32ui
