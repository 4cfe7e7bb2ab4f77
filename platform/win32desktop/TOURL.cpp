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

constexpr std::wstring_view kFailure = L"无法找到Internet Explorer，可能是您没有正确的安装IE。请手动访问。";

TOURL::Notice& notice() {
    static TOURL::Notice shown = [](std::wstring_view text) {
        MessageBoxW(nullptr, std::wstring(text).c_str(), L"Stepwick", MB_OK);
    };
    return shown;
}

void openOrTell(const std::wstring& address) {
    if (!g_opener->open(address))
        notice()(kFailure);
}

} // namespace

void TOURL::OpenUrl(std::wstring_view url) { openOrTell(std::wstring(url)); }

void TOURL::OpenMail(std::wstring_view address) { openOrTell(L"mailto:" + std::wstring(address)); }

TOURL::OpenerOverride::OpenerOverride(AddressOpener& opener) : ScopedOverride(g_opener, &opener) {}

TOURL::NoticeOverride::NoticeOverride(Notice replacement)
    : ScopedOverride(notice(), std::move(replacement)) {}
