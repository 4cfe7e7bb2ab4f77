#pragma once

#include <QFont>

class QColor;
class QString;
class QWidget;

// The Song face the Chinese captions were designed in.
QFont songFont(qreal points);

// Caption colour of a label, check box or option button, whether its window is active or not.
void setTextColour(QWidget* widget, const QColor& colour);

// A secondary window: a tool window without owner whose title bar offers a close button only.
void setUpToolWindow(QWidget* window, const char* objectName, const QString& title);
