#include "win32/MainForm.h"

#include "StepwickVersion.h"
#include "core/Mod.h"
#include "forms/RunChoices.h"
#include "forms/RunOutcome.h"
#include "forms/Wording.h"
#include "platform/win32desktop/ApiBAS.h"
#include "platform/win32desktop/TOURL.h"
#include "win32/ControlIds.h"
#include "win32/MessageBoxes.h"
#include "win32/Wide.h"

namespace win32ui {

namespace {
constexpr UINT_PTR kTimer1 = 1;

// The type an option presets, by the option's id.
std::string_view presetOf(int id) {
    for (const layout::TypePreset& preset : layout::kTypePresets)
        if (win32ui::controlId(layout::kMainForm, preset.option) == id)
            return preset.type;
    return {};
}
} // namespace

MainForm::MainForm(Mod& mod, const platform::System& system)
    : FormWindow(layout::kMainForm, kMainFormClass), m_mod(mod), m_system(system),
      m_fileBro(mod, m_system.paths) {}

bool MainForm::open(HICON icon) {
    registerClass(kMainFormClass, icon);
    for (const wchar_t* name : {kTextsClass, kFileBroClass, kAboutClass})
        registerClass(name, nullptr);
    BackgroundRun::registerClass();
    // A fixed window with a close button only: no minimize, no maximize.
    if (!create(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, WS_EX_APPWINDOW))
        return false;
    ShowWindow(m_hwnd, SW_SHOW);
    return true;
}

bool MainForm::isOwnWindow(HWND window) const {
    return window && (window == m_hwnd || window == m_texts.hwnd() || window == m_fileBro.hwnd() ||
                      window == m_about.hwnd());
}

void MainForm::onCreated() {
    m_run = std::make_unique<BackgroundRun>(
        m_hwnd, [this](std::string_view text) { appendLog(text); },
        [this](const BatchResult& result, const std::exception_ptr& failure) { runEnded(result, failure); });
    load();
}

void MainForm::load() {
    // The code window exists, hidden, from the start, holding its placeholder text.
    m_texts.ensure();
    layout::loadBanner(m_banner);
    SetTimer(m_hwnd, kTimer1, layout::kBannerTickMs, nullptr);
    loadDefaults(m_mod);
    sizeToCaption(kMainADL);
}

void MainForm::onCommand(int id, int code) {
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case kMainCheck1:
        return check1Click();
    case kMainCmdAdd:
        m_texts.ensure();
        return m_texts.bringUp(m_hwnd);
    case kMainCmdOpen:
        return m_fileBro.showSingle(m_hwnd);
    case kMainCommand1:
        return m_about.showSingle(m_hwnd);
    case kMainCommand2:
        return command2Click();
    case kMainCommand3:
        return TOURL::OpenUrl(toWide(stepwick::kAuthorUrl));
    case kMainCommand4:
        return command4Click();
    // An option sets the extension whenever it becomes the selected one, by mouse or keys.
    case kMainOption1:
    case kMainOption2:
    case kMainOption3:
    case kMainOption4:
        m_mod.FileExt = presetOf(id);
        break;
    case kMainOhead:
    case kMainOfeet:
    case kMainOHeadEnd:
    case kMainOBodyEnd:
        return choosePosition(id);
    default: // an action option among them
        break;
    }
    // The old code's box takes input while 替换 is the action.
    m_texts.setReplacing(isChecked(kMainOReplace));
}

// The positions are one choice over two frames: each frame's options are a group of their own, the
// other frame's are unticked here.
void MainForm::choosePosition(int id) {
    for (const int option : kMainPositionIds)
        if (option != id)
            SendMessageW(control(option), BM_SETCHECK, BST_UNCHECKED, 0);
}

void MainForm::check1Click() { ApiBAS::SetTopMost(m_hwnd, isChecked(kMainCheck1)); }

void MainForm::command2Click() {
    if (m_run->running())
        return;
    // An empty code would only add line breaks: say so before anything is touched.
    if (m_texts.code().empty())
        return showMessage(m_hwnd, toWide(layout::kCodeIsEmpty), MessageIcon::Information);
    BatchInput input = choices();
    auto batch = [this, input = std::move(input)](layout::ProgressSink& sink) {
        return layout::carryOut(input, sink, m_system);
    };
    if (!m_run->start(batch, {m_hwnd, m_texts.hwnd(), m_fileBro.hwnd(), m_about.hwnd()}))
        showMessage(m_hwnd, toWide(layout::kRunStopped), MessageIcon::Warning);
}

BatchInput MainForm::choices() {
    layout::WindowChoices choices;
    choices.otherType = isChecked(kMainOOther);
    choices.otherText = toUtf8(text(kMainTOther));
    choices.head = isChecked(kMainOhead);
    choices.once = m_texts.once();
    choices.afterPreamble = m_texts.afterPreamble();
    choices.matchLineBreaks = m_texts.matchLineBreaks();
    choices.code = toUtf8(m_texts.code());
    for (std::size_t i = 0; i < kMainActionIds.size(); ++i)
        if (isChecked(kMainActionIds[i]))
            choices.action = layout::kActionOptions[i].action;
    choices.oldCode = toUtf8(m_texts.oldCode());
    for (std::size_t i = 0; i < kMainBesideIds.size(); ++i)
        if (isChecked(kMainBesideIds[i]))
            choices.beside = layout::kBesideOptions[i].beside;
    choices.exclude = layout::exclusionList(toUtf8(text(kMainTExclude)));
    choices.preview = isChecked(kMainCheckPreview);
    return layout::runRequest(m_mod, choices, &m_run->stopFlag());
}

void MainForm::runEnded(const BatchResult& result, const std::exception_ptr& failure) {
    try {
        if (failure)
            std::rethrow_exception(failure);
        reportOutcome(result);
    } catch (const std::exception& e) {
        // Whatever the run could not report itself ends the run, not the program; what it
        // logged so far stays in the log.
        showMessage(m_hwnd, toWide(std::string(layout::kRunStopped) + "\n" + e.what()), MessageIcon::Warning);
    }
    // A close asked for during the run is carried out now that the run has stopped.
    if (m_exitRequested)
        exitSequence();
}

void MainForm::reportOutcome(const BatchResult& result) {
    const layout::RunMessage message = layout::outcomeMessage(result);
    if (!message.text.empty())
        showMessage(m_hwnd, toWide(message.text),
                    message.icon == layout::RunMessage::Icon::Warning ? MessageIcon::Warning
                                                                      : MessageIcon::Information);
    if (message.showPicker)
        m_fileBro.showSingle(m_hwnd);
}

void MainForm::appendLog(std::string_view text) {
    const std::wstring piece = toWide(m_log.append(text));
    // Inserting at the end costs the same however long the log is.
    HWND log = control(kMainText1);
    const LRESULT end = SendMessageW(log, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(log, EM_SETSEL, WPARAM(end), LPARAM(end));
    SendMessageW(log, EM_REPLACESEL, FALSE, LPARAM(piece.c_str()));
    SendMessageW(log, EM_SCROLLCARET, 0, 0);
}

void MainForm::tickBanner() {
    setText(kMainADL, toWide(layout::nextBannerLine(m_banner)));
    // The width must be the new caption's, so the label sizes itself before it is centred.
    sizeToCaption(kMainADL);
    RECT client, label;
    GetClientRect(m_hwnd, &client);
    GetWindowRect(control(kMainADL), &label);
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&label), 2);
    const int left = layout::bannerLeft(client.right, label.right - label.left);
    SetWindowPos(control(kMainADL), nullptr, left, label.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    InvalidateRect(m_hwnd, nullptr, TRUE);
}

void MainForm::command4Click() { exitSequence(); }

void MainForm::onClose() {
    if (m_run->running()) {
        // Stop the run between two files; the exit follows when it has stopped.
        m_exitRequested = true;
        m_run->cancel();
        return;
    }
    exitSequence();
}

void MainForm::exitSequence() {
    if (m_exiting)
        return;
    m_exiting = true;
    m_texts.closeForGood();
    // The picker's close confirms the folder it shows.
    m_fileBro.closeConfirming();
    m_about.destroy();
    KillTimer(m_hwnd, kTimer1);
    destroy();
    PostQuitMessage(0);
}

LRESULT MainForm::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_run && m_run->handleMessage(message, wParam))
        return 0;
    if (message == WM_TIMER && wParam == kTimer1) {
        tickBanner();
        return 0;
    }
    return FormWindow::handle(message, wParam, lParam);
}

} // namespace win32ui
