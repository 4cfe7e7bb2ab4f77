#pragma once

#include "core/BatchRun.h"
#include "forms/RunProgress.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <exception>
#include <functional>
#include <string_view>
#include <thread>

class QProgressDialog;
class QWidget;

// Runs a batch on a worker thread and returns to the event loop at once; the windows stay painted
// and a progress dialog with 取消 stops the run between two files. The program's windows take no
// input until the run has ended (disabled, so nothing the user could not see happen is replayed
// afterwards); the secondary ones cannot be closed meanwhile.
//
// Threads: the worker owns the batch and touches only the atomics and queued calls; everything
// else belongs to the windows' thread.
class BackgroundRun : public QObject {
    Q_OBJECT
public:
    using Batch = std::function<BatchResult(layout::ProgressSink&)>;
    using Log = std::function<void(std::string_view)>;
    // Called on the windows' thread once every piece of the log has gone to log, in order, and the
    // windows take input again; failure is what the batch threw.
    using Done = std::function<void(const BatchResult&, std::exception_ptr)>;

    BackgroundRun(QWidget* owner, Log log, Done done);
    ~BackgroundRun() override;
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Starts the batch with the given windows disabled; false when no thread could be had.
    bool start(Batch batch, const QList<QWidget*>& windows);
    // From the start until the end of the done call.
    bool running() const { return m_running; }
    // Set when the run is to stop between two files; the batch watches it.
    const std::atomic<bool>& stopFlag() const { return m_progress.stopFlag(); }
    // The run stops between two files, as the progress dialog's cancel makes it.
    void cancel();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Sink;
    void showProgress();
    void refreshProgress();
    void finish();
    void takeInputAgain();

    QWidget* m_owner;
    Log m_log;
    Done m_done;
    QProgressDialog* m_dialog = nullptr;
    QList<QPointer<QWidget>> m_disabled;
    QPointer<QWidget> m_focus;
    std::thread m_worker;
    bool m_running = false;
    BatchResult m_result;
    std::exception_ptr m_failure;
    layout::RunProgress m_progress;
};
