#include "win32/Pictures.h"

#include <windows.h>

#include <gdiplus.h>
#include <objidl.h>
#include <shlwapi.h>

#include <cctype>
#include <memory>
#include <string>

namespace win32ui {

PictureDecoder::PictureDecoder() {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
}

PictureDecoder::~PictureDecoder() { Gdiplus::GdiplusShutdown(m_token); }

OwnedBitmap loadPicture(std::string_view name, COLORREF background) {
    std::wstring id;
    for (char c : name)
        id += wchar_t(std::toupper(static_cast<unsigned char>(c)));
    HRSRC found = FindResourceW(nullptr, id.c_str(), MAKEINTRESOURCEW(10)); // RT_RCDATA
    if (!found)
        return {};
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    const std::unique_ptr<IStream, void (*)(IStream*)> stream(
        SHCreateMemStream(bytes, UINT(SizeofResource(nullptr, found))), [](IStream* s) {
            if (s)
                s->Release();
        });
    if (!stream)
        return {};
    Gdiplus::Bitmap picture(stream.get());
    const Gdiplus::Color fill(GetRValue(background), GetGValue(background), GetBValue(background));
    HBITMAP bitmap = nullptr;
    if (picture.GetLastStatus() != Gdiplus::Ok || picture.GetHBITMAP(fill, &bitmap) != Gdiplus::Ok)
        return {};
    return OwnedBitmap(bitmap);
}

SIZE bitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    GetObjectW(bitmap, sizeof(info), &info);
    return {info.bmWidth, info.bmHeight};
}

} // namespace win32ui
