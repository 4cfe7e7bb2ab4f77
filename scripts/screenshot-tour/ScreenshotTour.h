#pragma once

#include <QString>

class MainForm;

// Opens each window in turn, saves a PNG of each into folder (and menu.png, the code box's context
// menu), notes the screen's DPI in screen.txt, touches "ready" for scripts/screenshots.sh to
// photograph the whole screen, and closes the program a few seconds later.
void startScreenshotTour(MainForm& window, const QString& folder);
