#include "core/RunLog.h"

#include "core/ShownNames.h"

#include <algorithm>

FileFailure failureOf(const FileError& e, const platform::System& system) {
    std::string reason = e.reason();
    // Something done in the folder ("create a temporary file in") failed, not the file itself: say where.
    if (e.operation().ends_with(" in")) {
        std::string folder = e.path();
        if (folder.size() > 1 && system.paths.isSeparator(folder.back()))
            folder.pop_back();
        reason = "cannot " + e.operation() + " " + shownPath(folder, system.charsets, system.paths) + ": " +
                 reason;
    }
    return {{}, {}, reason, e.error(), e.refusal(), e.subject()};
}

FileFailure failureBelow(const std::string& folder, const std::string& relative, const FileError& e,
                         const platform::System& system) {
    FileFailure failure = failureOf(e, system);
    failure.name = shownPath(relative, system.charsets, system.paths);
    failure.path = folder + relative;
    failure.folder = !relative.empty() && system.paths.isSeparator(relative.back());
    return failure;
}

std::string BatchSink::leftAloneText(LeftAlone why) const {
    switch (why) {
    case LeftAlone::HoldsNew:
        return "already holds the new code";
    case LeftAlone::LacksOld:
        return "lacks the old code";
    case LeftAlone::NotHeld:
        break;
    }
    return "未含此代码";
}

std::string BatchSink::lacksOldCount(std::size_t files) const {
    return std::to_string(files) + (files == 1 ? " file lacks" : " files lack") + " the old code.";
}

std::string fileLine(const std::string& name, FolderEditor::Pending::Skip skip, const BatchSink& sink) {
    switch (skip) {
    case FolderEditor::Pending::Skip::HoldsNew:
        return name + "（" + sink.leftAloneText(LeftAlone::HoldsNew) + "）\r\n";
    case FolderEditor::Pending::Skip::LacksOld:
        return name + "（" + sink.leftAloneText(LeftAlone::LacksOld) + "）\r\n";
    case FolderEditor::Pending::Skip::AlreadyHeld:
        return name + "（已含此代码，未再添加）\r\n";
    case FolderEditor::Pending::Skip::NotHeld:
        return name + "（" + sink.leftAloneText(LeftAlone::NotHeld) + "）\r\n";
    case FolderEditor::Pending::Skip::None:
        break;
    }
    const std::string word = sink.changedText();
    return word.empty() ? name + "\r\n" : name + "（" + word + "）\r\n";
}

void countFile(BatchResult& result, FolderEditor::Pending::Skip skip) {
    using Skip = FolderEditor::Pending::Skip;
    ++(skip == Skip::AlreadyHeld || skip == Skip::HoldsNew ? result.alreadyHeld
       : skip == Skip::NotHeld                             ? result.notHeld
       : skip == Skip::LacksOld                            ? result.lacksOld
                                                           : result.changed);
}

std::string failureLine(const std::string& name, const std::string& reason) {
    return name + "（未能处理：" + reason + "）\r\n";
}

std::string noteLine(const std::string& name, const std::string& attribute, const std::string& reason) {
    if (attribute.empty())
        return name + "（已添加；" + reason + "）\r\n";
    return name + "（已添加，但未能复制扩展属性 " + attribute + "：" + reason + "）\r\n";
}

std::string closingLines(const BatchResult& result, const BatchSink& sink) {
    std::string closing = "\r\n处理了" + std::to_string(result.changed) + "个文件。";
    if (result.alreadyHeld > 0)
        closing += "\r\n有" + std::to_string(result.alreadyHeld) + "个文件已含此代码，未再添加。";
    if (result.lacksOld > 0)
        closing += "\r\n" + sink.lacksOldCount(result.lacksOld);
    const auto folders = static_cast<std::size_t>(
        std::count_if(result.failures.begin(), result.failures.end(), [](auto& f) { return f.folder; }));
    if (result.failures.size() > folders)
        closing += "\r\n有" + std::to_string(result.failures.size() - folders) + "个文件未能处理。";
    if (folders > 0)
        closing += "\r\n有" + std::to_string(folders) + "个文件夹未能处理。";
    if (result.outcome == BatchResult::Outcome::Cancelled)
        closing += "\r\n" + std::string(kCancelledLine);
    closing += "\r\n" + std::string(kThanksLine);
    return closing;
}
