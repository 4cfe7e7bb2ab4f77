#pragma once

#include "forms/BannerState.h"

class QLabel;
class QTimer;

// The one-line banner of the main window: thirteen messages shown in turn,
// one per tick of the main window's timer, each centred on its own width.

// The main window's load: the messages, a tick every three seconds, and the
// first message queued for the first tick. The label keeps its design caption
// until that tick.
void loadBanner(layout::BannerState& banner, QTimer* Timer1);

// One tick: shows BannerLines[BannerPos] in ADL, moves on, centres ADL
// horizontally in a window whose inner width is innerWidth (a caption wider
// than the window gets a negative left edge), and wraps after the last message.
void bannerTick(layout::BannerState& banner, QLabel* ADL, int innerWidth);
