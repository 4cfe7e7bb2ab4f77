#include "ui/main/MainForm.h"

#include "StepwickVersion.h"
#include "core/BatchRun.h"
#include "core/Mod.h"
#include "forms/RunChoices.h"
#include "forms/Wording.h"
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
    const auto folders = std::size_t(std::count_if(result.failures.begin(), result.failures.end(),
                                                   [](const FileFailure& f) { return f.folder; }));
    return toQString(layout::failureSummary(result.failures.size() - folders, folders));
}

// A core that refuses an empty code itself reports it by an outcome of its own.
template <typename Result> bool refusedEmptyCode(const Result& result) {
    if constexpr (requires { Result::Outcome::EmptyCode; })
        return result.outcome == Result::Outcome::EmptyCode;
    else
        return false;
}

const layout::Control& design(const char* name) { return layout::kMainForm[name]; }

QString caption(const char* name) { return toQString(design(name).caption); }

// Named and placed as the design says, in its font and colour; a control that names no font takes
// the window's, even inside a frame with a font of its own.
template <typename W> W* placed(W* widget, const char* name, bool withFont = true) {
    const layout::Control& d = design(name);
    widget->setObjectName(toQString(d.name));
    widget->setGeometry(twips(d.place));
    if (withFont)
        widget->setFont(toQFont(d.font.value_or(*layout::kMainForm.font)));
    if (d.colour)
        setTextColour(widget, toQColor(*d.colour));
    return widget;
}

} // namespace

// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init): the body makes every control before its first use
MainForm::MainForm(Mod& mod, const platform::System& system, QWidget* parent)
    : QWidget(parent), m_mod(mod), m_system(system),
      m_run(new BackgroundRun(
          this, [this](std::string_view text) { appendLog(text); },
          [this](const BatchResult& result, const std::exception_ptr& failure) {
              runEnded(result, failure);
          })),
      m_endProcess([] { QCoreApplication::quit(); }) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(toQString(layout::kMainForm.caption));
    // A fixed window with a close button only: no minimize, no maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addFile(QStringLiteral(":/icons/stepwick-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    setFont(toQFont(*layout::kMainForm.font));
    setFixedSize(clientSize(layout::kMainForm));

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
    // The heading's design font is larger than its box: the box stays, the font gives way.
    Label1 =
        placed(new FittedLabel(caption("Label1"), toQFont(*design("Label1").font), this), "Label1", false);
    l2 = placed(new QLabel(caption("l2"), this), "l2");

    Image1 = placed(new QLabel(this), "Image1");
    Image1->setAccessibleName(QStringLiteral("Stepwick 标志"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/pictures/%1.gif").arg(toQString(design("Image1").picture))));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto line = [this](const char* name) {
        const layout::Twips& t = design(name).place;
        auto* rule = placed(new QFrame(this), name, false);
        rule->setGeometry(twipsToPixels(t.left), twipsToPixels(t.top), twipsToPixels(t.width), 1);
        rule->setFrameShape(QFrame::HLine);
        rule->setFrameShadow(QFrame::Plain);
        rule->setLineWidth(1);
        return rule;
    };
    Line1 = line("Line1");
    Line2 = line("Line2");
    Line3 = line("Line3");
}

void MainForm::buildLog() {
    Text1 = placed(new QPlainTextEdit(this), "Text1");
    Text1->setAccessibleName(QStringLiteral("处理记录"));
    Text1->setReadOnly(true);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    appendLog(design("Text1").caption);
}

void MainForm::buildFrames() {
    Frame1 = placed(new QGroupBox(caption("Frame1"), this), "Frame1");
    CmdOpen = placed(new QPushButton(caption("CmdOpen"), Frame1), "CmdOpen");
    Frame2 = placed(new QGroupBox(caption("Frame2"), this), "Frame2");
    CmdAdd = placed(new QPushButton(caption("CmdAdd"), Frame2), "CmdAdd");
    Frame3 = placed(new QGroupBox(caption("Frame3"), this), "Frame3");
    Frame4 = placed(new QGroupBox(caption("Frame4"), this), "Frame4");

    // The five file-type options share Frame4, the two positions Frame3: one group each.
    QRadioButton** options[] = {&Option1, &Option2, &Option3, &Option4, &OOther, &Ohead, &Ofeet};
    const char* names[] = {"Option1", "Option2", "Option3", "Option4", "OOther", "Ohead", "Ofeet"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const layout::Control& d = design(names[i]);
        *options[i] =
            placed(new QRadioButton(toQString(d.caption), d.frame == "Frame4" ? Frame4 : Frame3), names[i]);
        (*options[i])->setChecked(d.on);
    }
    TOther = placed(new QLineEdit(caption("TOther"), Frame4), "TOther");
    TOther->setAccessibleName(QStringLiteral("其他扩展名"));
}

void MainForm::buildButtons() {
    PictureButton** buttons[] = {&Command2, &Command1, &Command3, &Command4};
    const char* names[] = {"Command2", "Command1", "Command3", "Command4"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const layout::Control& d = design(names[i]);
        const QPixmap picture(QStringLiteral(":/pictures/%1.gif").arg(toQString(d.picture)));
        *buttons[i] = placed(new PictureButton(toQString(d.caption), picture, this), names[i]);
    }
}

void MainForm::buildFooter() {
    Label3 = placed(new QLabel(caption("Label3"), this), "Label3");
    Label4 = placed(new QLabel(caption("Label4"), this), "Label4");
    Check1 = placed(new QCheckBox(caption("Check1"), this), "Check1");
    Check1->setChecked(design("Check1").on);

    ADL = placed(new QLabel(caption("ADL"), this), "ADL");
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
    loadBanner(m_banner, Timer1);
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

void MainForm::timer1Timer() { bannerTick(m_banner, ADL, width()); }

bool MainForm::running() const { return m_run->running(); }

void MainForm::command2Click() {
    if (m_run->running())
        return;
    // An empty code would only add line breaks: say so before anything is touched.
    if (texts()->code().isEmpty())
        return tellCodeIsEmpty();
    auto batch = [this, input = choices()](BatchSink& sink) { return runBatch(input, sink, m_system); };
    if (!m_run->start(batch, {this, m_texts.data(), m_fileBro.data(), m_about.data()}))
        MessageBox::show(this, toQString(layout::kMessageTitle), toQString(layout::kRunStopped),
                         MessageBox::Icon::Warning);
}

BatchInput MainForm::choices() {
    layout::WindowChoices choices;
    choices.otherType = OOther->isChecked();
    choices.otherText = TOther->text().toStdString();
    choices.head = Ohead->isChecked();
    choices.once = texts()->Check1->isChecked();
    choices.afterPreamble = texts()->Check2->isChecked();
    choices.matchLineBreaks = texts()->Check3->isChecked();
    choices.code = texts()->code().toStdString();
    return layout::runRequest(m_mod, choices, &m_run->stopFlag());
}

void MainForm::runEnded(const BatchResult& result, const std::exception_ptr& failure) {
    try {
        if (failure)
            std::rethrow_exception(failure);
        reportOutcome(result);
    } catch (const std::exception& e) {
        // Whatever the run could not report itself (memory exhausted, say) ends the run,
        // not the program; what it logged so far stays in the log.
        MessageBox::show(this, toQString(layout::kMessageTitle),
                         toQString(layout::kRunStopped) + u'\n' + QString::fromLocal8Bit(e.what()),
                         MessageBox::Icon::Warning);
    }
    // A close asked for during the run is carried out now that the run has stopped.
    if (m_exitRequested)
        exitSequence();
}

void MainForm::tellCodeIsEmpty() {
    MessageBox::show(this, toQString(layout::kMessageTitle), toQString(layout::kCodeIsEmpty),
                     MessageBox::Icon::Information);
}

void MainForm::reportOutcome(const BatchResult& result) {
    const QString title = toQString(layout::kMessageTitle);
    if (refusedEmptyCode(result))
        return tellCodeIsEmpty();
    switch (result.outcome) {
    case BatchResult::Outcome::NoFolder:
        MessageBox::show(this, title, QString::fromUtf8(kNoFolderMessage.data(), kNoFolderMessage.size()),
                         MessageBox::Icon::Information);
        showFileBro();
        break;
    case BatchResult::Outcome::BadExtension:
        MessageBox::show(this, title, toQString(layout::kBadExtension), MessageBox::Icon::Warning);
        break;
    case BatchResult::Outcome::FolderUnreadable:
        MessageBox::show(this, title,
                         toQString(layout::kFolderUnreadable) + u'\n' + QString::fromStdString(result.error),
                         MessageBox::Icon::Warning);
        break;
    case BatchResult::Outcome::FolderBusy:
        MessageBox::show(this, title, toQString(layout::kFolderBusy), MessageBox::Icon::Information);
        break;
    case BatchResult::Outcome::CodeNotEncodable:
    case BatchResult::Outcome::ControlInCode:
        MessageBox::show(this, title,
                         toQString(result.outcome == BatchResult::Outcome::ControlInCode
                                       ? layout::kControlInCode
                                       : layout::kCodeNotEncodable) +
                             u'\n' + QString::fromStdString(result.error),
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
