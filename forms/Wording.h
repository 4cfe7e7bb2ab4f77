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
// Asked before a run when no folder is confirmed; the picker follows.
inline constexpr std::string_view kNoFolder = "请选择一个目录，以便于我们找到文件。";
inline constexpr std::string_view kCodeIsEmpty = "请先输入拟添代码。";
inline constexpr std::string_view kBadExtension = "扩展名中不能有“/”或“\\”，没有文件被修改。";
// Followed by a line with the system's reason.
inline constexpr std::string_view kFolderUnreadable = "无法读取所选的目录，没有文件被修改。";
inline constexpr std::string_view kFolderBusy = "另一次运行正在修改这个目录，没有文件被修改。请稍后再试。";
// Followed by a line with the character that could not be written.
inline constexpr std::string_view kCodeNotEncodable = "代码中有无法按文件编码写入的字符，没有文件被修改。";
// Followed by a line naming the character.
inline constexpr std::string_view kControlInCode = "代码中有控制字符（只能有制表符和换行），没有文件被修改。";
// Followed by the core's reason: an old code that is the new one, a type list with an empty item ...
inline constexpr std::string_view kBadRequest = "无法照此要求运行，没有文件被修改。";
// Followed by a line with what the run could not report itself.
inline constexpr std::string_view kRunStopped = "添加代码时出错，运行已停止。";
inline constexpr std::string_view kDriveUnavailable =
    "当前设备不可用,请插入软盘或者光盘，或者其他可移动存储器。";
inline constexpr std::string_view kLauncherFailed =
    "无法找到Internet Explorer，可能是您没有正确的安装IE。请手动访问。";
inline constexpr std::string_view kProgressLabel = "正在添加代码……";
inline constexpr std::string_view kCancel = "取消";

// A folder the picker could not open, as the picker shows its path, and the reason in our words.
std::string folderNotOpened(std::string_view shownPath, std::string_view reason);

// Over the code box while it holds a code too long to edit there, only its beginning shown.
std::string heldCodeNotice(std::size_t characters);

// What the log says beside a file's name: replaced, or left alone with the new code already
// there, or neither; the code taken out, or not there (a removal, and a check's files).
inline constexpr std::string_view kReplaced = "替换";
inline constexpr std::string_view kHoldsNewCode = "已是新代码";
inline constexpr std::string_view kLacksOldCode = "缺少旧代码";
inline constexpr std::string_view kRemoved = "移除";
inline constexpr std::string_view kLacksCode = "缺少代码";
// What ends the log of a preview and of a check, neither of which changes a file.
std::string previewSummary(std::size_t files);
std::string checkSummary(std::size_t files);
// How many files held neither the old code nor the new.
std::string lacksOldSummary(std::size_t files);

// How many files, and how many folders, a run could not handle.
std::string failureSummary(std::size_t files, std::size_t folders);

// What screen readers call the controls whose captions do not name them.
inline constexpr std::string_view kLogName = "处理记录";
inline constexpr std::string_view kLogoName = "Stepwick 标志";
inline constexpr std::string_view kOtherTypeName = "其他扩展名";
inline constexpr std::string_view kExcludeName = "排除的文件和文件夹";
inline constexpr std::string_view kCodeName = "代码";
inline constexpr std::string_view kOldCodeName = "旧代码";
inline constexpr std::string_view kDrivesName = "驱动器";
inline constexpr std::string_view kFilesName = "文件";
inline constexpr std::string_view kFoldersName = "文件夹";
inline constexpr std::string_view kRosterName = "Morlend 高层名单";
inline constexpr std::string_view kContactName = "Harnel 联系方式";
inline constexpr std::string_view kPictureName = "Harnel 的图片";

// The code box's own menu entries while it holds a code aside.
inline constexpr std::string_view kPasteEntry = "粘贴(&P)";
inline constexpr std::string_view kDeleteEntry = "删除(&D)";

} // namespace layout
