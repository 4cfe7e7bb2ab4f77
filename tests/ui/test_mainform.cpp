#include "../support/BusyLoops.h"
#include "ChoiceCases.h"
#include "WindowTestSupport.h"
#include "core/Mod.h"
#include "platform/RecordingFileSystem.h"
#include "platform/System.h"
#include "ui/dialogs/About.h"
#include "ui/dialogs/FileBro.h"
#include "ui/dialogs/Texts.h"
#include "ui/main/BackgroundRun.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/DesignUnits.h"
#include "ui/widgets/FontSubstitutions.h"
#include "ui/widgets/PictureButton.h"

#include <chrono>
#include <clocale>
#include <fcntl.h>
#include <future>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using namespace windowtest;

namespace {

const QString kHeader = QStringLiteral("被处理的文件\n");
const QString kThanks = QStringLiteral("\n感谢您使用本软件！");
const QString kDesignBanner = QStringLiteral("Morlend Inc. Stepwick！ 代码批量添加器 Second Version");
const QString kNotice = QStringLiteral("无法找到Internet Explorer，可能是您没有正确的安装IE。请手动访问。");

using windowcases::Files;

// A fresh state and main window in a folder of its own, services faked; the exit only counts.
struct Session {
    QTemporaryDir dir;
    CurrentFolder here{dir.path()};
    FakeServices fakes;
    Mod mod;
    platform::RecordingFileSystem fs;
    std::unique_ptr<MainForm> form = std::make_unique<MainForm>(mod, platform::hostSystem(fs));
    int endCalls = 0;
    Session() {
        form->setEndProcess([this] { ++endCalls; });
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qWarning("main window not exposed");
    }
    template <typename W = QWidget> W* control(const char* name) const { return child<W>(form.get(), name); }
    // A click, and the run it started, if any, ended and reported.
    void click(const char* name) const {
        QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton);
        waitForRun();
    }
    void option(const char* name) const { clickIndicator(control<QRadioButton>(name)); }
    QString log() const { return control<QPlainTextEdit>("Text1")->toPlainText(); }
    // Until the run under way, if any, has ended and been reported.
    void waitForRun() const {
        QVERIFY(QTest::qWaitFor([this] { return !form->running(); }, 60000));
    }
    void start() const { click("Command2"); }
    // Presses the start button; what the run added to the log.
    QString run() const {
        const qsizetype before = log().size();
        start();
        return log().mid(before);
    }
    // The session's folder confirmed and a code set without going through the windows.
    void prepare(const QString& code) {
        confirmFolder(mod, dir.path().toStdString(), platform::kPosixPaths);
        child<CodeTextBox>(form->texts(), "Text1")->setCode(code);
    }
    QWidget* shown(const char* name) const {
        QList<QWidget*> windows = windowsNamed(QLatin1String(name));
        windows.removeIf([](QWidget* w) { return !w->isVisible(); });
        return windows.value(0);
    }
    QString path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)); }
    void write(const Files& files) const {
        for (const auto& [name, bytes] : files)
            QDir().mkpath(QFileInfo(path(name)).path()),
                writeFile(path(name), QByteArray::fromStdString(bytes));
    }
    void expect(const Files& files) const {
        for (const auto& [name, bytes] : files)
            QCOMPARE(readFile(path(name)), QByteArray::fromStdString(bytes));
    }
};

// Calls act once, as soon as the owner's progress dialog is up, then lets the held run go on.
void whenProgressShown(QTimer& poll, QWidget* owner, std::promise<void>& release,
                       const std::function<void(QProgressDialog*)>& act) {
    QObject::connect(&poll, &QTimer::timeout, [&poll, owner, &release, act] {
        auto* dialog = owner->findChild<QProgressDialog*>(QStringLiteral("Progress"));
        if (dialog && dialog->isVisible()) {
            poll.stop();
            act(dialog);
            release.set_value();
        }
    });
    poll.start(20);
}

// Types into the code window as a user would: replaces the whole text.
void typeCode(QWidget* box, const QString& asciiLine1, const QString& line2) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, asciiLine1);
    QTest::keyClick(box, Qt::Key_Return);
    type(box, line2);
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        std::setlocale(LC_ALL, "C.UTF-8"); // files are written in the locale's encoding
        installFontSubstitutions();
    }

    void cleanup() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<About*>(w))
                delete w;
    }

    void controlsLookAndActAsDesignedAndTheBannerTurns() {
        Session s;
        // The code window exists once from the start, hidden; the picker only when asked for.
        QCOMPARE(windowCount("Texts"), 1);
        QVERIFY(!s.form->texts()->isVisible() && !s.form->fileBro());
        QVERIFY(s.control<QPlainTextEdit>("Text1")->isReadOnly());
        QVERIFY(s.form->minimumSize() == s.form->maximumSize());
        // Every control as its row says: kind, frame, place, caption, font, colour, start state, the Tab
        // key's order (labels, frames, the picture and the lines take no focus).
        QCOMPARE(rowFaults(s.form.get(), layout::kMainForm).join(u'|'), QString());
        // No button answers Enter on behalf of the window; each answers it while it has the focus.
        int clicks = 0;
        for (QPushButton* button : s.form->findChildren<QPushButton*>())
            connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
        QVERIFY(showsFocus(s.control("Text1")));
        QTest::keyClick(s.control("TOther"), Qt::Key_Return);
        QCOMPARE(clicks, 0);
        for (const char* name : {"CmdOpen", "CmdAdd", "Command2", "Command1", "Command3", "Command4"}) {
            QVERIFY2(clicksByEnter(s.control<QPushButton>(name)) == 2, name);
            s.waitForRun();
        }

        // Song-style captions come out in the substituted Chinese font, Latin ones in Liberation Sans.
        QCOMPARE(QFontInfo(s.control("Command2")->font()).family(), QStringLiteral("AR PL UMing CN"));
        QCOMPARE(QFontInfo(s.control("Check1")->font()).family(), QStringLiteral("Liberation Sans"));
        // "Stepwick!" at Arial 42 pt bold would not fit its control: scaled down no further than needed.
        auto* label1 = s.control<FittedLabel>("Label1");
        QVERIFY(label1->font().bold() && label1->font().pointSizeF() < 42 && fitsSnugly({label1}));

        // Picture and caption keep off the border: its ring (3 px) looks as on a button with neither.
        auto borderRing = [](QWidget* w) {
            QImage image = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
            QPainter(&image).fillRect(image.rect().adjusted(3, 3, -3, -3), Qt::black);
            return image;
        };
        for (const char* name : {"Command2", "Command1", "Command3", "Command4"}) {
            PictureButton blank{QString(), QPixmap()};
            blank.setGeometry(s.control(name)->geometry());
            QVERIFY2(borderRing(s.control(name)) == borderRing(&blank), name);
        }
        QCOMPARE(designFaults(s.form.get()), QStringList());
        // The old code's box takes input while 替换 is the action.
        auto* oldCode = child<CodeTextBox>(s.form->texts(), "Text2");
        QVERIFY(!oldCode->isEnabled());
        s.option("OReplace");
        QVERIFY(oldCode->isEnabled());
        s.option("OCheck");
        QVERIFY(!oldCode->isEnabled());
        QCOMPARE(s.form->windowIcon().availableSizes(),
                 QList<QSize>({{16, 16}, {32, 32}, {48, 48}, {64, 64}}));

        // The banner shows its messages in turn, centred.
        QLabel* adl = s.control<QLabel>("ADL");
        auto* timer = s.control<QTimer>("Timer1");
        QVERIFY(timer->isActive() && timer->interval() == 3000);
        // Thirteen messages, the first the design's caption, the thirteenth thanks a user for reporting a
        // major fault; then round again.
        QStringList shown;
        for (int tick = 1; tick <= 14; ++tick) {
            QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
            QCOMPARE(adl->width(), adl->sizeHint().width()); // sized to the caption it now shows
            QVERIFY2(qAbs(2 * adl->x() + adl->width() - s.form->width()) <= 1, qPrintable(adl->text()));
            QCOMPARE(adl->y(), 368);
            shown << adl->text();
        }
        QCOMPARE(QSet<QString>(shown.begin(), shown.end()).size(), 13);
        QVERIFY(shown[0] == kDesignBanner && shown[13] == kDesignBanner &&
                shown[12].startsWith(QStringLiteral("感谢")) &&
                shown[12].contains(QStringLiteral("报告了一个重大错误")));
    }

    // The compiled-in pictures: each a drawing (not a blank or one-colour block) at its size, the
    // icons in 32 bits; what sits on the window's background shows it at the corner.
    void picturesLoadAtTheirSizesAsDrawings() {
        const std::tuple<const char*, QSize, bool> pictures[] = {
            {":/pictures/logo.gif", {147, 69}, true},    {":/pictures/command2.gif", {40, 48}, true},
            {":/pictures/command1.gif", {32, 48}, true}, {":/pictures/command3.gif", {32, 48}, true},
            {":/pictures/command4.gif", {40, 52}, true}, {":/pictures/about.gif", {86, 90}, false},
            {":/icons/stepwick-16.png", {16, 16}, true}, {":/icons/stepwick-32.png", {32, 32}, true},
            {":/icons/stepwick-48.png", {48, 48}, true}, {":/icons/stepwick-64.png", {64, 64}, true}};
        for (const auto& [path, size, transparentCorner] : pictures) {
            const QImage read(QString::fromLatin1(path));
            QVERIFY2(read.size() == size && (QByteArray(path).endsWith(".gif") || read.depth() == 32), path);
            const QImage image = read.convertToFormat(QImage::Format_ARGB32);
            QSet<QRgb> opaque;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qAlpha(image.pixel(x, y)) == 255)
                        opaque.insert(image.pixel(x, y));
            QVERIFY2(opaque.size() >= 4 && (qAlpha(image.pixel(0, 0)) == 0) == transparentCorner, path);
        }
    }

    void runEndToEndFromTypedCodeToLog() {
        Session s;
        const QString site = s.path("site");
        const Files untouched{
            {"site/c.txt", "keep\r\n"}, {"site/inner/d.htm", "deep\r\n"}, {"top.htm", "top\r\n"}};
        s.write(untouched);
        s.write({{"site/a.htm", "old line\r\n"}, {"site/b.htm", "last"}});

        // 1. Started without a folder: the user is asked for one, nothing runs, the picker opens.
        s.start();
        QCOMPARE(oneBox(),
                 box(":)", MessageBox::Icon::Information, QString::fromUtf8(windowcases::kNoFolder)));
        FileBro* picker = s.form->fileBro();
        QVERIFY(picker && QTest::qWaitForWindowExposed(picker));
        QCOMPARE(s.log(), kHeader);
        QVERIFY(!s.mod.DirChosen);
        // 2. The folder, opened in the picker's folder list and confirmed.
        openRow(child<QListWidget>(picker, "Dir1"), QStringLiteral("site"));
        QCOMPARE(rows(child<QListWidget>(picker, "File1")), (QStringList{"a.htm", "b.htm", "c.txt"}));
        picker->move(picker->pos() + QPoint(20, 10));
        const QPoint pickerWhere = picker->pos();
        QTest::mouseClick(child<QPushButton>(picker, "Command1"), Qt::LeftButton);
        QTRY_VERIFY(!s.form->fileBro());
        QCOMPARE(QString::fromStdString(s.mod.TargetDir), site + u'/');

        // 3. Nothing typed: the code window's placeholder is the code.
        s.option("Option2");
        s.option("Ohead");
        s.start();
        const std::string placeholder = windowcases::kPlaceholder + std::string("\r\n");
        s.expect({{"site/a.htm", placeholder + "old line\r\n"}, {"site/b.htm", placeholder + "last\r\n"}});
        const QString run = QStringLiteral("a.htm\nb.htm\n\n处理了2个文件。") + kThanks;
        QCOMPARE(s.log(), kHeader + run);

        // 4. The code, typed into the code window and confirmed; read while hidden, and left hidden.
        s.click("CmdAdd");
        Texts* texts = s.form->texts();
        QVERIFY(texts->isVisible());
        typeCode(child<CodeTextBox>(texts, "Text1"), QStringLiteral("<!-- x -->"), QStringLiteral("代码"));
        QTest::mouseClick(child<QPushButton>(texts, "Command1"), Qt::LeftButton);
        s.start();
        QVERIFY(!texts->isVisible());
        const std::string typed = "<!-- x -->\r\n代码\r\n" + placeholder;
        s.expect({{"site/a.htm", typed + "old line\r\n"}, {"site/b.htm", typed + "last\r\n"}});
        QCOMPARE(s.log(), kHeader + run + run); // the second run's first name stands on the thanks line

        // 5. Code typed with the window left open is read as it stands; its last line break is the one
        // every code gets, not a blank line.
        s.click("CmdAdd");
        typeCode(child<CodeTextBox>(texts, "Text1"), QStringLiteral("top"), QString());
        s.start();
        QVERIFY(texts->isVisible());
        s.expect({{"site/b.htm", "top\r\n" + typed + "last\r\n"}});
        s.expect(untouched);
        QVERIFY(MessageBox::takeShown().isEmpty());

        // 6. Enter or Space held down on the start button runs once each.
        child<CodeTextBox>(texts, "Text1")->setCode(QStringLiteral("C"));
        holdKey(s.control("Command2"), Qt::Key_Return, {}, 28);
        s.waitForRun();
        holdKey(s.control("Command2"), Qt::Key_Space, {}, 28);
        s.waitForRun();
        s.expect({{"site/b.htm", "C\r\nC\r\ntop\r\n" + typed + "last\r\n"}});

        // A fresh picker starts at the process's current folder, where the last one was closed.
        s.click("CmdOpen");
        QCOMPARE(s.form->fileBro()->currentFolder(), s.dir.path());
        QCOMPARE(s.form->fileBro()->pos(), pickerWhere);
    }

    void failedFileIsLoggedOthersChangedOneMessage() {
        Session s;
        s.write({{"a.txt", "old\r\n"}, {"b.txt", "old\r\n"}, {"c.txt", "old\r\n"}});
        QCOMPARE(::chmod(QFile::encodeName(s.path("b.txt")).constData(), 0444), 0);
        s.prepare(QStringLiteral("new"));
        s.option("Ohead");
        // (A read-only file among others: choicesInTheWindowsShapeTheRun.)
        // Another run holding the folder: one message, nothing logged, nothing touched.
        const int held = ::open(QFile::encodeName(s.dir.path()).constData(), O_RDONLY | O_DIRECTORY);
        QCOMPARE(::flock(held, LOCK_EX), 0);
        QCOMPARE(s.run(), QString());
        ::close(held);
        QCOMPARE(oneBox(), box(":)", MessageBox::Icon::Information,
                               QStringLiteral("另一次运行正在修改这个目录，没有文件被修改。请稍后再试。")));
        QCOMPARE(readFile(s.path("a.txt")), QByteArray("old\r\n"));

        // A subfolder another run holds fails as a folder, counted apart from the files.
        s.write({{"sub/d.txt", "s\r\n"}, {"e.txt", "old\r\n"}});
        QCOMPARE(::chmod(QFile::encodeName(s.path("e.txt")).constData(), 0444), 0);
        s.click("CmdOpen");
        clickIndicator(child<QCheckBox>(s.form->fileBro(), "Check1"));
        QTest::mouseClick(child<QPushButton>(s.form->fileBro(), "Command1"), Qt::LeftButton);
        const int sub = ::open(QFile::encodeName(s.path("sub")).constData(), O_RDONLY | O_DIRECTORY);
        QCOMPARE(::flock(sub, LOCK_EX), 0);
        QVERIFY(s.run().contains(QStringLiteral("\nsub/（未能处理：另一次运行正在修改此文件夹）")));
        ::close(sub);
        QCOMPARE(oneBox(), box(":)", MessageBox::Icon::Warning,
                               QStringLiteral("有2个文件和1个文件夹未能处理，详见记录。")));
        QCOMPARE(readFile(s.path("sub/d.txt")), QByteArray("s\r\n"));
        QVERIFY(QDir(s.path("sub")).removeRecursively() && QFile::remove(s.path("e.txt")));

        // Files the code cannot go into as text (not UTF-8 in a UTF-8 locale; NUL bytes), in our words.
        s.write({{"g.txt", "\xD6\xD0\r\n"}, {"n.txt", std::string("u\0\r\0\n\0", 6)}});
        s.prepare(QStringLiteral("码"));
        QCOMPARE(s.run(), QStringLiteral(
                              "a.txt\nb.txt（未能处理：只读文件）\nc.txt\n"
                              "g.txt（未能处理：不是UTF-8文本，请用 --encoding 指明编码）\n"
                              "n.txt（未能处理：含有NUL字节：可能是无字节序标记的UTF-16文件或二进制文件）\n\n"
                              "处理了2个文件。\n有3个文件未能处理。") +
                              kThanks);
        MessageBox::takeShown();

        // The system's reasons for the common errors in Chinese; any other keeps the system's text.
        for (const char* name : {"b.txt", "c.txt", "g.txt", "n.txt"})
            QVERIFY(QFile::remove(s.path(name)));
        // (Every error the wording table holds: test_batch_run.)
        const std::pair<int, const char*> reasons[] = {{EACCES, "权限不够"},
                                                       {EXDEV, "Invalid cross-device link"}};
        for (const auto& [error, reason] : reasons) {
            s.fs.failEvery("write", std::error_code(error, std::system_category()));
            const QString logged = s.run();
            MessageBox::takeShown();
            QVERIFY2(
                logged.startsWith(QStringLiteral("a.txt（未能处理：%1）\n").arg(QString::fromUtf8(reason))),
                qPrintable(logged));
        }

        // A fault the run cannot report itself, and a folder that cannot be opened: one message each.
        s.fs.beforeCall("openFolder", [] { throw std::runtime_error("out of memory"); });
        QVERIFY(s.run().isEmpty() &&
                oneBox() == box(":)", MessageBox::Icon::Warning,
                                QStringLiteral("添加代码时出错，运行已停止。\nout of memory")));
        s.fs.failEvery("openFolder", std::errc::permission_denied);
        QVERIFY(s.run().isEmpty() &&
                oneBox() == box(":)", MessageBox::Icon::Warning,
                                QStringLiteral("无法读取所选的目录，没有文件被修改。\n%1: Permission denied")
                                    .arg(QString::fromStdString(s.mod.TargetDir))));
    }
    void runStopsBetweenFilesOnCancelOrCloseAndDropsPresses() {
        enum class Act { Cancel, Close, Press };
        for (Act act : {Act::Cancel, Act::Close, Act::Press}) {
            Session s;
            const Files files = windowcases::numbered("f", 200);
            s.write(files);
            s.prepare(QStringLiteral("END"));
            // The run held in its first file until the progress dialog is up and the user has acted there.
            std::promise<void> acted;
            std::shared_future<void> go = acted.get_future().share();
            s.fs.beforeCall("openAt", [go] { go.wait(); });
            QTimer poll;
            whenProgressShown(poll, s.form.get(), acted, [&](QProgressDialog* dialog) {
                if (act == Act::Cancel)
                    QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
                else if (act == Act::Close)
                    s.form->close();
                else {
                    s.control<QPushButton>("Command2")->click(); // as a screen reader presses it
                    QTest::mouseClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
                    QTest::mouseDClick(s.control<QPushButton>("Command2"), Qt::LeftButton);
                    s.option("Ohead");
                    QTest::keyClicks(s.control<QLineEdit>("TOther"), QStringLiteral("pl"));
                }
                // Gone at once, not when the files under way are done.
                QCOMPARE(dialog->isVisible(), act == Act::Press);
            });
            s.start();
            QVERIFY(!poll.isActive());
            QCOMPARE(s.control<QPlainTextEdit>("Text1")->verticalScrollBar()->value(),
                     s.control<QPlainTextEdit>("Text1")->verticalScrollBar()->maximum());
            // The files before the stop, in order, then the closing lines.
            const qsizetype done = std::max<qsizetype>(s.log().split(u'\n').indexOf(QString()) - 1, 0);
            const QString cancelled = u'\n' + QString::fromUtf8(windowcases::kCancelled);
            QCOMPARE(s.log(), kHeader +
                                  QString::fromStdString(
                                      windowcases::changedAll({files.begin(), files.begin() + done})) +
                                  (act == Act::Press ? QString() : cancelled) + kThanks);
            QCOMPARE(done < qsizetype(files.size()), act != Act::Press);
            for (qsizetype i = 0; i < qsizetype(files.size()); ++i)
                QCOMPARE(readFile(s.path(files[i].first)), QByteArray(i < done ? "x\r\nEND\r\n" : "x\r\n"));
            QCOMPARE(s.endCalls, act == Act::Close ? 1 : 0);
            // The next run is not stopped by the last one's cancel.
            QVERIFY(act != Act::Cancel || s.run().endsWith(QStringLiteral("处理了200个文件。") + kThanks));
            QVERIFY(s.control<QRadioButton>("Ofeet")->isChecked() &&
                    s.control<QLineEdit>("TOther")->text() == QLatin1String("CGI"));
        }
    }
    // However the keys of one press arrive (an X server's repeats read apart on a busy machine, keys
    // still queued as the run ends), one press is one run; a fresh press after it is the next.
    void onePressIsOneRunWhateverTheKeysQueued() {
        BusyLoops busy;
        enum class Keys { RepeatsReadApart, QueuedAsTheRunEnds };
        for (Keys keys : {Keys::RepeatsReadApart, Keys::QueuedAsTheRunEnds}) {
            Session s;
            const Files files = windowcases::numbered("k", 40);
            s.write(files);
            s.prepare(QStringLiteral("C"));
            QPointer<QWidget> start = s.control("Command2");
            start->setFocus();
            // Where the platform sends a key: the window's focus, or the window when nothing has it.
            auto key = [&](QEvent::Type type, quint64 at, bool post) {
                QWidget* to = s.form->focusWidget() ? s.form->focusWidget() : s.form.get();
                auto* event = new QKeyEvent(type, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
                event->setTimestamp(at);
                post ? QCoreApplication::postEvent(to, event)
                     : (QCoreApplication::sendEvent(to, event), delete event);
            };
            s.fs.beforeCall("openAt", [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
            // Keys that reach the window with the run's last line, as the run ends.
            QMetaObject::Connection queued;
            if (keys == Keys::QueuedAsTheRunEnds)
                queued = connect(s.control<QPlainTextEdit>("Text1"), &QPlainTextEdit::textChanged, [&] {
                    if (s.log().endsWith(kThanks))
                        for (quint64 at : {5000, 5100, 5200})
                            QMetaObject::invokeMethod(
                                s.form.get(),
                                [&, at] {
                                    key(QEvent::KeyPress, at, false), key(QEvent::KeyRelease, at + 50, false);
                                },
                                Qt::QueuedConnection);
                });
            key(QEvent::KeyPress, 1000, false);
            for (quint64 at = 1660; keys == Keys::RepeatsReadApart && at < 2200; at += 40) {
                QTest::qWait(20);
                key(QEvent::KeyRelease, at, false), key(QEvent::KeyPress, at, false);
            }
            s.waitForRun();
            QTest::qWait(100);
            s.waitForRun();
            for (const auto& [name, bytes] : files)
                QCOMPARE(readFile(s.path(name)), QByteArray("x\r\nC\r\n"));
            const QString once = QString::fromStdString(windowcases::changedAll(files)) + kThanks;
            QCOMPARE(s.log(), kHeader + once);
            disconnect(queued);
            s.fs.beforeCall("openAt", [] {});
            QTest::keyClick(start, Qt::Key_Return);
            s.waitForRun();
            QCOMPARE(s.log(), kHeader + once + once);
            QCOMPARE(readFile(s.path(files.back().first)), QByteArray("x\r\nC\r\nC\r\n"));
        }
    }

    void longFileShowsProgressWithinItAboveAbout() {
        FakeServices fakes;
        QWidget owner;
        BatchResult result;
        result.outcome = BatchResult::Outcome::Cancelled;
        BackgroundRun run(
            &owner, [](std::string_view) {},
            [&](const BatchResult& r, const std::exception_ptr&) { result = r; });
        QPointer<About> about;
        About::showSingle(about, &owner);
        std::promise<void> seen;
        std::future<void> go = seen.get_future();
        QTimer poll;
        int shown = -1;
        bool aboveAbout = false, goneForGood = false;
        whenProgressShown(poll, &owner, seen, [&](QProgressDialog* dialog) {
            shown = dialog->value() * 100 / dialog->maximum();
            // Both stay on top; the dialog, shown after About, stacks above it.
            aboveAbout = about->isVisible() && fakes.stacking.calls.contains({about.data(), true}) &&
                         dialog->isWindow() && dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            // Cancelled, it stays away while the file under way is finished.
            QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
            QTest::qWait(300);
            goneForGood = !dialog->isVisible();
        });
        // One file, a quarter copied, then held until the dialog has been looked at.
        QVERIFY(run.start(
            [&](BatchSink& sink) {
                sink.fileProgress(1 << 20, 4 << 20);
                go.wait();
                return BatchResult{};
            },
            {&owner}));
        QVERIFY(QTest::qWaitFor([&] { return !run.running(); }, 60000));
        QCOMPARE(result.outcome, BatchResult::Outcome::Completed);
        QCOMPARE(shown, 25);
        QVERIFY(aboveAbout && goneForGood);
    }

    void choicesInTheWindowsShapeTheRun() {
        // The table the Win32 window driver shares (ChoiceCases.h).
        for (const auto& [choices, log, after, message, notice] : windowcases::choiceCases()) {
            Session s;
            s.write(windowcases::kChoiceFiles);
            s.prepare(QStringLiteral("C"));
            // A name of the code window's rows is its control, any other the main window's.
            auto control = [&s](const QString& name) {
                QWidget* window = s.form.get();
                if (windowcases::inTexts(name.toStdString()))
                    window = s.form->texts();
                return child(window, qPrintable(name));
            };
            QString typed = QStringLiteral("CGI");
            for (const QString& choice : QString::fromLatin1(choices).split(u' ')) {
                const QString name = choice.section(u'=', 0, 0), text = choice.section(u'=', 1);
                if (name == QLatin1String("ReadOnly")) {
                    QCOMPARE(::chmod(QFile::encodeName(s.dir.filePath(text)).constData(), 0444), 0);
                } else if (choice.contains(u'=') && qobject_cast<CodeTextBox*>(control(name))) {
                    qobject_cast<CodeTextBox*>(control(name))->setCode(text);
                } else if (choice.contains(u'=')) {
                    auto* box = qobject_cast<QLineEdit*>(control(name));
                    box->selectAll();
                    QTest::keyClicks(box, text);
                    typed = name == QLatin1String("TOther") ? text : typed;
                } else if (choice == QLatin1String("Pick")) {
                    s.click("CmdOpen");
                } else if (choice == QLatin1String("Tick")) {
                    clickIndicator(child<QCheckBox>(s.form->fileBro(), "Check1"));
                } else if (choice == QLatin1String("Confirm") || choice == QLatin1String("Close")) {
                    choice == QLatin1String("Close")
                        ? static_cast<void>(s.form->fileBro()->close())
                        : QTest::mouseClick(child<QPushButton>(s.form->fileBro(), "Command1"),
                                            Qt::LeftButton);
                    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // gone for good
                } else {
                    clickIndicator(qobject_cast<QAbstractButton*>(control(choice)));
                }
            }
            const QString logged = s.run();
            QCOMPARE(logged, log ? QString::fromUtf8(log) + kThanks : QString());
            const auto icon = notice ? MessageBox::Icon::Information : MessageBox::Icon::Warning;
            QCOMPARE(oneBox(),
                     message ? box(":)", icon, QString::fromUtf8(message)) : QStringLiteral("0 boxes"));
            s.expect(after);
            QCOMPARE(s.control<QLineEdit>("TOther")->text(), typed);
            QVERIFY(s.form->isVisible() && s.endCalls == 0); // the program goes on
        }
    }

    // Where a window manager puts a first window, and in the opposite corner: each window opens whole
    // on the screen, off the main window's buttons, and where the screen has room off every other.
    // Each opener brings its window back; the exit (by button or title bar) closes them all.
    void secondaryWindowsOpenClearOfEachOther() {
        for (const bool inCorner : {false, true}) {
            Session s;
            QVERIFY(QDir().mkpath(s.path("chosen")));
            const QRect screen = s.form->screen()->availableGeometry();
            if (inCorner)
                s.form->move(screen.bottomRight() - QPoint(s.form->width(), s.form->height()));
            QList<QRect> buttons;
            for (const QAbstractButton* button : s.form->findChildren<QAbstractButton*>())
                buttons << QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
            QList<QRect> placed{s.form->frameGeometry()};
            const std::pair<const char*, const char*> openers[] = {
                {"CmdAdd", "Texts"}, {"CmdOpen", "FileBro"}, {"Command1", "About"}, {"Command2", "FileBro"}};
            for (const auto& [opener, name] : openers) {
                s.click(opener);
                QWidget* window = s.shown(name);
                QVERIFY2(window, name);
                placed << window->frameGeometry();
                window->setWindowState(Qt::WindowMinimized);
                s.click(opener);
                QVERIFY2(window->isVisible() && !(window->windowState() & Qt::WindowMinimized), name);
                QVERIFY2(windowCount(name) == 1, name);
            }
            placed.removeLast(); // the picker once more
            const bool roomy = screen.width() >= 1280 && screen.height() >= 1024 && !inCorner;
            for (qsizetype i = 1; i < placed.size(); ++i) {
                QVERIFY2(screen.contains(placed[i]), qPrintable(QStringLiteral("window %1").arg(i)));
                for (const QRect& button : buttons)
                    QVERIFY2(!placed[i].intersects(button), qPrintable(QDebug::toString(placed)));
                for (qsizetype j = 0; roomy && j < i; ++j)
                    QVERIFY2(!placed[i].intersects(placed[j]),
                             qPrintable(QStringLiteral("%1 on %2").arg(i).arg(j)));
            }
            // About was put on top once, when it was made.
            QPointer<QWidget> about = s.shown("About");
            QCOMPARE(s.fakes.stacking.calls, (QList<QPair<QWidget*, bool>>{{about, true}}));
            MessageBox::takeShown();
            // Confirmed or closed by its title bar, the code window only hides: shown again, the same
            // window comes back where it was, holding the code.
            QPointer<Texts> texts = s.form->texts();
            child<CodeTextBox>(texts, "Text1")->setCode(QStringLiteral("<?php echo 1; ?>"));
            texts->move(texts->pos() + QPoint(-40, -30));
            const QPoint where = texts->pos();
            if (inCorner)
                QVERIFY(!texts->close());
            else
                QTest::mouseClick(child<QPushButton>(texts, "Command1"), Qt::LeftButton);
            QVERIFY(!texts->isVisible());
            s.click("CmdAdd");
            QVERIFY(s.form->texts() == texts && texts->pos() == where);
            QCOMPARE(texts->code(), QStringLiteral("<?php echo 1; ?>"));
            // A new About window opens where the last one was closed.
            about->move(about->pos() + QPoint(25, 15));
            const QPoint aboutWhere = about->pos();
            // Closed by its title bar it is gone; a new one goes on top again.
            QVERIFY(about->close());
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(about.isNull());
            s.click("Command1");
            about = s.shown("About");
            QCOMPARE(about->pos(), aboutWhere);
            QVERIFY(windowCount("About") == 1 && s.fakes.stacking.calls.size() == 2);

            // A folder opened in the picker, which opened again keeps its lists; nothing confirmed yet.
            QPointer<FileBro> picker = s.form->fileBro();
            openRow(child<QListWidget>(picker, "Dir1"), QStringLiteral("chosen"));
            s.click("CmdOpen");
            QVERIFY(s.form->fileBro() == picker && picker->currentFolder() == s.path("chosen"));
            QVERIFY(!s.mod.DirChosen);
            // The exit sequence confirms the picker and closes every window.
            if (inCorner)
                QVERIFY(s.form->close());
            else
                s.click("Command4");
            QVERIFY(s.mod.DirChosen && QString::fromStdString(s.mod.TargetDir) == s.path("chosen/"));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(texts.isNull() && picker.isNull() && about.isNull());
            QCOMPARE(windowCount("Texts") + windowCount("FileBro"), 0);
            QCOMPARE(s.endCalls, 1);
        }
        // Without a picker open nothing is confirmed.
        Session quiet;
        QVERIFY(quiet.form->close());
        QVERIFY(!quiet.mod.DirChosen);
        QCOMPARE(quiet.endCalls, 1);
    }

    void aboutShowsItsTextsOpensItsLinksAndCloses() {
        Session s;
        s.click("Command1");
        QPointer<QWidget> about = s.shown("About");
        QVERIFY(QTest::qWaitForWindowActive(about));
        // OK holds the focus (the Tab key's order: rowFaults); a text block's lines are selected by keys
        // too, and copied.
        auto* ok = child<QPushButton>(about, "Command1");
        QCOMPARE(QApplication::focusWidget(), ok);
        QTest::keyClick(child(about, "Text2"), Qt::Key_End, Qt::ShiftModifier);
        QTest::keySequence(child(about, "Text2"), QKeySequence::Copy);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Harnel"));
        QVERIFY(about->minimumSize() == about->maximumSize() && !about->parentWidget() && !about->isModal());
        QCOMPARE(rowFaults(about, layout::kAbout).join(u'|'), QString());
        // The links in one size at which all three fit; the rest fitted one by one.
        QList<const FittedLabel*> links;
        for (const FittedLabel* label : about->findChildren<FittedLabel*>()) {
            if (QStringList{"Label4", "Label6", "Label7"}.contains(label->objectName()))
                links << label;
            else
                QVERIFY2(fitsSnugly({label}), qPrintable(label->objectName()));
        }
        QVERIFY(links.size() == 3 && fitsSnugly(links));
        QCOMPARE(designFaults(about), QStringList());
        QCOMPARE(child<QLabel>(about, "Image1")->pixmap().size(), QSize(86, 90)); // shown unscaled
        // The text blocks all in view, on the window's background; a messenger address under the
        // reserved domain.
        for (const char* name : {"Text1", "Text2"}) {
            auto* text = child<QPlainTextEdit>(about, name);
            QVERIFY(text->isReadOnly() && text->verticalScrollBar()->maximum() == 0);
            QVERIFY(text->palette().color(QPalette::Base) == about->palette().color(QPalette::Button));
        }
        QVERIFY(child<QPlainTextEdit>(about, "Text2")
                    ->toPlainText()
                    .contains(QRegularExpression("MSN:\\S+@\\S+\\.example\n")));

        // Clicks on the other labels, the text blocks and the picture open nothing; nor does a right click.
        for (const char* quiet :
             {"Label1", "l2", "Label2", "Label3", "Label5", "Label8", "Image1", "Text1", "Text2"})
            QTest::mouseClick(child(about, quiet), Qt::LeftButton);
        QTest::mouseClick(child(about, "Label4"), Qt::RightButton);
        QTest::mousePress(child(about, "Label6"), Qt::LeftButton); // nor a press let go off the link
        QTest::mouseRelease(child(about, "Label6"), Qt::LeftButton, {}, QPoint(-1, -1));
        // Each link shows its address behind its caption, and opens it; so does the home-page button.
        QStringList opened;
        for (const auto& [name, inAbout, address] : windowcases::kLinks) {
            opened << QString::fromStdString(address);
            const QString shown = u' ' + QString(opened.last()).remove(QStringLiteral("mailto:"));
            QVERIFY2(!inAbout || child<QLabel>(about, name)->text().endsWith(shown), name);
            QTest::mouseClick(inAbout ? child(about, name) : s.control(name), Qt::LeftButton);
        }
        QCOMPARE(s.fakes.opener.opened, opened);
        QVERIFY(MessageBox::takeShown().isEmpty());
        // When the address cannot be opened the user is told (no title: the application's shows).
        s.fakes.opener.succeed = false;
        QTest::mouseClick(child(about, "Label6"), Qt::LeftButton);
        QCOMPARE(oneBox(), box({}, MessageBox::Icon::None, kNotice));
        s.click("Command3");
        QCOMPARE(oneBox(), box({}, MessageBox::Icon::None, kNotice));
        QVERIFY(about->isVisible() && s.form->isVisible());

        // OK (by Enter) ends the window (the title bar's close: secondaryWindowsOpenClearOfEachOther).
        QCOMPARE(clicksByEnter(ok), 2);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(about.isNull());
    }
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
