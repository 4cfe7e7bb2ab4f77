#include "win32/MainForm.h"

#include "StepwickVersion.h"
#include "core/Mod.h"
#include "forms/RunChoices.h"
#include "forms/Wording.h"
#include "platform/win32desktop/ApiBAS.h"
#include "platform/win32desktop/TOURL.h"
#include "win32/ControlIds.h"
#include "win32/MessageBoxes.h"
#include "win32/Wide.h"

#include <algorithm>
#include <cmath>

namespace win32ui {

namespace {
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTickMs = 3000;
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
    SetTimer(m_hwnd, kTimer1, kTickMs, nullptr);
    loadDefaults(m_mod);
    sizeToCaption("ADL");
}

void MainForm::onCommand(int id, int code) {
    if (code != BN_CLICKED)
        return;
    if (id == idOf("Check1"))
        check1Click();
    else if (id == idOf("CmdAdd")) {
        m_texts.ensure();
        m_texts.bringUp(m_hwnd);
    } else if (id == idOf("CmdOpen"))
        m_fileBro.showSingle(m_hwnd);
    else if (id == idOf("Command1"))
        m_about.showSingle(m_hwnd);
    else if (id == idOf("Command2"))
        command2Click();
    else if (id == idOf("Command3"))
        TOURL::OpenUrl(toWide(stepwick::kAuthorUrl));
    else if (id == idOf("Command4"))
        command4Click();
    else
        optionClick(id);
}

void MainForm::check1Click() { ApiBAS::SetTopMost(m_hwnd, isChecked("Check1")); }

void MainForm::optionClick(int id) {
    const std::pair<const char*, const char*> presets[] = {
        {"Option1", "txt"}, {"Option2", "htm"}, {"Option3", "asp"}, {"Option4", "php"}};
    for (const auto& [name, extension] : presets)
        if (id == idOf(name))
            m_mod.FileExt = extension;
}

void MainForm::command2Click() {
    if (m_run->running())
        return;
    // An empty code would only add line breaks: say so before anything is touched.
    if (m_texts.code().empty())
        return showMessage(m_hwnd, toWide(layout::kCodeIsEmpty), MessageIcon::Information);
    BatchInput input = choices();
    auto batch = [this, input = std::move(input)](BatchSink& sink) {
        return runBatch(input, sink, m_system);
    };
    if (!m_run->start(batch, {m_hwnd, m_texts.hwnd(), m_fileBro.hwnd(), m_about.hwnd()}))
        showMessage(m_hwnd, toWide(layout::kRunStopped), MessageIcon::Warning);
}

BatchInput MainForm::choices() {
    layout::WindowChoices choices;
    choices.otherType = isChecked("OOther");
    choices.otherText = toUtf8(text("TOther"));
    choices.head = isChecked("Ohead");
    choices.once = m_texts.once();
    choices.afterPreamble = m_texts.afterPreamble();
    choices.matchLineBreaks = m_texts.matchLineBreaks();
    choices.code = toUtf8(m_texts.code());
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
    using Outcome = BatchResult::Outcome;
    auto say = [this](std::string_view text, MessageIcon icon) { showMessage(m_hwnd, toWide(text), icon); };
    switch (result.outcome) {
    case Outcome::EmptyCode:
        return say(layout::kCodeIsEmpty, MessageIcon::Information);
    case Outcome::NoFolder:
        say(kNoFolderMessage, MessageIcon::Information);
        return m_fileBro.showSingle(m_hwnd);
    case Outcome::BadExtension:
        return say(layout::kBadExtension, MessageIcon::Warning);
    case Outcome::FolderUnreadable:
        return say(std::string(layout::kFolderUnreadable) + "\n" + result.error, MessageIcon::Warning);
    case Outcome::FolderBusy:
        return say(layout::kFolderBusy, MessageIcon::Information);
    case Outcome::CodeNotEncodable:
        return say(std::string(layout::kCodeNotEncodable) + "\n" + result.error, MessageIcon::Warning);
    case Outcome::ControlInCode:
        return say(std::string(layout::kControlInCode) + "\n" + result.error, MessageIcon::Warning);
    case Outcome::Completed:
    case Outcome::Cancelled:
        break;
    }
    const auto folders = std::size_t(std::count_if(result.failures.begin(), result.failures.end(),
                                                   [](const FileFailure& f) { return f.folder; }));
    if (!result.failures.empty())
        say(layout::failureSummary(result.failures.size() - folders, folders), MessageIcon::Warning);
}

void MainForm::appendLog(std::string_view text) {
    std::wstring piece = toWide(text);
    if (m_pendingCr) {
        piece.insert(piece.begin(), L'\r');
        m_pendingCr = false;
    }
    if (!piece.empty() && piece.back() == L'\r') {
        piece.pop_back();
        m_pendingCr = true;
    }
    // Inserting at the end costs the same however long the log is.
    HWND log = control("Text1");
    const LRESULT end = SendMessageW(log, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(log, EM_SETSEL, WPARAM(end), LPARAM(end));
    SendMessageW(log, EM_REPLACESEL, FALSE, LPARAM(piece.c_str()));
    SendMessageW(log, EM_SCROLLCARET, 0, 0);
}

void MainForm::timer1Timer() {
    setText("ADL", toWide(layout::nextBannerLine(m_banner)));
    // The width must be the new caption's, so the label sizes itself before it is centred.
    sizeToCaption("ADL");
    RECT client, label;
    GetClientRect(m_hwnd, &client);
    GetWindowRect(control("ADL"), &label);
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&label), 2);
    const double left = (client.right - (label.right - label.left)) / 2.0;
    SetWindowPos(control("ADL"), nullptr, int(std::lround(left)), label.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
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
    if (m_about.exists())
        DestroyWindow(m_about.hwnd());
    DestroyWindow(m_hwnd);
}

void MainForm::onDestroyed() {
    KillTimer(m_hwnd, kTimer1);
    PostQuitMessage(0);
}

LRESULT MainForm::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_run && m_run->handleMessage(message, wParam, lParam))
        return 0;
    if (message == WM_TIMER && wParam == kTimer1) {
        timer1Timer();
        return 0;
    }
    return FormWindow::handle(message, wParam, lParam);
}

} // namespace win32ui
