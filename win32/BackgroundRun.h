#pragma once

#include "core/BatchRun.h"
#include "forms/RunProgress.h"

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace win32ui {

// Runs a batch on a worker thread while the windows stay painted and the banner turns. The
// program's windows take no input until the run ends (disabled, so nothing the user could not
// see happen is replayed afterwards); a progress window with 取消 stops it between two files.
//
// Threads: the worker owns the batch and touches only the atomics and PostMessage; everything
// else belongs to the windows' thread. The owner hands its messages to handleMessage().
class BackgroundRun {
public:
    using Batch = std::function<BatchResult(layout::ProgressSink&)>;
    using Log = std::function<void(std::string_view)>;
    // Called on the windows' thread once every piece of the log has gone to log, in order.
    using Done = std::function<void(const BatchResult&, std::exception_ptr)>;

    BackgroundRun(HWND owner, Log log, Done done);
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Starts the batch with the given windows disabled; false when no thread could be had.
    bool start(Batch batch, std::vector<HWND> windows);
    bool running() const { return m_running; }
    void cancel();
    const std::atomic<bool>& stopFlag() const { return m_runProgress.stopFlag(); }
    // True when the message was the run's.
    bool handleMessage(UINT message, WPARAM wParam);

    static void registerClass();

private:
    class Sink;
    void showProgress();
    void closeProgress();
    void refreshProgress();
    void finish();
    void showLog(); // the windows' thread: what the worker has logged so far
    static LRESULT CALLBACK progressProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_owner;
    Log m_log;
    Done m_done;
    HWND m_progress = nullptr;
    std::vector<HWND> m_disabled;
    std::thread m_worker;
    bool m_running = false;
    BatchResult m_result;
    std::exception_ptr m_failure;
    layout::RunProgress m_runProgress;
    // The log the worker has written and the windows not yet shown; one message at a time tells
    // the windows, however fast the pieces come, so that the timers' messages still get through.
    std::mutex m_logMutex;
    std::string m_unshown;
    bool m_logPosted = false;
};

} // namespace win32ui
