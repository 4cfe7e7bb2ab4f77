#include "win32/Program.h"

#include "core/Mod.h"
#include "forms/Wording.h"
#include "platform/FileSystemDecorator.h"
#include "platform/System.h"
#include "platform/win32desktop/TOURL.h"
#include "win32/MainForm.h"
#include "win32/MessageLoop.h"
#include "win32/Pictures.h"
#include "win32/Wide.h"

#include <commctrl.h>

namespace win32ui {

int runProgram(HINSTANCE instance) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    PictureDecoder pictures;
    // An address that cannot be opened: a box with an OK button, no icon and the program's title.
    const TOURL::NoticeOverride notice([](std::wstring_view /*address*/) {
        MessageBoxW(nullptr, toWide(layout::kLauncherFailed).c_str(), L"Stepwick", MB_OK);
    });
    Mod mod;
    MainForm form(mod, platform::hostSystem(platform::programFileSystem()));
    if (!form.open(LoadIconW(instance, MAKEINTRESOURCEW(1))))
        return 1;
    return runMessageLoop([&form](HWND window) { return form.isOwnWindow(window); });
}

} // namespace win32ui
