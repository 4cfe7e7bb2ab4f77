#pragma once

#include <QFont>
#include <QPoint>
#include <optional>

class QAbstractScrollArea;
class QColor;
class QString;
class QWidget;

// Caption colour of a label, check box or option button, whether its window is active or not.
void setTextColour(QWidget* widget, const QColor& colour);

// A secondary window: a tool window without owner whose title bar offers a close button only.
void setUpToolWindow(QWidget* window, const char* objectName, const QString& title);

// Enter and keypad Enter click whichever of the window's buttons has the focus, as Space does.
// A key held down clicks once: its repeats are dropped.
void clickFocusedButtonsOnEnter(QWidget* window);

// Frames the box while it has the focus; the platform style shows no cue on these boxes.
void showFocusCue(QAbstractScrollArea* box);

// Where the last window of a kind was when it closed; the next one of that kind opens there.
struct WindowPlace {
    std::optional<QPoint> where;
};

// What an opener does with its window: the first time beside the opener, whole on its screen and
// clear of the opener's buttons and of the other open windows where the screen has room (or where
// place says the last one of its kind was left); afterwards where the user left it; restored if
// minimised, raised and given the focus.
void bringUp(QWidget* window, const QWidget* opener, WindowPlace* place = nullptr);
