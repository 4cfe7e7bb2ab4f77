#include "forms/Wording.h"

#include "StepwickVersion.h"

#include <array>

namespace layout {

std::string bannerMessage(int index) {
    static const std::array<std::string, kBannerMessages> messages{
        "Morlend Inc. Stepwick！ 代码批量添加器 Second Version",
        "你可以使用它轻松的将相同的代码添加到批量文件中去",
        "这些代码可以是文本，html，asp等等",
        "你可以用它改程序",
        "比如在html文件中添加去广告代码",
        "比如在asp程序头添上你的版权",
        "将你的双手解放出来，让用电脑更轻松",
        "关于我的更多的软件，请访问我的主页",
        stepwick::kAuthorUrl,
        std::string("或者我们公司的主页") + stepwick::kCompanyUrl,
        "如果在使用软件上有任何问题，请联系我",
        "你可以在关于软件中找到关于他们的信息",
        "感谢网友青蛙王子报告了一个重大错误",
    };
    return index >= 1 && index <= kBannerMessages ? messages[std::size_t(index - 1)] : std::string();
}

std::string rosterText() {
    return "Morlend 高层名单：\r\n"
           "董事长：张三 副董事长：李四、王五\r\n"
           "总经理：赵六 副总经理：孙七\r\n";
}

std::string contactText() {
    return "Harnel\r\n"
           "MSN:harnel@msn.example\r\n"
           "QQ:00000000\r\n"
           "欢迎来我的主页和我一起交流经验！如果你对软件的源代码感兴趣，也可以找我的。\r\n";
}

std::string folderNotOpened(std::string_view shownPath, std::string_view reason) {
    return "无法打开文件夹“" + std::string(shownPath) + "”：" + std::string(reason);
}

std::string heldCodeNotice(std::size_t characters) {
    return "代码共" + std::to_string(characters) + "个字符，太长无法在此编辑；可粘贴替换或清除。";
}

std::string lacksOldSummary(std::size_t files) { return "有" + std::to_string(files) + "个文件缺少旧代码。"; }

std::string previewSummary(std::size_t files) {
    return "预览：运行将修改" + std::to_string(files) + "个文件，没有文件被修改。";
}

std::string checkSummary(std::size_t files) {
    return "检查：有" + std::to_string(files) + "个文件缺少代码，没有文件被修改。";
}

std::string failureSummary(std::size_t files, std::size_t folders) {
    if (folders == 0)
        return "有" + std::to_string(files) + "个文件未能处理，详见记录。";
    if (files == 0)
        return "有" + std::to_string(folders) + "个文件夹未能处理，详见记录。";
    return "有" + std::to_string(files) + "个文件和" + std::to_string(folders) +
           "个文件夹未能处理，详见记录。";
}

} // namespace layout
