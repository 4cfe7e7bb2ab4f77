#include "ui/widgets/WindowSetup.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QString>
#include <QWidget>
#include <algorithm>

namespace {

// Where a cascading window manager would put a new window: a title bar's height below and
// right of the opener.
constexpr int kCascade = 32;
// Room for the frame and title bar a window manager adds around a window not yet shown.
constexpr int kFrameAllowance = 40;

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
    bool eventFilter(QObject*, QEvent* event) override {
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
    void paintEvent(QPaintEvent*) override {
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

} // namespace

QFont songFont(qreal points) {
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(points);
    return font;
}

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
    for (QPushButton* button : window->findChildren<QPushButton*>())
        button->setAutoDefault(true);
}

void showFocusCue(QAbstractScrollArea* box) { new FocusFrame(box); }

void bringUp(QWidget* window, const QWidget* opener) {
    if (opener && !window->isVisible() && !window->testAttribute(Qt::WA_Moved)) {
        const QRect screen = opener->screen()->availableGeometry();
        const QPoint near = opener->frameGeometry().topLeft() + QPoint(kCascade, kCascade);
        const QSize room = window->size() + QSize(kFrameAllowance, kFrameAllowance);
        window->move(
            std::clamp(near.x(), screen.left(), std::max(screen.left(), screen.right() - room.width())),
            std::clamp(near.y(), screen.top(), std::max(screen.top(), screen.bottom() - room.height())));
    }
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}
