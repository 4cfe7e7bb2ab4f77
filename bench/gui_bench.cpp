// Times the main action started from the main window, as a user's click starts it:
//   gui_bench CODE FOLDER1 FOLDER2
// runs a head insertion over FOLDER1, then a second one over FOLDER2 in the same window (its log
// already holding the first run's lines), and prints both times in seconds and the log's line count.
#include "core/Mod.h"
#include "platform/System.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/Texts.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/FontSubstitutions.h"
#include "ui/widgets/PictureButton.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <clocale>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: gui_bench CODE FOLDER1 FOLDER2\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    installFontSubstitutions();
    MessageBox::Recording boxes;

    Mod mod;
    MainForm window(mod, platform::hostSystem(platform::systemFileSystem()));
    window.setEndProcess([] {});
    window.show();
    QApplication::processEvents();
    window.texts()->findChild<CodeTextBox*>(QStringLiteral("Text1"))->setCode(QString::fromUtf8(argv[1]));
    window.findChild<QAbstractButton*>(QStringLiteral("Ohead"))->click();

    double seconds[2];
    for (int i = 0; i < 2; ++i) {
        confirmFolder(mod, argv[2 + i], platform::kPosixPaths);
        QElapsedTimer timer;
        timer.start();
        window.findChild<QAbstractButton*>(QStringLiteral("Command2"))->click();
        while (window.running())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        seconds[i] = timer.nsecsElapsed() / 1e9;
    }
    if (!MessageBox::takeShown().isEmpty()) {
        std::fprintf(stderr, "gui_bench: the run reported a problem\n");
        return 1;
    }
    std::printf("%.6f %.6f %d\n", seconds[0], seconds[1],
                window.findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->document()->blockCount());
    return 0;
}
