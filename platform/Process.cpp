#include "platform/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

std::atomic<bool>* g_stop = nullptr;
volatile sig_atomic_t g_signal = 0;

void onInterrupt(int signo) {
    if (g_signal == 0)
        g_signal = signo;
    if (g_stop)
        g_stop->store(true);
}

} // namespace

unsigned openClosedStandardStreams() {
    unsigned closed = 0;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        closed |= 1u << fd;
        // The lowest free number is this one: the lower ones are open by now.
        int got = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (got != fd && got >= 0)
            ::close(got);
    }
    return closed;
}

void stopOnInterrupt(std::atomic<bool>& stop) {
    g_stop = &stop;
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    // The handler gives way to the default after one call: a second signal of a kind ends us.
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signo : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signo, &sa, nullptr);
}

void ignoreBrokenPipe() { ::signal(SIGPIPE, SIG_IGN); }

int caughtSignal() { return g_signal; }

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int closeStream(int fd) { return ::close(fd) == 0 || errno == EINTR ? 0 : errno; }

bool isAlive(long pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

} // namespace platform
