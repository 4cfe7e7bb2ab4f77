#pragma once

class QWidget;

// Puts a top-level window into the desktop's always-on-top layer or takes it out.
class WindowStacking {
public:
    virtual ~WindowStacking() = default;
    virtual void setTopMost(QWidget* window, bool onTop) = 0;
};

// Through Qt's stays-on-top flag. On X11 that becomes the window manager's
// _NET_WM_STATE_ABOVE: set on the live native window it changes only the stacking
// state, so the window is neither re-created, moved, resized nor activated.
class QtWindowStacking : public WindowStacking {
public:
    void setTopMost(QWidget* window, bool onTop) override;
};
