// The About window: its layout against the design, focus order, putting itself on
// top once per creation, one window however often it is opened, and its links.
#include "StepwickVersion.h"
#include "platform/qt/AddressOpener.h"
#include "platform/qt/ApiBAS.h"
#include "platform/qt/TOURL.h"
#include "platform/qt/WindowStacking.h"
#include "ServiceFakes.h"
#include "ui/dialogs/About.h"
#include "ui/dialogs/LauncherNotice.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/main/FittedLabel.h"
#include "ui/main/FontSubstitutions.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

namespace {

using windowtest::RecordingOpener;
using windowtest::RecordingStacking;

const QColor kDarkGreen(0, 64, 0);
const QColor kGrey(128, 128, 128);
const QColor kBlue(0, 0, 255);

struct ControlSpec {
    const char* name;
    QRect twips;
    const char* family; // nullptr: the window's font
    qreal points;
    QColor colour;
};

// Left, top, width and height in twips as designed; 15 twips to the pixel.
const ControlSpec kControls[] = {
    {"Command1", {4920, 4440, 855, 375}, nullptr, 0, {}},
    {"Label1", {1560, 240, 2535, 975}, "Arial", 42, kDarkGreen},
    {"l2", {2160, 1080, 2895, 255}, "宋体", 12, kDarkGreen},
    {"Label2", {1320, 120, 2775, 375}, "Arial", 12, kDarkGreen},
    {"Label3", {360, 1440, 5055, 375}, "Arial", 12, kDarkGreen},
    {"Text1", {720, 1920, 4815, 615}, nullptr, 0, kDarkGreen},
    {"Label4", {1080, 2640, 3495, 255}, "宋体", 9, kBlue},
    {"Label5", {360, 3000, 5055, 375}, "Arial", 12, kDarkGreen},
    {"Text2", {1680, 3240, 3615, 975}, nullptr, 0, kDarkGreen},
    {"Label6", {1680, 4320, 3495, 255}, "宋体", 9, kBlue},
    {"Label7", {1680, 4560, 3495, 255}, "宋体", 9, kBlue},
    {"Label8", {3720, 1320, 1455, 255}, "Arial", 9, kGrey},
    {"Image1", {240, 3360, 1290, 1350}, nullptr, 0, {}},
};

QRect pixels(const QRect& t) {
    return {t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15};
}

template <typename T> T* child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QLatin1String(name));
    if (c == nullptr)
        qFatal("no control named %s", name);
    return c;
}

QStringList lines(QPlainTextEdit* t) {
    QStringList out = t->toPlainText().split(QLatin1Char('\n'));
    // Every line of the block ends in a line break, so the last piece is empty.
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { installFontSubstitutions(); }
    void init();
    void cleanup();
    void windowIsFixedToolWindowOfDesignSize();
    void controlsStandWhereDesigned();
    void captionsAndTextBlocks();
    void okHoldsFocusAndTabFollowsDesign();
    void putsItselfOnTopOncePerCreation();
    void okAndTitleBarCloseDestroyIt();
    void linksOpenTheAddressesTheyShow();
    void launcherFormsMailLinkAndReportsFailure();
    void desktopOpenerRefusesWhatItMustNotStart();

  private:
    RecordingStacking m_stacking;
    RecordingOpener m_opener;
    QPointer<About> m_slot;
};

void TestAbout::init() {
    m_stacking.calls.clear();
    m_opener.opened.clear();
    m_opener.succeed = true;
    ApiBAS::setStacking(&m_stacking);
    TOURL::setOpener(&m_opener);
    installLauncherNotice();
    MessageBox::setRecording(true);
}

void TestAbout::cleanup() {
    delete m_slot;
    flushDeletes();
    ApiBAS::setStacking(nullptr);
    TOURL::setOpener(nullptr);
    MessageBox::setRecording(false);
}

void TestAbout::windowIsFixedToolWindowOfDesignSize() {
    About* about = About::showSingle(m_slot);
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QCOMPARE(about->windowTitle(), QStringLiteral("关于本软件 & Morlend Inc."));
    QCOMPARE(about->size(), QSize(394, 328));
    QCOMPARE(about->minimumSize(), QSize(394, 328));
    QCOMPARE(about->maximumSize(), QSize(394, 328));
    const Qt::WindowFlags flags = about->windowFlags();
    // A tool window has no task-bar button.
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(about->parentWidget() == nullptr);
}

void TestAbout::controlsStandWhereDesigned() {
    About* about = About::showSingle(m_slot);
    for (const ControlSpec& spec : kControls) {
        QWidget* w = child<QWidget>(about, spec.name);
        QCOMPARE(w->geometry(), pixels(spec.twips));
        if (spec.family != nullptr) {
            auto* caption = qobject_cast<FittedLabel*>(w);
            QVERIFY2(caption != nullptr, spec.name);
            QCOMPARE(caption->designFont().family(), QString::fromUtf8(spec.family));
            QCOMPARE(caption->designFont().pointSizeF(), spec.points);
            QCOMPARE(w->palette().color(QPalette::WindowText), spec.colour);
            // Every caption is shown whole: its font is the design font, or as much
            // smaller as the label needs and no smaller.
            const QFontMetricsF m(w->font());
            QVERIFY2(m.horizontalAdvance(caption->text()) <= w->width(), spec.name);
            QVERIFY2(m.height() <= w->height(), spec.name);
            QVERIFY(w->font().pointSizeF() <= spec.points);
            if (w->font().pointSizeF() < spec.points) {
                QFont larger = w->font();
                larger.setPointSizeF(larger.pointSizeF() + 1);
                const QFontMetricsF ml(larger);
                QVERIFY2(ml.horizontalAdvance(caption->text()) > w->width() || ml.height() > w->height(),
                         spec.name);
            }
        }
    }
    QVERIFY(child<QLabel>(about, "Label1")->font().bold());
    for (const char* link : {"Label4", "Label6", "Label7"})
        QVERIFY(child<QLabel>(about, link)->font().underline());

    // The picture at its own size.
    auto* image = child<QLabel>(about, "Image1");
    QCOMPARE(image->pixmap().size(), QSize(86, 90));

    for (const char* name : {"Text1", "Text2"}) {
        auto* t = child<QPlainTextEdit>(about, name);
        QVERIFY(t->isReadOnly());
        QCOMPARE(t->palette().color(QPalette::Base), about->palette().color(QPalette::Button));
        QCOMPARE(t->palette().color(QPalette::Text), kDarkGreen);
        // The block holds all its lines, wrapped ones included, without scrolling.
        QCOMPARE(t->verticalScrollBar()->maximum(), 0);
    }
}

void TestAbout::captionsAndTextBlocks() {
    About* about = About::showSingle(m_slot);
    const QString company = QString::fromUtf8(stepwick::kCompanyUrl);
    const QString author = QString::fromUtf8(stepwick::kAuthorUrl);
    const QString mail = QString::fromUtf8(stepwick::kAuthorMail);
    const std::pair<const char*, QString> captions[] = {
        {"Label1", QStringLiteral("Stepwick!")},
        {"l2", QStringLiteral("把文本添加到一堆文件中去")},
        {"Label2", QStringLiteral("Morlend Inc.")},
        {"Label3", QStringLiteral("关于Morlend Inc.")},
        {"Label4", QStringLiteral("Morlend 官方主页： ") + company},
        {"Label5", QStringLiteral("关于Harnel.")},
        {"Label6", QStringLiteral("Harnel主页： ") + author},
        {"Label7", QStringLiteral("给我写信： ") + mail},
        {"Label8", QStringLiteral("Second Version")},
    };
    for (const auto& [name, caption] : captions)
        QCOMPARE(child<QLabel>(about, name)->text(), caption);
    QCOMPARE(child<QPushButton>(about, "Command1")->text(), QStringLiteral("OK"));

    const QStringList roster = lines(child<QPlainTextEdit>(about, "Text1"));
    QCOMPARE(roster.size(), 3);
    QCOMPARE(roster[0], QStringLiteral("Morlend 高层名单："));
    QVERIFY(QRegularExpression(QStringLiteral("^董事长：\\S+ 副董事长：\\S+$")).match(roster[1]).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("^总经理：\\S+ 副总经理：\\S+$")).match(roster[2]).hasMatch());

    const QStringList contact = lines(child<QPlainTextEdit>(about, "Text2"));
    QCOMPARE(contact.size(), 4);
    QCOMPARE(contact[0], QStringLiteral("Harnel"));
    // Made-up messenger address under the reserved domain, made-up QQ number.
    QVERIFY(QRegularExpression(QStringLiteral("^MSN:\\S+@\\S+\\.example$")).match(contact[1]).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("^QQ:\\d+$")).match(contact[2]).hasMatch());
    QCOMPARE(contact[3],
             QStringLiteral("欢迎来我的主页和我一起交流经验！如果你对软件的源代码感兴趣，也可以找我的。"));
}

void TestAbout::okHoldsFocusAndTabFollowsDesign() {
    About* about = About::showSingle(m_slot);
    QVERIFY(QTest::qWaitForWindowActive(about));
    auto* ok = child<QPushButton>(about, "Command1");
    QCOMPARE(QApplication::focusWidget(), ok);
    QVERIFY(!ok->isDefault());

    // The focus chain walks the controls in the designed order.
    QStringList designed;
    for (const ControlSpec& spec : kControls)
        if (qstrcmp(spec.name, "Image1") != 0)
            designed << QString::fromLatin1(spec.name);
    QStringList chain;
    QWidget* w = ok;
    do {
        if (designed.contains(w->objectName()) && !chain.contains(w->objectName()))
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != ok);
    QCOMPARE(chain, designed);

    // By the keyboard: OK, the roster, the contact block, and round to OK.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), ok);
}

void TestAbout::putsItselfOnTopOncePerCreation() {
    About* first = About::showSingle(m_slot);
    QCOMPARE(m_stacking.calls.size(), 1);
    QCOMPARE(m_stacking.calls[0].first, first);
    QCOMPARE(m_stacking.calls[0].second, true);

    // Opened again while open: the same window, not loaded again.
    QCOMPARE(About::showSingle(m_slot), first);
    QCOMPARE(m_stacking.calls.size(), 1);
    const QWidgetList tops = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(tops.begin(), tops.end(),
                           [](QWidget* w) { return qobject_cast<About*>(w) != nullptr; }),
             1);

    // Closed and opened again: a new window, on top again.
    QTest::mouseClick(child<QPushButton>(first, "Command1"), Qt::LeftButton);
    flushDeletes();
    QVERIFY(m_slot.isNull());
    About* second = About::showSingle(m_slot);
    QCOMPARE(m_stacking.calls.size(), 2);
    QCOMPARE(m_stacking.calls[1].first, second);
    QCOMPARE(m_stacking.calls[1].second, true);
}

void TestAbout::okAndTitleBarCloseDestroyIt() {
    QPointer<About> about = About::showSingle(m_slot);
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QTest::mouseClick(child<QPushButton>(about, "Command1"), Qt::LeftButton);
    flushDeletes();
    QVERIFY(about.isNull());

    about = About::showSingle(m_slot);
    QVERIFY(about->close());
    flushDeletes();
    QVERIFY(about.isNull());
    QVERIFY(m_slot.isNull());
}

void TestAbout::linksOpenTheAddressesTheyShow() {
    About* about = About::showSingle(m_slot);
    QVERIFY(QTest::qWaitForWindowExposed(about));
    const QString company = QString::fromUtf8(stepwick::kCompanyUrl);
    const QString author = QString::fromUtf8(stepwick::kAuthorUrl);
    const QString mail = QString::fromUtf8(stepwick::kAuthorMail);

    // Clicks on the other labels, the text blocks and the picture open nothing.
    for (const char* quiet : {"Label1", "l2", "Label2", "Label3", "Label5", "Label8", "Image1"})
        QTest::mouseClick(child<QWidget>(about, quiet), Qt::LeftButton);
    QVERIFY(m_opener.opened.isEmpty());

    QTest::mouseClick(child<QLabel>(about, "Label4"), Qt::LeftButton);
    QTest::mouseClick(child<QLabel>(about, "Label6"), Qt::LeftButton);
    QTest::mouseClick(child<QLabel>(about, "Label7"), Qt::LeftButton);
    QCOMPARE(m_opener.opened, QStringList({company, author, QStringLiteral("mailto:") + mail}));
    // Each address is the one its caption shows.
    QVERIFY(child<QLabel>(about, "Label4")->text().endsWith(QLatin1Char(' ') + company));
    QVERIFY(child<QLabel>(about, "Label6")->text().endsWith(QLatin1Char(' ') + author));
    QVERIFY(child<QLabel>(about, "Label7")->text().endsWith(QLatin1Char(' ') + mail));
    // A right click is not a click on a link.
    QTest::mouseClick(child<QLabel>(about, "Label4"), Qt::RightButton);
    QCOMPARE(m_opener.opened.size(), 3);
    QVERIFY(MessageBox::takeShown().isEmpty());

    // When the address cannot be opened the user is told, and the window stays open.
    m_opener.succeed = false;
    QTest::mouseClick(child<QLabel>(about, "Label6"), Qt::LeftButton);
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text,
             QStringLiteral("无法找到Internet Explorer，可能是您没有正确的安装IE。请手动访问。"));
    QVERIFY(!m_slot.isNull());
    QVERIFY(about->isVisible());
}

void TestAbout::launcherFormsMailLinkAndReportsFailure() {
    TOURL::OpenMail(QStringLiteral("someone@host.example"));
    TOURL::OpenUrl(QStringLiteral("http://host.example/page"));
    QCOMPARE(m_opener.opened, QStringList({QStringLiteral("mailto:someone@host.example"),
                                           QStringLiteral("http://host.example/page")}));
    QVERIFY(MessageBox::takeShown().isEmpty());

    m_opener.succeed = false;
    TOURL::OpenUrl(QStringLiteral("http://host.example/page"));
    TOURL::OpenMail(QStringLiteral("someone@host.example"));
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 2);
    for (const MessageBox::Shown& box : shown) {
        QCOMPARE(box.text,
                 QStringLiteral("无法找到Internet Explorer，可能是您没有正确的安装IE。请手动访问。"));
        // No title of its own (the application's shows) and no icon.
        QVERIFY(box.title.isEmpty());
        QCOMPARE(box.icon, MessageBox::Icon::None);
        // The address itself is not part of the message.
        QVERIFY(!box.text.contains(QStringLiteral("host.example")));
    }
}

void TestAbout::desktopOpenerRefusesWhatItMustNotStart() {
    // These are refused before anything is started, so no browser opens here.
    DesktopAddressOpener desktop;
    for (const char* address : {"", "file:///bin/sh", "javascript:alert(1)", "-x http://host.example/",
                                "http://host.example/a b", "sh -c reboot"})
        QVERIFY2(!desktop.open(QString::fromUtf8(address)), address);
}

QTEST_MAIN(TestAbout)
#include "test_about.moc"
