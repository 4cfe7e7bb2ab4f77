#pragma once

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

// While recording, show() only notes what it would have shown and returns at once.
void setRecording(bool on);
// What was shown since the last call, oldest first.
QList<Shown> takeShown();

} // namespace MessageBox
