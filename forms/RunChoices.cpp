#include "forms/RunChoices.h"

#include "core/CodeText.h"
#include "core/Mod.h"
#include "core/NameFilter.h"

#include <algorithm>

namespace layout {

namespace {

RunAction actionOf(const WindowChoices& choices) {
    switch (choices.action) {
    case WindowChoices::Action::Add:
        break;
    case WindowChoices::Action::Replace:
        return RunAction::Replace;
    case WindowChoices::Action::Remove:
        return RunAction::Remove;
    case WindowChoices::Action::Check:
        return RunAction::Check;
    }
    return choices.once ? RunAction::AddOnce : RunAction::Add;
}

} // namespace

std::vector<std::string> exclusionList(std::string_view text) {
    std::vector<std::string> patterns;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(';'), text.size());
        std::string_view pattern = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        const std::size_t first = pattern.find_first_not_of(" \t");
        if (first == std::string_view::npos)
            continue;
        pattern = pattern.substr(first, pattern.find_last_not_of(" \t") + 1 - first);
        patterns.emplace_back(pattern);
    }
    return patterns;
}

BatchInput runRequest(const Mod& mod, const WindowChoices& choices, const std::atomic<bool>* stop) {
    BatchInput input;
    if (mod.DirChosen)
        input.folder = mod.TargetDir;
    input.recursive = mod.recursive;
    // TOther takes "htm;php" as well as "htm,php".
    input.types =
        choices.otherType ? extensionList(choices.otherText) : std::vector<std::string>{mod.FileExt};
    input.exclude = choices.exclude;
    input.action = actionOf(choices);
    input.listOnly = choices.preview;
    input.oldCode = toCrLf(choices.oldCode);
    // The preamble is kept at the head only; a foot goes behind the last byte whatever is ticked.
    if (choices.beside != WindowChoices::Beside::None) {
        input.place = CodeAt::BeforeMarker;
        input.marker = choices.beside == WindowChoices::Beside::HeadEnd ? "</head>" : "</body>";
    } else if (!choices.head)
        input.place = CodeAt::Foot;
    else
        input.place = choices.afterPreamble ? CodeAt::HeadAfterPreamble : CodeAt::Head;
    input.eol = choices.matchLineBreaks ? LineBreakMode::Match : LineBreakMode::CrLf;
    input.code = [code = toCrLf(choices.code)] { return code; };
    input.stop = stop;
    return input;
}

} // namespace layout
