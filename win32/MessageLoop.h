#pragma once

#include <functional>

#include <windows.h>

namespace win32ui {

// Runs the program's messages until the main window quits. Tab, Shift+Tab and the arrow keys move
// between the controls of whichever of the program's windows has the focus; Enter and Space click
// the button with the focus, once per press: a key held down does not click again. isOwn tells the
// program's windows from others (message boxes keep their own keys).
int runMessageLoop(const std::function<bool(HWND)>& isOwn);

} // namespace win32ui
