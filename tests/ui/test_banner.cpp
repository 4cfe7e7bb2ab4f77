// The banner: thirteen messages in order, wrapping to the first, each centred on the
// label's own width after the caption changed.
#include "StepwickVersion.h"
#include "core/Mod.h"
#include "ui/main/Banner.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <QtTest>

namespace {

// A stand-in for the main window: its inner size and the banner label at its design place.
struct Host {
    QWidget window;
    QLabel* ADL;
    Host() {
        window.resize(413, 388);
        ADL = new QLabel(QStringLiteral("Morlend Inc. Stepwick！ 代码批量添加器 Second Version"), &window);
        ADL->setObjectName(QStringLiteral("ADL"));
        ADL->setGeometry(72, 368, 274, 15);
    }
};

QStringList designMessages() {
    return {
        QStringLiteral("Morlend Inc. Stepwick！ 代码批量添加器 Second Version"),
        QStringLiteral("你可以使用它轻松的将相同的代码添加到批量文件中去"),
        QStringLiteral("这些代码可以是文本，html，asp等等"),
        QStringLiteral("你可以用它改程序"),
        QStringLiteral("比如在html文件中添加去广告代码"),
        QStringLiteral("比如在asp程序头添上你的版权"),
        QStringLiteral("将你的双手解放出来，让用电脑更轻松"),
        QStringLiteral("关于我的更多的软件，请访问我的主页"),
        QString::fromUtf8(stepwick::kAuthorUrl),
        QStringLiteral("或者我们公司的主页") + QString::fromUtf8(stepwick::kCompanyUrl),
        QStringLiteral("如果在使用软件上有任何问题，请联系我"),
        QStringLiteral("你可以在关于软件中找到关于他们的信息"),
    };
}

void verifyCentred(const QLabel* ADL, int innerWidth, int top) {
    // The label has been sized to the caption it now shows...
    QCOMPARE(ADL->width(), ADL->sizeHint().width());
    // ...and stands in the middle, to the rounding of half a pixel, at its old height.
    const int twiceLeft = 2 * ADL->x();
    QVERIFY2(
        qAbs(twiceLeft - (innerWidth - ADL->width())) <= 1,
        qPrintable(
            QStringLiteral("left %1, width %2, inner %3").arg(ADL->x()).arg(ADL->width()).arg(innerWidth)));
    QCOMPARE(ADL->y(), top);
}

} // namespace

class TestBanner : public QObject {
    Q_OBJECT
  private slots:
    void loadSetsTableTimerAndCounters();
    void ticksShowMessagesInOrderAndWrap();
    void captionWiderThanWindowGetsNegativeLeft();
    void corruptPositionIsAnErrorNotAStrayRead();
};

void TestBanner::loadSetsTableTimerAndCounters() {
    Mod mod;
    QTimer timer;
    timer.setInterval(200);
    loadBanner(mod, &timer);
    QCOMPARE(timer.interval(), 3000);
    QCOMPARE(mod.BannerCount, 13);
    QCOMPARE(mod.BannerPos, 1);
    // Only 1 to 13 are messages; the rest of the table stays empty.
    QVERIFY(mod.BannerLines[0].empty());
    for (std::size_t i = 14; i < mod.BannerLines.size(); ++i)
        QVERIFY(mod.BannerLines[i].empty());
    for (std::size_t i = 1; i <= 13; ++i)
        QVERIFY(!mod.BannerLines[i].empty());
}

void TestBanner::ticksShowMessagesInOrderAndWrap() {
    Mod mod;
    QTimer timer;
    loadBanner(mod, &timer);
    Host host;
    const int top = host.ADL->y();
    // Until the first tick the label keeps its design caption and place.
    QCOMPARE(host.ADL->text(), QStringLiteral("Morlend Inc. Stepwick！ 代码批量添加器 Second Version"));
    QCOMPARE(host.ADL->pos(), QPoint(72, 368));

    QStringList shown;
    for (int tick = 1; tick <= 14; ++tick) {
        bannerTick(mod, host.ADL, host.window.width());
        shown << host.ADL->text();
        verifyCentred(host.ADL, host.window.width(), top);
        QVERIFY(mod.BannerPos >= 1 && mod.BannerPos <= mod.BannerCount);
    }
    const QStringList expected = designMessages();
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(shown[i], expected[i]);
    // The thirteenth thanks a user for reporting a major fault.
    QVERIFY(shown[12].startsWith(QStringLiteral("感谢")));
    QVERIFY(shown[12].contains(QStringLiteral("报告了一个重大错误")));
    // The fourteenth tick starts again from the first message.
    QCOMPARE(shown[13], expected[0]);
    QCOMPARE(mod.BannerPos, 2);
}

void TestBanner::captionWiderThanWindowGetsNegativeLeft() {
    Mod mod;
    QTimer timer;
    loadBanner(mod, &timer);
    mod.BannerLines[1] = std::string(200, 'W');
    Host host;
    bannerTick(mod, host.ADL, host.window.width());
    QVERIFY(host.ADL->width() > host.window.width());
    QVERIFY(host.ADL->x() < 0);
    verifyCentred(host.ADL, host.window.width(), 368);

    // A short caption afterwards shrinks the label again and moves it back inside.
    bannerTick(mod, host.ADL, host.window.width());
    QVERIFY(host.ADL->x() > 0);
    verifyCentred(host.ADL, host.window.width(), 368);
}

void TestBanner::corruptPositionIsAnErrorNotAStrayRead() {
    Mod mod;
    QTimer timer;
    loadBanner(mod, &timer);
    Host host;
    for (std::int16_t bad : {std::int16_t(-1), std::int16_t(21), std::int16_t(32767)}) {
        mod.BannerPos = bad;
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, bannerTick(mod, host.ADL, host.window.width()));
    }
}

QTEST_MAIN(TestBanner)
#include "test_banner.moc"
