#pragma once

#include "forms/FormDesigns.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

// The design's colours: headings and titles, small print, links.
constexpr QColor toQColor(layout::Colour c) { return QColor(c.red, c.green, c.blue); }
inline constexpr QColor kDarkGreen = toQColor(layout::kDarkGreen);
inline constexpr QColor kGrey = toQColor(layout::kGrey);
inline constexpr QColor kBlue = toQColor(layout::kBlue);

// The windows are laid out in twips, as designed: 15 twips make one pixel at 96 dpi.
inline constexpr int twipsToPixels(int twips) { return layout::toPixels(twips); }

inline QRect twips(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}
inline QRect twips(const layout::Twips& t) { return twips(t.left, t.top, t.width, t.height); }

inline QSize twipsSize(int width, int height) { return {twipsToPixels(width), twipsToPixels(height)}; }
inline QSize clientSize(const layout::Window& window) { return twipsSize(window.width, window.height); }

inline QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A design font as Qt names it; the character set follows from the face.
inline QFont toQFont(const layout::Font& f) {
    QFont font(toQString(f.face));
    font.setPointSizeF(f.points);
    font.setBold(f.bold);
    font.setUnderline(f.underline);
    return font;
}
