#include "win32/Texts.h"

#include "win32/ControlIds.h"

namespace win32ui {

namespace {
// As much as an EDIT can hold: a code of many millions of characters in one line.
constexpr LPARAM kMostCharacters = 0x7FFFFFFE;
} // namespace

Texts::Texts() : FormWindow(layout::kTexts, kTextsClass) {}

void Texts::ensure() {
    if (!exists())
        create(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW);
}

void Texts::onCreated() { SendMessageW(control("Text1"), EM_SETLIMITTEXT, kMostCharacters, 0); }

std::wstring Texts::code() {
    ensure();
    return text("Text1");
}

void Texts::onCommand(int id, int code) {
    if (id == idOf("Command1") && code == BN_CLICKED)
        ShowWindow(m_hwnd, SW_HIDE);
}

// A close from the title bar only hides: losing the typed code to it helps nobody.
void Texts::onClose() { ShowWindow(m_hwnd, SW_HIDE); }

void Texts::closeForGood() {
    if (exists()) {
        ShowWindow(m_hwnd, SW_HIDE);
        DestroyWindow(m_hwnd);
    }
}

} // namespace win32ui
