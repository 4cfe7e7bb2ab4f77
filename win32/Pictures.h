#pragma once

#include "win32/GdiObjects.h"

#include <windows.h>

#include <string_view>

namespace win32ui {

// Starts GDI+ for the pictures, for as long as it lives.
class PictureDecoder {
public:
    PictureDecoder();
    ~PictureDecoder();
    PictureDecoder(const PictureDecoder&) = delete;
    PictureDecoder& operator=(const PictureDecoder&) = delete;

private:
    ULONG_PTR m_token = 0;
};

// A picture of resources/pictures (built in as RCDATA under its name in capitals) as a bitmap
// of its own size, its transparent parts filled with background; null when it cannot be read.
OwnedBitmap loadPicture(std::string_view name, COLORREF background);
SIZE bitmapSize(HBITMAP bitmap);

} // namespace win32ui
