#include "ui/main/MainForm.h"

#include "StepwickVersion.h"
#include "core/BatchRun.h"
#include "core/Mod.h"
#include "forms/RunChoices.h"
#include "forms/RunOutcome.h"
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
#include "ui/widgets/FormControls.h"
#include "ui/widgets/PictureButton.h"
#include "ui/widgets/WindowSetup.h"

#include <QButtonGroup>
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
    const FormControls controls(this, layout::kMainForm);
    Text1 = controls.get<QPlainTextEdit>("Text1");
    CmdOpen = controls.get<QPushButton>("CmdOpen");
    CmdAdd = controls.get<QPushButton>("CmdAdd");
    Command2 = controls.get<PictureButton>("Command2");
    Command1 = controls.get<PictureButton>("Command1");
    Command3 = controls.get<PictureButton>("Command3");
    Command4 = controls.get<PictureButton>("Command4");
    Option1 = controls.get<QRadioButton>("Option1");
    Option2 = controls.get<QRadioButton>("Option2");
    Option3 = controls.get<QRadioButton>("Option3");
    Option4 = controls.get<QRadioButton>("Option4");
    OOther = controls.get<QRadioButton>("OOther");
    TOther = controls.get<QLineEdit>("TOther");
    Ohead = controls.get<QRadioButton>("Ohead");
    Check1 = controls.get<QCheckBox>("Check1");
    ADL = controls.get<QLabel>("ADL");
    TExclude = controls.get<QLineEdit>("TExclude");
    CheckPreview = controls.get<QCheckBox>("CheckPreview");
    controls.get<QLabel>("Image1")->setAccessibleName(toQString(layout::kLogoName));
    finishControls();
    setUpKeyboard();
    connectEvents();
}

void MainForm::finishControls() {
    Text1->setAccessibleName(toQString(layout::kLogName));
    appendLog(layout::kMainForm["Text1"].caption);
    TOther->setAccessibleName(toQString(layout::kOtherTypeName));
    TExclude->setAccessibleName(toQString(layout::kExcludeName));
    groupPositions();
    ADL->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The banner sizes itself to its caption and keeps its left edge.
    ADL->adjustSize();
}

void MainForm::setUpKeyboard() {
    // No button of the window is its default: Enter in TOther presses nothing.
    clickFocusedButtonsOnEnter(this);
    showFocusCue(Text1);
}

// One choice across two frames: a group of their own, not each frame's.
void MainForm::groupPositions() {
    auto* positions = new QButtonGroup(this);
    for (const std::string_view name : layout::kPositionOptions)
        positions->addButton(findChild<QRadioButton*>(toQString(name)));
}

void MainForm::connectEvents() {
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));

    connect(Check1, &QCheckBox::clicked, this, &MainForm::check1Click);
    connect(CmdAdd, &QPushButton::clicked, this, &MainForm::cmdAddClick);
    connect(CmdOpen, &QPushButton::clicked, this, &MainForm::cmdOpenClick);
    connect(Command1, &QPushButton::clicked, this, &MainForm::command1Click);
    connect(Command2, &QPushButton::clicked, this, &MainForm::command2Click);
    connect(Command3, &QPushButton::clicked, this, &MainForm::command3Click);
    connect(Command4, &QPushButton::clicked, this, &MainForm::command4Click);
    connect(Timer1, &QTimer::timeout, this, &MainForm::tickBanner);
    // An option sets the extension whenever it becomes the selected one, by mouse or keys.
    for (const layout::TypePreset& preset : layout::kTypePresets) {
        connect(findChild<QRadioButton*>(toQString(preset.option)), &QRadioButton::toggled, this,
                [this, type = preset.type](bool on) {
                    if (on)
                        m_mod.FileExt = type;
                });
    }
    // The old code's box takes input while 替换 is the action.
    connect(findChild<QRadioButton*>(QStringLiteral("OReplace")), &QRadioButton::toggled, this,
            [this](bool on) { texts()->setReplacing(on); });
}

void MainForm::load() {
    // The code window exists, hidden, from the start, holding its placeholder text.
    texts();
    loadBanner(m_banner, Timer1);
    Timer1->start();
    loadDefaults(m_mod);
}

Texts* MainForm::texts() {
    if (!m_texts) {
        m_texts = new Texts;
        m_texts->setReplacing(findChild<QRadioButton*>(QStringLiteral("OReplace"))->isChecked());
    }
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

void MainForm::tickBanner() { bannerTick(m_banner, ADL, width()); }

bool MainForm::running() const { return m_run->running(); }

void MainForm::command2Click() {
    if (m_run->running())
        return;
    // An empty code would only add line breaks: say so before anything is touched.
    if (texts()->code().isEmpty())
        return tellCodeIsEmpty();
    auto batch = [this, input = choices()](layout::ProgressSink& sink) {
        return layout::carryOut(input, sink, m_system);
    };
    if (!m_run->start(batch, {this, m_texts.data(), m_fileBro.data(), m_about.data()}))
        MessageBox::show(this, toQString(layout::kMessageTitle), toQString(layout::kRunStopped),
                         MessageBox::Icon::Warning);
}

BatchInput MainForm::choices() {
    layout::WindowChoices choices;
    choices.otherType = OOther->isChecked();
    choices.otherText = TOther->text().toStdString();
    choices.head = Ohead->isChecked();
    choices.once = texts()->once();
    choices.afterPreamble = texts()->afterPreamble();
    choices.matchLineBreaks = texts()->matchLineBreaks();
    choices.code = texts()->code().toStdString();
    for (const layout::ActionOption& option : layout::kActionOptions)
        if (findChild<QRadioButton*>(toQString(option.option))->isChecked())
            choices.action = option.action;
    choices.oldCode = texts()->oldCode().toStdString();
    for (const layout::BesideOption& option : layout::kBesideOptions)
        if (findChild<QRadioButton*>(toQString(option.option))->isChecked())
            choices.beside = option.beside;
    choices.exclude = layout::exclusionList(TExclude->text().toStdString());
    choices.preview = CheckPreview->isChecked();
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
    const layout::RunMessage message = layout::outcomeMessage(result);
    if (!message.text.empty())
        MessageBox::show(this, toQString(layout::kMessageTitle), toQString(message.text),
                         message.icon == layout::RunMessage::Icon::Warning ? MessageBox::Icon::Warning
                                                                           : MessageBox::Icon::Information);
    if (message.showPicker)
        showFileBro();
}

void MainForm::appendLog(std::string_view text) {
    // Inserting at the end costs the same however long the log is; re-setting the
    // whole text for every file would not.
    QTextCursor cursor(Text1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(toQString(m_log.append(text)));
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
