#include "ScreenshotTour.h"

#include "ui/dialogs/Texts.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/PictureButton.h"

#include <QApplication>
#include <QContextMenuEvent>
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
// The whole screen, window frames included, and where each window stands on it.
void grabScreen(const QString& folder) {
    QScreen* screen = QGuiApplication::primaryScreen();
    screen->grabWindow(0).save(QDir(folder).filePath(QStringLiteral("desktop.png")));
    QFile places(QDir(folder).filePath(QStringLiteral("places.txt")));
    if (!places.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    for (const QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && !top->objectName().isEmpty())
            places.write(QStringLiteral("%1 %2,%3 %4x%5\n")
                             .arg(top->objectName())
                             .arg(top->frameGeometry().x())
                             .arg(top->frameGeometry().y())
                             .arg(top->frameGeometry().width())
                             .arg(top->frameGeometry().height())
                             .toUtf8());
}

// The code box's context menu, drawn by Qt in the program's language: photographed while open.
void grabContextMenu(MainForm* main, const QString& folder) {
    QWidget* box = main->texts()->Text1->viewport();
    QTimer::singleShot(kSettleMs, [folder] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
            menu->grab().save(QDir(folder).filePath(QStringLiteral("menu.png")));
            menu->close();
        }
    });
    const QPoint at(40, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, box->mapToGlobal(at));
    QApplication::sendEvent(box, &event); // returns when the menu has closed
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
            grabContextMenu(main, folder);
            main->CmdOpen->click();
            QTimer::singleShot(kSettleMs, main, [main, folder] {
                grabWindow(folder, QStringLiteral("FileBro"), QStringLiteral("filebro.png"));
                main->Command1->click();
                QTimer::singleShot(kSettleMs, main, [main, folder] {
                    grabWindow(folder, QStringLiteral("About"), QStringLiteral("about.png"));
                    grabScreen(folder);
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
