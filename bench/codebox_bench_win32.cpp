// Times the Win32 code window as a user meets it (case 7 of the benchmarks, under wine):
//   codebox_bench_win32.exe [CHARACTERS] [--richedit]
// puts one line of CHARACTERS (default 10 million) characters on the clipboard and pastes it into
// Text1 with WM_PASTE, waiting until the window has painted it; then types 20 characters into the
// middle of that line, and 20 into the middle of a code of 10,000 lines, each followed by a
// repaint (into what the box shows of it, when it is held aside). Prints the seconds of the paste
// and the median milliseconds of a keystroke. With
// --richedit, a RichEdit 4.1 box of the same place stands in for the EDIT, for comparison.
#include "tests/win32/Driver.h"
#include "win32/ControlIds.h"
#include "win32/Texts.h"

#include <windows.h>

#include <richedit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const std::wstring kPiece = L"<a href=\"x\">Morlend 代码</a> ";

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void pump(HWND window) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    UpdateWindow(window);
}

double medianKeystrokeMs(HWND box, HWND window, std::size_t at, int count) {
    SendMessageW(box, EM_SETSEL, at, at);
    std::vector<double> keys;
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        SendMessageW(box, WM_CHAR, L'x', 1);
        pump(window);
        keys.push_back(seconds(start) * 1000);
    }
    std::sort(keys.begin(), keys.end());
    return keys[keys.size() / 2];
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const long characters = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 10'000'000;
    win32ui::FormWindow::registerClass(win32ui::kTextsClass, nullptr);
    win32ui::Texts texts;
    texts.ensure();
    texts.bringUp();
    HWND box = GetDlgItem(texts.hwnd(), win32ui::controlId(layout::kTexts, "Text1"));
    if (argc > 2 && std::wcscmp(argv[2], L"--richedit") == 0) {
        LoadLibraryW(L"msftedit.dll");
        RECT r;
        GetWindowRect(box, &r);
        MapWindowPoints(nullptr, texts.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        ShowWindow(box, SW_HIDE);
        box = CreateWindowExW(
            WS_EX_CLIENTEDGE, L"RICHEDIT50W", L"",
            WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL | WS_HSCROLL | WS_VSCROLL,
            r.left, r.top, r.right - r.left, r.bottom - r.top, texts.hwnd(), nullptr, nullptr, nullptr);
        SendMessageW(box, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    }
    auto boxText = [box] {
        std::wstring out(std::size_t(GetWindowTextLengthW(box)) + 1, L'\0');
        out.resize(std::size_t(GetWindowTextW(box, out.data(), int(out.size()))));
        return out;
    };
    std::wstring line;
    while (line.size() < std::size_t(characters))
        line += kPiece;
    line.resize(std::size_t(characters));
    if (!driver::putOnClipboard(line))
        return 1;
    SetFocus(box);
    SendMessageW(box, EM_SETSEL, 0, -1);
    const auto start = std::chrono::steady_clock::now();
    SendMessageW(box, WM_PASTE, 0, 0);
    pump(texts.hwnd());
    const double paste = seconds(start);
    const bool rich = argc > 2;
    if ((rich ? boxText() : texts.code()) != line) {
        std::fprintf(stderr, "codebox_bench: the box does not hold the pasted line\n");
        return 1;
    }
    const std::size_t middle = std::min<std::size_t>(line.size(), std::size_t(GetWindowTextLengthW(box))) / 2;
    const double inLongLine = medianKeystrokeMs(box, texts.hwnd(), middle, 5);
    std::wstring normal;
    for (int i = 0; i < 10'000; ++i)
        normal += std::to_wstring(i) + L" " + kPiece + L"\r\n";
    SetWindowTextW(box, normal.c_str());
    const double inLines = medianKeystrokeMs(box, texts.hwnd(), normal.size() / 2, 20);
    std::printf("paste %.3f s, keystroke median %.1f ms in the long line, %.1f ms in 10,000 lines\n", paste,
                inLongLine, inLines);
    return 0;
}
