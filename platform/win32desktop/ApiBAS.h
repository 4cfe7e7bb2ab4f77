#pragma once

// Keeps a window above every ordinary window, or lets it go again.
namespace ApiBAS {

// window is the system's handle of a top-level window (an HWND). The window keeps its place and
// size and does not take the focus.
void SetTopMost(void* window, bool onTop);

} // namespace ApiBAS
