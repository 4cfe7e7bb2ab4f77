#include "ui/widgets/PictureButton.h"

#include <QIcon>
#include <QStyleOptionButton>
#include <QStylePainter>

PictureButton::PictureButton(const QString& caption, const QPixmap& picture, QWidget* parent)
    : QPushButton(caption, parent), m_picture(picture) {}

void PictureButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (option.state & (QStyle::State_Sunken | QStyle::State_On))
        contents.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));

    const int captionHeight = option.fontMetrics.height();
    const QRect captionRect(contents.left(), contents.bottom() + 1 - captionHeight, contents.width(),
                            captionHeight);
    const QRect pictureRoom(contents.left(), contents.top(), contents.width(),
                            captionRect.top() - contents.top());
    const QSize pictureSize = m_picture.deviceIndependentSize().toSize();
    const QRect pictureRect(pictureRoom.left() + (pictureRoom.width() - pictureSize.width()) / 2,
                            pictureRoom.top() + (pictureRoom.height() - pictureSize.height()) / 2,
                            pictureSize.width(), pictureSize.height());

    painter.save();
    painter.setClipRect(rect().adjusted(2, 2, -2, -2));
    if (isEnabled())
        painter.drawPixmap(pictureRect, m_picture);
    else
        painter.drawPixmap(pictureRect,
                           QIcon(m_picture).pixmap(pictureSize, devicePixelRatio(), QIcon::Disabled));
    painter.restore();

    painter.drawItemText(captionRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic,
                         option.palette, isEnabled(), text(), QPalette::ButtonText);

    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}
