// Keep-on-top against a real window manager: the window's _NET_WM_STATE as the window
// manager sees it (read with xprop), its place on the screen (xwininfo) and the
// active window. Runs on the xcb platform under under_window_manager.sh.
#include "core/Mod.h"
#include "platform/qt/ApiBAS.h"
#include "ui/dialogs/About.h"
#include "ui/main/FontSubstitutions.h"
#include "ui/main/MainForm.h"

#include <QCheckBox>
#include <QProcess>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>
#include <QtTest>

namespace {

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The X window as it is now. Qt re-creates a window that is shown again after its
// stays-on-top flag changed, and QWidget::winId() keeps the old id; the QWindow knows.
quint64 xWindow(QWidget* w) {
    return w->windowHandle()->winId();
}

QString winIdText(QWidget* w) {
    return QStringLiteral("0x%1").arg(xWindow(w), 0, 16);
}

bool isAbove(QWidget* w) {
    return run(QStringLiteral("xprop"),
               {QStringLiteral("-id"), winIdText(w), QStringLiteral("_NET_WM_STATE")})
        .contains(QStringLiteral("_NET_WM_STATE_ABOVE"));
}

// Where the window system has the window: absolute position and size of its client area.
QRect placeOnScreen(QWidget* w) {
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), winIdText(w)});
    auto value = [&](const char* key) {
        const QRegularExpression re(QString::fromLatin1(key) + QStringLiteral(":\\s+(-?\\d+)"));
        return re.match(info).captured(1).toInt();
    };
    return {value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"), value("Height")};
}

QString activeWindow() {
    const QString root =
        run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")});
    const QRegularExpression re(QStringLiteral("window id # (0x[0-9a-f]+)"));
    return re.match(root).captured(1);
}

// Shows a window and waits until the window manager has placed it and made it active.
void showManaged(QWidget* w) {
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTRY_VERIFY_WITH_TIMEOUT(run(QStringLiteral("xprop"),
                                 {QStringLiteral("-id"), winIdText(w), QStringLiteral("_NET_FRAME_EXTENTS")})
                                 .contains(QLatin1Char('=')),
                             10000);
    w->activateWindow();
    QTRY_COMPARE_WITH_TIMEOUT(activeWindow().toULongLong(nullptr, 16), xWindow(w), 10000);
}

// Ticks or unticks the box the way a user does: a click on its indicator.
void tick(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

// A small window with its own keep-on-top box, wired the way the main window's is.
struct Probe : QWidget {
    QCheckBox* Check1;
    Probe() {
        setWindowTitle(QStringLiteral("keep-on-top probe"));
        resize(240, 120);
        Check1 = new QCheckBox(QStringLiteral("置顶本程序"), this);
        Check1->setObjectName(QStringLiteral("Check1"));
        Check1->setGeometry(10, 10, 200, 20);
        connect(Check1, &QCheckBox::clicked, this, [this] { ApiBAS::SetTopMost(this, Check1->isChecked()); });
    }
};

} // namespace

class TestKeepOnTop : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void tickingSetsAndClearsAboveWithoutMovingTheWindow();
    void repeatedCallsAndReleaseOfAWindowNotOnTop();
    void doesNotTakeTheFocus();
    void mainWindowCheck1();
    void aboutOpensAboveTheOtherWindows();
};

void TestKeepOnTop::initTestCase() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs the xcb platform under a window manager");
    installFontSubstitutions();
}

void TestKeepOnTop::tickingSetsAndClearsAboveWithoutMovingTheWindow() {
    Probe probe;
    showManaged(&probe);
    const QRect before = placeOnScreen(&probe);
    QVERIFY(before.isValid());
    QVERIFY(!isAbove(&probe));

    tick(probe.Check1);
    QVERIFY(probe.Check1->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(&probe), 5000);
    QCOMPARE(placeOnScreen(&probe), before);
    QVERIFY(probe.isVisible());

    tick(probe.Check1);
    QVERIFY(!probe.Check1->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(!isAbove(&probe), 5000);
    QCOMPARE(placeOnScreen(&probe), before);

    // Hidden and shown again, the window keeps the state it was left in.
    tick(probe.Check1);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(&probe), 5000);
    probe.hide();
    showManaged(&probe);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(&probe), 5000);
}

void TestKeepOnTop::repeatedCallsAndReleaseOfAWindowNotOnTop() {
    Probe probe;
    showManaged(&probe);
    const QRect before = placeOnScreen(&probe);

    // Releasing a window that is not on top, then putting it on top twice. The window
    // manager handles requests in order, so once the last one shows, the earlier ones
    // have been dealt with: none of them may have moved or resized the window.
    ApiBAS::SetTopMost(&probe, false);
    ApiBAS::SetTopMost(&probe, true);
    ApiBAS::SetTopMost(&probe, true);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(&probe), 5000);
    QCOMPARE(placeOnScreen(&probe), before);

    // Released once, it stays released however often it is released again.
    ApiBAS::SetTopMost(&probe, false);
    ApiBAS::SetTopMost(&probe, false);
    QTRY_VERIFY_WITH_TIMEOUT(!isAbove(&probe), 5000);
    ApiBAS::SetTopMost(&probe, true);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(&probe), 5000);
    QCOMPARE(placeOnScreen(&probe), before);
}

void TestKeepOnTop::doesNotTakeTheFocus() {
    Probe back;
    showManaged(&back);
    Probe front;
    front.setWindowTitle(QStringLiteral("the active window"));
    showManaged(&front);
    QCOMPARE(activeWindow().toULongLong(nullptr, 16), xWindow(&front));

    ApiBAS::SetTopMost(&back, true);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(&back), 5000);
    QCOMPARE(activeWindow().toULongLong(nullptr, 16), xWindow(&front));
    ApiBAS::SetTopMost(&back, false);
    QTRY_VERIFY_WITH_TIMEOUT(!isAbove(&back), 5000);
    QCOMPARE(activeWindow().toULongLong(nullptr, 16), xWindow(&front));
}

void TestKeepOnTop::mainWindowCheck1() {
    Mod mod;
    MainForm form(mod);
    form.setEndProcess([] {});
    showManaged(&form);
    const QRect before = placeOnScreen(&form);
    QVERIFY(!isAbove(&form));

    tick(form.Check1);
    QVERIFY(form.Check1->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(&form), 5000);
    QCOMPARE(placeOnScreen(&form), before);

    tick(form.Check1);
    QVERIFY(!form.Check1->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(!isAbove(&form), 5000);
    QCOMPARE(placeOnScreen(&form), before);
}

void TestKeepOnTop::aboutOpensAboveTheOtherWindows() {
    Probe other;
    showManaged(&other);
    QPointer<About> slot;
    About* about = About::showSingle(slot);
    showManaged(about);
    QVERIFY(isAbove(about));
    QVERIFY(!isAbove(&other));
    delete slot;
}

QTEST_MAIN(TestKeepOnTop)
#include "test_keep_on_top.moc"
