#include "win32/Texts.h"

#include "forms/Wording.h"
#include "win32/ControlIds.h"
#include "win32/DesignScale.h"
#include "win32/Wide.h"

#include <commctrl.h>

#include <algorithm>

namespace win32ui {

namespace {

// As much as an EDIT can hold, so a paste is never cut short before the size is judged.
constexpr LPARAM kEditLimit = 0x7FFFFFFE;
// What the box shows of a code held aside: enough to recognise it.
constexpr std::size_t kShownOfHeldCode = 4096;

bool tooLargeToEdit(const std::wstring& text) {
    if (text.size() > Texts::kMostCharacters)
        return true;
    std::size_t lineStart = 0;
    while (lineStart <= text.size()) {
        std::size_t lineEnd = text.find_first_of(L"\r\n", lineStart);
        if (lineEnd == std::wstring::npos)
            lineEnd = text.size();
        if (lineEnd - lineStart > Texts::kLongestLine)
            return true;
        lineStart = lineEnd + 1;
    }
    return false;
}

std::wstring clipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

} // namespace

Texts::Texts() : FormWindow(layout::kTexts, kTextsClass) {}

void Texts::ensure() {
    if (!exists())
        create(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW);
}

void Texts::onCreated() {
    HWND box = control(kTextsText1);
    SendMessageW(box, EM_SETLIMITTEXT, kEditLimit, 0);
    SetWindowSubclass(box, &Texts::boxProc, 1, reinterpret_cast<DWORD_PTR>(this));
    m_notice = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0, m_hwnd,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(m_notice, WM_SETFONT, SendMessageW(box, WM_GETFONT, 0, 0), FALSE);
    m_heldAside = false;
    m_whole.clear();
    EnableWindow(control(kTextsText2), m_replacing);
}

Texts::~Texts() {
    // The box's subclass answers with this window's state until the box is gone: it goes first.
    closeForGood();
}

std::wstring Texts::code() {
    ensure();
    return m_heldAside ? m_whole : text(kTextsText1);
}

std::wstring Texts::oldCode() {
    ensure();
    return text(kTextsText2);
}

void Texts::setReplacing(bool replacing) {
    m_replacing = replacing;
    if (exists())
        EnableWindow(control(kTextsText2), replacing);
}

void Texts::setCode(std::wstring text) {
    if (tooLargeToEdit(text))
        return holdAside(std::move(text));
    m_heldAside = false;
    m_whole.clear();
    showNotice(false);
    HWND box = control(kTextsText1);
    SendMessageW(box, EM_SETREADONLY, FALSE, 0);
    m_settingBox = true;
    SetWindowTextW(box, text.c_str());
    m_settingBox = false;
}

void Texts::holdAside(std::wstring text) {
    m_whole = std::move(text);
    m_heldAside = true;
    HWND box = control(kTextsText1);
    const std::wstring shown = m_whole.substr(0, kShownOfHeldCode);
    m_settingBox = true;
    SetWindowTextW(box, shown.c_str());
    m_settingBox = false;
    SendMessageW(box, EM_SETREADONLY, TRUE, 0);
    SetWindowTextW(m_notice, toWide(layout::heldCodeNotice(m_whole.size())).c_str());
    showNotice(true);
}

// The notice takes the top of the box's place while a code is held aside; the box gives it room.
void Texts::showNotice(bool shown) {
    if (shown == bool(IsWindowVisible(m_notice)))
        return;
    constexpr layout::Twips kBox = layout::kTexts["Text1"].place;
    const RECT place = toPixels(kBox, dpi());
    const int band = shown ? px(480, dpi()) : 0;
    SetWindowPos(m_notice, nullptr, place.left, place.top, place.right - place.left, band, SWP_NOZORDER);
    SetWindowPos(control(kTextsText1), nullptr, place.left, place.top + band, place.right - place.left,
                 place.bottom - place.top - band, SWP_NOZORDER);
    ShowWindow(m_notice, shown ? SW_SHOW : SW_HIDE);
}

void Texts::checkSizeAfterEdit() {
    if (!m_heldAside && !m_settingBox && SendMessageW(control(kTextsText1), WM_GETTEXTLENGTH, 0, 0) > 0) {
        std::wstring now = text(kTextsText1);
        if (tooLargeToEdit(now))
            holdAside(std::move(now));
    }
}

bool Texts::boxMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
    case WM_PASTE: {
        std::wstring pasted = clipboardText();
        if (!m_heldAside && !tooLargeToEdit(pasted))
            return false; // the EDIT pastes at the caret; the size is checked after
        // A paste over a held code replaces it whole; else it takes the selection's place.
        if (m_heldAside)
            return setCode(std::move(pasted)), true;
        DWORD start = 0, end = 0;
        SendMessageW(control(kTextsText1), EM_GETSEL, WPARAM(&start), LPARAM(&end));
        std::wstring now = text(kTextsText1);
        holdAside(now.substr(0, start) + pasted + now.substr(std::min<std::size_t>(end, now.size())));
        return true;
    }
    case WM_SETTEXT:
        if (m_settingBox)
            return false;
        setCode(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"");
        result = TRUE;
        return true;
    case WM_KEYDOWN:
        if (m_heldAside && (wParam == VK_DELETE || wParam == VK_BACK)) {
            setCode(L"");
            return true;
        }
        return false;
    default:
        return false;
    }
}

LRESULT CALLBACK Texts::boxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                                DWORD_PTR self) {
    LRESULT result = 0;
    if (reinterpret_cast<Texts*>(self)->boxMessage(message, wParam, lParam, result))
        return result;
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(box, &Texts::boxProc, 1);
    return DefSubclassProc(box, message, wParam, lParam);
}

void Texts::onCommand(int id, int code) {
    switch (id) {
    case kTextsCommand1:
        if (code == BN_CLICKED)
            ShowWindow(m_hwnd, SW_HIDE);
        break;
    case kTextsText1:
        if (code == EN_CHANGE)
            checkSizeAfterEdit();
        break;
    default:
        break;
    }
}

// A close from the title bar only hides: losing the typed code to it helps nobody.
void Texts::onClose() { ShowWindow(m_hwnd, SW_HIDE); }

void Texts::closeForGood() {
    if (exists()) {
        ShowWindow(m_hwnd, SW_HIDE);
        destroy();
    }
    m_notice = nullptr;
}

} // namespace win32ui
