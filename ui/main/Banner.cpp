#include "ui/main/Banner.h"

#include "StepwickVersion.h"
#include "core/Mod.h"

#include <QLabel>
#include <QString>
#include <QTimer>
#include <cmath>
#include <string>

namespace {
constexpr int kTickMs = 3000;
constexpr std::int16_t kMessageCount = 13;
} // namespace

void fillBannerLines(Mod& mod) {
    auto& l = mod.BannerLines;
    l[1] = "Morlend Inc. Stepwick！ 代码批量添加器 Second Version";
    l[2] = "你可以使用它轻松的将相同的代码添加到批量文件中去";
    l[3] = "这些代码可以是文本，html，asp等等";
    l[4] = "你可以用它改程序";
    l[5] = "比如在html文件中添加去广告代码";
    l[6] = "比如在asp程序头添上你的版权";
    l[7] = "将你的双手解放出来，让用电脑更轻松";
    l[8] = "关于我的更多的软件，请访问我的主页";
    l[9] = stepwick::kAuthorUrl;
    l[10] = std::string("或者我们公司的主页") + stepwick::kCompanyUrl;
    l[11] = "如果在使用软件上有任何问题，请联系我";
    l[12] = "你可以在关于软件中找到关于他们的信息";
    l[13] = "感谢网友青蛙王子报告了一个重大错误";
}

void loadBanner(Mod& mod, QTimer* Timer1) {
    fillBannerLines(mod);
    Timer1->setInterval(kTickMs);
    mod.BannerCount = kMessageCount;
    mod.BannerPos = 1;
}

void bannerTick(Mod& mod, QLabel* ADL, int innerWidth) {
    // at() turns a corrupted position into an error instead of reading past the table.
    ADL->setText(QString::fromStdString(mod.BannerLines.at(static_cast<std::size_t>(mod.BannerPos))));
    ++mod.BannerPos;
    // The width must be the new caption's, so the label sizes itself before it is centred.
    ADL->adjustSize();
    const double left = (innerWidth - ADL->width()) / 2.0;
    ADL->move(static_cast<int>(std::lround(left)), ADL->y());
    if (mod.BannerPos == mod.BannerCount + 1)
        mod.BannerPos = 1;
}
