#include "ServiceFakes.h"
#include "StepwickVersion.h"
#include "WindowTestSupport.h"
#include "platform/qt/AddressOpener.h"
#include "platform/qt/ApiBAS.h"
#include "platform/qt/TOURL.h"
#include "ui/dialogs/About.h"
#include "ui/dialogs/LauncherNotice.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/widgets/FittedLabel.h"
#include "ui/widgets/FontSubstitutions.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QtTest>

using namespace windowtest;

namespace {

const QString kNotice = QStringLiteral("无法找到Internet Explorer，可能是您没有正确的安装IE。请手动访问。");
const QString kCompany = QString::fromUtf8(stepwick::kCompanyUrl);
const QString kAuthor = QString::fromUtf8(stepwick::kAuthorUrl);
const QString kMail = QString::fromUtf8(stepwick::kAuthorMail);

struct Caption {
    const char *name, *family;
    qreal points;
    QColor colour;
    QString text;
};

QStringList lines(QPlainTextEdit* t) { return t->toPlainText().split(u'\n', Qt::SkipEmptyParts); }

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }
    void init() { m_fakes.reset(); }

    void cleanup() {
        delete m_slot;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void layoutCaptionsAndTextsAsDesigned() {
        About* about = About::showSingle(m_slot);
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QCOMPARE(about->windowTitle(), QStringLiteral("关于本软件 & Morlend Inc."));
        QCOMPARE(about->size(), QSize(394, 328));
        QCOMPARE(about->minimumSize(), about->maximumSize());
        // A tool window (no task-bar button) with a close button only.
        QCOMPARE(about->windowFlags() & (Qt::WindowType_Mask | Qt::WindowCloseButtonHint |
                                         Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
                 Qt::Tool | Qt::WindowCloseButtonHint);
        QVERIFY(!about->parentWidget() && !about->isModal());

        const Caption captions[] = {
            {"Label1", "Arial", 42, kDarkGreen, QStringLiteral("Stepwick!")},
            {"l2", "宋体", 12, kDarkGreen, QStringLiteral("把文本添加到一堆文件中去")},
            {"Label2", "Arial", 12, kDarkGreen, QStringLiteral("Morlend Inc.")},
            {"Label3", "Arial", 12, kDarkGreen, QStringLiteral("关于Morlend Inc.")},
            {"Label4", "宋体", 9, kBlue, QStringLiteral("Morlend 官方主页： ") + kCompany},
            {"Label5", "Arial", 12, kDarkGreen, QStringLiteral("关于Harnel.")},
            {"Label6", "宋体", 9, kBlue, QStringLiteral("Harnel主页： ") + kAuthor},
            {"Label7", "宋体", 9, kBlue, QStringLiteral("给我写信： ") + kMail},
            {"Label8", "Arial", 9, kGrey, QStringLiteral("Second Version")},
        };
        for (const Caption& c : captions) {
            auto* label = child<FittedLabel>(about, c.name);
            QCOMPARE(label->text(), c.text);
            QCOMPARE(label->designFont().family(), QString::fromUtf8(c.family));
            QCOMPARE(label->designFont().pointSizeF(), c.points);
            QCOMPARE(label->palette().color(QPalette::WindowText), c.colour);
            QVERIFY2(c.colour == kBlue || fitsSnugly(label, c.points), c.name);
            QCOMPARE(label->font().underline(), c.colour == kBlue); // the links
        }
        QVERIFY(fitsSnugly(
            {child<QLabel>(about, "Label4"), child<QLabel>(about, "Label6"), child<QLabel>(about, "Label7")},
            9));
        QVERIFY(child<QLabel>(about, "Label1")->font().bold());
        QCOMPARE(child<QPushButton>(about, "Command1")->text(), QStringLiteral("OK"));
        QCOMPARE(child<QLabel>(about, "Image1")->pixmap().size(), QSize(86, 90));

        for (const char* name : {"Text1", "Text2"}) {
            auto* t = child<QPlainTextEdit>(about, name);
            QVERIFY(t->isReadOnly());
            QCOMPARE(t->palette().color(QPalette::Base), about->palette().color(QPalette::Button));
            QCOMPARE(t->palette().color(QPalette::Text), kDarkGreen);
            QCOMPARE(t->verticalScrollBar()->maximum(), 0); // all its lines shown without scrolling
        }
        // Made-up names, a messenger address under the reserved domain and a QQ number.
        const std::pair<const char*, const char*> blocks[] = {
            {"Text1", "Morlend 高层名单：\n董事长：\\S+ 副董事长：\\S+\n总经理：\\S+ 副总经理：\\S+"},
            {"Text2", "Harnel\nMSN:\\S+@\\S+\\.example\nQQ:\\d+\n"
                      "欢迎来我的主页和我一起交流经验！如果你对软件的源代码感兴趣，也可以找我的。"}};
        for (const auto& [name, pattern] : blocks) {
            const QString text = lines(child<QPlainTextEdit>(about, name)).join(u'\n');
            QVERIFY2(QRegularExpression(u'^' + QString::fromUtf8(pattern) + u'$').match(text).hasMatch(),
                     qPrintable(text));
        }
    }

    void okHoldsFocusAndTabFollowsDesign() {
        About* about = About::showSingle(m_slot);
        QVERIFY(QTest::qWaitForWindowActive(about));
        auto* ok = child<QPushButton>(about, "Command1");
        QCOMPARE(QApplication::focusWidget(), ok);

        // By the keyboard: OK, the roster, the contact block, and round to OK.
        for (const char* next : {"Text1", "Text2", "Command1"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(next));
        }
        QCOMPARE(clicksByEnter(ok), 2);
        QVERIFY(!about->isVisible());
    }

    void oneWindowOnTopOncePerCreationClosedByOkOrCloseButton() {
        for (bool byOk : {true, false}) {
            QPointer<About> about = About::showSingle(m_slot);
            QCOMPARE(About::showSingle(m_slot),
                     about.data()); // opened again: the same window, not loaded again
            QCOMPARE(m_fakes.stacking.calls, (QList<QPair<QWidget*, bool>>{{about.data(), true}}));
            if (byOk)
                QTest::mouseClick(child<QPushButton>(about, "Command1"), Qt::LeftButton);
            else
                QVERIFY(about->close());
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(about.isNull() && m_slot.isNull());
            m_fakes.stacking.calls.clear(); // a new window is put on top again
        }
    }

    void linksOpenTheAddressesTheyShow() {
        About* about = About::showSingle(m_slot);
        QVERIFY(QTest::qWaitForWindowExposed(about));
        // Clicks on the other labels, the text blocks and the picture open nothing.
        for (const char* quiet :
             {"Label1", "l2", "Label2", "Label3", "Label5", "Label8", "Image1", "Text1", "Text2"})
            QTest::mouseClick(child(about, quiet), Qt::LeftButton);
        QTest::mouseClick(child(about, "Label4"), Qt::RightButton); // not a click on a link
        QVERIFY(m_fakes.opener.opened.isEmpty());

        for (const char* link : {"Label4", "Label6", "Label7"})
            QTest::mouseClick(child(about, link), Qt::LeftButton);
        QCOMPARE(m_fakes.opener.opened, QStringList({kCompany, kAuthor, QStringLiteral("mailto:") + kMail}));
        QVERIFY(MessageBox::takeShown().isEmpty());

        // When the address cannot be opened the user is told, and the window stays open.
        m_fakes.opener.succeed = false;
        QTest::mouseClick(child(about, "Label6"), Qt::LeftButton);
        QCOMPARE(oneBox(), box({}, MessageBox::Icon::None, kNotice)); // no title: the application's shows
        QVERIFY(about->isVisible());
    }

    void desktopOpenerRefusesWhatItMustNotStart() {
        // Refused before anything is started, so no browser opens here.
        DesktopAddressOpener desktop;
        for (const char* address : {"", "file:///bin/sh", "javascript:alert(1)", "-x http://host.example/",
                                    "http://host.example/a b", "sh -c reboot"})
            QVERIFY2(!desktop.open(QString::fromUtf8(address)), address);
    }

private:
    FakeServices m_fakes;
    LauncherNotice m_notice;
    QPointer<About> m_slot;
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
