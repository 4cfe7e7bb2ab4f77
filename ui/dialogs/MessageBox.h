#pragma once

#include "platform/ScopedOverride.h"

#include <QList>
#include <QString>

class QWidget;

// Every message box of the program goes through here, so tests can answer them
// without a real modal box ever appearing.
namespace MessageBox {

enum class Icon { None, Information, Warning };

struct Shown {
    QString title;
    QString text;
    Icon icon;
};

// A modal box with one OK button. An empty title leaves the application's own title.
void show(QWidget* parent, const QString& title, const QString& text, Icon icon);

// For as long as it lives, show() only notes what it would have shown and returns at once;
// what was noted is dropped at both ends.
class Recording {
public:
    Recording();
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

private:
    platform::ScopedOverride<bool> m_recording;
};
// What was shown since the last call, oldest first.
QList<Shown> takeShown();

} // namespace MessageBox
