#pragma once

#include "core/BatchRun.h"

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

struct Mod;

namespace layout {

// The file-type options and the type each sets in Mod::FileExt when it becomes the selected one.
struct TypePreset {
    std::string_view option;
    std::string_view type;
};
inline constexpr TypePreset kTypePresets[] = {
    {"Option1", "txt"}, {"Option2", "htm"}, {"Option3", "asp"}, {"Option4", "php"}};

// What the windows hold when a run is started, as each front end reads it off its controls; the
// folder, its subfolders and the preset file type come from Mod: a folder only once one was
// confirmed.
struct WindowChoices {
    bool otherType = false;       // OOther is the file type: TOther's text names it
    std::string otherText;        // TOther, UTF-8
    bool head = false;            // Ohead rather than Ofeet
    bool once = false;            // the code window's 不重复添加
    bool afterPreamble = false;   // 保留首行声明
    bool matchLineBreaks = false; // 换行与文件一致
    std::string code;             // the code window's text, UTF-8, any line breaks
    // The action (添加, 替换, 移除, 检查); once counts for 添加 only.
    enum class Action { Add, Replace, Remove, Check };
    Action action = Action::Add;
    std::string oldCode; // 替换: the old code, UTF-8, any line breaks
    // The positions </head>前 and </body>前, which stand for head and foot when chosen.
    enum class Beside { None, HeadEnd, BodyEnd };
    Beside beside = Beside::None;
    std::vector<std::string> exclude; // UTF-8, as typed (exclusionList)
    bool preview = false;             // 预览: list what the run would change, change nothing
};

// The action options and what each asks for.
struct ActionOption {
    std::string_view option;
    WindowChoices::Action action;
};
inline constexpr ActionOption kActionOptions[] = {{"OAdd", WindowChoices::Action::Add},
                                                  {"OReplace", WindowChoices::Action::Replace},
                                                  {"ORemove", WindowChoices::Action::Remove},
                                                  {"OCheck", WindowChoices::Action::Check}};

// The marker options and the marker each names.
struct BesideOption {
    std::string_view option;
    WindowChoices::Beside beside;
};
inline constexpr BesideOption kBesideOptions[] = {{"OHeadEnd", WindowChoices::Beside::HeadEnd},
                                                  {"OBodyEnd", WindowChoices::Beside::BodyEnd}};

// The positions are one choice, though the marker options stand in a frame of their own.
inline constexpr std::string_view kPositionOptions[] = {"Ohead", "Ofeet", "OHeadEnd", "OBodyEnd"};

// The patterns of TExclude's text (UTF-8): between the ';'s, blanks around them dropped; an empty
// one names nothing.
std::vector<std::string> exclusionList(std::string_view text);

// The run the windows' choices ask for: the one mapping from the windows' controls to a request,
// shared by the Qt and the Win32 windows. The code is taken as it stands now: the run takes no
// input while it lasts.
BatchInput runRequest(const Mod& mod, const WindowChoices& choices, const std::atomic<bool>* stop);

} // namespace layout
