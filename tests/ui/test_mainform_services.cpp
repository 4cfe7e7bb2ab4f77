// The main window's use of the desktop services: the banner on its timer, the
// keep-on-top box, the About button and the home-page button.
#include "StepwickVersion.h"
#include "core/Mod.h"
#include "platform/qt/AddressOpener.h"
#include "platform/qt/ApiBAS.h"
#include "platform/qt/TOURL.h"
#include "platform/qt/WindowStacking.h"
#include "ServiceFakes.h"
#include "ui/dialogs/About.h"
#include "ui/dialogs/LauncherNotice.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/main/FontSubstitutions.h"
#include "ui/main/MainForm.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QtTest>

namespace {

using windowtest::RecordingOpener;
using windowtest::RecordingStacking;

void tick(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

QList<About*> aboutWindows() {
    QList<About*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* about = qobject_cast<About*>(w))
            out << about;
    return out;
}

} // namespace

class TestMainFormServices : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void bannerWaitsForTheTimerThenRotates();
    void check1PutsTheWindowOnTopAndReleasesIt();
    void command1OpensOneAboutThatPutsItselfOnTop();
    void command3OpensTheAuthorsHomePage();

  private:
    RecordingStacking m_stacking;
    RecordingOpener m_opener;
};

void TestMainFormServices::initTestCase() {
    installFontSubstitutions();
    installLauncherNotice();
}

void TestMainFormServices::init() {
    m_stacking.calls.clear();
    m_opener.opened.clear();
    m_opener.succeed = true;
    ApiBAS::setStacking(&m_stacking);
    TOURL::setOpener(&m_opener);
    MessageBox::setRecording(true);
}

void TestMainFormServices::cleanup() {
    for (About* about : aboutWindows())
        delete about;
    ApiBAS::setStacking(nullptr);
    TOURL::setOpener(nullptr);
    MessageBox::setRecording(false);
}

void TestMainFormServices::bannerWaitsForTheTimerThenRotates() {
    Mod mod;
    MainForm form(mod);
    form.setEndProcess([] {});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // Loaded: a tick every three seconds, the first message next.
    QCOMPARE(form.Timer1->interval(), 3000);
    QVERIFY(form.Timer1->isActive());
    QCOMPARE(mod.BannerCount, 13);
    QCOMPARE(mod.BannerPos, 1);
    QCOMPARE(QString::fromStdString(mod.BannerLines[9]), QString::fromUtf8(stepwick::kAuthorUrl));
    // Until the first tick the banner shows its design caption at its design place.
    QCOMPARE(form.ADL->text(), QStringLiteral("Morlend Inc. Stepwick！ 代码批量添加器 Second Version"));
    QCOMPARE(form.ADL->pos(), QPoint(1080 / 15, 5520 / 15));

    // Each timer event shows the next message, centred.
    for (int message = 1; message <= 14; ++message) {
        QVERIFY(QMetaObject::invokeMethod(form.Timer1, "timeout"));
        const int expected = message == 14 ? 1 : message;
        QCOMPARE(form.ADL->text(), QString::fromStdString(mod.BannerLines[expected]));
        QVERIFY(qAbs(2 * form.ADL->x() + form.ADL->width() - form.width()) <= 1);
        QCOMPARE(form.ADL->y(), 5520 / 15);
    }
}

void TestMainFormServices::check1PutsTheWindowOnTopAndReleasesIt() {
    Mod mod;
    MainForm form(mod);
    form.setEndProcess([] {});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(m_stacking.calls.isEmpty());

    tick(form.Check1);
    QVERIFY(form.Check1->isChecked());
    tick(form.Check1);
    QVERIFY(!form.Check1->isChecked());
    QCOMPARE(m_stacking.calls.size(), 2);
    QCOMPARE(m_stacking.calls[0], qMakePair(static_cast<QWidget*>(&form), true));
    QCOMPARE(m_stacking.calls[1], qMakePair(static_cast<QWidget*>(&form), false));
}

void TestMainFormServices::command1OpensOneAboutThatPutsItselfOnTop() {
    Mod mod;
    MainForm form(mod);
    form.setEndProcess([] {});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    auto* command1 = form.findChild<QPushButton*>(QStringLiteral("Command1"));
    QTest::mouseClick(command1, Qt::LeftButton);
    QTest::mouseClick(command1, Qt::LeftButton);
    const QList<About*> abouts = aboutWindows();
    QCOMPARE(abouts.size(), 1);
    QVERIFY(abouts[0]->isVisible());
    // Modeless and without owner.
    QVERIFY(abouts[0]->parentWidget() == nullptr);
    QVERIFY(!abouts[0]->isModal());
    QCOMPARE(m_stacking.calls.size(), 1);
    QCOMPARE(m_stacking.calls[0], qMakePair(static_cast<QWidget*>(abouts[0]), true));

    // The exit sequence closes it.
    QPointer<About> about = abouts[0];
    form.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(about.isNull() || !about->isVisible());
}

void TestMainFormServices::command3OpensTheAuthorsHomePage() {
    Mod mod;
    MainForm form(mod);
    form.setEndProcess([] {});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    auto* command3 = form.findChild<QPushButton*>(QStringLiteral("Command3"));
    QTest::mouseClick(command3, Qt::LeftButton);
    QCOMPARE(m_opener.opened, QStringList{QString::fromUtf8(stepwick::kAuthorUrl)});
    QVERIFY(MessageBox::takeShown().isEmpty());

    m_opener.succeed = false;
    QTest::mouseClick(command3, Qt::LeftButton);
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text,
             QStringLiteral("无法找到Internet Explorer，可能是您没有正确的安装IE。请手动访问。"));
    QVERIFY(shown[0].title.isEmpty());
    QCOMPARE(shown[0].icon, MessageBox::Icon::None);
    QVERIFY(form.isVisible());
}

QTEST_MAIN(TestMainFormServices)
#include "test_mainform_services.moc"
