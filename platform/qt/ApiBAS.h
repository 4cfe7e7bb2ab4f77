#pragma once

class QWidget;
class WindowStacking;

namespace ApiBAS {

// onTop true: the window stays above ordinary windows; false: it is released.
// Calling it twice with true keeps it on top; false on a window that is not on top
// changes nothing. Position, size and focus are left alone.
void SetTopMost(QWidget* hWnd, bool onTop);

// Replaces the window system's stacking (tests record the calls); nullptr restores it.
// The caller keeps ownership.
void setStacking(WindowStacking* stacking);

} // namespace ApiBAS
