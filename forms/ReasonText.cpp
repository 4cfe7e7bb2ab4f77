#include "forms/ReasonText.h"

#include "core/BatchRun.h"

#include <cerrno>
#include <string_view>
#include <system_error>
#include <utility>

namespace {

std::string_view refusal(Refusal kind) {
    switch (kind) {
    case Refusal::None:
        break;
    case Refusal::ReadOnly:
        return "只读文件";
    case Refusal::SymbolicLink:
        return "符号链接，未跟随";
    case Refusal::NotRegular:
        return "不是普通文件";
    case Refusal::ChangedDuringRun:
        return "运行期间被其他程序修改";
    case Refusal::OwnOutput:
        return "这是本次运行自己写的文件";
    case Refusal::CannotReplace:
        return "此文件夹中的文件不能被替换（只允许添加）";
    case Refusal::PartialCode:
        return "文件末尾可能只有部分代码";
    case Refusal::AnotherRun:
        return "另一次运行正在修改此文件夹";
    case Refusal::NotUtf8Text:
        return "不是UTF-8文本，请用 --encoding 指明编码";
    case Refusal::HoldsNul:
        return "含有NUL字节：可能是无字节序标记的UTF-16文件或二进制文件";
    case Refusal::NoMarker:
        return "没有找到标记";
    }
    return {};
}

// By the condition the error stands for, whichever system reported it.
std::string_view systemError(const std::error_code& error) {
    using std::errc;
    static constexpr std::pair<errc, std::string_view> kReasons[] = {
        {errc::permission_denied, "权限不够"},
        {errc::operation_not_permitted, "不允许的操作"},
        {errc::no_space_on_device, "磁盘空间不足"},
        {errc::read_only_file_system, "只读文件系统"},
        {errc::file_too_large, "文件过大"},
        {errc::io_error, "输入/输出错误"},
        {errc::too_many_files_open, "打开的文件过多"},
        {errc::too_many_files_open_in_system, "系统中打开的文件过多"},
        {errc::no_such_file_or_directory, "没有那个文件或目录"},
        // Where another program holds the file open without sharing it (Windows).
        {errc::device_or_resource_busy, "文件正被其他程序使用"},
    };
    for (const auto& [condition, text] : kReasons)
        if (error == condition)
            return text;
#ifdef EDQUOT
    // No std::errc of its own: where the system's errors are errno values, by its number.
    const bool errnoValue =
        error.category() == std::generic_category() || error.category() == std::system_category();
    if (errnoValue && error.value() == EDQUOT)
        return "超出磁盘配额";
#endif
    return {};
}

} // namespace

std::string chineseReason(const FileFailure& failure) {
    if (failure.refusal == Refusal::NoMarker && !failure.attribute.empty())
        return "没有找到 " + failure.attribute;
    const std::string_view own = refusal(failure.refusal);
    if (own.empty())
        return systemError(failure.error).empty() ? failure.reason : chineseSystemError(failure.error);
    if (failure.refusal != Refusal::PartialCode || !failure.error)
        return std::string(own);
    // A write that went wrong half-way: its cause still matters.
    return std::string(own) + "（" + chineseSystemError(failure.error) + "）";
}

std::string chineseSystemError(const std::error_code& error) {
    const std::string_view system = systemError(error);
    return system.empty() ? error.message() : std::string(system);
}
