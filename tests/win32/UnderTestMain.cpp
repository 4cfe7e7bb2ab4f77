// stepwick.exe as the window tests drive it: the same program, with the addresses it would open
// written, one a line (UTF-8), to the file named by its one argument instead of reaching a browser.
#include "platform/win32desktop/TOURL.h"
#include "win32/Program.h"
#include "win32/Wide.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <shellapi.h>

namespace {

class RecordingOpener : public TOURL::AddressOpener {
public:
    explicit RecordingOpener(std::wstring path) : m_path(std::move(path)) {}
    bool open(std::wstring_view address) override {
        FILE* out = _wfopen(m_path.c_str(), L"ab");
        if (!out)
            return false;
        const std::string line = toUtf8(address) + "\n";
        const bool written = std::fwrite(line.data(), 1, line.size(), out) == line.size();
        return std::fclose(out) == 0 && written;
    }

private:
    std::wstring m_path;
};

// Every font a control is given is noted on the control, for the driver in another process, which
// cannot read this process's fonts: the face as a global atom, the rest packed in one number.
LRESULT CALLBACK noteFonts(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_SETFONT && call->wParam) {
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(call->wParam), sizeof(lf), &lf);
        const auto fontBits = std::uintptr_t(lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight) |
                              std::uintptr_t(lf.lfWeight / 100) << 8 |
                              std::uintptr_t(lf.lfUnderline ? 1 : 0) << 12 |
                              std::uintptr_t(lf.lfCharSet) << 16;
        SetPropW(call->hwnd, L"Stepwick.FontBits", reinterpret_cast<HANDLE>(fontBits));
        SetPropW(call->hwnd, L"Stepwick.FontFace",
                 reinterpret_cast<HANDLE>(std::uintptr_t(GlobalAddAtomW(lf.lfFaceName))));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc != 2)
        return 2;
    RecordingOpener recording(argv[1]);
    TOURL::OpenerOverride opener(recording);
    SetWindowsHookExW(WH_CALLWNDPROCRET, noteFonts, nullptr, GetCurrentThreadId());
    return win32ui::runProgram(instance);
}
