// stepwick.exe: the windows over the same core as stepwick-cli.
#include "core/Mod.h"
#include "win32/MainForm.h"
#include "win32/MessageLoop.h"
#include "win32/Pictures.h"

#include <windows.h>

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    win32ui::PictureDecoder pictures;
    Mod mod;
    win32ui::MainForm form(mod);
    if (!form.open(LoadIconW(instance, MAKEINTRESOURCEW(1))))
        return 1;
    return win32ui::runMessageLoop([&form](HWND window) { return form.isOwnWindow(window); });
}
