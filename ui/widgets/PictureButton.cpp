#include "ui/widgets/PictureButton.h"

#include <QIcon>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {
constexpr int kInset = 3;
}

PictureButton::PictureButton(const QString& caption, const QPixmap& picture, QWidget* parent)
    : QPushButton(caption, parent), m_picture(picture) {}

// Centred in room at its own size, clipped to it; greyed while the button is disabled.
void PictureButton::drawPicture(QStylePainter& painter, const QRect& room) const {
    const QSize size = m_picture.deviceIndependentSize().toSize();
    const QRect where(room.left() + (room.width() - size.width()) / 2,
                      room.top() + (room.height() - size.height()) / 2, size.width(), size.height());
    painter.save();
    painter.setClipRect(room);
    if (isEnabled())
        painter.drawPixmap(where, m_picture);
    else
        painter.drawPixmap(where, QIcon(m_picture).pixmap(size, devicePixelRatio(), QIcon::Disabled));
    painter.restore();
}

void PictureButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    // The bevel's border and one pixel of air stay clear of picture and caption.
    QRect inner = rect().adjusted(kInset, kInset, -kInset, -kInset);
    if (option.state & (QStyle::State_Sunken | QStyle::State_On))
        inner.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                        style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));

    // Placed by the strokes themselves: some faces draw below their own descent.
    const QFontMetrics& metrics = option.fontMetrics;
    const QRect strokes = metrics.tightBoundingRect(text());
    const int baseline = inner.bottom() - strokes.bottom();
    const QRect captionRect(inner.left(), baseline - metrics.ascent(), inner.width(), metrics.height());
    const QRect pictureRoom(inner.left(), inner.top(), inner.width(),
                            baseline + strokes.top() - 1 - inner.top());
    drawPicture(painter, pictureRoom);

    painter.drawItemText(captionRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic,
                         option.palette, isEnabled(), text(), QPalette::ButtonText);

    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}
