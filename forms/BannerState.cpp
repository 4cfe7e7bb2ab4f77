#include "forms/BannerState.h"

#include "forms/Wording.h"

#include <cmath>

namespace layout {

void loadBanner(BannerState& banner) {
    for (int i = 1; i <= kBannerMessages; ++i)
        banner.BannerLines[std::size_t(i)] = bannerMessage(i);
    banner.BannerCount = kBannerMessages;
    banner.BannerPos = 1;
}

std::string nextBannerLine(BannerState& banner) {
    // at() turns a corrupted position into an error instead of reading past the table.
    std::string line = banner.BannerLines.at(static_cast<std::size_t>(banner.BannerPos));
    ++banner.BannerPos;
    if (banner.BannerPos == banner.BannerCount + 1)
        banner.BannerPos = 1;
    return line;
}

int bannerLeft(int innerWidth, int width) {
    return static_cast<int>(std::lround((innerWidth - width) / 2.0));
}

} // namespace layout
