// The Win32 windows, driven from outside through their handles:
//   window_driver.exe STEPWICK_TEST_EXE WORK_FOLDER [CASE...]
#include "../support/BusyLoops.h"
#include "../ui/ChoiceCases.h"
#include "Driver.h"
#include "StepwickVersion.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <functional>
#include <memory>
#include <sstream>
#include <vector>

using namespace driver;
using layout::Kind;

namespace {

std::wstring g_exe, g_work;
int g_dpi = 96; // the screen's: 96, and 144 in a prefix of its own

std::wstring addressesFile() { return g_work + L"\\addresses.txt"; }

RECT clientRectOf(HWND control, HWND window) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Where the design puts the control, in pixels at the screen's DPI, frames resolved.
RECT designed(const layout::Window& w, const layout::Control& c) {
    layout::Twips t = c.place;
    if (!c.frame.empty()) {
        t.left += w[c.frame].place.left;
        t.top += w[c.frame].place.top;
    }
    auto px = [](int twips) { return MulDiv(twips, g_dpi, layout::kTwipsPerInch); };
    const int left = px(t.left), top = px(t.top);
    return {left, top, left + px(t.width), top + px(t.height)};
}

// The font the program gave the control, made again from what it noted there (UnderTestMain.cpp).
LOGFONTW notedFont(HWND control) {
    const auto fontBits = reinterpret_cast<std::uintptr_t>(GetPropW(control, L"Stepwick.FontBits"));
    LOGFONTW lf{};
    lf.lfHeight = -LONG(fontBits & 0xFF);
    lf.lfWeight = LONG((fontBits >> 8) & 0xF) * 100;
    lf.lfUnderline = BYTE((fontBits >> 12) & 1);
    lf.lfCharSet = BYTE((fontBits >> 16) & 0xFF);
    GlobalGetAtomNameW(ATOM(reinterpret_cast<std::uintptr_t>(GetPropW(control, L"Stepwick.FontFace"))),
                       lf.lfFaceName, LF_FACESIZE);
    return lf;
}

void checkFont(HWND control, const layout::Control& c, const std::string& where) {
    const LOGFONTW lf = notedFont(control);
    const long pixels = -lf.lfHeight, designPixels = long(c.font->points * g_dpi / 72 + 0.5);
    const bool fitted = c.kind == Kind::Link || c.kind == Kind::Label;
    EXPECT_AT(std::wstring(lf.lfFaceName) == wide(c.font->face) &&
                  lf.lfCharSet == unsigned(c.font->charset) && (lf.lfWeight >= FW_BOLD) == c.font->bold &&
                  bool(lf.lfUnderline) == c.font->underline &&
                  (fitted ? pixels <= designPixels && pixels > designPixels / 2 : pixels == designPixels),
              where + " font " + narrow(lf.lfFaceName) + " " + std::to_string(pixels) + "px");
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
        if (!EXPECT_AT(control != nullptr, where))
            continue;
        const RECT r = clientRectOf(control, window), d = designed(w, c);
        const bool ownWidth = c.name == "ADL" || c.kind == Kind::Image ||
                              (w.name == "About" && (c.name == "Label6" || c.name == "Label7"));
        const bool ownHeight = c.kind == Kind::Image || c.kind == Kind::Line || c.kind == Kind::DriveList;
        EXPECT_AT(r.left == d.left && r.top == d.top && (ownWidth || r.right == d.right) &&
                      (ownHeight || r.bottom == d.bottom),
                  where + " at " + std::to_string(r.left) + "," + std::to_string(r.top));
        if (c.font)
            checkFont(control, c, where);
        const bool captioned = c.kind != Kind::Link && c.kind != Kind::TextBlock && c.kind != Kind::LogBox;
        if (captioned && !c.caption.empty())
            EXPECT_EQ(textOf(control), wide(c.caption));
    }
}

// The Tab key's order as the program's message loop follows it (the controls that take it, in the
// order the window holds them): the rows' tab order.
void checkTabOrder(HWND window, const layout::Window& w) {
    int last = -1;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const auto row = std::size_t(GetDlgCtrlID(c) - win32ui::kFirstControlId);
        if (!(GetWindowLongPtrW(c, GWL_STYLE) & WS_TABSTOP) || row >= w.controls.size())
            continue;
        const int tab = w.controls[row].tabIndex;
        EXPECT_AT(tab != layout::kNoTab && tab > last,
                  std::string(w.name) + "." + std::string(w.controls[row].name));
        last = tab;
    }
}

// Pixels at 96 dpi that a control keeps from its caption: an option's or a box's indicator, a
// frame's corners, a button's edges; -1: a control whose caption is drawn otherwise, or none.
int keptFromCaption(Kind kind) {
    const std::pair<Kind, int> kept[] = {
        {Kind::Option, 17}, {Kind::CheckBox, 17}, {Kind::Frame, 16}, {Kind::Button, 8}, {Kind::Label, 0}};
    for (const auto& [k, pixels] : kept)
        if (k == kind)
            return pixels;
    return -1;
}

// Every caption of the window shows whole at the screen's DPI, on one line in the control's font.
void captionsFit(HWND window, const layout::Window& w, int dpi) {
    const HDC dc = GetDC(nullptr);
    for (const layout::Control& c : w.controls) {
        HWND control = item(window, w, c.name);
        const std::wstring caption = control ? textOf(control) : std::wstring();
        if (keptFromCaption(c.kind) < 0 || caption.empty())
            continue;
        const LOGFONTW lf = notedFont(control);
        const HGDIOBJ before = SelectObject(dc, CreateFontIndirectW(&lf));
        RECT text{0, 0, 0, 0}, room;
        DrawTextW(dc, caption.c_str(), -1, &text, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        DeleteObject(SelectObject(dc, before));
        GetClientRect(control, &room);
        EXPECT_AT(text.right + MulDiv(keptFromCaption(c.kind), dpi, 96) <= room.right &&
                      (c.kind == Kind::Frame || text.bottom <= room.bottom),
                  std::string(w.name) + "." + std::string(c.name) + " needs " + std::to_string(text.right) +
                      " x " + std::to_string(text.bottom) + " at " + std::to_string(dpi) + " dpi");
    }
    ReleaseDC(nullptr, dc);
}

// The window's title, frame and size (at the screen's DPI) as the design has them, every control as
// its row says, every caption whole.
void checkWindow(HWND window, const layout::Window& w) {
    EXPECT_EQ(textOf(window), wide(w.caption));
    RECT client;
    GetClientRect(window, &client);
    EXPECT(std::abs(client.right - MulDiv(w.width, g_dpi, layout::kTwipsPerInch)) <= 1 &&
           std::abs(client.bottom - MulDiv(w.height, g_dpi, layout::kTwipsPerInch)) <= 1);
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE), ex = GetWindowLongPtrW(window, GWL_EXSTYLE);
    EXPECT(!(style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX)));
    EXPECT(bool(ex & WS_EX_TOOLWINDOW) == w.tool && bool(style & WS_THICKFRAME) == w.sizable);
    checkControls(window, w);
    checkTabOrder(window, w);
    captionsFit(window, w, g_dpi);
}

// The four windows, each opened by its button, with their designs.
std::vector<std::pair<HWND, const layout::Window*>> openWindows(const Program& p) {
    for (const char* opener : {"CmdAdd", "CmdOpen", "Command1"})
        click(item(p.main(), layout::kMainForm, opener));
    return {{p.main(), &layout::kMainForm},
            {p.window(win32ui::kTextsClass), &layout::kTexts},
            {p.window(win32ui::kFileBroClass), &layout::kFileBro},
            {p.window(win32ui::kAboutClass), &layout::kAbout}};
}

// Each window as designed at the screen's DPI, opened by its button. Confirm and the title bar's
// close both hide the code window; its text stays for the next showing. The code window and About
// first open on the screen, and apart where it has room.
void windowsAsDesigned() {
    Program p(g_exe, addressesFile());
    checkWindow(p.main(), layout::kMainForm); // before the banner's first turn
    EXPECT(!p.window(win32ui::kTextsClass, 0));
    const auto windows = openWindows(p);
    for (std::size_t i = 1; i < windows.size(); ++i)
        checkWindow(windows[i].first, *windows[i].second);
    HWND texts = windows[1].first, about = windows[3].first;
    HWND box = item(texts, layout::kTexts, "Text1");
    setText(box, L"<!-- 代码 -->\r\n");
    SendMessageW(texts, WM_CLOSE, 0, 0);
    EXPECT(IsWindow(texts) && !IsWindowVisible(texts));
    click(item(p.main(), layout::kMainForm, "CmdAdd"));
    EXPECT(IsWindowVisible(texts) && textOf(box) == L"<!-- 代码 -->\r\n");
    click(item(texts, layout::kTexts, "Command1"));
    EXPECT(!IsWindowVisible(texts));
    // The old code's box takes input while 替换 is the action.
    EXPECT(!IsWindowEnabled(item(texts, layout::kTexts, "Text2")));
    for (const char* action : {"OReplace", "OCheck"}) {
        click(item(p.main(), layout::kMainForm, action));
        EXPECT(IsWindowEnabled(item(texts, layout::kTexts, "Text2")) == (std::string(action) == "OReplace"));
    }
    click(item(p.main(), layout::kMainForm, "CmdAdd"));
    RECT t, a, both;
    GetWindowRect(texts, &t);
    GetWindowRect(about, &a);
    EXPECT(g_dpi != 96 || !IntersectRect(&both, &t, &a));
    for (const RECT& r : {t, a})
        EXPECT(r.left >= 0 && r.top >= 0 && r.right <= 1280 && r.bottom <= 1024);
}

// Keep-on-top follows its box. Enter held down on a button clicks it once. About opens on top,
// once; its links and the home-page button go to the opener, never to a browser. The exit button
// ends the program with its windows.
void aboutLinksKeepOnTopAndExit() {
    DeleteFileW(addressesFile().c_str());
    Program p(g_exe, addressesFile());
    auto addresses = [] { return wide(readFile(g_work, "addresses.txt")); };
    HWND keep = item(p.main(), layout::kMainForm, "Check1");
    EXPECT(!checked(keep) && !topmost(p.main()));
    for (const bool on : {true, false}) {
        click(keep);
        EXPECT(checked(keep) == on && topmost(p.main()) == on);
    }
    HWND home = item(p.main(), layout::kMainForm, "Command3");
    PostMessageW(home, WM_KEYDOWN, VK_RETURN, 1);
    for (int i = 0; i < 5; ++i)
        PostMessageW(home, WM_KEYDOWN, VK_RETURN, 1 | (1 << 30));
    PostMessageW(home, WM_KEYUP, VK_RETURN, 1 | (3u << 30));
    Sleep(500);
    EXPECT_EQ(addresses(), wide(std::string(stepwick::kAuthorUrl) + "\n"));
    click(item(p.main(), layout::kMainForm, "Command1"));
    HWND about = p.window(win32ui::kAboutClass);
    click(item(p.main(), layout::kMainForm, "Command1"));
    EXPECT(p.window(win32ui::kAboutClass) == about && topmost(about) && !topmost(p.main()));
    HWND ok = item(about, layout::kAbout, "Command1");
    auto focus = [&] {
        GUITHREADINFO gui{};
        gui.cbSize = sizeof(gui);
        return GetGUIThreadInfo(GetWindowThreadProcessId(about, nullptr), &gui) ? gui.hwndFocus : nullptr;
    };
    EXPECT(waitFor([&] { return focus() == ok; })); // OK holds the focus; Tab moves it on
    PostMessageW(ok, WM_KEYDOWN, VK_TAB, 1);
    EXPECT(waitFor([&] { return focus() != ok; }));
    std::string expected = std::string(stepwick::kAuthorUrl) + "\n";
    for (const auto& [name, inAbout, address] : windowcases::kLinks) {
        inAbout ? mouseClick(item(about, layout::kAbout, name))
                : postClick(item(p.main(), layout::kMainForm, name));
        expected += address + "\n";
    }
    EXPECT(waitFor([&] { return addresses() == wide(expected); }, 5000));
    click(ok);
    EXPECT(waitFor([&] { return !IsWindow(about); }));
    click(item(p.main(), layout::kMainForm, "CmdOpen"));
    click(item(p.main(), layout::kMainForm, "Command1"));
    p.window(win32ui::kAboutClass);
    postClick(item(p.main(), layout::kMainForm, "Command4"));
    EXPECT(p.ended());
}

// The design caption at the design place, then a message every three seconds, each centred.
void bannerTurnsEveryThreeSeconds() {
    Program p(g_exe, addressesFile());
    HWND adl = item(p.main(), layout::kMainForm, "ADL");
    const LONG designed = clientRectOf(adl, p.main()).left;
    const std::wstring first = textOf(adl);
    const DWORD start = GetTickCount();
    EXPECT(waitFor([&] { return clientRectOf(adl, p.main()).left != designed; }, 5000));
    EXPECT(GetTickCount() - start >= 2500);
    EXPECT(waitFor([&] { return textOf(adl) != first; }, 5000));
    RECT client;
    GetClientRect(p.main(), &client);
    const RECT r = clientRectOf(adl, p.main());
    EXPECT(std::abs(r.left - (client.right - r.right)) <= 1);
}

// A fresh program in a folder of its own holding files, started there.
struct Session {
    std::wstring dir;
    std::unique_ptr<Program> p;
    explicit Session(const windowcases::Files& files) {
        static int count = 0;
        dir = g_work + L"\\s" + std::to_wstring(++count);
        CreateDirectoryW(dir.c_str(), nullptr);
        for (const auto& [name, bytes] : files)
            writeFile(dir, name, bytes);
        p = std::make_unique<Program>(g_exe, addressesFile(), dir);
    }
    HWND control(const char* name) const { return item(p->main(), layout::kMainForm, name); }
    HWND texts(const char* name) const {
        return item(p->anyWindow(win32ui::kTextsClass), layout::kTexts, name);
    }
    HWND picker() const { return p->window(win32ui::kFileBroClass); }
    std::wstring log() const { return textOf(control("Text1")); }
    // The session's folder confirmed in the picker, and the code set.
    void prepare(std::wstring_view code) {
        click(control("CmdOpen"));
        HWND fileBro = picker();
        click(item(fileBro, layout::kFileBro, "Command1"));
        EXPECT(waitFor([&] { return !IsWindow(fileBro); }));
        setText(texts("Text1"), code);
    }
    // Presses the start button; what the run added to the log once it ended (with its thanks line),
    // or nothing when a message box came up instead.
    std::wstring run() const {
        const std::size_t before = log().size();
        postClick(control("Command2"));
        waitFor([&] {
            const std::wstring now = log();
            return boxShown(p->id()) || (now.size() > before && now.ends_with(L"感谢您使用本软件！"));
        });
        return log().substr(before);
    }
};

// The log as the table writes it, as the Windows log shows it: a '/' behind a name's letter stands
// between folder and name.
std::wstring windowsLog(const std::string& log) {
    std::wstring out;
    for (const wchar_t c : wide(log)) {
        const bool separator = c == L'/' && !out.empty() && std::iswalnum(out.back());
        out += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, separator ? L'\\' : c);
    }
    return out + L"\r\n感谢您使用本软件！";
}

void choose(Session& s, const std::string& choice) {
    using windowcases::inTexts;
    const std::size_t typed = choice.find('=');
    if (typed != std::string::npos) {
        const std::string name = choice.substr(0, typed);
        const std::wstring text = wide(choice.substr(typed + 1));
        if (name == "ReadOnly")
            EXPECT(SetFileAttributesW((s.dir + L"\\" + text).c_str(), FILE_ATTRIBUTE_READONLY));
        else
            setText(inTexts(name) ? s.texts(name.c_str()) : s.control(name.c_str()), text);
    } else if (choice == "Pick")
        click(s.control("CmdOpen"));
    else if (choice == "Tick")
        click(item(s.picker(), layout::kFileBro, "Check1"));
    else if (choice == "Confirm" || choice == "Close") {
        HWND picker = s.picker();
        choice == "Close" ? (void)SendMessageW(picker, WM_CLOSE, 0, 0)
                          : click(item(picker, layout::kFileBro, "Command1"));
        EXPECT(waitFor([&] { return !IsWindow(picker); }));
    } else if (inTexts(choice)) {
        HWND box = s.texts(choice.c_str());
        SendMessageW(box, BM_SETCHECK, checked(box) ? BST_UNCHECKED : BST_CHECKED, 0);
    } else {
        click(s.control(choice.c_str()));
    }
}

void choicesInTheWindowsShapeTheRun() {
    for (const auto& [choices, log, after, message, notice] : windowcases::choiceCases()) {
        const int before = failures();
        Session s(windowcases::kChoiceFiles);
        s.prepare(L"C");
        std::istringstream words(choices);
        for (std::string choice; std::getline(words, choice, ' ');)
            choose(s, choice);
        EXPECT_EQ(s.run(), log ? windowsLog(log) : std::wstring());
        if (message) {
            const Box box = answerBox(s.p->id());
            EXPECT(box.shown && box.hasIcon);
            EXPECT_EQ(box.text, wide(message));
        } else {
            EXPECT(!boxShown(s.p->id()));
        }
        for (const auto& [name, bytes] : after)
            EXPECT_EQ(wide(readFile(s.dir, name)), wide(bytes));
        if (failures() > before)
            fail(__FILE__, __LINE__, std::string("in case ") + choices);
    }
}

// Start without a folder: asked for one; picked in the picker; the placeholder as code; a hidden
// read-only file not listed, but left and reported. A folder gone since it was listed is not
// opened: the user is told why, the lists stay.
void runFromFolderPickToLog() {
    Session s({{"site/a.htm", "old line\r\n"}, {"site/b.htm", "last"}, {"site/r.htm", "r"}, {"gone/x", ""}});
    SetFileAttributesW((s.dir + L"\\site\\r.htm").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT(s.run().empty());
    const Box box = answerBox(s.p->id());
    EXPECT(box.shown && box.hasIcon); // titled ":)"
    EXPECT_EQ(box.text, wide(windowcases::kNoFolder));
    HWND picker = s.picker();
    HWND dirs = item(picker, layout::kFileBro, "Dir1"), files = item(picker, layout::kFileBro, "File1");
    EXPECT(SendMessageW(item(picker, layout::kFileBro, "Drive1"), CB_GETCURSEL, 0, 0) >= 0); // its drive
    // Enter opens the chosen folder, as a double click does; held down, it opens it once. The last
    // row (site) goes down, a row above the open folder's own goes up.
    auto open = [&](LRESULT row, LRESULT count, int held) {
        SendMessageW(dirs, LB_SETCURSEL, WPARAM(row), 0);
        for (int i = 0; i <= held; ++i)
            PostMessageW(dirs, WM_KEYDOWN, VK_RETURN, 1 | (i << 30));
        PostMessageW(dirs, WM_KEYUP, VK_RETURN, 1 | (3u << 30));
        EXPECT(waitFor([&] { return SendMessageW(files, LB_GETCOUNT, 0, 0) == count; }));
    };
    EXPECT(DeleteFileW((s.dir + L"\\gone\\x").c_str()) && RemoveDirectoryW((s.dir + L"\\gone").c_str()));
    const LRESULT rows = SendMessageW(dirs, LB_GETCOUNT, 0, 0);
    open(rows - 2, 0, 0); // gone: the start folder's files (none) stay listed
    EXPECT_EQ(answerBox(s.p->id()).text, L"无法打开文件夹“" + s.dir + L"\\gone”：没有那个文件或目录");
    EXPECT(SendMessageW(dirs, LB_GETCOUNT, 0, 0) == rows);
    open(rows - 1, 2, 1);
    open(SendMessageW(dirs, LB_GETCURSEL, 0, 0) - 1, 0, 0);
    open(SendMessageW(dirs, LB_GETCOUNT, 0, 0) - 1, 2, 0);
    click(s.control("CmdOpen")); // brings up the same picker, still in site
    click(item(picker, layout::kFileBro, "Command1"));
    click(s.control("Option2"));
    click(s.control("Ohead"));
    // Files without a mark and not UTF-8 beyond ASCII take the system's ANSI code page: 936 here.
    EXPECT(GetACP() == 936);
    const std::string placeholder = "\xD4\xDA\xD5\xE2\xC0\xEF\xCA\xE4\xC8\xEB\xD3\xFB\xCC\xED\xBC\xD3\xB5\xC4"
                                    "\xD7\xD6\xB7\xFB\xA1\xA3\r\n"; // 在这里输入欲添加的字符。
    EXPECT_EQ(s.run(), windowsLog("a.htm\nb.htm\nr.htm（未能处理：只读文件）\n\n"
                                  "处理了2个文件。\n有1个文件未能处理。"));
    EXPECT_EQ(answerBox(s.p->id()).text, L"有1个文件未能处理，详见记录。");
    EXPECT(readFile(s.dir, "site/a.htm") == placeholder + "old line\r\n");
    EXPECT(readFile(s.dir, "site/b.htm") == placeholder + "last\r\n");
    // A code the files' code page cannot hold is refused with a message.
    setText(s.texts("Text1"), L"\U0001F600");
    EXPECT(s.run().empty());
    EXPECT_EQ(answerBox(s.p->id()).text, L"代码中有无法按文件编码写入的字符，没有文件被修改。\n"
                                         L"the code holds characters that cannot be written in CP936");
    EXPECT_EQ(s.log().substr(0, 8), L"被处理的文件\r\n");
}

// 取消 in the progress window stops the run between two files: the files before are changed, the
// rest untouched, and the log says so; the banner goes on turning meanwhile.
void cancelStopsBetweenFiles() {
    const windowcases::Files files = windowcases::numbered("f", 4000);
    Session s(files);
    s.prepare(L"C");
    click(s.control("Ohead"));
    postClick(s.control("Command2"));
    HWND progress = s.p->window(win32ui::kProgressClass, 20000);
    EXPECT(progress && topmost(progress) && !IsWindowEnabled(s.p->main()) &&
           !IsWindowEnabled(s.p->anyWindow(win32ui::kTextsClass)));
    postClick(GetDlgItem(progress, win32ui::kProgressCancelId));
    EXPECT(waitFor([&] { return IsWindowEnabled(s.p->main()) && !IsWindow(progress); }, 60000));
    const std::wstring log = s.log();
    EXPECT(log.find(L"\r\n" + wide(windowcases::kCancelled) + L"\r\n") != std::wstring::npos);
    std::size_t changed = 0;
    for (const auto& [name, bytes] : files)
        changed += readFile(s.dir, name) == "C\r\n" + bytes;
    EXPECT(changed < files.size());
    EXPECT(log.find(L"处理了" + std::to_wstring(changed) + L"个文件。") != std::wstring::npos);
    // A fresh run: a start press during it is dropped; a close stops it, then ends the program.
    postClick(s.control("Command2"));
    EXPECT(s.p->window(win32ui::kProgressClass, 20000) != nullptr);
    postClick(s.control("Command2"));
    PostMessageW(s.p->main(), WM_CLOSE, 0, 0);
    EXPECT(s.p->ended(60000));
    EXPECT_EQ(wide(readFile(s.dir, files.back().first)), L"x\r\n");
}

// One press of 开始添加 is one run on a busy machine, however its keys queue: Enter held through the
// run and past its end (each repeat marked as one), clicks while it lasts; a fresh press after is
// one run more.
void onePressIsOneRun() {
    BusyLoops busy;
    const windowcases::Files files = windowcases::numbered("k", 400);
    Session s(files);
    s.prepare(L"C");
    click(s.control("Ohead"));
    HWND start = s.control("Command2");
    auto runs = [&] {
        const std::wstring log = s.log();
        std::size_t count = 0;
        for (std::size_t at = log.find(L"感谢"); at != std::wstring::npos; at = log.find(L"感谢", at + 1))
            ++count;
        return count;
    };
    PostMessageW(start, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT(waitFor([&] { return !IsWindowEnabled(s.p->main()); }));
    int during = 0; // clicks handled while the window was still disabled, so during the run
    for (int i = 0; i < 3; ++i)
        click(start), during += !IsWindowEnabled(s.p->main());
    EXPECT(during > 0);
    for (int afterEnd = 0, i = 0; afterEnd < 15 && i < 3000; ++i) {
        PostMessageW(start, WM_KEYDOWN, VK_RETURN, 1 | (1 << 30));
        Sleep(20);
        afterEnd += runs() > 0;
    }
    PostMessageW(start, WM_KEYUP, VK_RETURN, 1 | (3u << 30));
    auto settled = [&] { return Sleep(300), waitFor([&] { return IsWindowEnabled(s.p->main()); }, 60000); };
    const std::wstring once = windowsLog(windowcases::changedAll(files));
    EXPECT(settled());
    EXPECT_EQ(s.log(), L"被处理的文件\r\n" + once);
    PostMessageW(start, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageW(start, WM_KEYUP, VK_RETURN, 1 | (3u << 30));
    EXPECT(waitFor([&] { return runs() == 2; }, 60000) && settled());
    EXPECT_EQ(s.log(), L"被处理的文件\r\n" + once + once);
    for (const auto& [name, bytes] : files)
        if (!EXPECT_EQ(wide(readFile(s.dir, name)), L"C\r\nC\r\nx\r\n"))
            break;
}

// A pasted line too long to edit is held aside at once: the window stays responsive, says how long
// the code is, and Delete clears it. (The clipboard goes through X under wine, which is slow for
// megabytes; bench/codebox_bench_win32 times the 10-million-character paste.)
void longCodeHeldAsideAndCleared() {
    Session s({{"a.txt", std::string()}});
    s.prepare(L"C");
    click(s.control("CmdAdd"));
    HWND texts = s.p->window(win32ui::kTextsClass);
    HWND box = s.texts("Text1");
    const std::wstring line(200'000, L'x');
    DWORD start = 0;
    auto paste = [&](const std::wstring& text) {
        EXPECT(putOnClipboard(text));
        start = GetTickCount();
        PostMessageW(box, EM_SETSEL, 0, -1);
        PostMessageW(box, WM_PASTE, 0, 0);
    };
    paste(line);
    auto noticed = [&] {
        for (HWND c = GetWindow(texts, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (IsWindowVisible(c) && textOf(c) == wide(windowcases::heldAside(line.size())))
                return true;
        return false;
    };
    EXPECT(waitFor(noticed, 20000));
    EXPECT(GetTickCount() - start < 3000);
    DWORD_PTR answer = 0;
    EXPECT(SendMessageTimeoutW(texts, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) != 0);
    EXPECT(textOf(box).size() < 5000);
    // A run inserts the held code whole; a paste replaces it whole, editable again.
    EXPECT_EQ(s.run(), windowsLog("a.txt\n\n处理了1个文件。"));
    EXPECT(readFile(s.dir, "a.txt") == std::string(line.size(), 'x') + "\r\n");
    paste(L"P");
    EXPECT(waitFor([&] { return textOf(box) == L"P" && !noticed(); }));
    EXPECT(!(GetWindowLongPtrW(box, GWL_STYLE) & ES_READONLY));
    paste(line);
    EXPECT(waitFor(noticed, 20000));
    PostMessageW(box, WM_KEYDOWN, VK_DELETE, 1);
    EXPECT(waitFor([&] { return textOf(box).empty() && !noticed(); }));
}

const std::pair<const char*, std::function<void()>> kCases[] = {
    {"windowsAsDesigned", windowsAsDesigned},
    {"aboutLinksKeepOnTopAndExit", aboutLinksKeepOnTopAndExit},
    {"bannerTurnsEveryThreeSeconds", bannerTurnsEveryThreeSeconds},
    {"runFromFolderPickToLog", runFromFolderPickToLog},
    {"choicesInTheWindowsShapeTheRun", choicesInTheWindowsShapeTheRun},
    {"cancelStopsBetweenFiles", cancelStopsBetweenFiles},
    {"onePressIsOneRun", onePressIsOneRun},
    {"longCodeHeldAsideAndCleared", longCodeHeldAsideAndCleared},
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
    const auto windows = openWindows(p);
    const POINT places[] = {{10, 10}, {590, 10}, {10, 470}, {590, 640}};
    for (std::size_t i = 0; i < windows.size(); ++i)
        SetWindowPos(windows[i].first, nullptr, places[i].x, places[i].y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Sleep(1500);
    for (const auto& [window, design] : windows) {
        RECT r;
        GetWindowRect(window, &r);
        std::string name(design->name);
        std::ranges::transform(name, name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        std::printf("%s %ld %ld %ld %ld\n", name.c_str(), r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    std::fflush(stdout);
    char line[16];
    std::fgets(line, sizeof(line), stdin);
    postClick(item(p.main(), layout::kMainForm, "Command4"));
    return p.ended() ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
    // Sizes and fonts as the program has them, at whatever DPI the screen has.
    SetProcessDPIAware();
    const HDC screen = GetDC(nullptr);
    g_dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (argc == 3 && std::wstring(argv[1]) == L"--start-and-close")
        return startAndClose(argv[2]);
    if (argc == 4 && std::wstring(argv[1]) == L"--tour")
        return tour(argv[2], argv[3]);
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_driver STEPWICK_TEST_EXE WORK_FOLDER [CASE... | -CASE...]\n");
        return 2;
    }
    g_exe = argv[1];
    g_work = argv[2];
    // The cases named, or, where only "-NAME"s are given, all but those; a name of none is an error.
    std::vector<std::string> named, left;
    for (int i = 3; i < argc; ++i) {
        const std::string word = narrow(argv[i]);
        const bool except = word.starts_with('-');
        const std::string name = except ? word.substr(1) : word;
        if (std::none_of(std::begin(kCases), std::end(kCases),
                         [&](const auto& c) { return name == c.first; })) {
            std::fprintf(stderr, "window_driver: no case %s\n", name.c_str());
            return 2;
        }
        (except ? left : named).push_back(name);
    }
    for (const auto& [name, run] : kCases) {
        const auto among = [name](const std::vector<std::string>& list) {
            return std::find(list.begin(), list.end(), name) != list.end();
        };
        if (named.empty() ? among(left) : !among(named))
            continue;
        const int before = failures();
        run();
        std::printf("%s %s\n", failures() == before ? "PASS" : "FAIL", name);
        std::fflush(stdout);
    }
    return failures() == 0 ? 0 : 1;
}
