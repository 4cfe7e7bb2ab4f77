#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace layout {

// The main window's banner: thirteen messages shown in turn, one per timer tick. The window owns
// one; the Qt and the Win32 main windows step it the same way.
struct BannerState {
    std::array<std::string, 21>
        BannerLines{}; // 1 to 13 filled by the window's load; 0 and 14 to 20 stay empty
    std::int16_t BannerCount = 13;
    std::int16_t BannerPos = 1;
};

// A tick every three seconds.
inline constexpr int kBannerTickMs = 3000;

// The window's load: the messages in BannerLines 1 to 13, the first one next.
void loadBanner(BannerState& banner);

// One tick: the message to show now; moves on, and wraps after the last message.
std::string nextBannerLine(BannerState& banner);

// The banner's left edge, centring a caption width wide in a window innerWidth wide; a caption
// wider than the window gets a negative one.
int bannerLeft(int innerWidth, int width);

} // namespace layout
