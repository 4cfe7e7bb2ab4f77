#include "ui/widgets/FittedLabel.h"

#include <QFontMetricsF>

FittedLabel::FittedLabel(const QString& text, const QFont& designFont, QWidget* parent)
    : QLabel(text, parent), m_designFont(designFont) {
    fitFont();
}

void FittedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fitFont();
}

void FittedLabel::fitFont() {
    const QRect room = contentsRect();
    QFont font = m_designFont;
    // Half-point steps: fine enough that the caption ends up close to the room it has.
    for (qreal size = m_designFont.pointSizeF(); size > 1.0; size -= 0.5) {
        font.setPointSizeF(size);
        const QFontMetricsF metrics(font);
        if (metrics.horizontalAdvance(text()) <= room.width() && metrics.height() <= room.height())
            break;
    }
    setFont(font);
}
