// Against a real window manager (under_window_manager.sh): keep-on-top as _NET_WM_STATE (xprop),
// the place on the screen (xwininfo) and the active window; and the real launcher.
#include "../ui/WindowTestSupport.h"
#include "core/Mod.h"
#include "platform/System.h"
#include "platform/qt/TOURL.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/FontSubstitutions.h"
#include "ui/widgets/PictureButton.h"

using namespace windowtest;

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

class TestX11 : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs the xcb platform under a window manager");
        installFontSubstitutions();
    }

    void keepOnTopCloseOnlyAndRestoreFromMinimised() {
        Mod mod;
        MainForm form(mod, platform::hostSystem(platform::systemFileSystem()));
        form.setEndProcess([] {});
        showManaged(&form);
        const QString before = placeOnScreen(&form);
        QVERIFY(!isAbove(&form));
        for (bool on : {true, false, true}) {
            clickIndicator(child<QCheckBox>(&form, "Check1"));
            QCOMPARE(child<QCheckBox>(&form, "Check1")->isChecked(), on);
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

        child<QPushButton>(&form, "CmdAdd")->click();
        child<QPushButton>(&form, "CmdOpen")->click();
        child<QPushButton>(&form, "Command1")->click();
        QList<QWidget*> windows{&form};
        for (const char* name : {"Texts", "FileBro", "About"})
            windows << windowsNamed(QLatin1String(name));
        QCOMPARE(windows.size(), 4);
        // Motif hints: flags (functions 1, decorations 2), functions (min 8, max 16, close 32), decorations
        // (min 32, max 64); a missing hint reads as 0.
        for (QWidget* w : windows) {
            QTRY_VERIFY_WITH_TIMEOUT(QTest::qWaitForWindowExposed(w), 5000);
            const QStringList hints =
                x(QStringLiteral("xprop"), {"-id", id(w), "_MOTIF_WM_HINTS"}).section(u'=', 1).split(u',');
            auto hint = [&](int i) { return hints.value(i).trimmed().toUInt(nullptr, 16); };
            QVERIFY2((hint(0) & 3) == 3 && (hint(1) & 32) && !(hint(1) & 24) && !(hint(2) & 96),
                     qPrintable(w->objectName()));
        }
        // About opens above the others without lifting any of them.
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(windows[3]), 5000);
        QVERIFY(!isAbove(&front) && !isAbove(windows[1]) && !isAbove(windows[2]));

        // A window manager that still lets a tool window be minimised: its opener brings it back.
        QWidget* texts = windows[1];
        auto state = [&] { return x(QStringLiteral("xprop"), {"-id", id(texts), "WM_STATE"}); };
        texts->showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(state().contains(QStringLiteral("Iconic")), 5000);
        child<QPushButton>(&form, "CmdAdd")->click();
        QTRY_VERIFY_WITH_TIMEOUT(state().contains(QStringLiteral("Normal")), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), texts->windowHandle()->winId(), 5000);
        delete windows[3];
    }

    // Last: it leaves PATH holding only a stand-in xdg-open that records its arguments, so that no
    // browser can start. The real launcher: what the opener gets, what never reaches it, the notice.
    void addressReachesTheOpenerAsOneArgumentOrTheUserIsTold() {
        QTemporaryDir dir;
        qunsetenv("BROWSER");
        qputenv("PATH", QFile::encodeName(dir.path()));
        QStringList notices;
        TOURL::NoticeOverride notice([&notices](const QString& address) { notices << address; });
        const QStringList failed{QStringLiteral("http://harnel.morlend.example/"),
                                 QStringLiteral("mailto:harnel@morlend.example")};
        TOURL::OpenUrl(QStringLiteral("http://harnel.morlend.example/"));
        TOURL::OpenMail(QStringLiteral("harnel@morlend.example"));
        QCOMPARE(notices, failed);

        const QString record = dir.filePath(QStringLiteral("opened.txt"));
        const QString opener = dir.filePath(QStringLiteral("xdg-open"));
        writeFile(opener, "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" >> \"$STEPWICK_TEST_RECORD\"\n");
        QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("STEPWICK_TEST_RECORD", QFile::encodeName(record));
        // Refused before anything is started: no scheme, a local file, script, an option, a space.
        notices.clear();
        for (const char* address : {"", "file:///bin/sh", "javascript:alert(1)", "-x http://host.example/",
                                    "http://host.example/a b", "sh -c reboot"})
            TOURL::OpenUrl(QString::fromUtf8(address));
        QCOMPARE(notices.size(), 6);
        // An address that a shell would take for a command must arrive as plain text.
        notices.clear();
        TOURL::OpenUrl(QStringLiteral("http://host.example/$(touch%20pwned);touch%20pwned"));
        TOURL::OpenMail(QStringLiteral("harnel@morlend.example"));
        QVERIFY(notices.isEmpty());
        auto recorded = [&] { return QString::fromUtf8(readFile(record)).split(u'\n', Qt::SkipEmptyParts); };
        QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 2, 10000);
        QStringList lines = recorded();
        lines.sort();
        QCOMPARE(lines, QStringList({QStringLiteral("1|http://host.example/$(touch%20pwned);touch%20pwned"),
                                     QStringLiteral("1|mailto:harnel@morlend.example")}));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("pwned"))) &&
                !QFile::exists(QStringLiteral("pwned")));
    }
};

QTEST_MAIN(TestX11)
#include "test_x11.moc"
