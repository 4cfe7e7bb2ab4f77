#include "platform/Process.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>

namespace platform {
namespace {

// Read by the console's handler thread at any moment: only ever a flag that is still alive, or nothing.
std::atomic<std::atomic<bool>*> g_stop{nullptr};
std::atomic<int> g_signal{0};
// Handlers between reading g_stop and setting what it pointed at.
std::atomic<int> g_handling{0};
// The events that came once already: a second of a kind ends the process.
std::atomic<unsigned> g_seen{0};

// Ctrl+C and Ctrl+Break are both the user's interrupt (SIGINT); closing the console is a hang-up.
int signalOf(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        return SIGINT;
    case CTRL_CLOSE_EVENT:
        return 1; // SIGHUP
    default:
        return 0;
    }
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    const int signo = signalOf(event);
    if (signo == 0)
        return FALSE;
    if ((g_seen.fetch_or(1u << signo) & (1u << signo)) != 0)
        return FALSE; // the system's handler ends the process
    ++g_handling;
    int none = 0;
    g_signal.compare_exchange_strong(none, signo);
    std::atomic<bool>* stop = g_stop.load();
    if (stop)
        stop->store(true);
    --g_handling;
    // Once this returns, a closing console ends the process: give the run its few seconds to stop.
    if (event == CTRL_CLOSE_EVENT && stop)
        ::Sleep(4500);
    return TRUE;
}

} // namespace

unsigned openClosedStandardStreams() {
    static constexpr DWORD kStd[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    unsigned closed = 0;
    for (int fd = 0; fd <= 2; ++fd) {
        const HANDLE std = ::GetStdHandle(kStd[fd]);
        // -2: the runtime's mark for a stream a program without a console never had.
        const intptr_t os = ::_get_osfhandle(fd);
        if (std != nullptr && std != INVALID_HANDLE_VALUE && os != -1 && os != -2)
            continue;
        closed |= 1u << fd;
        const int got = ::_wopen(L"NUL", fd == 0 ? _O_RDONLY | _O_BINARY : _O_WRONLY | _O_BINARY);
        if (got < 0)
            continue;
        if (got != fd) {
            ::_dup2(got, fd);
            ::_close(got);
        }
        ::SetStdHandle(kStd[fd], reinterpret_cast<HANDLE>(::_get_osfhandle(fd)));
    }
    return closed;
}

void ignoreBrokenPipe() {} // a write to a closed pipe fails with an error on Windows anyway

StopOnInterrupt::StopOnInterrupt(std::atomic<bool>& stop) : m_previous(g_stop.exchange(&stop)) {
    static const bool installed = ::SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
    (void)installed;
}

StopOnInterrupt::~StopOnInterrupt() {
    g_stop.store(m_previous);
    // A handler may have read our flag just before: the flag lives until it is done.
    while (g_handling.load() != 0)
        ::SwitchToThread();
}

int caughtSignal() { return g_signal.load(); }

int writeAll(int fd, std::string_view bytes) {
    // The bytes as they are: no line ends turned into CR LF.
    ::_setmode(fd, _O_BINARY);
    while (!bytes.empty()) {
        const int n =
            ::_write(fd, bytes.data(), static_cast<unsigned>(std::min<std::size_t>(bytes.size(), INT_MAX)));
        if (n <= 0)
            return n < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int closeStream(int fd) { return ::_close(fd) == 0 ? 0 : errno; }

// Handles are limited by memory alone, and the C runtime's descriptors serve only the standard streams.
long raiseOpenFileLimit() { return -1; }

} // namespace platform
