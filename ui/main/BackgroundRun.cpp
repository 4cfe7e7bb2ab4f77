#include "ui/main/BackgroundRun.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <exception>
#include <string>
#include <thread>

namespace {
constexpr int kShowAfterMs = 500;
constexpr int kRefreshMs = 100;
constexpr std::size_t kSteps = 1000;

bool isUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

int clamped(std::size_t n) { return int(std::min<std::size_t>(n, INT_MAX)); }
} // namespace

// Lives on the worker thread: log pieces are queued to the window's thread in their order,
// progress is left for the window to pick up, the cancel is read back.
class BackgroundRun::Sink : public layout::ProgressSink {
public:
    Sink(BackgroundRun& run, const Log& log) : ProgressSink(run.m_progress), m_run(run), m_log(log) {}
    void appendLog(std::string_view text) override {
        QMetaObject::invokeMethod(
            &m_run, [log = &m_log, piece = std::string(text)] { (*log)(piece); }, Qt::QueuedConnection);
    }

private:
    BackgroundRun& m_run;
    const Log& m_log;
};

BackgroundRun::BackgroundRun(QWidget* owner) : QObject(owner), m_owner(owner) {}

BatchResult BackgroundRun::run(const Batch& batch, const Log& log) {
    m_progress.reset();
    QProgressDialog dialog(QStringLiteral("正在添加代码……"), QStringLiteral("取消"), 0, 0, m_owner);
    dialog.setObjectName(QStringLiteral("Progress"));
    dialog.setWindowTitle(QStringLiteral(":)"));
    // Above every window of the program, the always-on-top About included.
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog.setMinimumDuration(kShowAfterMs);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setValue(0);
    connect(&dialog, &QProgressDialog::canceled, this, [this] { m_progress.requestStop(); });
    QTimer refresh;
    connect(&refresh, &QTimer::timeout, this, [this, &dialog] { showProgress(dialog); });
    refresh.start(kRefreshMs);

    QEventLoop loop;
    BatchResult result;
    std::exception_ptr failure;
    // Where no thread can be had the run does not start, and the window stays as it was.
    std::thread worker([&] {
        Sink sink(*this, log);
        try {
            result = batch(sink);
        } catch (...) {
            failure = std::current_exception();
        }
        // Queued behind the last piece of the log.
        QMetaObject::invokeMethod(
            this, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    m_dialog = &dialog;
    m_running = true;
    qApp->installEventFilter(this);
    loop.exec();
    worker.join();
    qApp->removeEventFilter(this);
    m_running = false;
    m_dialog = nullptr;
    if (failure)
        std::rethrow_exception(failure);
    return result;
}

void BackgroundRun::cancel() {
    if (m_dialog)
        m_dialog->cancel();
    m_progress.requestStop();
}

void BackgroundRun::showProgress(QProgressDialog& dialog) const {
    if (dialog.wasCanceled())
        return;
    const layout::RunProgress::Bar bar = m_progress.bar(kSteps);
    if (dialog.maximum() != clamped(bar.maximum))
        dialog.setMaximum(clamped(bar.maximum));
    dialog.setValue(clamped(bar.value));
}

bool BackgroundRun::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!m_running || !widget || (m_dialog && (widget == m_dialog || m_dialog->isAncestorOf(widget))))
        return false;
    if (event->type() == QEvent::Close && widget != m_owner) {
        // Closing the picker would change the folder under the run.
        event->ignore();
        return true;
    }
    return isUserInput(event->type());
}
