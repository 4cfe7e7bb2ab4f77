#include "forms/RunOutcome.h"

#include "forms/Wording.h"

#include <algorithm>

namespace layout {

namespace {

using Outcome = BatchResult::Outcome;
using Icon = RunMessage::Icon;

// Followed by a line with the core's reason.
RunMessage withReason(std::string_view text, const BatchResult& result) {
    return {std::string(text) + "\n" + result.error, Icon::Warning};
}

RunMessage afterRun(const BatchResult& result) {
    if (result.failures.empty())
        return {};
    const auto folders = std::size_t(std::count_if(result.failures.begin(), result.failures.end(),
                                                   [](const FileFailure& f) { return f.folder; }));
    return {failureSummary(result.failures.size() - folders, folders), Icon::Warning};
}

} // namespace

RunMessage outcomeMessage(const BatchResult& result) {
    switch (result.outcome) {
    case Outcome::EmptyCode:
        return {std::string(kCodeIsEmpty), Icon::Information};
    case Outcome::NoFolder:
        return {std::string(kNoFolder), Icon::Information, /*showPicker=*/true};
    case Outcome::BadExtension:
        return {std::string(kBadExtension), Icon::Warning};
    case Outcome::FolderUnreadable:
        return withReason(kFolderUnreadable, result);
    case Outcome::FolderBusy:
        return {std::string(kFolderBusy), Icon::Information};
    case Outcome::CodeNotEncodable:
        return withReason(kCodeNotEncodable, result);
    case Outcome::ControlInCode:
        return withReason(kControlInCode, result);
    case Outcome::BadRequest:
        return withReason(kBadRequest, result);
    case Outcome::Completed:
    case Outcome::Cancelled:
        break;
    }
    return afterRun(result);
}

std::string LogText::append(std::string_view piece) {
    std::string text = m_pendingCr ? "\r" : "";
    text += piece;
    m_pendingCr = text.ends_with('\r');
    if (m_pendingCr)
        text.pop_back();
    if (m_breaks == Breaks::CrLf)
        return text;
    std::string lf;
    lf.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n')
            lf += text[i];
    return lf;
}

} // namespace layout
