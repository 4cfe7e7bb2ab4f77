#include "platform/Process.h"
#include "platform/Retry.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

// Read by the handler at any moment: only ever a flag that is still alive, or nothing.
std::atomic<std::atomic<bool>*> g_stop{nullptr};
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);
volatile sig_atomic_t g_signal = 0;
// Handlers between reading g_stop and setting what it pointed at.
std::atomic<int> g_handling{0};

void onInterrupt(int signo) {
    ++g_handling;
    if (g_signal == 0)
        g_signal = signo;
    if (std::atomic<bool>* stop = g_stop.load())
        stop->store(true);
    --g_handling;
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

StopOnInterrupt::StopOnInterrupt(std::atomic<bool>& stop) : m_previous(g_stop.exchange(&stop)) {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    // The handler gives way to the default after one call: a second signal of a kind ends us.
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signo : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signo, &sa, nullptr);
}

StopOnInterrupt::~StopOnInterrupt() {
    g_stop.store(m_previous);
    // A handler on another thread may have read our flag just before: the flag lives until it is done.
    while (g_handling.load() != 0)
        ::sched_yield();
}

void ignoreBrokenPipe() { ::signal(SIGPIPE, SIG_IGN); }

int caughtSignal() { return g_signal; }

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = retryOnInterrupt([&] { return ::write(fd, bytes.data(), bytes.size()); });
        if (n <= 0)
            return n < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int closeStream(int fd) { return ::close(fd) == 0 || errno == EINTR ? 0 : errno; }

long raiseOpenFileLimit() {
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0)
        return -1;
    if (rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &rl);
        (void)::getrlimit(RLIMIT_NOFILE, &rl);
    }
    return rl.rlim_cur == RLIM_INFINITY ? -1 : static_cast<long>(rl.rlim_cur);
}

} // namespace platform
