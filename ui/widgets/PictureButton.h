#pragma once

#include <QPixmap>
#include <QPushButton>

class QStylePainter;

// A command button that shows a picture above its caption, the picture centred in the
// room the caption leaves. Shown at the picture's own size; what does not fit is clipped
// rather than scaled, so the drawing keeps its pixels.
class PictureButton : public QPushButton {
    Q_OBJECT
public:
    PictureButton(const QString& caption, const QPixmap& picture, QWidget* parent = nullptr);

    QPixmap picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawPicture(QStylePainter& painter, const QRect& room) const;

    QPixmap m_picture;
};
