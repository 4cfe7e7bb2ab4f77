#include "platform/qt/WindowStacking.h"

#include <QWidget>
#include <QWindow>

void QtWindowStacking::setTopMost(QWidget* window, bool onTop) {
    if (window == nullptr)
        return;
    QWidget* top = window->window();
    Qt::WindowFlags flags = top->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    if (flags == top->windowFlags())
        return;
    // QWidget::setWindowFlags() would hide the window and need a show() that maps it
    // again, possibly elsewhere and with the focus. Instead keep the widget's copy of
    // the flags in step (so a later show() maps it with the same state) and hand the
    // change to the native window, which only updates its state.
    top->overrideWindowFlags(flags);
    if (QWindow* handle = top->windowHandle())
        handle->setFlags(flags);
}
