#include "forms/RunProgress.h"
#include "forms/Wording.h"

#include "core/RunLog.h"
#include "core/ShownNames.h"
#include "forms/ReasonText.h"

#include <algorithm>

namespace layout {

void RunProgress::reset() {
    m_stop = false;
    m_done = 0;
    m_total = 0;
    m_fileDone = 0;
    m_fileTotal = 0;
}

RunProgress::Bar RunProgress::bar(std::size_t stepsPerFile) const {
    const std::size_t total = m_total, done = m_done;
    const std::uint64_t fileTotal = m_fileTotal, fileDone = std::min<std::uint64_t>(m_fileDone, fileTotal);
    // A large file reported before the first count is a file of its own.
    const std::size_t files = std::max<std::size_t>(total, fileTotal > 0 ? done + 1 : 0);
    const std::size_t within = fileTotal > 0 ? std::size_t(fileDone * stepsPerFile / fileTotal) : 0;
    const std::size_t maximum = files * stepsPerFile;
    return {maximum, std::min(done * stepsPerFile + within, maximum)};
}

bool ProgressSink::progress(std::size_t done, std::size_t total) {
    m_progress.m_fileTotal = 0;
    m_progress.m_total = total;
    m_progress.m_done = done;
    return !m_progress.m_stop;
}

void ProgressSink::fileProgress(std::uint64_t done, std::uint64_t total) {
    m_progress.m_fileDone = done;
    m_progress.m_fileTotal = total;
}

std::string ProgressSink::reasonText(const FileFailure& failure) const { return chineseReason(failure); }

std::string ProgressSink::leftAloneText(LeftAlone why) const {
    switch (why) {
    case LeftAlone::HoldsNew:
        return std::string(kHoldsNewCode);
    case LeftAlone::LacksOld:
        return std::string(kLacksOldCode);
    case LeftAlone::NotHeld:
        break;
    }
    return std::string(kLacksCode);
}

std::string ProgressSink::lacksOldCount(std::size_t files) const { return lacksOldSummary(files); }

std::string ProgressSink::changedText() const {
    switch (m_action) {
    case RunAction::Replace:
        return std::string(kReplaced);
    case RunAction::Remove:
        return std::string(kRemoved);
    case RunAction::Add:
    case RunAction::AddOnce:
    case RunAction::Check:
        break;
    }
    return {};
}

namespace {

// The files a preview or a check found, then those it could not read, then what it comes to.
BatchResult listFiles(const BatchInput& input, ProgressSink& sink, const platform::System& system) {
    std::vector<std::string> files;
    BatchResult result = previewBatch(input, files, system);
    if (result.outcome != BatchResult::Outcome::Completed)
        return result;
    const bool check = input.action == RunAction::Check;
    std::string log;
    for (const std::string& name : files)
        log += shownPath(name, system.charsets, system.paths) +
               (check ? "（" + std::string(kLacksCode) + "）\r\n" : "\r\n");
    for (const FileFailure& failure : result.failures)
        log += failureLine(failure.name, sink.reasonText(failure));
    log += "\r\n" + (check ? checkSummary(files.size()) : previewSummary(files.size()));
    sink.appendLog(log + "\r\n" + std::string(kThanksLine));
    return result;
}

} // namespace

BatchResult carryOut(const BatchInput& input, ProgressSink& sink, const platform::System& system) {
    if (input.listOnly || input.action == RunAction::Check)
        return listFiles(input, sink, system);
    sink.wordFor(input.action);
    return runBatch(input, sink, system);
}

} // namespace layout
