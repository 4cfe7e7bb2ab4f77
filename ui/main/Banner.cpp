#include "ui/main/Banner.h"

#include <QLabel>
#include <QString>
#include <QTimer>

void loadBanner(layout::BannerState& banner, QTimer* Timer1) {
    layout::loadBanner(banner);
    Timer1->setInterval(layout::kBannerTickMs);
}

void bannerTick(layout::BannerState& banner, QLabel* ADL, int innerWidth) {
    ADL->setText(QString::fromStdString(layout::nextBannerLine(banner)));
    // The width must be the new caption's, so the label sizes itself before it is centred.
    ADL->adjustSize();
    ADL->move(layout::bannerLeft(innerWidth, ADL->width()), ADL->y());
}
