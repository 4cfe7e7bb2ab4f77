#include "ui/main/Banner.h"

#include <QLabel>
#include <QString>
#include <QTimer>
#include <cmath>

namespace {
constexpr int kTickMs = 3000;
} // namespace

void loadBanner(layout::BannerState& banner, QTimer* Timer1) {
    layout::loadBanner(banner);
    Timer1->setInterval(kTickMs);
}

void bannerTick(layout::BannerState& banner, QLabel* ADL, int innerWidth) {
    ADL->setText(QString::fromStdString(layout::nextBannerLine(banner)));
    // The width must be the new caption's, so the label sizes itself before it is centred.
    ADL->adjustSize();
    const double left = (innerWidth - ADL->width()) / 2.0;
    ADL->move(static_cast<int>(std::lround(left)), ADL->y());
}
