#include "platform/win32desktop/TOURL.h"

#include <windows.h>

#include <shellapi.h>

namespace {

// The system's handler for web addresses and mailto: links, started minimised as the window
// style of the launcher asks.
class ShellOpener : public TOURL::AddressOpener {
public:
    bool open(std::wstring_view address) override {
        const std::wstring target(address);
        const auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWMINIMIZED));
        return result > 32;
    }
};

ShellOpener g_shell;
TOURL::AddressOpener* g_opener = &g_shell;

TOURL::Notice& notice() {
    static TOURL::Notice told = [](std::wstring_view address) {
        OutputDebugStringW((L"cannot open " + std::wstring(address) + L"\n").c_str());
    };
    return told;
}

void openOrTell(const std::wstring& address) {
    if (!g_opener->open(address))
        notice()(address);
}

} // namespace

void TOURL::OpenUrl(std::wstring_view url) { openOrTell(std::wstring(url)); }

void TOURL::OpenMail(std::wstring_view address) { openOrTell(L"mailto:" + std::wstring(address)); }

TOURL::OpenerOverride::OpenerOverride(AddressOpener& opener) : ScopedOverride(g_opener, &opener) {}

TOURL::NoticeOverride::NoticeOverride(Notice replacement)
    : ScopedOverride(notice(), std::move(replacement)) {}
