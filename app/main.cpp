#include "StepwickVersion.h"
#include "core/Mod.h"
#include "platform/FileSystemDecorator.h"
#include "platform/Process.h"
#include "ui/dialogs/LauncherNotice.h"
#include "ui/main/MainForm.h"
#include "ui/main/ScreenshotTour.h"
#include "ui/widgets/FontSubstitutions.h"

#include <QApplication>
#include <QFile>
#include <clocale>
#include <cstdio>
#include <exception>

namespace {

int run(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The core converts the code to the files' encoding through the C library's locale.
    std::setlocale(LC_ALL, "");
    platform::raiseOpenFileLimit();
    QApplication::setApplicationName(QStringLiteral("Stepwick"));
    QApplication::setApplicationVersion(QString::fromLatin1(stepwick::kVersionText));
    installFontSubstitutions();
    LauncherNotice launcherNotice;

    Mod mod;
    MainForm window(mod, platform::programFileSystem());
    window.show();
    if (const QByteArray folder = qgetenv("STEPWICK_SCREENSHOT_DIR"); !folder.isEmpty())
        startScreenshotTour(window, QFile::decodeName(folder));
    return app.exec();
}

} // namespace

int main(int argc, char* argv[]) {
    // Before anything else is opened, so that no file takes the place of a closed stream.
    platform::openClosedStandardStreams();
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "stepwick: %s\n", e.what());
    } catch (...) {
        std::fputs("stepwick: unexpected error\n", stderr);
    }
    return 2;
}
