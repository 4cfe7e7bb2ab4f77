// Presses Ctrl+C in the console of a running program, as a user does: starts it with its standard
// output in LOG, waits until the log shows more than two lines, sends CTRL_C_EVENT to every process
// of the console (this one lets it pass), and exits with the program's status.
// usage: console_interrupt LOG PROGRAM [ARGS...]; needs a console (under wine: a terminal).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// One argument as CommandLineToArgvW reads it back.
std::wstring quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

int linesIn(HANDLE log) {
    char buf[4096];
    DWORD got = 0;
    int lines = 0;
    LARGE_INTEGER start{};
    SetFilePointerEx(log, start, nullptr, FILE_BEGIN);
    while (ReadFile(log, buf, sizeof buf, &got, nullptr) && got > 0)
        for (DWORD i = 0; i < got; ++i)
            lines += buf[i] == '\n';
    return lines;
}

// A handler is called the system's way (stdcall on 32-bit Windows), which no lambda is.
BOOL WINAPI passBy(DWORD) { return TRUE; }

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: console_interrupt LOG PROGRAM [ARGS...]\n");
        return 2;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE log = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "console_interrupt: cannot create the log (error %lu)\n", GetLastError());
        return 2;
    }
    std::wstring command;
    for (int i = 2; i < argc; ++i)
        command += (i > 2 ? L" " : L"") + quoted(argv[i]);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = log;
    start.hStdError = log;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                        &child)) {
        std::fprintf(stderr, "console_interrupt: cannot start the program (error %lu)\n", GetLastError());
        return 2;
    }
    // Lets Ctrl+C pass this process by; the handler is ours alone, the program keeps its own.
    SetConsoleCtrlHandler(&passBy, TRUE);
    // Its own separate handle: reading moves no position that the program writes at.
    HANDLE reader = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    while (linesIn(reader) <= 2 && WaitForSingleObject(child.hProcess, 50) == WAIT_TIMEOUT) {
    }
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
        std::fprintf(stderr, "console_interrupt: no Ctrl+C sent (error %lu)\n", GetLastError());
    DWORD status = 2;
    if (WaitForSingleObject(child.hProcess, 120000) != WAIT_OBJECT_0)
        TerminateProcess(child.hProcess, 2);
    GetExitCodeProcess(child.hProcess, &status);
    return static_cast<int>(status);
}
