#pragma once

#include "platform/ScopedOverride.h"

class QWidget;
class WindowStacking;

namespace ApiBAS {

// onTop true: the window stays above ordinary windows; false: it is released.
// Calling it twice with true keeps it on top; false on a window that is not on top
// changes nothing. Position, size and focus are left alone.
void SetTopMost(QWidget* hWnd, bool onTop);

// Puts another stacking in place of the window system's (tests record the calls) for as long as
// it lives; the one before comes back when it ends. The caller keeps ownership.
class StackingOverride : public platform::ScopedOverride<WindowStacking*> {
public:
    explicit StackingOverride(WindowStacking& stacking);
};

} // namespace ApiBAS
