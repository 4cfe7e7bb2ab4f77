#pragma once

#include "forms/WindowDesign.h"
#include "win32/GdiObjects.h"

#include <windows.h>

#include <string_view>

// The design's twips, fonts and colours on a screen of a given DPI.
namespace win32ui {

inline int px(int twips, UINT dpi) { return MulDiv(twips, int(dpi), layout::kTwipsPerInch); }
RECT toPixels(const layout::Twips& place, UINT dpi);

// The DPI of the window's monitor, or of the system where the window has none yet.
UINT dpiOf(HWND window);

OwnedFont createFont(const layout::Font& font, UINT dpi);
// The font of the design, or a smaller size of it (half-point steps) at which text fits width and
// height: a caption is never cut off.
OwnedFont createFittedFont(const layout::Font& font, std::wstring_view text, SIZE room, UINT dpi);
// The largest size at most font.points at which text fits room, in half points.
double fittingPoints(const layout::Font& font, std::wstring_view text, SIZE room, UINT dpi);
// The system's default window font (the message font) at the DPI.
OwnedFont createWindowFont(UINT dpi);

inline COLORREF toColorRef(layout::Colour c) { return RGB(c.red, c.green, c.blue); }

} // namespace win32ui
