#include "win32/MainForm.h"

#include "StepwickVersion.h"
#include "core/CodeText.h"
#include "core/Mod.h"
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
        m_mod.FileExt = "txt";
        break;
    case kMainOption2:
        m_mod.FileExt = "htm";
        break;
    case kMainOption3:
        m_mod.FileExt = "asp";
        break;
    case kMainOption4:
        m_mod.FileExt = "php";
        break;
    default:
        break;
    }
}

void MainForm::check1Click() { ApiBAS::SetTopMost(m_hwnd, isChecked(kMainCheck1)); }

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

// What the windows say now: the run takes no input while it lasts, so this is the code of every file.
BatchInput MainForm::choices() {
    BatchInput input;
    input.extension = isChecked("OOther") ? toUtf8(text("TOther")) : m_mod.FileExt;
    input.position = isChecked("Ohead") ? Position::Head : Position::Foot;
    input.once = m_texts.once();
    input.afterPreamble = m_texts.afterPreamble();
    input.eol = m_texts.matchLineBreaks() ? LineBreakMode::Match : LineBreakMode::CrLf;
    input.folder = m_mod.TargetDir;
    input.recursive = m_mod.Recursive;
    input.code = [code = toCrLf(toUtf8(m_texts.code()))] { return code; };
    input.stop = &m_run->stopFlag();
    return input;
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
    m_about.destroy();
    KillTimer(m_hwnd, kTimer1);
    destroy();
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
