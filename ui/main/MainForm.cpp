#include "ui/main/MainForm.h"

#include "StepwickVersion.h"
#include "core/BatchRun.h"
#include "core/CodeText.h"
#include "core/Mod.h"
#include "platform/qt/ApiBAS.h"
#include "platform/qt/TOURL.h"
#include "ui/dialogs/About.h"
#include "ui/dialogs/FileBro.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/Texts.h"
#include "ui/main/BackgroundRun.h"
#include "ui/main/Banner.h"
#include "ui/widgets/DesignUnits.h"
#include "ui/widgets/FittedLabel.h"
#include "ui/widgets/PictureButton.h"
#include "ui/widgets/WindowSetup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <exception>

namespace {

// How many files, and how many folders, the run could not handle.
QString failureSummary(const BatchResult& result) {
    const auto folders = qulonglong(std::count_if(result.failures.begin(), result.failures.end(),
                                                  [](const FileFailure& f) { return f.folder; }));
    const auto files = qulonglong(result.failures.size()) - folders;
    if (folders == 0)
        return QStringLiteral("有%1个文件未能处理，详见记录。").arg(files);
    if (files == 0)
        return QStringLiteral("有%1个文件夹未能处理，详见记录。").arg(folders);
    return QStringLiteral("有%1个文件和%2个文件夹未能处理，详见记录。").arg(files).arg(folders);
}

// A core that refuses an empty code itself reports it by an outcome of its own.
template <typename Result> bool refusedEmptyCode(const Result& result) {
    if constexpr (requires { Result::Outcome::EmptyCode; })
        return result.outcome == Result::Outcome::EmptyCode;
    else
        return false;
}

template <typename W> W* named(W* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init): the body makes every control before its first use
MainForm::MainForm(Mod& mod, const platform::System& system, QWidget* parent)
    : QWidget(parent), m_mod(mod), m_system(system), m_run(new BackgroundRun(this)),
      m_endProcess([] { QCoreApplication::quit(); }) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Stepwick"));
    // A fixed window with a close button only: no minimize, no maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addFile(QStringLiteral(":/icons/stepwick-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    setFont(QFont(QStringLiteral("Arial"), 9));
    setFixedSize(twipsSize(6195, 5820));

    buildControls();
    load();
}

MainForm::~MainForm() {
    // The secondary windows have no owner; whatever is left of them goes with this one.
    delete m_texts.data();
    delete m_fileBro.data();
}

void MainForm::buildControls() {
    buildHeading();
    buildLog();
    buildFrames();
    buildButtons();
    buildFooter();
    setUpKeyboard();
    connectEvents();
}

void MainForm::buildHeading() {
    Label1 = named(new FittedLabel(
                       QStringLiteral("Stepwick!"),
                       [] {
                           QFont font(QStringLiteral("Arial"), 42);
                           font.setBold(true);
                           return font;
                       }(),
                       this),
                   "Label1", twips(2760, 120, 2535, 975));
    setTextColour(Label1, kDarkGreen);

    l2 = named(new QLabel(QStringLiteral("代码批量添加器"), this), "l2", twips(3600, 1080, 2775, 495));
    l2->setFont(songFont(12));
    setTextColour(l2, kDarkGreen);

    Image1 = named(new QLabel(this), "Image1", twips(240, 240, 2205, 1035));
    Image1->setAccessibleName(QStringLiteral("Stepwick 标志"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/pictures/logo.gif")));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // One broken rule above the row of frames.
    auto line = [this](const char* name, int x1, int x2) {
        auto* rule = named(new QFrame(this), name,
                           QRect(twipsToPixels(x1), twipsToPixels(1560), twipsToPixels(x2 - x1), 1));
        rule->setFrameShape(QFrame::HLine);
        rule->setFrameShadow(QFrame::Plain);
        rule->setLineWidth(1);
        return rule;
    };
    Line1 = line("Line1", 120, 2280);
    Line2 = line("Line2", 2400, 3360);
    Line3 = line("Line3", 3480, 4080);
}

void MainForm::buildLog() {
    Text1 = named(new QPlainTextEdit(this), "Text1", twips(4320, 1560, 1695, 2655));
    Text1->setAccessibleName(QStringLiteral("处理记录"));
    Text1->setFont(songFont(9));
    Text1->setReadOnly(true);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    appendLog(kLogHeader);
}

void MainForm::buildFrames() {
    Frame1 = named(new QGroupBox(QStringLiteral("选择文件"), this), "Frame1", twips(120, 1800, 1935, 1215));
    Frame1->setFont(songFont(9));
    CmdOpen = named(new QPushButton(QStringLiteral("选择一个文件夹"), Frame1), "CmdOpen",
                    twips(240, 360, 1455, 495));

    Frame2 =
        named(new QGroupBox(QStringLiteral("欲添加的代码"), this), "Frame2", twips(2280, 1800, 1815, 1215));
    Frame2->setFont(songFont(9));
    CmdAdd =
        named(new QPushButton(QStringLiteral("输入拟添代码"), Frame2), "CmdAdd", twips(240, 360, 1335, 495));

    Frame3 = named(new QGroupBox(QStringLiteral("添加位置"), this), "Frame3", twips(2280, 3120, 1815, 1095));
    Frame3->setFont(songFont(9));
    Frame4 = named(new QGroupBox(QStringLiteral("文件类型"), this), "Frame4", twips(120, 3120, 1935, 1095));
    Frame4->setFont(songFont(9));

    // The five file-type options share Frame4, the two positions Frame3: one group each.
    Option1 = named(new QRadioButton(QStringLiteral("TXT"), Frame4), "Option1", twips(120, 240, 1455, 255));
    Option2 = named(new QRadioButton(QStringLiteral("HTM"), Frame4), "Option2", twips(120, 480, 1575, 255));
    Option3 = named(new QRadioButton(QStringLiteral("ASP"), Frame4), "Option3", twips(960, 240, 735, 255));
    Option4 = named(new QRadioButton(QStringLiteral("PHP"), Frame4), "Option4", twips(960, 480, 855, 255));
    OOther = named(new QRadioButton(QStringLiteral("Other:"), Frame4), "OOther", twips(120, 720, 855, 255));
    TOther = named(new QLineEdit(QStringLiteral("CGI"), Frame4), "TOther", twips(960, 720, 855, 270));
    TOther->setAccessibleName(QStringLiteral("其他扩展名"));
    Option1->setChecked(true);
    // The options and the extension box name no font: they take the window's, not their frame's.
    for (QWidget* control :
         std::initializer_list<QWidget*>{Option1, Option2, Option3, Option4, OOther, TOther})
        control->setFont(font());

    Ohead = named(new QRadioButton(QStringLiteral("文件头"), Frame3), "Ohead", twips(240, 360, 1335, 255));
    Ofeet = named(new QRadioButton(QStringLiteral("文件尾"), Frame3), "Ofeet", twips(240, 720, 1455, 255));
    Ofeet->setChecked(true);
}

void MainForm::buildButtons() {
    Command2 = named(new PictureButton(QStringLiteral("开始添加."),
                                       QPixmap(QStringLiteral(":/pictures/command2.gif")), this),
                     "Command2", twips(120, 4440, 975, 975));
    Command1 = named(new PictureButton(QStringLiteral("关于软件."),
                                       QPixmap(QStringLiteral(":/pictures/command1.gif")), this),
                     "Command1", twips(1200, 4440, 975, 975));
    Command3 = named(new PictureButton(QStringLiteral("作者主页."),
                                       QPixmap(QStringLiteral(":/pictures/command3.gif")), this),
                     "Command3", twips(2280, 4440, 975, 975));
    Command4 = named(new PictureButton(QStringLiteral("退出..."),
                                       QPixmap(QStringLiteral(":/pictures/command4.gif")), this),
                     "Command4", twips(3360, 4440, 975, 975));
    // Chinese captions: the Song face, as on the other buttons, not the window's Arial.
    for (QWidget* button : {Command2, Command1, Command3, Command4})
        button->setFont(songFont(9));
}

void MainForm::buildFooter() {
    Label3 = named(new QLabel(QStringLiteral("Powered by"), this), "Label3", twips(4560, 4800, 1695, 255));
    setTextColour(Label3, kGrey);
    Label4 =
        named(new QLabel(QStringLiteral("Morlend. Harnel"), this), "Label4", twips(4680, 5160, 1455, 255));
    setTextColour(Label4, kGrey);

    Check1 = named(new QCheckBox(QStringLiteral("置顶本程序"), this), "Check1", twips(4560, 4440, 1695, 255));

    ADL = named(new QLabel(QStringLiteral("Morlend Inc. Stepwick！ 代码批量添加器 Second Version"), this),
                "ADL", twips(1080, 5520, 4110, 225));
    ADL->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The banner sizes itself to its caption and keeps its left edge.
    ADL->adjustSize();
}

void MainForm::setUpKeyboard() {
    // No button of the window is its default: Enter in TOther presses nothing.
    clickFocusedButtonsOnEnter(this);
    showFocusCue(Text1);

    const QList<QWidget*> tabOrder{Text1,   CmdOpen, CmdAdd,  Command2, Command1, Command3, Command4, Option1,
                                   Option2, Option3, Option4, OOther,   TOther,   Ohead,    Ofeet,    Check1};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void MainForm::connectEvents() {
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(200);

    connect(Check1, &QCheckBox::clicked, this, &MainForm::check1Click);
    connect(CmdAdd, &QPushButton::clicked, this, &MainForm::cmdAddClick);
    connect(CmdOpen, &QPushButton::clicked, this, &MainForm::cmdOpenClick);
    connect(Command1, &QPushButton::clicked, this, &MainForm::command1Click);
    connect(Command2, &QPushButton::clicked, this, &MainForm::command2Click);
    connect(Command3, &QPushButton::clicked, this, &MainForm::command3Click);
    connect(Command4, &QPushButton::clicked, this, &MainForm::command4Click);
    connect(Timer1, &QTimer::timeout, this, &MainForm::timer1Timer);
    // An option sets the extension whenever it becomes the selected one, by mouse or keys.
    const std::pair<QRadioButton*, const char*> presets[] = {
        {Option1, "txt"}, {Option2, "htm"}, {Option3, "asp"}, {Option4, "php"}};
    for (const auto& [option, extension] : presets) {
        connect(option, &QRadioButton::toggled, this, [this, ext = extension](bool on) {
            if (on)
                m_mod.FileExt = ext;
        });
    }
}

void MainForm::load() {
    // The code window exists, hidden, from the start, holding its placeholder text.
    texts();
    loadBanner(m_mod, Timer1);
    Timer1->start();
    loadDefaults(m_mod);
}

Texts* MainForm::texts() {
    if (!m_texts)
        m_texts = new Texts;
    return m_texts;
}

FileBro* MainForm::fileBro() const { return m_fileBro; }

void MainForm::showFileBro() {
    if (!m_fileBro) {
        m_fileBro = new FileBro(m_mod);
        // Closing confirms and ends this picker; the next one starts afresh.
        m_fileBro->setAttribute(Qt::WA_DeleteOnClose);
    }
    bringUp(m_fileBro, this, &m_fileBroPlace);
}

void MainForm::setEndProcess(std::function<void()> endProcess) { m_endProcess = std::move(endProcess); }

void MainForm::check1Click() { ApiBAS::SetTopMost(this, Check1->isChecked()); }

void MainForm::cmdAddClick() { bringUp(texts(), this); }

void MainForm::cmdOpenClick() { showFileBro(); }

void MainForm::command1Click() { About::showSingle(m_about, this, &m_aboutPlace); }

void MainForm::command3Click() { TOURL::OpenUrl(QString::fromUtf8(stepwick::kAuthorUrl)); }

void MainForm::timer1Timer() { bannerTick(m_mod, ADL, width()); }

void MainForm::command2Click() {
    if (m_run->running())
        return;
    // An empty code would only add line breaks: say so before anything is touched.
    if (texts()->code().isEmpty())
        return tellCodeIsEmpty();
    BatchInput input;
    input.extension = OOther->isChecked() ? TOther->text().toStdString() : m_mod.FileExt;
    input.position = Ohead->isChecked() ? Position::Head : Position::Foot;
    input.once = texts()->Check1->isChecked();
    input.afterPreamble = texts()->Check2->isChecked();
    input.eol = texts()->Check3->isChecked() ? LineBreakMode::Match : LineBreakMode::CrLf;
    input.recursive = m_mod.Recursive;
    // The windows take no input during the run, so the code read now is the code of every file.
    input.code = [code = toCrLf(texts()->code().toStdString())] { return code; };
    input.stop = &m_run->stopFlag();

    try {
        const BatchResult result =
            m_run->run([&](BatchSink& sink) { return runBatch(m_mod, input, sink, m_system); },
                       [this](std::string_view text) { appendLog(text); });
        reportOutcome(result);
    } catch (const std::exception& e) {
        // Whatever the run could not report itself (memory exhausted, say) ends the run,
        // not the program; what it logged so far stays in the log.
        MessageBox::show(
            this, QStringLiteral(":)"),
            QStringLiteral("添加代码时出错，运行已停止。\n%1").arg(QString::fromLocal8Bit(e.what())),
            MessageBox::Icon::Warning);
    }
    // A close asked for during the run is carried out now that the run has stopped.
    if (m_exitRequested)
        exitSequence();
}

void MainForm::tellCodeIsEmpty() {
    MessageBox::show(this, QStringLiteral(":)"), QStringLiteral("请先输入拟添代码。"),
                     MessageBox::Icon::Information);
}

void MainForm::reportOutcome(const BatchResult& result) {
    const QString title = QStringLiteral(":)");
    if (refusedEmptyCode(result))
        return tellCodeIsEmpty();
    switch (result.outcome) {
    case BatchResult::Outcome::NoFolder:
        MessageBox::show(this, title, QString::fromUtf8(kNoFolderMessage.data(), kNoFolderMessage.size()),
                         MessageBox::Icon::Information);
        showFileBro();
        break;
    case BatchResult::Outcome::BadExtension:
        MessageBox::show(this, title, QStringLiteral("扩展名中不能有“/”，没有文件被修改。"),
                         MessageBox::Icon::Warning);
        break;
    case BatchResult::Outcome::FolderUnreadable:
        MessageBox::show(this, title,
                         QStringLiteral("无法读取所选的目录，没有文件被修改。\n%1")
                             .arg(QString::fromStdString(result.error)),
                         MessageBox::Icon::Warning);
        break;
    case BatchResult::Outcome::FolderBusy:
        MessageBox::show(this, title,
                         QStringLiteral("另一次运行正在修改这个目录，没有文件被修改。请稍后再试。"),
                         MessageBox::Icon::Information);
        break;
    case BatchResult::Outcome::CodeNotEncodable:
        MessageBox::show(this, title,
                         QStringLiteral("代码中有无法按文件编码写入的字符，没有文件被修改。\n%1")
                             .arg(QString::fromStdString(result.error)),
                         MessageBox::Icon::Warning);
        break;
    default: // completed or cancelled
        if (!result.failures.empty())
            MessageBox::show(this, title, failureSummary(result), MessageBox::Icon::Warning);
        break;
    }
}

void MainForm::appendLog(std::string_view text) {
    QString piece = QString::fromUtf8(text.data(), qsizetype(text.size()));
    if (m_pendingCr) {
        piece.prepend(u'\r');
        m_pendingCr = false;
    }
    if (piece.endsWith(u'\r')) {
        piece.chop(1);
        m_pendingCr = true;
    }
    piece.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    // Inserting at the end costs the same however long the log is; re-setting the
    // whole text for every file would not.
    QTextCursor cursor(Text1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(piece);
    Text1->verticalScrollBar()->setValue(Text1->verticalScrollBar()->maximum());
}

void MainForm::command4Click() { exitSequence(); }

void MainForm::closeEvent(QCloseEvent* event) {
    if (m_run->running()) {
        // Stop the run between two files; the exit follows when it has stopped.
        m_exitRequested = true;
        m_run->cancel();
        event->ignore();
        return;
    }
    exitSequence();
    event->accept();
}

void MainForm::exitSequence() {
    if (m_exiting)
        return;
    m_exiting = true;
    if (m_texts) {
        m_texts->closeForGood();
        delete m_texts.data();
    }
    // The picker's close confirms the folder it shows.
    if (m_fileBro) {
        m_fileBro->close();
        delete m_fileBro.data();
    }
    if (m_about)
        m_about->close();
    m_endProcess();
}
