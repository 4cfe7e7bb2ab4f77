#pragma once

#include "core/BatchRun.h"
#include "ui/layout/RunProgress.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <string_view>

class QProgressDialog;
class QWidget;

// Runs a batch on a worker thread while the window stays painted and shows its progress.
// Until the run ends, every press, key and close meant for the program's windows is
// dropped, so nothing the user could not see happen is replayed afterwards; only the
// progress dialog and the owner's own close get through.
class BackgroundRun : public QObject {
    Q_OBJECT
public:
    using Batch = std::function<BatchResult(BatchSink&)>;
    using Log = std::function<void(std::string_view)>;

    explicit BackgroundRun(QWidget* owner);

    // Returns when the batch has ended and every piece of its log has gone to log, in order.
    // Rethrows what the batch threw.
    BatchResult run(const Batch& batch, const Log& log);
    bool running() const { return m_running; }
    // Set when the run is to stop between two files; the batch watches it.
    const std::atomic<bool>& stopFlag() const { return m_progress.stopFlag(); }
    // The run stops between two files, as the progress dialog's cancel makes it.
    void cancel();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Sink;
    void showProgress(QProgressDialog& dialog) const;

    QWidget* m_owner;
    QProgressDialog* m_dialog = nullptr;
    bool m_running = false;
    layout::RunProgress m_progress;
};
