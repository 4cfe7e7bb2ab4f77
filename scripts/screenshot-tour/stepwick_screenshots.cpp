// The windowed program built with a tour that photographs its own windows (scripts/screenshots.sh):
//   stepwick-screenshots OUTPUT_FOLDER
#include "ScreenshotTour.h"
#include "app/Startup.h"
#include "ui/main/MainForm.h"

#include <QFile>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fputs("usage: stepwick-screenshots OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    const QString folder = QFile::decodeName(argv[1]);
    return runWindows(argc, argv, [&folder](MainForm& window) { startScreenshotTour(window, folder); });
}
