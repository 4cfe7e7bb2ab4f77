#pragma once

// Small helpers shared by the window tests: files on disk, widgets by name, clicks as a user
// makes them, and the design geometry in twips.
#include "ui/widgets/DesignUnits.h"

#include <QApplication>
#include <QCheckBox>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

namespace windowtest {

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

template <typename W = QWidget> W* child(const QObject* window, const char* name) {
    W* widget = window->findChild<W*>(QLatin1String(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

// Where every named control of the window stands, one line each.
inline QString geometries(const QWidget* window) {
    QString out;
    for (const QWidget* w : window->findChildren<QWidget*>())
        if (!w->objectName().isEmpty())
            QDebug(&out) << w->objectName() << w->geometry() << '\n';
    return out;
}

// How often the button is clicked by Enter and by keypad Enter while it has the focus.
inline int clicksByEnter(QAbstractButton* button) {
    button->setFocus();
    int clicks = 0;
    const auto counter = QObject::connect(button, &QAbstractButton::clicked, [&clicks] { ++clicks; });
    QTest::keyClick(button, Qt::Key_Return);
    QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
    QObject::disconnect(counter);
    return clicks;
}

// Whether the control looks different with the focus than without it.
inline bool showsFocus(QWidget* control) {
    QApplication::setActiveWindow(control->window());
    control->setFocus();
    const QImage focused = control->grab().toImage();
    control->clearFocus();
    return control->grab().toImage() != focused;
}

inline int windowCount(const QString& objectName) {
    int count = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        count += top->objectName() == objectName;
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

inline QStringList rows(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

inline void openRow(QListWidget* list, const QString& text) {
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    if (found.isEmpty())
        qFatal("no row %s", qPrintable(text));
    const QPoint at = list->visualItemRect(found.last()).center();
    // Highlight first: Qt Test's double-click alone does not reach a view never pressed.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

// Option buttons and check boxes are clicked on their indicator: the middle of the control may
// lie beyond a short caption, where a click selects nothing.
inline void clickIndicator(QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    const auto element =
        qobject_cast<QCheckBox*>(button) ? QStyle::SE_CheckBoxIndicator : QStyle::SE_RadioButtonIndicator;
    QTest::mouseClick(button, Qt::LeftButton, {},
                      button->style()->subElementRect(element, &option, button).center());
}

// A caption shown whole, in its design size or as little smaller (half-point steps) as it needs.
// Labels of one set share that size: the largest at which every one of them fits.
inline bool fitsSnugly(const QList<const QLabel*>& labels, qreal designPoints) {
    auto fits = [&](const QLabel* label, qreal points) {
        QFont font = label->font();
        font.setPointSizeF(points);
        const QFontMetricsF m(font);
        return m.horizontalAdvance(label->text()) <= label->contentsRect().width() &&
               m.height() <= label->contentsRect().height();
    };
    const qreal points = labels.front()->font().pointSizeF();
    bool allFit = points <= designPoints, oneWouldNotGrow = points == designPoints;
    for (const QLabel* label : labels) {
        allFit = allFit && label->font().pointSizeF() == points && fits(label, points);
        oneWouldNotGrow = oneWouldNotGrow || !fits(label, points + 0.5);
    }
    return allFit && oneWouldNotGrow;
}

inline bool fitsSnugly(const QLabel* label, qreal designPoints) {
    return fitsSnugly(QList<const QLabel*>{label}, designPoints);
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
