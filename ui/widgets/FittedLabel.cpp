#include "ui/widgets/FittedLabel.h"

#include <QFontMetricsF>
#include <algorithm>
#include <limits>

FittedLabel::FittedLabel(const QString& text, const QFont& designFont, QWidget* parent)
    : QLabel(text, parent), m_designFont(designFont), m_limit(designFont.pointSizeF()) {
    fitFont();
}

void FittedLabel::fitTogether(const QList<FittedLabel*>& labels) {
    qreal shared = std::numeric_limits<qreal>::max();
    for (const FittedLabel* label : labels)
        shared = std::min(shared, label->fittingPoints(label->m_designFont.pointSizeF()));
    for (FittedLabel* label : labels) {
        label->m_limit = shared;
        label->fitFont();
    }
}

void FittedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fitFont();
}

void FittedLabel::fitFont() {
    QFont font = m_designFont;
    font.setPointSizeF(fittingPoints(m_limit));
    setFont(font);
}

qreal FittedLabel::fittingPoints(qreal limit) const {
    const QRect room = contentsRect();
    QFont font = m_designFont;
    // Half-point steps: fine enough that the caption ends up close to the room it has.
    qreal size = m_designFont.pointSizeF();
    for (; size > 1.0; size -= 0.5) {
        if (size > limit)
            continue;
        font.setPointSizeF(size);
        const QFontMetricsF metrics(font);
        if (metrics.horizontalAdvance(text()) <= room.width() && metrics.height() <= room.height())
            break;
    }
    return size;
}
