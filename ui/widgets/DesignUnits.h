#pragma once

#include <QColor>
#include <QRect>
#include <QSize>

// The design's colours: headings and titles, small print, links.
inline const QColor kDarkGreen(0, 64, 0);
inline const QColor kGrey(128, 128, 128);
inline const QColor kBlue(0, 0, 255);

// The windows are laid out in twips, as designed: 15 twips make one pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;

inline constexpr int twipsToPixels(int twips) { return twips / kTwipsPerPixel; }

inline QRect twips(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

inline QSize twipsSize(int width, int height) { return {twipsToPixels(width), twipsToPixels(height)}; }
