#pragma once

// Works stepwick.exe's windows from another process, as a user would, through their handles.
#include "forms/FormDesigns.h"
#include "win32/ControlIds.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace driver {

// One failed check: where and what, on the error output; counted for the exit status.
void fail(const char* file, int line, const std::string& what);
int failures();

#define EXPECT(condition) ((condition) ? true : (driver::fail(__FILE__, __LINE__, #condition), false))
// The same, naming what the check was about.
#define EXPECT_AT(condition, what)                                                                           \
    ((condition) ? true : (driver::fail(__FILE__, __LINE__, std::string(#condition) + ": " + (what)), false))
#define EXPECT_EQ(actual, expected) driver::expectEqual(__FILE__, __LINE__, #actual, (actual), (expected))

std::string narrow(std::wstring_view wide);
std::wstring wide(std::string_view utf8);

bool expectEqual(const char* file, int line, const char* what, const std::wstring& actual,
                 const std::wstring& expected);

// Polls until ready() holds or the time is up.
template <typename F> bool waitFor(F ready, int milliseconds = 10000) {
    for (int waited = 0; waited <= milliseconds; waited += 20) {
        if (ready())
            return true;
        Sleep(20);
    }
    return false;
}

// The program under test, started with the file its links are recorded in.
class Program {
public:
    Program(const std::wstring& exe, const std::wstring& addresses, const std::wstring& folder = L"");
    ~Program();
    HWND main() const { return m_main; }
    // The visible window of that class, waiting for it to appear.
    HWND window(const wchar_t* className, int milliseconds = 10000) const;
    // The window of that class, shown or hidden.
    HWND anyWindow(const wchar_t* className) const;
    // True once the program has ended, with status 0 (not by a crash).
    bool ended(int milliseconds = 10000) const;
    DWORD id() const { return m_process.dwProcessId; }

private:
    PROCESS_INFORMATION m_process{};
    HWND m_main = nullptr;
};

HWND item(HWND window, const layout::Window& design, std::string_view name);
std::wstring textOf(HWND control);
void setText(HWND control, std::wstring_view text);
// Puts text on the clipboard, as a copy in another program would; false when it is held.
bool putOnClipboard(const std::wstring& text);
// A click by the button's own message; post: for a click that opens a modal box.
void click(HWND button);
void postClick(HWND button);
// A left press and release inside the control.
void mouseClick(HWND control);
bool checked(HWND button);
bool topmost(HWND window);

// The program's message box ":)", waited for: its text and icon; answered with OK.
struct Box {
    bool shown = false; // titled ":)"
    std::wstring text;
    bool hasIcon = false;
};
Box answerBox(DWORD process, int milliseconds = 10000);
// The program's message box if one is up now.
bool boxShown(DWORD process);

// Files below a folder, '/' between folder and name.
void writeFile(const std::wstring& folder, const std::string& name, const std::string& bytes);
std::string readFile(const std::wstring& folder, const std::string& name);

} // namespace driver
