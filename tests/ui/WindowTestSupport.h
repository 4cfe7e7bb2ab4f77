#pragma once

// What the window tests share: files, widgets by name, a user's clicks, recording service stand-ins.
#include "forms/FormDesigns.h"
#include "platform/qt/AddressOpener.h"
#include "platform/qt/ApiBAS.h"
#include "platform/qt/TOURL.h"
#include "platform/qt/WindowStacking.h"
#include "ui/dialogs/LauncherNotice.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/widgets/FittedLabel.h"

#include <QtTest>
#include <QtWidgets>

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

// Whether every named control of the window stays where it stands, whatever size the window is given.
inline bool staysPut(QWidget* window, std::initializer_list<QSize> sizes) {
    auto places = [window] {
        QString out;
        for (const QWidget* w : window->findChildren<QWidget*>())
            if (!w->objectName().isEmpty())
                QDebug(&out) << w->objectName() << w->geometry() << '\n';
        return out;
    };
    const QString designed = places();
    return std::ranges::all_of(sizes, [&](QSize size) { return window->resize(size), places() == designed; });
}

// What of its design the window does not honour, one line per fault: its title or client size (15 twips
// to the pixel); a row without its control (of the window, or of the frame the row names), not at the
// row's place (lines one pixel high, the banner as large and the links beside OK as wide as they make
// themselves), not showing the row's caption (a link's address follows it), font (a fitted label may be
// smaller) or colour, not ticked as the row says, or out of the rows' tab order.
inline QStringList rowFaults(QWidget* window, const layout::Window& design) {
    using layout::Kind;
    auto text = [](std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); };
    QStringList out;
    if (window->windowTitle() != text(design.caption) ||
        window->size() != QSize(layout::toPixels(design.width), layout::toPixels(design.height)))
        out << "window";
    QMap<int, QString> tabRows;
    for (const layout::Control& row : design.controls) {
        const QString name = text(row.name);
        const QString parent = row.frame.empty() ? window->objectName() : text(row.frame);
        QWidget* w = window->findChild<QWidget*>(name);
        if (row.kind == Kind::Timer)
            continue;
        if (!w || w->parentWidget()->objectName() != parent) {
            out << "missing " + name;
            continue;
        }
        const QRect r = w->geometry(),
                    d(row.place.left / 15, row.place.top / 15, row.place.width / 15, row.place.height / 15);
        const bool banner = name == QLatin1String("ADL");
        const bool ownWidth = banner || (design.name == "About" && (name == "Label6" || name == "Label7"));
        if (r.topLeft() != d.topLeft() || (!ownWidth && r.width() != d.width()) ||
            (!banner && r.height() != (row.kind == Kind::Line ? 1 : d.height())))
            out << "placed " + name;
        const QString shown = w->property(qobject_cast<QGroupBox*>(w) ? "title" : "text").toString();
        const QString caption = text(row.caption);
        if (!caption.isEmpty() && (row.kind == Kind::Link ? !shown.startsWith(caption) : shown != caption) &&
            row.kind != Kind::LogBox && row.kind != Kind::CodeBox)
            out << "caption " + name;
        const QFont f = w->font();
        if (row.font && (QFontInfo(f).family() != QFontInfo(QFont(text(row.font->face))).family() ||
                         f.bold() != row.font->bold || f.underline() != row.font->underline ||
                         (!qobject_cast<FittedLabel*>(w) && f.pointSizeF() != row.font->points)))
            out << "font " + name;
        const auto role = qobject_cast<QPlainTextEdit*>(w) ? QPalette::Text : QPalette::WindowText;
        if (row.colour &&
            w->palette().color(role) != QColor(row.colour->red, row.colour->green, row.colour->blue))
            out << "colour " + name;
        if (const auto* button = qobject_cast<QAbstractButton*>(w); button && button->isChecked() != row.on)
            out << "ticked " + name;
        if (row.tabIndex != layout::kNoTab && (w->focusPolicy() & Qt::TabFocus))
            tabRows.insert(row.tabIndex, name);
    }
    // The controls that Tab visits, in order, from the first row's.
    QStringList chain;
    if (QWidget* first = tabRows.isEmpty() ? nullptr : window->findChild<QWidget*>(tabRows.first())) {
        QWidget* w = first;
        do {
            if ((w->focusPolicy() & Qt::TabFocus) && window->isAncestorOf(w) && !w->objectName().isEmpty())
                chain.append(w->objectName());
            w = w->nextInFocusChain();
        } while (w != first);
    }
    if (chain != tabRows.values())
        out << "tab order " + chain.join(u' ');
    return out;
}

// Characters as a keyboard layout types them, one key each, whatever the character.
inline void type(QWidget* box, const QString& text) {
    for (const char32_t c : text.toUcs4())
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString::fromUcs4(&c, 1), Qt::NoModifier);
}

// A key held down on the control: one fresh press, then repeats, then the release.
inline void holdKey(QWidget* control, Qt::Key key, Qt::KeyboardModifiers modifiers = {}, int repeats = 5) {
    const QString text = key == Qt::Key_Space ? QStringLiteral(" ") : QStringLiteral("\r");
    QTest::sendKeyEvent(QTest::Press, control, key, text, modifiers);
    for (int i = 0; i < repeats; ++i) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text, true);
        QApplication::sendEvent(control, &press);
    }
    QTest::sendKeyEvent(QTest::Release, control, key, text, modifiers);
}

// How often the button is clicked by Enter and by keypad Enter while it has the focus, each held
// down a while: a held key clicks once.
inline int clicksByEnter(QAbstractButton* button) {
    button->setFocus();
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    holdKey(button, Qt::Key_Return);
    // A button that started a run takes no keys until the run has ended.
    static_cast<void>(QTest::qWaitFor([button] { return button->isEnabled(); }, 60000));
    // The first click may have closed the window.
    button->isVisible() ? holdKey(button, Qt::Key_Enter, Qt::KeypadModifier)
                        : QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
    return clicks.count();
}

inline bool isNamedControl(const QWidget* w) {
    return !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"));
}

inline bool isLine(const QWidget* w) {
    const auto* frame = qobject_cast<const QFrame*>(w);
    return frame && frame->frameShape() == QFrame::HLine;
}

inline bool isCaption(const QWidget* w) {
    const auto* label = qobject_cast<const QLabel*>(w);
    return (label && !label->text().isEmpty()) || qobject_cast<const QCheckBox*>(w) ||
           qobject_cast<const QRadioButton*>(w);
}

// Where a caption's text stands in its parent: a label's text as aligned, a check or option
// button's indicator and text.
inline QRect textRect(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        return QFontMetrics(label->font())
            .boundingRect(label->contentsRect(), flags, label->text())
            .translated(label->pos());
    }
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    QStyleOptionButton option;
    option.initFrom(button);
    const auto element =
        qobject_cast<const QCheckBox*>(w) ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents;
    const QFontMetrics metrics(w->font());
    const int width =
        w->style()->subElementRect(element, &option, w).left() + metrics.horizontalAdvance(button->text());
    return {w->x(), w->y() + (w->height() - metrics.height()) / 2, width, metrics.height()};
}

// What a user would find wrong with the shown named controls: a caption cut off by its control or
// window, or within 2 pixels beside a control that is no caption ("touches"); a control a screen
// reader finds no name for ("unnamed"); with oneFont, a font other than the window's ("font").
inline QStringList designFaults(const QWidget* window, bool oneFont = false) {
    QStringList out;
    const QFontInfo own(window->font());
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QFontInfo font(w->font());
        if (isNamedControl(w) && oneFont &&
            (font.family() != own.family() || font.pointSizeF() != own.pointSizeF()))
            out << "font " + w->objectName();
        if (!isNamedControl(w) || !w->isVisible() || isLine(w))
            continue;
        if (QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).trimmed().isEmpty())
            out << "unnamed " + w->objectName();
        if (!isCaption(w))
            continue;
        const QRect text = textRect(w);
        bool touches = !w->geometry().contains(text) || !w->parentWidget()->rect().contains(text);
        for (const QWidget* other : w->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            touches =
                touches || (other != w && isNamedControl(other) && other->isVisible() && !isCaption(other) &&
                            !isLine(other) && other->geometry().intersects(text.adjusted(-2, 0, 2, 0)));
        if (touches)
            out << "touches " + w->objectName();
    }
    return out;
}

// Whether the control looks different with the focus than without it.
inline bool showsFocus(QWidget* control) {
    QApplication::setActiveWindow(control->window());
    control->setFocus();
    const QImage focused = control->grab().toImage();
    control->clearFocus();
    return control->grab().toImage() != focused;
}

inline QList<QWidget*> windowsNamed(const QString& objectName) {
    QList<QWidget*> found = QApplication::topLevelWidgets();
    return found.removeIf([&](QWidget* top) { return top->objectName() != objectName; }), found;
}

inline int windowCount(const char* objectName) { return windowsNamed(QLatin1String(objectName)).size(); }

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

// Clicked on the indicator: the middle of the control may lie beyond a short caption.
inline void clickIndicator(QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    const auto element =
        qobject_cast<QCheckBox*>(button) ? QStyle::SE_CheckBoxIndicator : QStyle::SE_RadioButtonIndicator;
    QTest::mouseClick(button, Qt::LeftButton, {},
                      button->style()->subElementRect(element, &option, button).center());
}

// Captions shown whole, in their design size or as little smaller (half-point steps) as they need;
// labels of one set share that size: the largest at which every one of them fits.
inline bool fitsSnugly(const QList<const FittedLabel*>& labels) {
    auto fits = [&](const QLabel* label, qreal points) {
        QFont font = label->font();
        font.setPointSizeF(points);
        const QFontMetricsF m(font);
        return m.horizontalAdvance(label->text()) <= label->contentsRect().width() &&
               m.height() <= label->contentsRect().height();
    };
    const qreal points = labels.front()->font().pointSizeF(),
                design = labels.front()->designFont().pointSizeF();
    bool allFit = points <= design, oneWouldNotGrow = points == design;
    for (const FittedLabel* label : labels) {
        allFit = allFit && label->font().pointSizeF() == points && fits(label, points);
        oneWouldNotGrow = oneWouldNotGrow || !fits(label, points + 0.5);
    }
    return allFit && oneWouldNotGrow;
}

// Switches the process into a folder for one test and back afterwards.
struct CurrentFolder {
    const QString old = QDir::currentPath();
    explicit CurrentFolder(const QString& path) { QDir::setCurrent(path); }
    ~CurrentFolder() { QDir::setCurrent(old); }
};

struct RecordingStacking : WindowStacking {
    void setTopMost(QWidget* window, bool onTop) override { calls.append({window, onTop}); }
    QList<QPair<QWidget*, bool>> calls;
};

struct RecordingOpener : AddressOpener {
    bool open(const QString& address) override { return opened << address, succeed; }
    QStringList opened;
    bool succeed = true;
};

inline QString box(const QString& title, MessageBox::Icon icon, const QString& text) {
    return QStringLiteral("%1|%2|%3").arg(title).arg(int(icon)).arg(text);
}

// The one message box recorded since the last call, as box() spells it.
inline QString oneBox() {
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    return shown.size() == 1 ? box(shown[0].title, shown[0].icon, shown[0].text)
                             : QStringLiteral("%1 boxes").arg(shown.size());
}

// While it lives: the stand-ins for the real services, message boxes recorded.
struct FakeServices {
    RecordingStacking stacking;
    RecordingOpener opener;
    ApiBAS::StackingOverride stackingOverride{stacking};
    TOURL::OpenerOverride openerOverride{opener};
    MessageBox::Recording boxes;
    LauncherNotice notice;
};

} // namespace windowtest
