#include "ui/main/Banner.h"

#include "core/Mod.h"
#include "ui/layout/Wording.h"

#include <QLabel>
#include <QString>
#include <QTimer>
#include <cmath>
#include <string>

namespace {
constexpr int kTickMs = 3000;
constexpr std::int16_t kMessageCount = layout::kBannerMessages;
} // namespace

void fillBannerLines(Mod& mod) {
    for (int i = 1; i <= layout::kBannerMessages; ++i)
        mod.BannerLines[std::size_t(i)] = layout::bannerMessage(i);
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
