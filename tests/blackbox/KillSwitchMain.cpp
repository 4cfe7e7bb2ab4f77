// stepwick-cli as the tests build it: the real program over a file system that can stop it at a
// chosen call. Never installed.
#include "cli/Cli.h"
#include "platform/FileSystemDecorator.h"

#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <vector>

namespace {

// Raises a signal in the calling thread just before each of the listed file-system calls
// (counting from 1): SIGKILL shows what a crash leaves behind, SIGINT or SIGTERM how a run stops.
// With unwritten >= 0, the system is said to hold that many unwritten bytes, so that a busy
// disk's way of flushing can be stopped too.
class KillSwitchFileSystem final : public platform::FileSystemDecorator {
public:
    KillSwitchFileSystem(platform::FileSystem& real, std::vector<long> at, int signo, long long unwritten)
        : FileSystemDecorator(real), m_at(std::move(at)), m_signal(signo), m_unwritten(unwritten) {}
    long long unwrittenBytes() override {
        return m_unwritten >= 0 ? m_unwritten : FileSystemDecorator::unwrittenBytes();
    }

protected:
    bool admit(const char*) override {
        const long call = ++m_count;
        for (long at : m_at)
            if (at == call)
                ::raise(m_signal);
        return true;
    }

private:
    const std::vector<long> m_at;
    const int m_signal;
    const long long m_unwritten;
    std::atomic<long> m_count{0};
};

// "k1,k2,...", or nothing.
std::vector<long> callNumbers(const char* list) {
    std::vector<long> at;
    for (char* end = nullptr; list && *list; list = *end ? end + 1 : end) {
        const long call = std::strtol(list, &end, 10);
        if (end == list)
            break;
        at.push_back(call);
    }
    return at;
}

} // namespace

// STEPWICK_KILL_AT=k[,k...], STEPWICK_KILL_SIGNAL=N (default SIGKILL), STEPWICK_KILL_UNWRITTEN=bytes.
int main(int argc, char** argv) {
    const char* signo = std::getenv("STEPWICK_KILL_SIGNAL");
    const char* unwritten = std::getenv("STEPWICK_KILL_UNWRITTEN");
    static KillSwitchFileSystem fs(platform::systemFileSystem(), callNumbers(std::getenv("STEPWICK_KILL_AT")),
                                   signo ? std::atoi(signo) : SIGKILL,
                                   unwritten ? std::atoll(unwritten) : -1);
    return runStepwickCli(argc, argv, fs);
}
