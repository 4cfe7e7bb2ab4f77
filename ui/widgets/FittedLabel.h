#pragma once

#include <QFont>
#include <QLabel>

// A label whose caption keeps the design font unless that font would not fit the
// label's rectangle; then the point size is lowered until the caption fits, so a
// caption longer than its control was made for is shown whole rather than cut off.
// The label itself never moves or grows.
class FittedLabel : public QLabel {
    Q_OBJECT
public:
    FittedLabel(const QString& text, const QFont& designFont, QWidget* parent = nullptr);

    QFont designFont() const { return m_designFont; }
    // Labels read as a set (links, say) share one size: the largest at which all of them fit.
    static void fitTogether(const QList<FittedLabel*>& labels);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitFont();
    // The largest size, in half-point steps from the design size down to at most limit,
    // at which the caption fits.
    qreal fittingPoints(qreal limit) const;

    QFont m_designFont;
    qreal m_limit;
};
