#include "win32/DesignScale.h"

#include "win32/GdiObjects.h"
#include "win32/Wide.h"

#include <cmath>
#include <string>

namespace win32ui {

namespace {

using DpiForWindow = UINT(WINAPI*)(HWND);
using SystemParametersForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

// Looked up at run time: older systems lack the per-monitor calls and answer with the system DPI.
template <typename F> F user32(const char* name) {
    return reinterpret_cast<F>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

LOGFONTW logFont(const layout::Font& font, double points, UINT dpi) {
    LOGFONTW lf{};
    lf.lfHeight = -LONG(std::lround(points * dpi / 72.0));
    lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = font.underline;
    lf.lfCharSet = BYTE(font.charset);
    lf.lfQuality = CLEARTYPE_QUALITY;
    const std::wstring face = toWide(font.face);
    face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    return lf;
}

SIZE extentOf(HFONT font, std::wstring_view text) {
    const WindowDc screen(nullptr);
    const Selection inFont(screen.get(), font);
    RECT r{0, 0, 0, 0};
    DrawTextW(screen.get(), text.data(), int(text.size()), &r, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    return {r.right - r.left, r.bottom - r.top};
}

} // namespace

RECT toPixels(const layout::Twips& place, UINT dpi) {
    const int left = px(place.left, dpi), top = px(place.top, dpi);
    return {left, top, left + px(place.width, dpi), top + px(place.height, dpi)};
}

UINT dpiOf(HWND window) {
    static const auto forWindow = user32<DpiForWindow>("GetDpiForWindow");
    if (window && forWindow)
        return forWindow(window);
    const WindowDc screen(nullptr);
    return UINT(GetDeviceCaps(screen.get(), LOGPIXELSY));
}

OwnedFont createFont(const layout::Font& font, UINT dpi) {
    const LOGFONTW lf = logFont(font, font.points, dpi);
    return OwnedFont(CreateFontIndirectW(&lf));
}

double fittingPoints(const layout::Font& font, std::wstring_view text, SIZE room, UINT dpi) {
    for (double points = font.points; points > 4; points -= 0.5) {
        const LOGFONTW lf = logFont(font, points, dpi);
        const OwnedFont candidate(CreateFontIndirectW(&lf));
        const SIZE extent = extentOf(candidate.get(), text);
        if (extent.cx <= room.cx && extent.cy <= room.cy)
            return points;
    }
    return 4;
}

OwnedFont createFittedFont(const layout::Font& font, std::wstring_view text, SIZE room, UINT dpi) {
    const LOGFONTW lf = logFont(font, fittingPoints(font, text, room, dpi), dpi);
    return OwnedFont(CreateFontIndirectW(&lf));
}

OwnedFont createWindowFont(UINT dpi) {
    static const auto forDpi = user32<SystemParametersForDpi>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (forDpi)
        forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi);
    else
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    return OwnedFont(CreateFontIndirectW(&metrics.lfMessageFont));
}

} // namespace win32ui
