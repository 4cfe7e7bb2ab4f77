#pragma once

#include "forms/WindowDesign.h"

// The four windows, control by control, in tab order; the controls the Tab key never reaches
// follow. Places are in twips.
namespace layout {

inline constexpr std::string_view kExcludeTip =
    "不处理的文件和文件夹：名称（admin、*.min.js）或所选目录下的路径（vendor/*），"
    "* 代表任意个字符，? 代表一个字符；多个之间用 ; 分隔";
inline constexpr std::string_view kPreviewTip = "只列出运行将修改的文件，不修改任何文件";

inline constexpr Control kMainFormControls[] = {
    {"Label1", Kind::Label, "", "Stepwick!", {2760, 120, 2535, 975}, 0, kArialHeading, kDarkGreen},
    {"l2", Kind::Label, "", "代码批量添加器", {3600, 1080, 2775, 495}, 1, kSong12, kDarkGreen},
    {"Text1", Kind::LogBox, "", "被处理的文件\r\n", {4320, 1560, 1695, 2655}, 2, kSong9},
    {"Frame1", Kind::Frame, "", "选择文件", {120, 1800, 1935, 1215}, 3, kSong9},
    {"CmdOpen", Kind::Button, "Frame1", "选择一个文件夹", {240, 360, 1455, 495}, 4, kSong9},
    {"Frame2", Kind::Frame, "", "欲添加的代码", {2280, 1800, 1815, 1215}, 5, kSong9},
    {"CmdAdd", Kind::Button, "Frame2", "输入拟添代码", {240, 360, 1335, 495}, 6, kSong9},
    {"Command2", Kind::PictureButton, "", "开始添加.", {120, 4440, 975, 975}, 7, kSong9, {}, "command2"},
    {"Command1", Kind::PictureButton, "", "关于软件.", {1200, 4440, 975, 975}, 8, kSong9, {}, "command1"},
    {"Command3", Kind::PictureButton, "", "作者主页.", {2280, 4440, 975, 975}, 9, kSong9, {}, "command3"},
    {"Command4", Kind::PictureButton, "", "退出...", {3360, 4440, 975, 975}, 10, kSong9, {}, "command4"},
    {"Frame3", Kind::Frame, "", "添加位置", {2280, 3120, 1815, 1095}, 11, kSong9},
    {"Frame4", Kind::Frame, "", "文件类型", {120, 3120, 1935, 1095}, 12, kSong9},
    // The file-type options and the extension box take the window's font, not their frame's.
    {"Option1", Kind::Option, "Frame4", "TXT", {120, 240, 1455, 255}, 13, {}, {}, {}, true},
    {"Option2", Kind::Option, "Frame4", "HTM", {120, 480, 1575, 255}, 14},
    {"Option3", Kind::Option, "Frame4", "ASP", {960, 240, 735, 255}, 15},
    {"Option4", Kind::Option, "Frame4", "PHP", {960, 480, 855, 255}, 16},
    {"OOther", Kind::Option, "Frame4", "Other:", {120, 720, 855, 255}, 17},
    {"TOther", Kind::TextBox, "Frame4", "CGI", {960, 720, 855, 270}, 18},
    {"Ohead", Kind::Option, "Frame3", "文件头", {240, 360, 1335, 255}, 19, kSong9},
    {"Ofeet", Kind::Option, "Frame3", "文件尾", {240, 720, 1455, 255}, 20, kSong9, {}, {}, true},
    {"Label3", Kind::Label, "", "Powered by", {4560, 4800, 1695, 255}, 21, {}, kGrey},
    {"Label4", Kind::Label, "", "Morlend. Harnel", {4680, 5160, 1455, 255}, 22, {}, kGrey},
    {"Check1", Kind::CheckBox, "", "置顶本程序", {4560, 4440, 1695, 255}, 23},
    // The banner: sizes itself to its caption, left-aligned; this caption until the first tick.
    {"ADL",
     Kind::Label,
     "",
     "Morlend Inc. Stepwick！ 代码批量添加器 Second Version",
     {1080, 5520, 4110, 225},
     24},
    // What the run does, where beside a marker, what it leaves out, and whether it only previews: a
    // column of its own right of the log, its rows on the grid of the design's rows. The marker
    // options are one choice with Ohead and Ofeet (kPositionOptions).
    {"Frame5", Kind::Frame, "", "操作", {6240, 1800, 1935, 1215}, 25, kSong9},
    {"OAdd", Kind::Option, "Frame5", "添加", {240, 360, 735, 255}, 26, kSong9, {}, {}, true},
    {"OReplace", Kind::Option, "Frame5", "替换", {1080, 360, 735, 255}, 27, kSong9},
    {"ORemove", Kind::Option, "Frame5", "移除", {240, 720, 735, 255}, 28, kSong9},
    {"OCheck", Kind::Option, "Frame5", "检查", {1080, 720, 735, 255}, 29, kSong9},
    {"Frame6", Kind::Frame, "", "标记位置", {6240, 3120, 1935, 1095}, 30, kSong9},
    {"OHeadEnd", Kind::Option, "Frame6", "</head>前", {240, 360, 1455, 255}, 31, kSong9},
    {"OBodyEnd", Kind::Option, "Frame6", "</body>前", {240, 720, 1455, 255}, 32, kSong9},
    {"Label5",
     Kind::Label,
     "",
     "排除（用;分隔）：",
     {6240, 4440, 1935, 255},
     33,
     kSong9,
     {},
     {},
     false,
     kExcludeTip},
    {"TExclude", Kind::TextBox, "", "", {6240, 4800, 1935, 270}, 34, {}, {}, {}, false, kExcludeTip},
    {"CheckPreview",
     Kind::CheckBox,
     "",
     "预览",
     {6240, 5160, 1935, 255},
     35,
     kSong9,
     {},
     {},
     false,
     kPreviewTip},
    {"Image1", Kind::Image, "", "", {240, 240, 2205, 1035}, kNoTab, {}, {}, "logo"},
    // One broken rule above the row of frames.
    {"Line1", Kind::Line, "", "", {120, 1560, 2160, 0}},
    {"Line2", Kind::Line, "", "", {2400, 1560, 960, 0}},
    {"Line3", Kind::Line, "", "", {3480, 1560, 600, 0}},
    {"Line4", Kind::Line, "", "", {6240, 1560, 1935, 0}}, // over the column right of the log
    {"Timer1", Kind::Timer, "", "", {0, 0, 0, 0}},
};

// The design's 6195 twips wide and the column right of the log, with the design's margin (180).
inline constexpr Window kMainForm{"MainForm", "Stepwick", 8355,    5820,
                                  false,      false,      kArial9, kMainFormControls};

// The design's two controls, then the run's three options below the confirm button and the old
// code that 替换 takes out; the window is taller than the designed 5280 twips by their rows alone:
// below the old code it keeps the design's margin below the confirm button (105 twips).
inline constexpr Control kTextsControls[] = {
    {"Text1", Kind::CodeBox, "", "在这里输入欲添加的字符。", {240, 120, 6375, 4575}, 0},
    {"Command1", Kind::Button, "", "确认并返回", {5160, 4800, 1455, 375}, 1},
    {"Check1", Kind::CheckBox, "", "不重复添加", {240, 5280, 6375, 255}, 2},
    {"Check2", Kind::CheckBox, "", "保留首行声明（#!、<?xml、<!DOCTYPE）", {240, 5580, 6375, 255}, 3},
    {"Check3", Kind::CheckBox, "", "换行与文件一致", {240, 5880, 6375, 255}, 4},
    {"Label1", Kind::Label, "", "替换时的旧代码（选“替换”时可用）：", {240, 6180, 6375, 255}, 5},
    {"Text2", Kind::CodeBox, "", "", {240, 6480, 6375, 1935}, 6},
};

inline constexpr Window kTexts{"Texts", "添加代码", 6855, 8520, true, true, std::nullopt, kTextsControls};

// The design's four controls and the subfolder option below the lists, beside the confirm button:
// the window keeps the designed 6825 twips.
inline constexpr Control kFileBroControls[] = {
    {"Drive1", Kind::DriveList, "", "", {240, 240, 2535, 300}, 0},
    {"File1", Kind::FileList, "", "", {3000, 240, 2535, 5850}, 1},
    {"Dir1", Kind::DirList, "", "", {240, 720, 2535, 5340}, 2},
    {"Command1", Kind::Button, "", "确认并返回", {4080, 6240, 1455, 495}, 3},
    {"Check1", Kind::CheckBox, "", "包括子文件夹", {240, 6360, 3615, 255}, 4},
};

inline constexpr Window kFileBro{"FileBro", "文件浏览器", 5670,         6825,
                                 true,      true,         std::nullopt, kFileBroControls};

// The links' captions end in their addresses, which the windows add from the version header.
inline constexpr Control kAboutControls[] = {
    {"Command1", Kind::Button, "", "OK", {4920, 4440, 855, 375}, 0},
    {"Label1", Kind::Label, "", "Stepwick!", {1560, 240, 2535, 975}, 1, kArialHeading, kDarkGreen},
    {"l2", Kind::Label, "", "把文本添加到一堆文件中去", {2160, 1080, 2895, 255}, 2, kSong12, kDarkGreen},
    {"Label2", Kind::Label, "", "Morlend Inc.", {1320, 120, 2775, 375}, 3, kArial12, kDarkGreen},
    {"Label3", Kind::Label, "", "关于Morlend Inc.", {360, 1440, 5055, 375}, 4, kArial12, kDarkGreen},
    // The text blocks in the window font of the desktop the window was drawn for: with it they hold
    // all their lines without scroll bars.
    {"Text1", Kind::TextBlock, "", "", {720, 1920, 4815, 615}, 5, kSong9, kDarkGreen},
    {"Label4", Kind::Link, "", "Morlend 官方主页： ", {1080, 2640, 3495, 255}, 6, kSongLink, kBlue},
    {"Label5", Kind::Label, "", "关于Harnel.", {360, 3000, 5055, 375}, 7, kArial12, kDarkGreen},
    {"Text2", Kind::TextBlock, "", "", {1680, 3240, 3615, 975}, 8, kSong9, kDarkGreen},
    {"Label6", Kind::Link, "", "Harnel主页： ", {1680, 4320, 3495, 255}, 9, kSongLink, kBlue},
    {"Label7", Kind::Link, "", "给我写信： ", {1680, 4560, 3495, 255}, 10, kSongLink, kBlue},
    {"Label8", Kind::Label, "", "Second Version", {3720, 1320, 1455, 255}, 11, kArial9, kGrey},
    {"Image1", Kind::Image, "", "", {240, 3360, 1290, 1350}, kNoTab, {}, {}, "about"},
};

inline constexpr Window kAbout{
    "About", "关于本软件 & Morlend Inc.", 5910, 4920, true, false, std::nullopt, kAboutControls};

// The two lower links run out beside the OK button: they stop this far before it, and their
// font gives way where the caption would not fit.
inline constexpr int kLinkGapBeforeOk = 90;
inline constexpr int linkWidthBesideOk(const Control& link) {
    return kAbout["Command1"].place.left - kLinkGapBeforeOk - link.place.left;
}

} // namespace layout
