#include "ui/widgets/WindowSetup.h"

#include <QColor>
#include <QPalette>
#include <QString>
#include <QWidget>

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
