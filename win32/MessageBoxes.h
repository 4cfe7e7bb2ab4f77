#pragma once

#include <windows.h>

#include <string_view>

namespace win32ui {

enum class MessageIcon { None, Information, Warning };

// A modal box titled ":)" with one OK button, over owner.
void showMessage(HWND owner, std::wstring_view text, MessageIcon icon);

} // namespace win32ui
