#include "win32/MessageBoxes.h"

#include "forms/Wording.h"
#include "win32/Wide.h"

#include <string>

namespace win32ui {

void showMessage(HWND owner, std::wstring_view text, MessageIcon icon) {
    const UINT style = icon == MessageIcon::Information ? MB_ICONINFORMATION
                       : icon == MessageIcon::Warning   ? MB_ICONWARNING
                                                        : 0;
    MessageBoxW(owner, std::wstring(text).c_str(), toWide(layout::kMessageTitle).c_str(), MB_OK | style);
}

} // namespace win32ui
