#include "platform/win32desktop/ApiBAS.h"

#include <windows.h>

void ApiBAS::SetTopMost(void* window, bool onTop) {
    // No size, no move, no activation; shown.
    constexpr UINT kFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW;
    SetWindowPos(static_cast<HWND>(window), onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, kFlags);
}
