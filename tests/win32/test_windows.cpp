// The Win32 windows, driven from outside through their handles:
//   window_driver.exe STEPWICK_TEST_EXE WORK_FOLDER [CASE...]
#include "Driver.h"
#include "StepwickVersion.h"
#include "ui/layout/Wording.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

using namespace driver;
using layout::Kind;

namespace {

std::wstring g_exe, g_work;

std::wstring addressesFile() { return g_work + L"\\addresses.txt"; }

std::string readAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

RECT clientRectOf(HWND control, HWND window) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Where the design puts the control, in pixels at 96 dpi, frames resolved.
RECT designed(const layout::Window& w, const layout::Control& c) {
    layout::Twips t = c.place;
    if (!c.frame.empty()) {
        t.left += w[c.frame].place.left;
        t.top += w[c.frame].place.top;
    }
    const int left = layout::toPixels(t.left), top = layout::toPixels(t.top);
    return {left, top, left + layout::toPixels(t.width), top + layout::toPixels(t.height)};
}

// The font the program noted on the control (see UnderTestMain.cpp).
void checkFont(HWND control, const layout::Control& c, const std::string& where) {
    const auto spec = reinterpret_cast<std::uintptr_t>(GetPropW(control, L"Stepwick.FontSpec"));
    wchar_t face[LF_FACESIZE] = {};
    GlobalGetAtomNameW(ATOM(reinterpret_cast<std::uintptr_t>(GetPropW(control, L"Stepwick.FontFace"))), face,
                       LF_FACESIZE);
    const long pixels = long(spec & 0xFF), designPixels = long(c.font->points * 96 / 72 + 0.5);
    const bool bold = ((spec >> 8) & 0xF) >= FW_BOLD / 100, underline = (spec >> 12) & 1;
    const bool fitted = c.kind == Kind::Link || c.kind == Kind::Label;
    if (!EXPECT(std::wstring(face) == wide(c.font->face) &&
                ((spec >> 16) & 0xFF) == unsigned(c.font->charset) && bold == c.font->bold &&
                underline == c.font->underline &&
                (fitted ? pixels <= designPixels && pixels > designPixels / 2 : pixels == designPixels)))
        fail(__FILE__, __LINE__, where + " font " + narrow(face) + " " + std::to_string(pixels) + "px");
}

// Every control where the design puts it, with its caption and font.
void checkControls(HWND window, const layout::Window& w) {
    for (const layout::Control& c : w.controls) {
        const std::string where = std::string(w.name) + "." + std::string(c.name);
        HWND control = item(window, w, c.name);
        if (c.kind == Kind::Timer) {
            EXPECT(control == nullptr);
            continue;
        }
        if (!EXPECT(control != nullptr)) {
            fail(__FILE__, __LINE__, where + " missing");
            continue;
        }
        const RECT r = clientRectOf(control, window), d = designed(w, c);
        const bool ownWidth = c.name == "ADL" || c.kind == Kind::Image ||
                              (w.name == "About" && (c.name == "Label6" || c.name == "Label7"));
        const bool ownHeight = c.kind == Kind::Image || c.kind == Kind::Line || c.kind == Kind::DriveList;
        if (!EXPECT(r.left == d.left && r.top == d.top && (ownWidth || r.right == d.right) &&
                    (ownHeight || r.bottom == d.bottom)))
            fail(__FILE__, __LINE__, where + " at " + std::to_string(r.left) + "," + std::to_string(r.top));
        if (c.font)
            checkFont(control, c, where);
        const bool captioned = c.kind != Kind::Link && c.kind != Kind::TextBlock && c.kind != Kind::LogBox;
        if (captioned && !c.caption.empty())
            EXPECT_EQ(textOf(control), wide(c.caption));
    }
}

void checkWindow(HWND window, const layout::Window& w, bool minimisable) {
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, layout::toPixels(w.width));
    EXPECT_EQ(client.bottom, layout::toPixels(w.height));
    EXPECT_EQ(textOf(window), wide(w.caption));
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE), ex = GetWindowLongPtrW(window, GWL_EXSTYLE);
    EXPECT(!(style & WS_MAXIMIZEBOX) && bool(style & WS_MINIMIZEBOX) == minimisable);
    EXPECT(bool(ex & WS_EX_TOOLWINDOW) == w.tool && bool(style & WS_THICKFRAME) == w.sizable);
    checkControls(window, w);
}

void windowsAsDesigned() {
    Program p(g_exe, addressesFile());
    checkWindow(p.main(), layout::kMainForm, false);
    click(item(p.main(), layout::kMainForm, "CmdAdd"));
    checkWindow(p.window(win32ui::kTextsClass), layout::kTexts, false);
    click(item(p.main(), layout::kMainForm, "CmdOpen"));
    checkWindow(p.window(win32ui::kFileBroClass), layout::kFileBro, false);
    click(item(p.main(), layout::kMainForm, "Command1"));
    checkWindow(p.window(win32ui::kAboutClass), layout::kAbout, false);
}

// Opens on top, once; its links and the home-page button go to the opener, never to a browser.
void aboutOnTopOnceWithItsLinks() {
    DeleteFileW(addressesFile().c_str());
    Program p(g_exe, addressesFile());
    click(item(p.main(), layout::kMainForm, "Command1"));
    HWND about = p.window(win32ui::kAboutClass);
    click(item(p.main(), layout::kMainForm, "Command1"));
    EXPECT(p.window(win32ui::kAboutClass) == about && topmost(about) && !topmost(p.main()));
    EXPECT_EQ(textOf(item(about, layout::kAbout, "Text2")), wide(layout::contactText()));
    EXPECT_EQ(textOf(item(about, layout::kAbout, "Label7")),
              wide(std::string("给我写信： ") + stepwick::kAuthorMail));
    for (const char* link : {"Label4", "Label6", "Label7"})
        mouseClick(item(about, layout::kAbout, link));
    postClick(item(p.main(), layout::kMainForm, "Command3"));
    const std::string expected = std::string(stepwick::kCompanyUrl) + "\n" + stepwick::kAuthorUrl +
                                 "\nmailto:" + stepwick::kAuthorMail + "\n" + stepwick::kAuthorUrl + "\n";
    waitFor([&] { return readAll(addressesFile()) == expected; }, 5000);
    EXPECT_EQ(wide(readAll(addressesFile())), wide(expected));
    click(item(about, layout::kAbout, "Command1"));
    EXPECT(waitFor([&] { return !IsWindow(about); }));
}

void keepOnTopFollowsTheBox() {
    Program p(g_exe, addressesFile());
    HWND box = item(p.main(), layout::kMainForm, "Check1");
    EXPECT(!checked(box) && !topmost(p.main()));
    click(box);
    EXPECT(checked(box) && topmost(p.main()));
    click(box);
    EXPECT(!checked(box) && !topmost(p.main()));
}

// The design caption at the design place, then one message every three seconds, each centred.
void bannerTurnsEveryThreeSeconds() {
    Program p(g_exe, addressesFile());
    HWND adl = item(p.main(), layout::kMainForm, "ADL");
    EXPECT_EQ(clientRectOf(adl, p.main()).left, layout::toPixels(1080));
    const DWORD start = GetTickCount();
    EXPECT(waitFor([&] { return clientRectOf(adl, p.main()).left != layout::toPixels(1080); }, 5000));
    EXPECT(GetTickCount() - start >= 2500);
    EXPECT_EQ(textOf(adl), wide(layout::bannerMessage(1)));
    EXPECT(waitFor([&] { return textOf(adl) == wide(layout::bannerMessage(2)); }, 5000));
    RECT client;
    GetClientRect(p.main(), &client);
    const RECT r = clientRectOf(adl, p.main());
    EXPECT(std::abs(r.left - (client.right - r.right)) <= 1);
}

// Confirm and the title bar's close both hide; the text stays for the next showing.
void codeWindowHidesAndKeepsItsText() {
    Program p(g_exe, addressesFile());
    EXPECT(!p.hasWindow(win32ui::kTextsClass));
    click(item(p.main(), layout::kMainForm, "CmdAdd"));
    HWND texts = p.window(win32ui::kTextsClass);
    HWND box = item(texts, layout::kTexts, "Text1");
    EXPECT_EQ(textOf(box), L"在这里输入欲添加的字符。");
    setText(box, L"<!-- 代码 -->\r\n");
    SendMessageW(texts, WM_CLOSE, 0, 0);
    EXPECT(IsWindow(texts) && !IsWindowVisible(texts));
    click(item(p.main(), layout::kMainForm, "CmdAdd"));
    EXPECT(IsWindowVisible(texts));
    EXPECT_EQ(textOf(box), L"<!-- 代码 -->\r\n");
    click(item(texts, layout::kTexts, "Command1"));
    EXPECT(!IsWindowVisible(texts));
}

// Enter held down on a button clicks it once; the exit button ends the program with its windows.
void enterClicksOncePerPressAndExitEndsAll() {
    DeleteFileW(addressesFile().c_str());
    Program p(g_exe, addressesFile());
    HWND home = item(p.main(), layout::kMainForm, "Command3");
    PostMessageW(home, WM_KEYDOWN, VK_RETURN, 1);
    for (int i = 0; i < 5; ++i)
        PostMessageW(home, WM_KEYDOWN, VK_RETURN, 1 | (1 << 30));
    PostMessageW(home, WM_KEYUP, VK_RETURN, 1 | (3u << 30));
    Sleep(500);
    EXPECT_EQ(wide(readAll(addressesFile())), wide(std::string(stepwick::kAuthorUrl) + "\n"));
    click(item(p.main(), layout::kMainForm, "CmdOpen"));
    click(item(p.main(), layout::kMainForm, "Command1"));
    p.window(win32ui::kAboutClass);
    postClick(item(p.main(), layout::kMainForm, "Command4"));
    EXPECT(p.ended());
}

const std::pair<const char*, std::function<void()>> kCases[] = {
    {"windowsAsDesigned", windowsAsDesigned},
    {"aboutOnTopOnceWithItsLinks", aboutOnTopOnceWithItsLinks},
    {"keepOnTopFollowsTheBox", keepOnTopFollowsTheBox},
    {"bannerTurnsEveryThreeSeconds", bannerTurnsEveryThreeSeconds},
    {"codeWindowHidesAndKeepsItsText", codeWindowHidesAndKeepsItsText},
    {"enterClicksOncePerPressAndExitEndsAll", enterClicksOncePerPressAndExitEndsAll},
};

} // namespace

// The installed program: its main window comes up, and a close from the title bar ends it.
int startAndClose(const std::wstring& exe) {
    Program p(exe, L"");
    EXPECT(p.main() != nullptr);
    PostMessageW(p.main(), WM_CLOSE, 0, 0);
    EXPECT(p.ended());
    return failures() == 0 ? 0 : 1;
}

// For the screenshots: the four windows side by side, each one's frame on a line of standard output
// ("NAME LEFT TOP WIDTH HEIGHT"), then waits for a line on standard input and exits the program.
int tour(const std::wstring& exe, const std::wstring& work) {
    Program p(exe, work + L"\\addresses.txt");
    click(item(p.main(), layout::kMainForm, "CmdAdd"));
    click(item(p.main(), layout::kMainForm, "CmdOpen"));
    click(item(p.main(), layout::kMainForm, "Command1"));
    const std::pair<const char*, HWND> windows[] = {{"mainform", p.main()},
                                                    {"texts", p.window(win32ui::kTextsClass)},
                                                    {"filebro", p.window(win32ui::kFileBroClass)},
                                                    {"about", p.window(win32ui::kAboutClass)}};
    const POINT places[] = {{10, 10}, {450, 10}, {10, 470}, {450, 500}};
    for (std::size_t i = 0; i < std::size(windows); ++i)
        SetWindowPos(windows[i].second, nullptr, places[i].x, places[i].y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Sleep(1500);
    for (const auto& [name, window] : windows) {
        RECT r;
        GetWindowRect(window, &r);
        std::printf("%s %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    std::fflush(stdout);
    char line[16];
    std::fgets(line, sizeof(line), stdin);
    postClick(item(p.main(), layout::kMainForm, "Command4"));
    return p.ended() ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"--start-and-close")
        return startAndClose(argv[2]);
    if (argc == 4 && std::wstring(argv[1]) == L"--tour")
        return tour(argv[2], argv[3]);
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_driver STEPWICK_TEST_EXE WORK_FOLDER [CASE...]\n");
        return 2;
    }
    g_exe = argv[1];
    g_work = argv[2];
    for (const auto& [name, run] : kCases) {
        bool chosen = argc == 3;
        for (int i = 3; i < argc; ++i)
            chosen = chosen || narrow(argv[i]) == name;
        if (!chosen)
            continue;
        const int before = failures();
        run();
        std::printf("%s %s\n", failures() == before ? "PASS" : "FAIL", name);
        std::fflush(stdout);
    }
    return failures() == 0 ? 0 : 1;
}
