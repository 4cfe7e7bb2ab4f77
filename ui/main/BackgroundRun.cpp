#include "ui/main/BackgroundRun.h"

#include "forms/Wording.h"
#include "ui/widgets/DesignUnits.h"

#include <QApplication>
#include <QEvent>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <climits>
#include <string>
#include <system_error>
#include <utility>

namespace {
constexpr int kShowAfterMs = 500;
constexpr int kRefreshMs = 100;
constexpr std::size_t kSteps = 1000;

int clamped(std::size_t n) { return int(std::min<std::size_t>(n, INT_MAX)); }
} // namespace

// Lives on the worker thread: log pieces are queued to the windows' thread in their order,
// progress is left for the dialog to pick up, the cancel is read back.
class BackgroundRun::Sink : public layout::ProgressSink {
public:
    explicit Sink(BackgroundRun& run) : ProgressSink(run.m_progress), m_run(run) {}
    void appendLog(std::string_view text) override {
        QMetaObject::invokeMethod(
            &m_run, [run = &m_run, piece = std::string(text)] { run->m_log(piece); }, Qt::QueuedConnection);
    }

private:
    BackgroundRun& m_run;
};

BackgroundRun::BackgroundRun(QWidget* owner, Log log, Done done)
    : QObject(owner), m_owner(owner), m_log(std::move(log)), m_done(std::move(done)) {}

BackgroundRun::~BackgroundRun() {
    m_progress.requestStop();
    if (m_worker.joinable())
        m_worker.join();
}

bool BackgroundRun::start(Batch batch, const QList<QWidget*>& windows) {
    m_progress.reset();
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
            QMetaObject::invokeMethod(
                this, [this] { finish(); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_running = true;
    m_focus = QApplication::focusWidget();
    m_disabled.clear();
    for (QWidget* window : windows) {
        if (!window)
            continue;
        m_disabled << window;
        window->setEnabled(false);
        if (window != m_owner)
            window->installEventFilter(this);
    }
    QTimer::singleShot(kShowAfterMs, this, [this] { showProgress(); });
    return true;
}

void BackgroundRun::cancel() {
    if (m_dialog)
        m_dialog->cancel();
    m_progress.requestStop();
}

void BackgroundRun::finish() {
    m_worker.join();
    delete m_dialog;
    m_dialog = nullptr;
    // Input that reached the windows before the run ended is still on its way: it goes to them
    // while they are disabled, and only what comes after finds them taking input again.
    QMetaObject::invokeMethod(
        this, [this] { takeInputAgain(); }, Qt::QueuedConnection);
}

void BackgroundRun::takeInputAgain() {
    for (const QPointer<QWidget>& window : std::as_const(m_disabled)) {
        if (window) {
            window->removeEventFilter(this);
            window->setEnabled(true);
        }
    }
    m_disabled.clear();
    if (m_focus)
        m_focus->setFocus();
    m_done(m_result, m_failure);
    m_running = false;
}

// Above every window of the program, the always-on-top About included; a window of its own, so it
// takes input while its owner does not.
void BackgroundRun::showProgress() {
    if (!m_running || m_dialog || m_progress.stopFlag())
        return;
    m_dialog =
        new QProgressDialog(toQString(layout::kProgressLabel), toQString(layout::kCancel), 0, 0, m_owner);
    m_dialog->setObjectName(QStringLiteral("Progress"));
    m_dialog->setWindowTitle(toQString(layout::kMessageTitle));
    m_dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
    m_dialog->setEnabled(true);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumDuration(0);
    connect(m_dialog, &QProgressDialog::canceled, this, [this] { m_progress.requestStop(); });
    auto* refresh = new QTimer(m_dialog);
    connect(refresh, &QTimer::timeout, this, [this] { refreshProgress(); });
    refresh->start(kRefreshMs);
    refreshProgress();
    m_dialog->show();
}

void BackgroundRun::refreshProgress() {
    if (!m_dialog || m_dialog->wasCanceled())
        return;
    const layout::RunProgress::Bar bar = m_progress.bar(kSteps);
    if (m_dialog->maximum() != clamped(bar.maximum))
        m_dialog->setMaximum(clamped(bar.maximum));
    m_dialog->setValue(clamped(bar.value));
}

bool BackgroundRun::eventFilter(QObject* /*watched*/, QEvent* event) {
    if (event->type() != QEvent::Close)
        return false;
    // Closing the picker would confirm a folder while the run works in the last one.
    event->ignore();
    return true;
}
