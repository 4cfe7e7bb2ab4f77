#include "win32/Pictures.h"

#include <windows.h>

#include <gdiplus.h>
#include <objidl.h>
#include <shlwapi.h>

#include <cctype>
#include <string>

namespace win32ui {

PictureDecoder::PictureDecoder() {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
}

PictureDecoder::~PictureDecoder() { Gdiplus::GdiplusShutdown(m_token); }

HBITMAP loadPicture(std::string_view name, COLORREF background) {
    std::wstring id;
    for (char c : name)
        id += wchar_t(std::toupper(static_cast<unsigned char>(c)));
    HRSRC found = FindResourceW(nullptr, id.c_str(), MAKEINTRESOURCEW(10)); // RT_RCDATA
    if (!found)
        return nullptr;
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    IStream* stream = SHCreateMemStream(bytes, UINT(SizeofResource(nullptr, found)));
    if (!stream)
        return nullptr;
    HBITMAP bitmap = nullptr;
    {
        Gdiplus::Bitmap picture(stream);
        const Gdiplus::Color fill(GetRValue(background), GetGValue(background), GetBValue(background));
        if (picture.GetLastStatus() != Gdiplus::Ok || picture.GetHBITMAP(fill, &bitmap) != Gdiplus::Ok)
            bitmap = nullptr;
    }
    stream->Release();
    return bitmap;
}

SIZE bitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    GetObjectW(bitmap, sizeof(info), &info);
    return {info.bmWidth, info.bmHeight};
}

} // namespace win32ui
