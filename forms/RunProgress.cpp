#include "forms/RunProgress.h"
#include "forms/Wording.h"

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
    return std::string(why == LeftAlone::HoldsNew ? kHoldsNewCode : kLacksOldCode);
}

std::string ProgressSink::lacksOldCount(std::size_t files) const { return lacksOldSummary(files); }

} // namespace layout
