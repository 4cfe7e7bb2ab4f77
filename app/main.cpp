#include "StepwickVersion.h"
#include "core/Mod.h"
#include "platform/FileSystem.h"
#include "ui/dialogs/LauncherNotice.h"
#include "ui/main/MainForm.h"
#include "ui/main/ScreenshotTour.h"
#include "ui/widgets/FontSubstitutions.h"

#include <QApplication>
#include <QFile>
#include <clocale>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The core converts the code to the files' encoding through the C library's locale.
    std::setlocale(LC_ALL, "");
    platform::raiseOpenFileLimit();
    QApplication::setApplicationName(QStringLiteral("Stepwick"));
    QApplication::setApplicationVersion(QString::fromLatin1(stepwick::kVersionText));
    installFontSubstitutions();
    installLauncherNotice();

    Mod mod;
    MainForm window(mod, platform::systemFileSystem());
    window.show();
    if (const QByteArray folder = qgetenv("STEPWICK_SCREENSHOT_DIR"); !folder.isEmpty())
        startScreenshotTour(window, QFile::decodeName(folder));
    return app.exec();
}
