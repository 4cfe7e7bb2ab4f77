#include "win32/MessageLoop.h"

namespace win32ui {

namespace {

bool isPushButton(HWND control) {
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    const LONG_PTR type = GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
    return lstrcmpiW(name, L"BUTTON") == 0 &&
           (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_OWNERDRAW);
}

bool isButtonKey(const MSG& msg) {
    return (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) &&
           (msg.wParam == VK_RETURN || msg.wParam == VK_SPACE);
}

// True when the key was dealt with here: a repeated press dropped, Enter clicking its button.
bool buttonKey(const MSG& msg) {
    if (!isButtonKey(msg) || !isPushButton(msg.hwnd))
        return false;
    const bool repeated = msg.message == WM_KEYDOWN && (msg.lParam & (1 << 30));
    if (repeated)
        return true;
    if (msg.wParam == VK_RETURN) {
        if (msg.message == WM_KEYDOWN)
            SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

// Enter in a list opens its chosen row as a double click does (the folder list); a held key opens
// it once.
bool listKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN)
        return false;
    wchar_t name[16] = {};
    GetClassNameW(msg.hwnd, name, 16);
    if (lstrcmpiW(name, L"LISTBOX") != 0)
        return false;
    if (!(msg.lParam & (1 << 30)))
        SendMessageW(GetParent(msg.hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(msg.hwnd), LBN_DBLCLK),
                     reinterpret_cast<LPARAM>(msg.hwnd));
    return true;
}

} // namespace

int runMessageLoop(const std::function<bool(HWND)>& isOwn) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (buttonKey(msg) || listKey(msg))
            continue;
        HWND root = GetAncestor(msg.hwnd, GA_ROOT);
        if (isOwn(root) && IsDialogMessageW(root, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return int(msg.wParam);
}

} // namespace win32ui
