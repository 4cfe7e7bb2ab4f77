#pragma once

#include "forms/FormDesigns.h"

#include <cstddef>
#include <string_view>

// A control's id in its window: its row in the window's design table, from kFirstControlId on.
// Ids below stay free for the dialog manager's own (IDOK, IDCANCEL).
namespace win32ui {

inline constexpr int kFirstControlId = 1000;

constexpr int controlId(const layout::Window& window, std::string_view name) {
    for (std::size_t i = 0; i < window.controls.size(); ++i)
        if (window.controls[i].name == name)
            return kFirstControlId + int(i);
    return -1;
}

// The window classes, for FindWindowW.
inline constexpr const wchar_t* kMainFormClass = L"Stepwick.MainForm";
inline constexpr const wchar_t* kTextsClass = L"Stepwick.Texts";
inline constexpr const wchar_t* kFileBroClass = L"Stepwick.FileBro";
inline constexpr const wchar_t* kAboutClass = L"Stepwick.About";
inline constexpr const wchar_t* kProgressClass = L"Stepwick.Progress";

// The progress window's controls.
inline constexpr int kProgressTextId = 900;
inline constexpr int kProgressBarId = 901;
inline constexpr int kProgressCancelId = 902;

} // namespace win32ui
