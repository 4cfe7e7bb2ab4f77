#include "Driver.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace driver {

namespace {
int g_failures = 0;
}

void fail(const char* file, int line, const std::string& what) {
    ++g_failures;
    std::fprintf(stderr, "%s:%d: FAILED %s\n", file, line, what.c_str());
    std::fflush(stderr);
}

int failures() { return g_failures; }

std::string narrow(std::wstring_view w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring wide(std::string_view s) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring out(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), out.data(), n);
    return out;
}

bool expectEqual(const char* file, int line, const char* what, const std::wstring& actual,
                 const std::wstring& expected) {
    if (actual == expected)
        return true;
    fail(file, line,
         std::string(what) + "\n    actual:   \"" + narrow(actual) + "\"\n    expected: \"" +
             narrow(expected) + "\"");
    return false;
}

Program::Program(const std::wstring& exe, const std::wstring& addresses, const std::wstring& folder) {
    std::wstring command = L"\"" + exe + L"\" \"" + addresses + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &m_process)) {
        fail(__FILE__, __LINE__, "cannot start " + narrow(exe));
        return;
    }
    m_main = window(win32ui::kMainFormClass);
}

Program::~Program() {
    if (!m_process.hProcess)
        return;
    if (!ended(0)) {
        TerminateProcess(m_process.hProcess, 99);
        WaitForSingleObject(m_process.hProcess, 5000);
    }
    CloseHandle(m_process.hProcess);
    CloseHandle(m_process.hThread);
}

namespace {
// The first top-level window of the process of that class, maybe only a visible one.
HWND findWindow(DWORD process, const wchar_t* className, bool visibleOnly = true) {
    for (HWND w = FindWindowW(className, nullptr); w; w = FindWindowExW(nullptr, w, className, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == process && (!visibleOnly || IsWindowVisible(w)))
            return w;
    }
    return nullptr;
}
} // namespace

HWND Program::window(const wchar_t* className, int milliseconds) const {
    HWND found = nullptr;
    waitFor([&] { return (found = findWindow(m_process.dwProcessId, className)) != nullptr; }, milliseconds);
    return found;
}

HWND Program::anyWindow(const wchar_t* className) const {
    return findWindow(m_process.dwProcessId, className, false);
}

bool Program::ended(int milliseconds) const {
    DWORD status = 1;
    return WaitForSingleObject(m_process.hProcess, DWORD(milliseconds)) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(m_process.hProcess, &status) && status == 0;
}

HWND item(HWND window, const layout::Window& design, std::string_view name) {
    return GetDlgItem(window, win32ui::controlId(design, name));
}

std::wstring textOf(HWND control) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
    std::wstring text(std::size_t(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, text.size(), LPARAM(text.data()), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    text.resize(std::size_t(copied));
    return text;
}

void setText(HWND control, std::wstring_view text) {
    SendMessageW(control, WM_SETTEXT, 0, LPARAM(std::wstring(text).c_str()));
}

void click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

void postClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void mouseClick(HWND control) {
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

bool checked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool topmost(HWND window) { return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

namespace {
HWND boxOf(DWORD process) { return findWindow(process, L"#32770"); }

std::filesystem::path pathOf(const std::wstring& folder, const std::string& name) {
    return std::filesystem::path(folder) / std::u8string(name.begin(), name.end());
}
} // namespace

bool boxShown(DWORD process) { return boxOf(process) != nullptr; }

void writeFile(const std::wstring& folder, const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = pathOf(folder, name);
    std::error_code ignored; // a missing folder fails the write
    std::filesystem::create_directories(path.parent_path(), ignored);
    if (!std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size())))
        fail(__FILE__, __LINE__, "cannot write " + name);
}

std::string readFile(const std::wstring& folder, const std::string& name) {
    // Shared for writing and renaming too: a read while the program appends to the file or
    // replaces it must not make the program fail.
    HANDLE file = CreateFileW(pathOf(folder, name).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes(std::size_t(GetFileSize(file, nullptr)), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

Box answerBox(DWORD process, int milliseconds) {
    Box box;
    HWND dialog = nullptr;
    waitFor([&] { return (dialog = boxOf(process)) != nullptr; }, milliseconds);
    if (!dialog)
        return box;
    box.shown = textOf(dialog) == L":)";
    box.text = textOf(GetDlgItem(dialog, 0xFFFF));
    // The icon: id 20 on Windows, 0x440 under wine.
    for (int id : {20, 0x440})
        box.hasIcon = box.hasIcon || (GetDlgItem(dialog, id) && IsWindowVisible(GetDlgItem(dialog, id)));
    SendMessageW(dialog, WM_COMMAND, IDOK, 0); // gone from view on return
    return box;
}

bool putOnClipboard(const std::wstring& text) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    if (!OpenClipboard(nullptr))
        return false;
    EmptyClipboard();
    const bool put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
    return put;
}

} // namespace driver
