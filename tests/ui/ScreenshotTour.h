#pragma once

#include <QString>

class MainForm;

// Opens each window in turn, saves a PNG of each into folder (mainform.png, texts.png,
// filebro.png, about.png when the About window exists, and menu.png, the code box's context
// menu), notes the screen's logical DPI in screen.txt, touches "ready" so a caller can
// photograph the whole screen, and closes the program a few seconds later. Used by
// scripts/screenshots.sh.
void startScreenshotTour(MainForm& window, const QString& folder);
