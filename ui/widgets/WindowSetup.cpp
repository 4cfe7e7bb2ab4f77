#include "ui/widgets/WindowSetup.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QColor>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QString>
#include <QWidget>
#include <algorithm>

namespace {

// Air between two windows placed side by side.
constexpr int kGap = 8;
// What covering counts for in choosing a place: the opener's buttons most, then another secondary
// window, then the rest of the opener.
constexpr qint64 kButtonsWeight = 1000;
constexpr qint64 kWindowWeight = 10;

// A key held down repeats its presses; only the first of them is a press of the button. Not every
// repeat says so: an X server repeats a key as a release and a press of the same moment, which the
// platform marks as repeated only when both were read together, and on a busy machine they are not.
// A press at the very moment of the last release of that key is such a repeat. Installed on the
// buttons and on their window, so releases that reach the window while no button has the focus
// (during a run) are seen too.
class RepeatedKeyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter && key->key() != Qt::Key_Space)
            return false;
        if (event->type() == QEvent::KeyRelease) {
            m_released = {key->key(), key->timestamp()};
            return key->isAutoRepeat();
        }
        const bool pairedWithRelease =
            key->timestamp() != 0 && m_released.key == key->key() && m_released.at == key->timestamp();
        return key->isAutoRepeat() || pairedWithRelease;
    }

private:
    struct Release {
        int key = 0;
        quint64 at = 0;
    } m_released;
};

// A frame drawn over the box's edge while the box has the focus; it never takes a click.
class FocusFrame : public QWidget {
public:
    explicit FocusFrame(QAbstractScrollArea* box) : QWidget(box), m_box(box) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        box->installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Resize:
            follow();
            break;
        default:
            break;
        }
        return false;
    }
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }

private:
    void follow() {
        setGeometry(m_box->rect());
        setVisible(m_box->hasFocus());
        raise();
    }
    QAbstractScrollArea* m_box;
};

// Notes where its window was when it closed, for the next window of its kind.
class PlaceKeeper : public QObject {
public:
    PlaceKeeper(QWidget* window, WindowPlace* place) : QObject(window), m_place(place) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close)
            m_place->where = static_cast<QWidget*>(watched)->pos();
        return false;
    }

private:
    WindowPlace* m_place;
};

qint64 area(const QRect& rect) { return rect.isEmpty() ? 0 : qint64(rect.width()) * rect.height(); }

// The frame a window manager puts around a window, as it put it around the opener.
QMargins frameOf(const QWidget* window) {
    const QRect frame = window->frameGeometry(), client = window->geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

// The opener's buttons on the screen, each of them: a push button whole, a check box or an option
// as far as its caption reaches.
QList<QRect> buttonsOf(const QWidget* opener) {
    QList<QRect> rects;
    for (const QAbstractButton* button : opener->findChildren<QAbstractButton*>()) {
        if (!button->isVisible())
            continue;
        const bool captioned = qobject_cast<const QPushButton*>(button) == nullptr;
        const QSize size = captioned ? button->sizeHint().boundedTo(button->size()) : button->size();
        rects << QRect(button->mapToGlobal(QPoint(0, 0)), size);
    }
    return rects;
}

// The secondary windows on screen, other than window itself.
QList<QRect> otherWindows(const QWidget* window, const QWidget* opener) {
    QList<QRect> rects;
    for (const QWidget* top : QApplication::topLevelWidgets())
        if (top != window && top != opener && top->isVisible() && top->isWindow() &&
            top->windowType() == Qt::Tool)
            rects << top->frameGeometry();
    return rects;
}

// Beside the opener or beside another open window: right, below, left, above, in that order.
QList<QPoint> candidates(const QRect& opener, const QList<QRect>& others, const QSize& size) {
    QList<QPoint> places;
    auto around = [&](const QRect& r) {
        places << QPoint(r.right() + 1 + kGap, r.top()) << QPoint(r.left(), r.bottom() + 1 + kGap)
               << QPoint(r.left() - kGap - size.width(), r.top())
               << QPoint(r.left(), r.top() - kGap - size.height());
    };
    places << QPoint(opener.right() + 1 + kGap, opener.top());
    for (const QRect& other : others)
        places << QPoint(other.right() + 1 + kGap, other.top())
               << QPoint(other.left(), other.bottom() + 1 + kGap);
    around(opener);
    for (const QRect& other : others)
        around(other);
    return places;
}

QPoint clampedTo(const QRect& screen, QPoint at, const QSize& size) {
    at.setX(std::clamp(at.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - size.width())));
    at.setY(std::clamp(at.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height())));
    return at;
}

// The place, on the opener's screen, where the window's frame covers the least of what matters;
// of equal places the first candidate.
QPoint firstPlace(const QWidget* window, const QWidget* opener) {
    const QRect screen = opener->screen()->availableGeometry();
    const QMargins frame = frameOf(opener);
    const QSize size = window->size().grownBy(frame);
    const QRect openerFrame = opener->frameGeometry();
    const QList<QRect> buttons = buttonsOf(opener), others = otherWindows(window, opener);
    QPoint best;
    qint64 bestCost = -1;
    for (const QPoint& candidate : candidates(openerFrame, others, size)) {
        const QRect placed(clampedTo(screen, candidate, size), size);
        qint64 cost = area(placed & openerFrame);
        for (const QRect& button : buttons)
            cost += kButtonsWeight * area(placed & button);
        for (const QRect& other : others)
            cost += kWindowWeight * area(placed & other);
        if (bestCost < 0 || cost < bestCost) {
            best = placed.topLeft();
            bestCost = cost;
        }
    }
    // move() places the frame's corner.
    return best;
}

} // namespace

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

void setUpToolWindow(QWidget* window, const char* objectName, const QString& title) {
    window->setObjectName(QLatin1String(objectName));
    window->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    window->setWindowTitle(title);
}

void clickFocusedButtonsOnEnter(QWidget* window) {
    // Outside a dialog an auto-default button only answers Enter while it has the focus;
    // no button becomes the window's default.
    auto* filter = new RepeatedKeyFilter(window);
    window->installEventFilter(filter);
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        button->setAutoDefault(true);
        button->installEventFilter(filter);
    }
}

void showFocusCue(QAbstractScrollArea* box) { new FocusFrame(box); }

void bringUp(QWidget* window, const QWidget* opener, WindowPlace* place) {
    if (!window->isVisible() && !window->testAttribute(Qt::WA_Moved)) {
        if (place && place->where)
            window->move(*place->where);
        else if (opener)
            window->move(firstPlace(window, opener));
        if (place)
            new PlaceKeeper(window, place);
    }
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}
