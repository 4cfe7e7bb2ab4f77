#include "app/Startup.h"

#include "StepwickVersion.h"
#include "core/Mod.h"
#include "platform/FileSystemDecorator.h"
#include "platform/Process.h"
#include "platform/System.h"
#include "ui/dialogs/LauncherNotice.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/FontSubstitutions.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <clocale>

namespace {

// The menus and dialogs Qt draws itself speak the windows' language: the locale's own Chinese,
// or Simplified Chinese under any other locale.
void loadQtTranslations(QApplication& app) {
    QLocale locale = QLocale::system();
    if (locale.language() != QLocale::Chinese)
        locale = QLocale(QLocale::Chinese, QLocale::China);
    auto* translator = new QTranslator(&app);
    if (translator->load(locale, QStringLiteral("qt"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}

} // namespace

int runWindows(int argc, char* argv[], const std::function<void(MainForm&)>& shown) {
    QApplication app(argc, argv);
    // The core converts the code to the files' encoding through the C library's locale.
    std::setlocale(LC_ALL, ""); // NOLINT(concurrency-mt-unsafe): before any thread starts
    platform::raiseOpenFileLimit();
    QApplication::setApplicationName(QStringLiteral("Stepwick"));
    QApplication::setApplicationVersion(QString::fromLatin1(stepwick::kVersionText));
    loadQtTranslations(app);
    installFontSubstitutions();
    LauncherNotice launcherNotice;

    Mod mod;
    MainForm window(mod, platform::hostSystem(platform::programFileSystem()));
    window.show();
    if (shown)
        shown(window);
    return QApplication::exec();
}
