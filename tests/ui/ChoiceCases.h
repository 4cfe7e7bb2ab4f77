#pragma once

// The choices of the windows that shape a run, one table for the Qt window test and the Win32
// window driver: the choices clicked in turn in a fresh session (the folder confirmed, the code
// "C"), the log the run adds (LF line breaks, '/' between folder and name; null: nothing logged),
// the message box that follows (none: null; a notice, not a warning: notice) and files after the
// run. Choices: an option or check box by name (the code window's first), "NAME=TEXT" typed into a
// box (the code window's Text1 and Text2 are the code and the old code), "Pick" (CmdOpen), "Tick"
// (the picker's subfolder box), "Confirm" and "Close" (the picker's button and title bar);
// "ReadOnly=NAME" makes a file read-only first. Below it, the data of the scenarios both tests run.
#include "StepwickVersion.h"
#include "forms/FormDesigns.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace windowcases {

using Files = std::vector<std::pair<std::string, std::string>>;

struct ChoiceCase {
    const char* choices;
    const char* log;
    Files after;
    const char* box = nullptr;
    bool notice = false;
};

inline const std::string kPage = "<head>\r\n</head>\r\n<body>\r\nC\r\n</body>\r\n";
inline const Files kChoiceFiles = {{"a.txt", "C\r\n"},     {"b.txt", "l1\nl2"}, {"p.txt", "#!/bin/sh\nx\n"},
                                   {"sub/d.txt", "s\r\n"}, {"x.cgi", ""},       {"w.pl", ""},
                                   {"v.asp", ""},          {"u.php", ""},       {"y.htm", kPage},
                                   {"z.htm", ""}};

inline const std::vector<ChoiceCase>& choiceCases() {
    static const char* all = "a.txt\nb.txt\np.txt\n\n处理了3个文件。";
    static const char* deep = "a.txt\nb.txt\np.txt\nsub/d.txt\n\n处理了4个文件。";
    static const char* once =
        "a.txt（已含此代码，未再添加）\nb.txt\np.txt\n\n处理了2个文件。\n有1个文件已含此代码，未再添加。";
    static const char* failed = "有1个文件未能处理，详见记录。";
    static const std::vector<ChoiceCase> cases = {
        {"Ohead",
         all,
         {{"a.txt", "C\r\nC\r\n"}, {"b.txt", "C\r\nl1\nl2\r\n"}, {"p.txt", "C\r\n#!/bin/sh\nx\n"}}},
        {"Ohead Check1", once, {{"a.txt", "C\r\n"}, {"b.txt", "C\r\nl1\nl2\r\n"}}},
        // Either placement option keeps the end of a file without a last line break.
        {"Ohead Check2", all, {{"p.txt", "#!/bin/sh\nC\r\nx\n"}, {"b.txt", "C\r\nl1\nl2"}}},
        {"Ohead Check3", all, {{"b.txt", "C\nl1\nl2"}, {"a.txt", "C\r\nC\r\n"}}},
        {"Check1", once, {{"a.txt", "C\r\n"}, {"b.txt", "l1\nl2C\r\n"}, {"sub/d.txt", "s\r\n"}}},
        // The picker's subfolder box: confirmed, reopened showing it, closed, left open, unticked.
        {"Pick Tick Confirm", deep, {{"sub/d.txt", "s\r\nC\r\n"}}},
        {"Pick Tick Confirm Pick Close", deep, {{"sub/d.txt", "s\r\nC\r\n"}}},
        {"Pick Tick", deep, {{"sub/d.txt", "s\r\nC\r\n"}}},
        {"Pick Tick Confirm Pick Tick Close", all, {{"sub/d.txt", "s\r\n"}}},
        {"Pick Tick Confirm Pick Tick", all, {{"sub/d.txt", "s\r\n"}}},
        // HTM, then Other: TOther's text is searched, as it stands or typed anew; a preset ignores it.
        {"Option2 OOther", "x.cgi\n\n处理了1个文件。", {{"x.cgi", "C\r\n"}, {"z.htm", ""}}},
        {"OOther TOther=pl", "w.pl\n\n处理了1个文件。", {{"w.pl", "C\r\n"}, {"x.cgi", ""}}},
        {"OOther TOther=pl;asp",
         "v.asp\nw.pl\n\n处理了2个文件。",
         {{"v.asp", "C\r\n"}, {"w.pl", "C\r\n"}, {"x.cgi", ""}}},
        {"OOther TOther=pl Option3", "v.asp\n\n处理了1个文件。", {{"v.asp", "C\r\n"}, {"w.pl", ""}}},
        {"OOther Option1", all, {{"a.txt", "C\r\nC\r\n"}, {"x.cgi", ""}}},
        {"Option4", "u.php\n\n处理了1个文件。", {{"u.php", "C\r\n"}, {"a.txt", "C\r\n"}}},
        {"OOther TOther=../x", nullptr, {{"a.txt", "C\r\n"}}, "扩展名中不能有“/”或“\\”，没有文件被修改。"},
        {"OOther TOther=..\\x", nullptr, {{"a.txt", "C\r\n"}}, "扩展名中不能有“/”或“\\”，没有文件被修改。"},
        // A file that cannot be changed is logged with its reason, the others changed, one message.
        {"ReadOnly=b.txt",
         "a.txt\nb.txt（未能处理：只读文件）\np.txt\n\n处理了2个文件。\n有1个文件未能处理。",
         {{"a.txt", "C\r\nC\r\n"}, {"b.txt", "l1\nl2"}, {"p.txt", "#!/bin/sh\nx\nC\r\n"}},
         failed},
        {"ReadOnly=b.txt Ohead",
         "a.txt\nb.txt（未能处理：只读文件）\np.txt\n\n处理了2个文件。\n有1个文件未能处理。",
         {{"a.txt", "C\r\nC\r\n"}, {"b.txt", "l1\nl2"}, {"p.txt", "C\r\n#!/bin/sh\nx\n"}},
         failed},
        // The four positions are one choice over two frames; a file without the marker fails.
        {"Option2 OBodyEnd Ofeet",
         "y.htm\nz.htm\n\n处理了2个文件。",
         {{"y.htm", kPage + "C\r\n"}, {"z.htm", "C\r\n"}}},
        {"Option2 Ohead OHeadEnd",
         "y.htm\nz.htm（未能处理：没有找到 </head>）\n\n处理了1个文件。\n有1个文件未能处理。",
         {{"y.htm", "<head>\r\nC\r\n</head>\r\n<body>\r\nC\r\n</body>\r\n"}, {"z.htm", ""}},
         failed},
        // Each action words what it did to each file.
        {"Option2 OBodyEnd ORemove",
         "y.htm（移除）\nz.htm（未能处理：没有找到 </body>）\n\n处理了1个文件。\n有1个文件未能处理。",
         {{"y.htm", "<head>\r\n</head>\r\n<body>\r\n</body>\r\n"}, {"z.htm", ""}},
         failed},
        {"ORemove",
         "a.txt（移除）\nb.txt（缺少代码）\np.txt（缺少代码）\n\n处理了1个文件。",
         {{"a.txt", ""}, {"b.txt", "l1\nl2"}}},
        {"OReplace Text2=x Check3",
         "a.txt（已是新代码）\nb.txt（缺少旧代码）\np.txt（替换）\n\n处理了1个文件。\n"
         "有1个文件已含此代码，未再添加。\n有1个文件缺少旧代码。",
         {{"a.txt", "C\r\n"}, {"b.txt", "l1\nl2"}, {"p.txt", "#!/bin/sh\nC\n"}}},
        {"Ohead OCheck",
         "b.txt（缺少代码）\np.txt（缺少代码）\n\n检查：有2个文件缺少代码，没有文件被修改。",
         {{"a.txt", "C\r\n"}, {"b.txt", "l1\nl2"}, {"p.txt", "#!/bin/sh\nx\n"}}},
        {"Ohead Check1 CheckPreview",
         "b.txt\np.txt\n\n预览：运行将修改2个文件，没有文件被修改。",
         {{"a.txt", "C\r\n"}, {"b.txt", "l1\nl2"}, {"p.txt", "#!/bin/sh\nx\n"}}},
        // Exclusions by name and by path below the folder, with wildcards, separated by ';'.
        {"Pick Tick Confirm TExclude=b.*;sub/*",
         "a.txt\np.txt\n\n处理了2个文件。",
         {{"a.txt", "C\r\nC\r\n"}, {"b.txt", "l1\nl2"}, {"sub/d.txt", "s\r\n"}}},
        // A code that is empty, only line breaks, or holds a control character is refused.
        {"Text1=", nullptr, {{"a.txt", "C\r\n"}}, "请先输入拟添代码。", true},
        {"Text1=\r\n\r\n", nullptr, {{"a.txt", "C\r\n"}}, "请先输入拟添代码。", true},
        {"Text1=a\fb",
         nullptr,
         {{"a.txt", "C\r\n"}},
         "代码中有控制字符（只能有制表符和换行），没有文件被修改。\nthe code holds the control character "
         "U+000C "
         "(of those, only tab, CR and LF may be in it)"},
        // A replacement without an old code, or with the new code as the old, touches nothing.
        {"OReplace",
         nullptr,
         {{"a.txt", "C\r\n"}},
         "无法照此要求运行，没有文件被修改。\nthe old code is empty or holds a control character"},
        {"OReplace Text2=C",
         nullptr,
         {{"a.txt", "C\r\n"}},
         "无法照此要求运行，没有文件被修改。\nthe old code and the new one are the same"},
    };
    return cases;
}

// A name of the code window's rows is its control, any other the main window's.
inline bool inTexts(std::string_view name) {
    return std::ranges::any_of(layout::kTexts.controls,
                               [&](const layout::Control& c) { return c.name == name; });
}

inline constexpr const char* kPlaceholder = "在这里输入欲添加的字符。"; // the code until one is typed
inline constexpr const char* kNoFolder = "请选择一个目录，以便于我们找到文件。"; // a start without a folder
inline constexpr const char* kCancelled = "已取消，其余文件未作改动。";

// The code window's notice for a code held aside, too long to edit there.
inline std::string heldAside(std::size_t characters) {
    return "代码共" + std::to_string(characters) + "个字符，太长无法在此编辑；可粘贴替换或清除。";
}

// That many files "x\r\n" named PREFIX1000.txt on, in the order a run takes them.
inline Files numbered(const char* prefix, int count) {
    Files files;
    for (int i = 0; i < count; ++i)
        files.emplace_back(prefix + std::to_string(1000 + i) + ".txt", "x\r\n");
    return files;
}

// The log of one run that changed every one of the files (the table's spelling).
inline std::string changedAll(const Files& files) {
    std::string log;
    for (const auto& [name, bytes] : files)
        log += name + "\n";
    return log + "\n处理了" + std::to_string(files.size()) + "个文件。";
}

// About's links and the main window's home-page button, clicked in turn: the address each opens.
struct Link {
    const char* control;
    bool inAbout;
    std::string address;
};
inline const std::vector<Link> kLinks = {{"Label4", true, stepwick::kCompanyUrl},
                                         {"Label6", true, stepwick::kAuthorUrl},
                                         {"Label7", true, std::string("mailto:") + stepwick::kAuthorMail},
                                         {"Command3", false, stepwick::kAuthorUrl}};

} // namespace windowcases
