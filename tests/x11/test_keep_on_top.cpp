// Keep-on-top against a real window manager (under_window_manager.sh): _NET_WM_STATE (xprop), the
// place on the screen (xwininfo) and the active window.
#include "../ui/WindowTestSupport.h"
#include "core/Mod.h"
#include "platform/FileSystem.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/FontSubstitutions.h"
#include "ui/widgets/PictureButton.h"

namespace {

QString x(const QString& program, QStringList args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(10000) && p.exitCode() == 0 ? QString::fromLocal8Bit(p.readAllStandardOutput())
                                                         : QString();
}

// The X window as it is now: QWidget::winId() keeps the id of a window Qt re-created.
QString id(QWidget* w) { return QStringLiteral("0x%1").arg(w->windowHandle()->winId(), 0, 16); }

bool isAbove(QWidget* w) {
    return x(QStringLiteral("xprop"), {"-id", id(w), "_NET_WM_STATE"})
        .contains(QStringLiteral("_NET_WM_STATE_ABOVE"));
}

// Place, size and state of the client area, as the window system has it.
QString placeOnScreen(QWidget* w) { return x(QStringLiteral("xwininfo"), {"-id", id(w)}); }

// "_NET_ACTIVE_WINDOW(WINDOW): window id # 0x..." read as a number.
quint64 activeWindow() {
    return x(QStringLiteral("xprop"), {"-root", "_NET_ACTIVE_WINDOW"})
        .section(u'#', 1)
        .trimmed()
        .toULongLong(nullptr, 0);
}

// Shows a window and waits until the window manager has framed it and made it active.
void showManaged(QWidget* w) {
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTRY_VERIFY_WITH_TIMEOUT(x(QStringLiteral("xprop"), {"-id", id(w), "_NET_FRAME_EXTENTS"}).contains(u'='),
                             10000);
    w->activateWindow();
    QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), w->windowHandle()->winId(), 10000);
}

} // namespace

class TestKeepOnTop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs the xcb platform under a window manager");
        installFontSubstitutions();
    }

    void keepOnTopCloseOnlyAndRestoreFromMinimised() {
        Mod mod;
        MainForm form(mod, platform::systemFileSystem());
        form.setEndProcess([] {});
        showManaged(&form);
        const QString before = placeOnScreen(&form);
        QVERIFY(!isAbove(&form));
        for (bool on : {true, false, true}) {
            windowtest::clickIndicator(form.Check1);
            QCOMPARE(form.Check1->isChecked(), on);
            QTRY_COMPARE_WITH_TIMEOUT(isAbove(&form), on, 5000);
            QCOMPARE(placeOnScreen(&form), before);
        }
        // Hidden and shown again, the window keeps the state it was left in.
        form.hide();
        showManaged(&form);
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(&form), 5000);
        const QString shownAgain = placeOnScreen(&form);

        // Another window active: each request, made twice, leaves the focus and the place alone.
        QWidget front;
        front.resize(200, 100);
        showManaged(&front);
        for (bool on : {false, true}) {
            ApiBAS::SetTopMost(&form, on);
            ApiBAS::SetTopMost(&form, on);
            QTRY_COMPARE_WITH_TIMEOUT(isAbove(&form), on, 5000);
        }
        QCOMPARE(activeWindow(), front.windowHandle()->winId());
        QCOMPARE(placeOnScreen(&form), shownAgain);

        form.CmdAdd->click();
        form.CmdOpen->click();
        form.Command1->click();
        QList<QWidget*> windows{&form};
        for (const char* name : {"Texts", "FileBro", "About"})
            windows << windowtest::windowsNamed(QLatin1String(name));
        QCOMPARE(windows.size(), 4);
        // Motif hints: flags (functions 1, decorations 2), functions (min 8, max 16, close 32), decorations
        // (min 32, max 64).
        for (QWidget* w : windows) {
            QTRY_VERIFY_WITH_TIMEOUT(QTest::qWaitForWindowExposed(w), 5000);
            const QStringList hints =
                x(QStringLiteral("xprop"), {"-id", id(w), "_MOTIF_WM_HINTS"}).section(u'=', 1).split(u',');
            QVERIFY2(hints.size() >= 3, qPrintable(w->objectName()));
            const uint flags = hints[0].trimmed().toUInt(nullptr, 16),
                       functions = hints[1].trimmed().toUInt(nullptr, 16),
                       decorations = hints[2].trimmed().toUInt(nullptr, 16);
            QVERIFY2((flags & 1) && (functions & 32) && !(functions & (8 | 16)), qPrintable(w->objectName()));
            QVERIFY2((flags & 2) && !(decorations & (32 | 64)), qPrintable(w->objectName()));
        }
        // About opens above the others without lifting any of them.
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(windows[3]), 5000);
        QVERIFY(!isAbove(&front) && !isAbove(windows[1]) && !isAbove(windows[2]));

        // A window manager that still lets a tool window be minimised: its opener brings it back.
        QWidget* texts = windows[1];
        auto state = [&] { return x(QStringLiteral("xprop"), {"-id", id(texts), "WM_STATE"}); };
        texts->showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(state().contains(QStringLiteral("Iconic")), 5000);
        form.CmdAdd->click();
        QTRY_VERIFY_WITH_TIMEOUT(state().contains(QStringLiteral("Normal")), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), texts->windowHandle()->winId(), 5000);
        delete windows[3];
    }
};

QTEST_MAIN(TestKeepOnTop)
#include "test_keep_on_top.moc"
