#include "forms/RunChoices.h"

#include "core/CodeText.h"
#include "core/Mod.h"

namespace layout {

BatchInput runRequest(const Mod& mod, const WindowChoices& choices, const std::atomic<bool>* stop) {
    BatchInput input;
    input.folder = mod.TargetDir;
    input.recursive = mod.Recursive;
    input.types = {choices.otherType ? choices.otherText : mod.FileExt};
    input.action = choices.once ? RunAction::AddOnce : RunAction::Add;
    // The preamble is kept at the head only; a foot goes behind the last byte whatever is ticked.
    if (!choices.head)
        input.place = CodeAt::Foot;
    else
        input.place = choices.afterPreamble ? CodeAt::HeadAfterPreamble : CodeAt::Head;
    input.eol = choices.matchLineBreaks ? LineBreakMode::Match : LineBreakMode::CrLf;
    input.code = [code = toCrLf(choices.code)] { return code; };
    input.stop = stop;
    return input;
}

} // namespace layout
