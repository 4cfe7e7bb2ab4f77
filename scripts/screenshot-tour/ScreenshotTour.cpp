#include "ScreenshotTour.h"

#include "ui/dialogs/Texts.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/CodeTextBox.h"
#include "ui/widgets/PictureButton.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <functional>

namespace {
using Step = std::function<void()>;

void save(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

void grabWindow(const QDir& folder, const QString& objectName) {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == objectName && top->isVisible())
            top->grab().save(folder.filePath(objectName.toLower() + QStringLiteral(".png")));
}

// The whole screen, window frames included, and where each window stands on it.
void grabScreen(const QDir& folder) {
    QGuiApplication::primaryScreen()->grabWindow(0).save(folder.filePath(QStringLiteral("desktop.png")));
    QString places;
    for (const QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && !top->objectName().isEmpty())
            QDebug(&places).noquote().nospace() << top->objectName() << " " << top->frameGeometry() << "\n";
    save(folder.filePath(QStringLiteral("places.txt")), places.toUtf8());
}

void click(const MainForm* main, const char* button) {
    main->findChild<QPushButton*>(QLatin1String(button))->click();
}

// The code box's context menu, drawn by Qt in the program's language: photographed while open.
void grabContextMenu(MainForm* main, const QDir& folder) {
    QWidget* box = main->texts()->findChild<CodeTextBox*>(QStringLiteral("Text1"))->viewport();
    QTimer::singleShot(700, [folder] {
        if (QWidget* menu = QApplication::activePopupWidget())
            menu->grab().save(folder.filePath(QStringLiteral("menu.png"))), menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, {40, 20}, box->mapToGlobal(QPoint(40, 20)));
    QApplication::sendEvent(box, &event); // returns when the menu has closed
}

// Each step once the one before has settled; the banner gets time to turn, the desktop to be taken.
void runSteps(MainForm* main, QList<Step> steps) {
    if (!steps.isEmpty())
        QTimer::singleShot(steps.size() == 2   ? 7000
                           : steps.size() == 1 ? 3000
                                               : 700,
                           main, [main, steps]() mutable { steps.takeFirst()(), runSteps(main, steps); });
}
} // namespace

void startScreenshotTour(MainForm& window, const QString& path) {
    QDir().mkpath(path);
    const QDir folder(path);
    MainForm* main = &window;
    const QString dpi = QStringLiteral("logicalDpiY %1\nphysicalDpiY %2\n")
                            .arg(main->logicalDpiY())
                            .arg(main->physicalDpiY());
    const auto grab = [folder](const char* name) { grabWindow(folder, QLatin1String(name)); };
    runSteps(
        main,
        {[=] { grab("MainForm"), save(folder.filePath("screen.txt"), dpi.toUtf8()), click(main, "CmdAdd"); },
         [=] { grab("Texts"), grabContextMenu(main, folder), click(main, "CmdOpen"); },
         [=] { grab("FileBro"), click(main, "Command1"); }, [=] { grab("About"), grabScreen(folder); },
         [=] { main->grab().save(folder.filePath("banner.png")), save(folder.filePath("ready"), {}); },
         [=] { main->close(); }});
}
