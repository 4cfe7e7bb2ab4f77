#pragma once

// Small helpers shared by the window tests: files on disk, widgets by name, and the
// design geometry in twips.
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace windowtest {

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

// A control's place as designed: twips, 15 to the pixel.
struct Placement {
    const char* name;
    const char* parent;
    int left, top, width, height;
    QRect pixels() const { return {left / 15, top / 15, width / 15, height / 15}; }
};

// The visible top-level window with that object name, or null.
inline QWidget* visibleWindow(const QString& objectName) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == objectName && top->isVisible())
            return top;
    }
    return nullptr;
}

inline int windowCount(const QString& objectName) {
    int count = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == objectName)
            ++count;
    }
    return count;
}

// The names of the controls that Tab visits, in order, starting at first.
inline QStringList tabOrder(QWidget* window, QWidget* first) {
    QStringList order;
    QWidget* w = first;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && window->isAncestorOf(w) && !w->objectName().isEmpty())
            order.append(w->objectName());
        w = w->nextInFocusChain();
    } while (w != first);
    return order;
}

// Switches the process into a folder for one test and back afterwards.
class CurrentFolder {
  public:
    explicit CurrentFolder(const QString& path) : m_old(QDir::currentPath()) { QDir::setCurrent(path); }
    ~CurrentFolder() { QDir::setCurrent(m_old); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

  private:
    QString m_old;
};

} // namespace windowtest
