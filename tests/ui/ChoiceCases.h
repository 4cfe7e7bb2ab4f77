#pragma once

// The choices of the windows that shape a run, one table for the Qt window test and the Win32
// window driver: the choices clicked in turn in a fresh session (the folder confirmed, the code
// "C"), the log the run adds (LF line breaks, '/' between folder and name; null: refused with the
// bad-extension message) and files after the run. Choices: an option or check box by name, "=TEXT"
// typed into TOther, "Pick" (CmdOpen), "Tick" (the picker's subfolder box), "Confirm" and "Close"
// (the picker's button and title bar).
#include <string>
#include <utility>
#include <vector>

namespace windowcases {

using Files = std::vector<std::pair<std::string, std::string>>;

struct ChoiceCase {
    const char* choices;
    const char* log;
    Files after;
};

inline const Files kChoiceFiles = {{"a.txt", "C\r\n"},     {"b.txt", "l1\nl2"}, {"p.txt", "#!/bin/sh\nx\n"},
                                   {"sub/d.txt", "s\r\n"}, {"x.cgi", ""},       {"w.pl", ""},
                                   {"v.asp", ""},          {"u.php", ""},       {"z.htm", ""}};

inline const std::vector<ChoiceCase>& choiceCases() {
    static const char* all = "a.txt\nb.txt\np.txt\n\n处理了3个文件。";
    static const char* deep = "a.txt\nb.txt\np.txt\nsub/d.txt\n\n处理了4个文件。";
    static const char* once =
        "a.txt（已含此代码，未再添加）\nb.txt\np.txt\n\n处理了2个文件。\n有1个文件已含此代码，未再添加。";
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
        {"OOther =pl", "w.pl\n\n处理了1个文件。", {{"w.pl", "C\r\n"}, {"x.cgi", ""}}},
        {"OOther =pl;asp",
         "v.asp\nw.pl\n\n处理了2个文件。",
         {{"v.asp", "C\r\n"}, {"w.pl", "C\r\n"}, {"x.cgi", ""}}},
        {"OOther =pl Option3", "v.asp\n\n处理了1个文件。", {{"v.asp", "C\r\n"}, {"w.pl", ""}}},
        {"OOther Option1", all, {{"a.txt", "C\r\nC\r\n"}, {"x.cgi", ""}}},
        {"Option4", "u.php\n\n处理了1个文件。", {{"u.php", "C\r\n"}, {"a.txt", "C\r\n"}}},
        {"Option2", "z.htm\n\n处理了1个文件。", {{"z.htm", "C\r\n"}}},
        {"OOther =../x", nullptr, {{"a.txt", "C\r\n"}}},
        {"OOther =..\\x", nullptr, {{"a.txt", "C\r\n"}}},
    };
    return cases;
}

} // namespace windowcases
