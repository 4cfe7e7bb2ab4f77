#include "ScreenshotTour.h"

#include "ui/main/MainForm.h"
#include "ui/widgets/PictureButton.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>

namespace {
constexpr int kSettleMs = 700;

void grabWindow(const QString& folder, const QString& objectName, const QString& fileName) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == objectName && top->isVisible()) {
            if (!top->grab().save(QDir(folder).filePath(fileName)))
                std::fprintf(stderr, "stepwick: cannot save %s\n", qPrintable(fileName));
            return;
        }
    }
}
} // namespace

void startScreenshotTour(MainForm& window, const QString& folder) {
    QDir().mkpath(folder);
    MainForm* main = &window;
    QTimer::singleShot(kSettleMs, main, [main, folder] {
        grabWindow(folder, QStringLiteral("MainForm"), QStringLiteral("mainform.png"));
        QFile screen(QDir(folder).filePath(QStringLiteral("screen.txt")));
        if (screen.open(QIODevice::WriteOnly | QIODevice::Text))
            screen.write(QStringLiteral("logicalDpiY %1\nphysicalDpiY %2\n")
                             .arg(main->logicalDpiY())
                             .arg(main->physicalDpiY())
                             .toUtf8());
        main->CmdAdd->click();
        QTimer::singleShot(kSettleMs, main, [main, folder] {
            grabWindow(folder, QStringLiteral("Texts"), QStringLiteral("texts.png"));
            main->CmdOpen->click();
            QTimer::singleShot(kSettleMs, main, [main, folder] {
                grabWindow(folder, QStringLiteral("FileBro"), QStringLiteral("filebro.png"));
                main->Command1->click();
                QTimer::singleShot(kSettleMs, main, [main, folder] {
                    grabWindow(folder, QStringLiteral("About"), QStringLiteral("about.png"));
                    // Let the banner turn a few times (one message every three seconds).
                    QTimer::singleShot(7000, main, [main, folder] {
                        grabWindow(folder, QStringLiteral("MainForm"), QStringLiteral("banner.png"));
                        QFile ready(QDir(folder).filePath(QStringLiteral("ready")));
                        ready.open(QIODevice::WriteOnly);
                        ready.close();
                        QTimer::singleShot(3000, main, [main] { main->close(); });
                    });
                });
            });
        });
    });
}
