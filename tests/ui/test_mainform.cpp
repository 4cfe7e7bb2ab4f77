// The main window driven as a user drives it: its controls and their places, the batch
// run from typing the code to the changed files and the log, the questions it asks,
// and the exit sequence.
#include "WindowTestSupport.h"
#include "core/BatchRun.h"
#include "core/Mod.h"
#include "ui/dialogs/FileBro.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/Texts.h"
#include "ui/main/FittedLabel.h"
#include "ui/main/FontSubstitutions.h"
#include "ui/main/MainForm.h"
#include "ui/main/PictureButton.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <clocale>
#include <memory>
#include <sys/stat.h>

using namespace windowtest;

namespace {

const QString kHeader = QStringLiteral("被处理的文件\n");
const QString kPlaceholder = QStringLiteral("在这里输入欲添加的字符。");

// A fresh shared state and main window for each test; the exit sequence only counts.
struct Session {
    Mod mod;
    std::unique_ptr<MainForm> form;
    int endCalls = 0;

    Session() {
        form = std::make_unique<MainForm>(mod);
        form->setEndProcess([this] { ++endCalls; });
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    template <typename W> W* control(const char* name) const {
        W* widget = form->findChild<W*>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
};

// Option buttons are clicked on their indicator: the middle of the control may lie
// beyond a short caption, where a click selects nothing.
void clickOption(QRadioButton* option) {
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

// Types into the code window as a user would: replaces the whole text.
void typeCode(QPlainTextEdit* box, const QString& asciiLine1, const QString& line2) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, asciiLine1);
    QTest::keyClick(box, Qt::Key_Return);
    for (const QChar c : line2)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void openRow(QListWidget* list, const QString& text) {
    const QList<QListWidgetItem*> rows = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(!rows.isEmpty(), qPrintable(text));
    const QRect rect = list->visualItemRect(rows.last());
    // Highlight first: Qt Test's double-click alone does not reach a view that was
    // never pressed.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

QString logText(const Session& s) {
    return s.control<QPlainTextEdit>("Text1")->toPlainText();
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();

    void controlsStandWhereDesigned();
    void captionsFontsColoursAndPictures();
    void startsWithDefaultsAndHiddenCodeWindow();
    void runEndToEndFromTypedCodeToLog();
    void secondRunAppendsBehindFirst();
    void runWithoutFolderAsksForOneAndOpensPicker();
    void otherExtensionAndPresetsChooseTheFiles();
    void failedFileIsLoggedOthersChangedOneMessage();
    void placeholderIsInsertedWhenNothingWasTyped();
    void exitSequenceClosesWindowsAndConfirmsPicker();
    void closeButtonRunsExitSequence();
    void secondaryWindowsExistOnce();
};

void TestMainForm::initTestCase() {
    // The files are written in the locale's encoding; the tests expect UTF-8.
    std::setlocale(LC_ALL, "C.UTF-8");
    installFontSubstitutions();
}

void TestMainForm::init() {
    MessageBox::setRecording(true);
}

void TestMainForm::controlsStandWhereDesigned() {
    Session s;
    QCOMPARE(s.form->size(), QSize(413, 388));
    QCOMPARE(s.form->minimumSize(), QSize(413, 388));
    QCOMPARE(s.form->maximumSize(), QSize(413, 388));
    const Qt::WindowFlags flags = s.form->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(s.form->windowType(), Qt::Window);
    QCOMPARE(s.form->windowTitle(), QStringLiteral("Stepwick"));

    const Placement table[] = {
        {"Label1", "MainForm", 2760, 120, 2535, 975},   {"l2", "MainForm", 3600, 1080, 2775, 495},
        {"Text1", "MainForm", 4320, 1560, 1695, 2655},  {"Frame1", "MainForm", 120, 1800, 1935, 1215},
        {"CmdOpen", "Frame1", 240, 360, 1455, 495},     {"Frame2", "MainForm", 2280, 1800, 1815, 1215},
        {"CmdAdd", "Frame2", 240, 360, 1335, 495},      {"Command2", "MainForm", 120, 4440, 975, 975},
        {"Command1", "MainForm", 1200, 4440, 975, 975}, {"Command3", "MainForm", 2280, 4440, 975, 975},
        {"Command4", "MainForm", 3360, 4440, 975, 975}, {"Frame3", "MainForm", 2280, 3120, 1815, 1095},
        {"Frame4", "MainForm", 120, 3120, 1935, 1095},  {"Option1", "Frame4", 120, 240, 1455, 255},
        {"Option2", "Frame4", 120, 480, 1575, 255},     {"Option3", "Frame4", 960, 240, 735, 255},
        {"Option4", "Frame4", 960, 480, 855, 255},      {"OOther", "Frame4", 120, 720, 855, 255},
        {"TOther", "Frame4", 960, 720, 855, 270},       {"Ohead", "Frame3", 240, 360, 1335, 255},
        {"Ofeet", "Frame3", 240, 720, 1455, 255},       {"Label3", "MainForm", 4560, 4800, 1695, 255},
        {"Label4", "MainForm", 4680, 5160, 1455, 255},  {"Check1", "MainForm", 4560, 4440, 1695, 255},
        {"Image1", "MainForm", 240, 240, 2205, 1035},
    };
    for (const Placement& p : table) {
        QWidget* widget = s.control<QWidget>(p.name);
        QCOMPARE(widget->parentWidget()->objectName(), QLatin1String(p.parent));
        if (widget->geometry() != p.pixels())
            QFAIL(qPrintable(QStringLiteral("%1 at %2,%3 %4x%5")
                                 .arg(QLatin1String(p.name))
                                 .arg(widget->x())
                                 .arg(widget->y())
                                 .arg(widget->width())
                                 .arg(widget->height())));
    }

    // The banner keeps its design corner and takes the width of its caption.
    auto* adl = s.control<QLabel>("ADL");
    QCOMPARE(adl->pos(), QPoint(1080 / 15, 5520 / 15));
    QCOMPARE(adl->width(), adl->sizeHint().width());

    // One broken rule at y = 1560 twips: 120-2280, 2400-3360, 3480-4080.
    const struct {
        const char* name;
        int x1, x2;
    } lines[] = {{"Line1", 120, 2280}, {"Line2", 2400, 3360}, {"Line3", 3480, 4080}};
    for (const auto& line : lines) {
        auto* rule = s.control<QFrame>(line.name);
        QCOMPARE(rule->frameShape(), QFrame::HLine);
        QCOMPARE(rule->geometry(), QRect(line.x1 / 15, 1560 / 15, (line.x2 - line.x1) / 15, 1));
    }

    // Tab order as designed; labels, frames, the picture and the lines take no focus.
    const QStringList expectedOrder{"Text1",    "CmdOpen", "CmdAdd",  "Command2", "Command1", "Command3",
                                    "Command4", "Option1", "Option2", "Option3",  "Option4",  "OOther",
                                    "TOther",   "Ohead",   "Ofeet",   "Check1"};
    QCOMPARE(tabOrder(s.form.get(), s.control<QWidget>("Text1")), expectedOrder);

    // No button answers Enter on behalf of the window.
    for (QPushButton* button : s.form->findChildren<QPushButton*>()) {
        QVERIFY2(!button->isDefault() && !button->autoDefault(), qPrintable(button->objectName()));
    }
}

void TestMainForm::captionsFontsColoursAndPictures() {
    Session s;
    const struct {
        const char* name;
        const char* caption;
    } captions[] = {
        {"Label1", "Stepwick!"},    {"l2", "代码批量添加器"},
        {"Frame1", "选择文件"},     {"CmdOpen", "选择一个文件夹"},
        {"Frame2", "欲添加的代码"}, {"CmdAdd", "输入拟添代码"},
        {"Command2", "开始添加."},  {"Command1", "关于软件."},
        {"Command3", "作者主页."},  {"Command4", "退出..."},
        {"Frame3", "添加位置"},     {"Frame4", "文件类型"},
        {"Option1", "TXT"},         {"Option2", "HTM"},
        {"Option3", "ASP"},         {"Option4", "PHP"},
        {"OOther", "Other:"},       {"TOther", "CGI"},
        {"Ohead", "文件头"},        {"Ofeet", "文件尾"},
        {"Label3", "Powered by"},   {"Label4", "Morlend. Harnel"},
        {"Check1", "置顶本程序"},
    };
    for (const auto& c : captions) {
        QObject* o = s.control<QWidget>(c.name);
        QString text;
        if (auto* label = qobject_cast<QLabel*>(o))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(o))
            text = button->text();
        else if (auto* frame = qobject_cast<QGroupBox*>(o))
            text = frame->title();
        else if (auto* edit = qobject_cast<QLineEdit*>(o))
            text = edit->text();
        QCOMPARE(text, QString::fromUtf8(c.caption));
    }
    QCOMPARE(s.control<QLabel>("ADL")->text(),
             QStringLiteral("Morlend Inc. Stepwick！ 代码批量添加器 Second Version"));

    // Song-style captions come out in the substituted Chinese font, Latin ones in
    // Liberation Sans.
    for (const char* name : {"l2", "Text1", "Frame1", "CmdOpen", "Frame2", "CmdAdd", "Frame3", "Frame4",
                             "Command2", "Command1", "Command3", "Command4"}) {
        const QWidget* widget = s.control<QWidget>(name);
        QCOMPARE(QFontInfo(widget->font()).family(), QStringLiteral("AR PL UMing CN"));
    }
    QCOMPARE(s.control<QWidget>("l2")->font().pointSize(), 12);
    QCOMPARE(s.control<QWidget>("Text1")->font().pointSize(), 9);
    for (const char* name : {"Label3", "Label4", "Check1", "ADL"}) {
        const QWidget* widget = s.control<QWidget>(name);
        QCOMPARE(QFontInfo(widget->font()).family(), QStringLiteral("Liberation Sans"));
        QCOMPARE(widget->font().pointSize(), 9);
    }

    // "Stepwick!" at Arial 42 pt bold would not fit its control: it is scaled down until
    // it does, and no further than needed.
    auto* label1 = s.control<FittedLabel>("Label1");
    QCOMPARE(QFontInfo(label1->font()).family(), QStringLiteral("Liberation Sans"));
    QVERIFY(label1->font().bold());
    const QFontMetricsF fitted(label1->font());
    QVERIFY(fitted.horizontalAdvance(label1->text()) <= label1->contentsRect().width());
    QVERIFY(fitted.height() <= label1->contentsRect().height());
    QFont larger = label1->font();
    larger.setPointSizeF(label1->font().pointSizeF() + 0.5);
    const QFontMetricsF tooLarge(larger);
    QVERIFY(tooLarge.horizontalAdvance(label1->text()) > label1->contentsRect().width() ||
            tooLarge.height() > label1->contentsRect().height());
    QVERIFY(label1->font().pointSizeF() < 42);
    QCOMPARE(label1->geometry(), QRect(2760 / 15, 120 / 15, 2535 / 15, 975 / 15));

    const QColor darkGreen(0, 64, 0), grey(128, 128, 128);
    QCOMPARE(label1->palette().color(QPalette::WindowText), darkGreen);
    QCOMPARE(s.control<QLabel>("l2")->palette().color(QPalette::WindowText), darkGreen);
    QCOMPARE(s.control<QLabel>("Label3")->palette().color(QPalette::WindowText), grey);
    QCOMPARE(s.control<QLabel>("Label4")->palette().color(QPalette::WindowText), grey);

    // The pictures, at their own sizes.
    QCOMPARE(s.control<QLabel>("Image1")->pixmap().size(), QSize(147, 69));
    const struct {
        const char* name;
        QSize size;
    } pictures[] = {
        {"Command2", {40, 48}}, {"Command1", {32, 48}}, {"Command3", {32, 48}}, {"Command4", {40, 52}}};
    for (const auto& p : pictures)
        QCOMPARE(s.control<PictureButton>(p.name)->picture().size(), p.size);
    QCOMPARE(QPixmap(QStringLiteral(":/pictures/about.gif")).size(), QSize(86, 90));
    QCOMPARE(QImageReader(QStringLiteral(":/pictures/logo.gif")).format(), QByteArray("gif"));

    // The window icon holds four images of 32 bits.
    const QList<QSize> iconSizes = s.form->windowIcon().availableSizes();
    for (int size : {16, 32, 48, 64}) {
        QVERIFY2(iconSizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        const QImage image(QStringLiteral(":/icons/stepwick-%1.png").arg(size));
        QCOMPARE(image.size(), QSize(size, size));
        QCOMPARE(image.depth(), 32);
    }
}

void TestMainForm::startsWithDefaultsAndHiddenCodeWindow() {
    Session s;
    QCOMPARE(logText(s), kHeader);
    auto* log = s.control<QPlainTextEdit>("Text1");
    QVERIFY(log->isReadOnly());
    QCOMPARE(log->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    QVERIFY(s.control<QRadioButton>("Option1")->isChecked());
    QVERIFY(s.control<QRadioButton>("Ofeet")->isChecked());
    QVERIFY(!s.control<QCheckBox>("Check1")->isChecked());
    QCOMPARE(s.mod.FileExt, std::string("txt"));
    QVERIFY(!s.mod.DirChosen);
    QCOMPARE(s.mod.BannerCount, 13);
    QCOMPARE(s.mod.BannerPos, 1);

    auto* timer = s.control<QTimer>("Timer1");
    QCOMPARE(timer->interval(), 3000);
    QVERIFY(timer->isActive());

    // The code window exists from the start, hidden, holding its placeholder.
    QCOMPARE(windowCount(QStringLiteral("Texts")), 1);
    QVERIFY(!visibleWindow(QStringLiteral("Texts")));
    QCOMPARE(s.form->texts()->code(), kPlaceholder);
    QVERIFY(!s.form->fileBro());
}

void TestMainForm::runEndToEndFromTypedCodeToLog() {
    Session s;
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString site = root.filePath(QStringLiteral("site"));
    QVERIFY(QDir().mkpath(site + QStringLiteral("/inner")));
    writeFile(site + QStringLiteral("/a.htm"), "old line\r\n");
    writeFile(site + QStringLiteral("/b.htm"), "last");
    writeFile(site + QStringLiteral("/c.txt"), "keep\r\n");
    writeFile(site + QStringLiteral("/inner/d.htm"), "deep\r\n");
    CurrentFolder here(root.path());

    // 1. The code, typed into the code window and confirmed.
    QTest::mouseClick(s.control<QPushButton>("CmdAdd"), Qt::LeftButton);
    Texts* texts = s.form->texts();
    QVERIFY(texts->isVisible());
    typeCode(texts->Text1, QStringLiteral("<!-- x -->"), QStringLiteral("代码"));
    QTest::mouseClick(texts->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    QVERIFY(!texts->isVisible());

    // 2. The folder, opened in the picker's folder list and confirmed.
    QTest::mouseClick(s.control<QPushButton>("CmdOpen"), Qt::LeftButton);
    FileBro* picker = s.form->fileBro();
    QVERIFY(picker && picker->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(picker));
    openRow(picker->findChild<QListWidget*>(QStringLiteral("Dir1")), QStringLiteral("site"));
    QStringList listed;
    for (int i = 0; i < picker->File1->count(); ++i)
        listed << picker->File1->item(i)->text();
    QCOMPARE(listed, (QStringList{"a.htm", "b.htm", "c.txt"}));
    QTest::mouseClick(picker->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    QTRY_VERIFY(!s.form->fileBro());
    QCOMPARE(QString::fromStdString(s.mod.TargetDir), site + u'/');
    QVERIFY(s.mod.DirChosen);

    // 3. The type and the position; 4. start.
    clickOption(s.control<QRadioButton>("Option2"));
    clickOption(s.control<QRadioButton>("Ohead"));
    QCOMPARE(s.mod.FileExt, std::string("htm"));
    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);

    QCOMPARE(readFile(site + QStringLiteral("/a.htm")), QByteArray("<!-- x -->\r\n代码\r\nold line\r\n"));
    QCOMPARE(readFile(site + QStringLiteral("/b.htm")), QByteArray("<!-- x -->\r\n代码\r\nlast\r\n"));
    QCOMPARE(readFile(site + QStringLiteral("/c.txt")), QByteArray("keep\r\n"));
    QCOMPARE(readFile(site + QStringLiteral("/inner/d.htm")), QByteArray("deep\r\n"));
    QCOMPARE(logText(s), kHeader + QStringLiteral("a.htm\nb.htm\n\n处理了2个文件。\n感谢您使用本软件！"));
    QVERIFY(MessageBox::takeShown().isEmpty());
    // The code window was read while hidden and stays hidden.
    QVERIFY(!texts->isVisible());
}

void TestMainForm::secondRunAppendsBehindFirst() {
    Session s;
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("one.txt")), "1\r\n");
    writeFile(dir.filePath(QStringLiteral("two.txt")), "2\r\n");
    s.mod.TargetDir = dir.path().toStdString() + '/';
    s.mod.DirChosen = true;
    s.form->texts()->Text1->setPlainText(QStringLiteral("END"));

    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
    const QString firstRun = QStringLiteral("one.txt\ntwo.txt\n\n处理了2个文件。\n感谢您使用本软件！");
    QCOMPARE(logText(s), kHeader + firstRun);
    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
    // The second run's first name stands on the thank-you line.
    QCOMPARE(logText(s), kHeader + firstRun + firstRun);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("one.txt"))), QByteArray("1\r\nEND\r\nEND\r\n"));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("two.txt"))), QByteArray("2\r\nEND\r\nEND\r\n"));
    QCOMPARE(s.control<QPlainTextEdit>("Text1")->document()->blockCount(), 10);
}

void TestMainForm::runWithoutFolderAsksForOneAndOpensPicker() {
    Session s;
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("a.txt")), "a\r\n");
    CurrentFolder here(dir.path());

    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral(":)"));
    QCOMPARE(shown[0].text, QStringLiteral("请选择一个目录，以便于我们找到文件。"));
    QCOMPARE(shown[0].icon, MessageBox::Icon::Information);
    QVERIFY(s.form->fileBro() && s.form->fileBro()->isVisible());
    QCOMPARE(logText(s), kHeader);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("a.txt"))), QByteArray("a\r\n"));
    QVERIFY(!s.mod.DirChosen);
    QVERIFY(s.mod.TargetDir.empty());

    // Confirming the picker, then starting again, runs in the folder shown.
    QTest::mouseClick(s.form->fileBro()->Command1, Qt::LeftButton);
    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("a.txt"))),
             QByteArray("a\r\n") + kPlaceholder.toUtf8() + "\r\n");
}

void TestMainForm::otherExtensionAndPresetsChooseTheFiles() {
    Session s;
    QTemporaryDir dir;
    const QString cgi = dir.filePath(QStringLiteral("x.cgi")), txt = dir.filePath(QStringLiteral("y.txt")),
                  htm = dir.filePath(QStringLiteral("z.htm")), pl = dir.filePath(QStringLiteral("w.pl"));
    for (const QString& path : {cgi, txt, htm, pl})
        writeFile(path, "");
    s.mod.TargetDir = dir.path().toStdString() + '/';
    s.mod.DirChosen = true;
    s.form->texts()->Text1->setPlainText(QStringLiteral("C"));
    auto* other = s.control<QLineEdit>("TOther");

    // HTM chosen, then Other: the preset is ignored, TOther's text is searched.
    clickOption(s.control<QRadioButton>("Option2"));
    clickOption(s.control<QRadioButton>("OOther"));
    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(readFile(cgi), QByteArray("C\r\n"));
    QCOMPARE(readFile(htm), QByteArray());

    // Another extension typed by hand.
    other->selectAll();
    QTest::keyClicks(other, QStringLiteral("pl"));
    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(readFile(pl), QByteArray("C\r\n"));
    QCOMPARE(readFile(cgi), QByteArray("C\r\n"));

    // A preset again: TOther is ignored although it still holds text.
    clickOption(s.control<QRadioButton>("Option1"));
    QCOMPARE(other->text(), QStringLiteral("pl"));
    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(readFile(txt), QByteArray("C\r\n"));
    QCOMPARE(readFile(pl), QByteArray("C\r\n"));
    QCOMPARE(readFile(htm), QByteArray());

    // Each preset sets the extension the next run looks for.
    const struct {
        const char* option;
        const char* extension;
    } presets[] = {{"Option3", "asp"}, {"Option4", "php"}, {"Option2", "htm"}, {"Option1", "txt"}};
    for (const auto& p : presets) {
        clickOption(s.control<QRadioButton>(p.option));
        QCOMPARE(s.mod.FileExt, std::string(p.extension));
    }
    QCOMPARE(logText(s), kHeader + QStringLiteral("x.cgi\n\n处理了1个文件。\n感谢您使用本软件！"
                                                  "w.pl\n\n处理了1个文件。\n感谢您使用本软件！"
                                                  "y.txt\n\n处理了1个文件。\n感谢您使用本软件！"));

    // An extension that holds a '/' changes nothing and says so.
    clickOption(s.control<QRadioButton>("OOther"));
    other->setText(QStringLiteral("../x"));
    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].icon, MessageBox::Icon::Warning);
    QCOMPARE(shown[0].title, QStringLiteral(":)"));
    QVERIFY(logText(s).endsWith(QStringLiteral("y.txt\n\n处理了1个文件。\n感谢您使用本软件！")));
}

void TestMainForm::failedFileIsLoggedOthersChangedOneMessage() {
    Session s;
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.txt")), b = dir.filePath(QStringLiteral("b.txt")),
                  c = dir.filePath(QStringLiteral("c.txt"));
    for (const QString& path : {a, b, c})
        writeFile(path, "old\r\n");
    QCOMPARE(::chmod(QFile::encodeName(b).constData(), 0444), 0);
    s.mod.TargetDir = dir.path().toStdString() + '/';
    s.mod.DirChosen = true;
    s.form->texts()->Text1->setPlainText(QStringLiteral("new"));

    for (const char* position : {"Ofeet", "Ohead"}) {
        clickOption(s.control<QRadioButton>(position));
        const QString before = logText(s);
        QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);

        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral(":)"));
        QCOMPARE(shown[0].icon, MessageBox::Icon::Warning);
        QVERIFY2(shown[0].text.contains(u'1'), qPrintable(shown[0].text));

        const QString run = logText(s).mid(before.size());
        static const QRegularExpression expected(
            QStringLiteral("^a\\.txt\nb\\.txt（未能处理：[^\n]+）\nc\\.txt\n\n处理了2个文件。\n"
                           "有1个文件未能处理。\n感谢您使用本软件！$"));
        QVERIFY2(expected.match(run).hasMatch(), qPrintable(run));
    }
    QCOMPARE(readFile(a), QByteArray("new\r\nold\r\nnew\r\n"));
    QCOMPARE(readFile(b), QByteArray("old\r\n"));
    QCOMPARE(readFile(c), QByteArray("new\r\nold\r\nnew\r\n"));
    // The program goes on: the window is still there and usable.
    QVERIFY(s.form->isVisible());
    QCOMPARE(s.endCalls, 0);
}

void TestMainForm::placeholderIsInsertedWhenNothingWasTyped() {
    Session s;
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("p.txt")), "");
    s.mod.TargetDir = dir.path().toStdString() + '/';
    s.mod.DirChosen = true;
    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("p.txt"))), kPlaceholder.toUtf8() + "\r\n");

    // Code typed with the window left open is read as it stands, trailing break included.
    QTest::mouseClick(s.control<QPushButton>("CmdAdd"), Qt::LeftButton);
    Texts* texts = s.form->texts();
    typeCode(texts->Text1, QStringLiteral("top"), QString());
    QVERIFY(texts->isVisible());
    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("p.txt"))), kPlaceholder.toUtf8() + "\r\ntop\r\n\r\n");
    QVERIFY(texts->isVisible());
}

void TestMainForm::exitSequenceClosesWindowsAndConfirmsPicker() {
    Session s;
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("chosen"))));
    CurrentFolder here(dir.path());

    QTest::mouseClick(s.control<QPushButton>("CmdAdd"), Qt::LeftButton);
    QPointer<Texts> texts = s.form->texts();
    QTest::mouseClick(s.control<QPushButton>("CmdOpen"), Qt::LeftButton);
    QPointer<FileBro> picker = s.form->fileBro();
    QVERIFY(QTest::qWaitForWindowExposed(picker));
    openRow(picker->findChild<QListWidget*>(QStringLiteral("Dir1")), QStringLiteral("chosen"));
    QVERIFY(!s.mod.DirChosen);

    QTest::mouseClick(s.control<QPushButton>("Command4"), Qt::LeftButton);
    QVERIFY(s.mod.DirChosen);
    QCOMPARE(QString::fromStdString(s.mod.TargetDir), dir.filePath(QStringLiteral("chosen/")));
    QVERIFY(texts.isNull());
    QVERIFY(picker.isNull());
    QCOMPARE(windowCount(QStringLiteral("Texts")), 0);
    QCOMPARE(windowCount(QStringLiteral("FileBro")), 0);
    QCOMPARE(s.endCalls, 1);
}

void TestMainForm::closeButtonRunsExitSequence() {
    Session s;
    QTemporaryDir dir;
    CurrentFolder here(dir.path());
    QTest::mouseClick(s.control<QPushButton>("CmdOpen"), Qt::LeftButton);
    QPointer<Texts> texts = s.form->texts();

    QVERIFY(s.form->close());
    QVERIFY(s.mod.DirChosen);
    QCOMPARE(QString::fromStdString(s.mod.TargetDir), dir.path() + u'/');
    QVERIFY(texts.isNull());
    QVERIFY(!s.form->fileBro());
    QCOMPARE(s.endCalls, 1);

    // Without a picker open nothing is confirmed.
    Session quiet;
    QVERIFY(quiet.form->close());
    QVERIFY(!quiet.mod.DirChosen);
    QCOMPARE(quiet.endCalls, 1);
}

void TestMainForm::secondaryWindowsExistOnce() {
    Session s;
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("sub"))));
    CurrentFolder here(dir.path());

    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(s.control<QPushButton>("CmdAdd"), Qt::LeftButton);
    QCOMPARE(windowCount(QStringLiteral("Texts")), 1);

    QTest::mouseClick(s.control<QPushButton>("CmdOpen"), Qt::LeftButton);
    FileBro* picker = s.form->fileBro();
    QVERIFY(QTest::qWaitForWindowExposed(picker));
    openRow(picker->findChild<QListWidget*>(QStringLiteral("Dir1")), QStringLiteral("sub"));
    // Opening again brings up the same picker with its lists as they were.
    QTest::mouseClick(s.control<QPushButton>("CmdOpen"), Qt::LeftButton);
    QCOMPARE(s.form->fileBro(), picker);
    QCOMPARE(windowCount(QStringLiteral("FileBro")), 1);
    QCOMPARE(picker->currentFolder(), dir.filePath(QStringLiteral("sub")));

    // After a confirmation a fresh picker starts at the process's current folder.
    QTest::mouseClick(picker->Command1, Qt::LeftButton);
    QCOMPARE(QString::fromStdString(s.mod.TargetDir), dir.filePath(QStringLiteral("sub/")));
    QTRY_COMPARE(windowCount(QStringLiteral("FileBro")), 0);
    QTest::mouseClick(s.control<QPushButton>("CmdOpen"), Qt::LeftButton);
    QCOMPARE(s.form->fileBro()->currentFolder(), dir.path());
    QCOMPARE(windowCount(QStringLiteral("FileBro")), 1);
}

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
