#include "win32/BackgroundRun.h"

#include "forms/Wording.h"
#include "win32/ControlIds.h"
#include "win32/DesignScale.h"
#include "win32/Wide.h"

#include <commctrl.h>

#include <utility>

namespace win32ui {

namespace {
constexpr UINT kLogPiece = WM_APP + 1; // the log has grown
constexpr UINT kRunDone = WM_APP + 2;
constexpr UINT_PTR kShowTimer = 41, kRefreshTimer = 42;
constexpr UINT kShowAfterMs = 500, kRefreshMs = 100;
constexpr int kSteps = 1000;
} // namespace

// Lives on the worker thread: log pieces are added to what the owner has yet to show, progress left
// in the atomics for the progress window to pick up, the cancel read back.
class BackgroundRun::Sink : public layout::ProgressSink {
public:
    explicit Sink(BackgroundRun& run) : ProgressSink(run.m_runProgress), m_run(run) {}
    void appendLog(std::string_view text) override {
        std::lock_guard<std::mutex> lock(m_run.m_logMutex);
        m_run.m_unshown += text;
        if (!m_run.m_logPosted) // else the message on its way shows this too; a failed post, the end
            m_run.m_logPosted = PostMessageW(m_run.m_owner, kLogPiece, 0, 0) != FALSE;
    }

private:
    BackgroundRun& m_run;
};

BackgroundRun::BackgroundRun(HWND owner, Log log, Done done)
    : m_owner(owner), m_log(std::move(log)), m_done(std::move(done)) {}

BackgroundRun::~BackgroundRun() {
    m_runProgress.requestStop();
    if (m_worker.joinable())
        m_worker.join();
    closeProgress();
}

void BackgroundRun::closeProgress() {
    if (!m_progress)
        return;
    // Its procedure finds no run from here on, whatever reaches the window while it goes.
    SetWindowLongPtrW(m_progress, GWLP_USERDATA, 0);
    DestroyWindow(std::exchange(m_progress, nullptr));
}

bool BackgroundRun::start(Batch batch, std::vector<HWND> windows) {
    m_runProgress.reset();
    m_failure = nullptr;
    try {
        m_worker = std::thread([this, batch = std::move(batch)] {
            Sink sink(*this);
            try {
                m_result = batch(sink);
            } catch (...) {
                m_failure = std::current_exception();
            }
            // Queued behind the last piece of the log.
            PostMessageW(m_owner, kRunDone, 0, 0);
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_running = true;
    m_disabled = std::move(windows);
    for (HWND window : m_disabled)
        EnableWindow(window, FALSE);
    SetTimer(m_owner, kShowTimer, kShowAfterMs, nullptr);
    return true;
}

void BackgroundRun::cancel() {
    m_runProgress.requestStop();
    if (m_progress)
        EnableWindow(GetDlgItem(m_progress, kProgressCancelId), FALSE);
}

void BackgroundRun::showLog() {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(m_logMutex);
        text.swap(m_unshown);
        m_logPosted = false;
    }
    if (!text.empty())
        m_log(text);
}

void BackgroundRun::finish() {
    m_worker.join();
    showLog(); // what a failed post left
    KillTimer(m_owner, kShowTimer);
    KillTimer(m_owner, kRefreshTimer);
    for (HWND window : m_disabled)
        EnableWindow(window, TRUE);
    closeProgress();
    m_running = false;
    m_done(m_result, m_failure);
}

bool BackgroundRun::handleMessage(UINT message, WPARAM wParam) {
    if (message == kLogPiece) {
        showLog();
        return true;
    }
    if (message == kRunDone) {
        finish();
        return true;
    }
    if (message == WM_TIMER && wParam == kShowTimer) {
        KillTimer(m_owner, kShowTimer);
        showProgress();
        return true;
    }
    if (message == WM_TIMER && wParam == kRefreshTimer) {
        refreshProgress();
        return true;
    }
    return false;
}

void BackgroundRun::registerClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &BackgroundRun::progressProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kProgressClass;
    RegisterClassExW(&wc);
}

// Above every window of the program, the always-on-top About included; owned by the main window,
// which it keeps in front of.
void BackgroundRun::showProgress() {
    const UINT dpi = dpiOf(m_owner);
    auto scaled = [dpi](int pixels) { return MulDiv(pixels, int(dpi), 96); };
    RECT owner;
    GetWindowRect(m_owner, &owner);
    const int width = scaled(330), height = scaled(130);
    m_progress =
        CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, kProgressClass,
                        toWide(layout::kMessageTitle).c_str(), WS_POPUP | WS_CAPTION,
                        (owner.left + owner.right - width) / 2, (owner.top + owner.bottom - height) / 2,
                        width, height, m_owner, nullptr, GetModuleHandleW(nullptr), this);
    HFONT font = reinterpret_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    const std::pair<int, HWND> parts[] = {
        {kProgressTextId,
         CreateWindowExW(0, L"STATIC", toWide(layout::kProgressLabel).c_str(), WS_CHILD | WS_VISIBLE,
                         scaled(12), scaled(10), scaled(300), scaled(18), m_progress,
                         HMENU(INT_PTR(kProgressTextId)), nullptr, nullptr)},
        {kProgressBarId,
         CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, scaled(12), scaled(32), scaled(300),
                         scaled(18), m_progress, HMENU(INT_PTR(kProgressBarId)), nullptr, nullptr)},
        {kProgressCancelId,
         CreateWindowExW(0, L"BUTTON", toWide(layout::kCancel).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                         scaled(232), scaled(60), scaled(80), scaled(26), m_progress,
                         HMENU(INT_PTR(kProgressCancelId)), nullptr, nullptr)},
    };
    for (const auto& [id, part] : parts)
        SendMessageW(part, WM_SETFONT, WPARAM(font), FALSE);
    SendMessageW(GetDlgItem(m_progress, kProgressBarId), PBM_SETRANGE32, 0, kSteps);
    if (m_runProgress.stopFlag())
        EnableWindow(GetDlgItem(m_progress, kProgressCancelId), FALSE);
    ShowWindow(m_progress, SW_SHOW);
    SetTimer(m_owner, kRefreshTimer, kRefreshMs, nullptr);
    refreshProgress();
}

void BackgroundRun::refreshProgress() {
    if (!m_progress)
        return;
    // The bar holds kSteps in all; each file's share is counted in kSteps too.
    const layout::RunProgress::Bar bar = m_runProgress.bar(kSteps);
    if (bar.maximum == 0)
        return;
    SendMessageW(GetDlgItem(m_progress, kProgressBarId), PBM_SETPOS, WPARAM(bar.value * kSteps / bar.maximum),
                 0);
}

LRESULT CALLBACK BackgroundRun::progressProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          LONG_PTR(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* run = reinterpret_cast<BackgroundRun*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (run && message == WM_COMMAND && LOWORD(wParam) == kProgressCancelId && HIWORD(wParam) == BN_CLICKED) {
        run->cancel();
        return 0;
    }
    if (message == WM_CLOSE) // the run ends it; 取消 asks for that
        return 0;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace win32ui
