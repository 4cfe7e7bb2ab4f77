#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The windows' own texts beyond their captions, UTF-8, shared by the Qt and the Win32 windows.
namespace layout {

// The banner's messages, 1 to kBannerMessages; any other index gives an empty text.
inline constexpr int kBannerMessages = 13;
std::string bannerMessage(int index);

// The About window's two text blocks, CR LF after each line.
std::string rosterText();
std::string contactText();

inline constexpr std::string_view kMessageTitle = ":)";
inline constexpr std::string_view kCodeIsEmpty = "请先输入拟添代码。";
inline constexpr std::string_view kBadExtension = "扩展名中不能有“/”或“\\”，没有文件被修改。";
// Followed by a line with the system's reason.
inline constexpr std::string_view kFolderUnreadable = "无法读取所选的目录，没有文件被修改。";
inline constexpr std::string_view kFolderBusy = "另一次运行正在修改这个目录，没有文件被修改。请稍后再试。";
// Followed by a line with the character that could not be written.
inline constexpr std::string_view kCodeNotEncodable = "代码中有无法按文件编码写入的字符，没有文件被修改。";
// Followed by a line naming the character.
inline constexpr std::string_view kControlInCode = "代码中有控制字符（只能有制表符和换行），没有文件被修改。";
// Followed by a line with what the run could not report itself.
inline constexpr std::string_view kRunStopped = "添加代码时出错，运行已停止。";
inline constexpr std::string_view kDriveUnavailable =
    "当前设备不可用,请插入软盘或者光盘，或者其他可移动存储器。";
inline constexpr std::string_view kLauncherFailed =
    "无法找到Internet Explorer，可能是您没有正确的安装IE。请手动访问。";
inline constexpr std::string_view kProgressLabel = "正在添加代码……";
inline constexpr std::string_view kCancel = "取消";
inline constexpr std::string_view kSubfolders = "包括子文件夹";

// Over the code box while it holds a code too long to edit there, only its beginning shown.
std::string heldCodeNotice(std::size_t characters);

// What a replacement says of a file it left alone: the new code already there, or neither.
inline constexpr std::string_view kHoldsNewCode = "已是新代码";
inline constexpr std::string_view kLacksOldCode = "缺少旧代码";
// How many files held neither the old code nor the new.
std::string lacksOldSummary(std::size_t files);

// How many files, and how many folders, a run could not handle.
std::string failureSummary(std::size_t files, std::size_t folders);

} // namespace layout
