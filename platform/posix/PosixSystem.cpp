#include "platform/System.h"

#include "platform/SideThreads.h"
#include "platform/posix/PosixSystem.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {
namespace {

class PosixProcess final : public ProcessServices {
public:
    long processId() override { return static_cast<long>(::getpid()); }

    bool isAlive(long pid) override { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

    std::optional<std::uint32_t> creationMask() override {
        // Read without changing it: setting it to read it back would race with other threads.
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("Umask:", 0) == 0)
                return static_cast<std::uint32_t>(std::stoul(line.substr(6), nullptr, 8));
        return std::nullopt;
    }

    long freeDescriptors() override {
        struct rlimit rl {};
        if (::getrlimit(RLIMIT_NOFILE, &rl) != 0)
            return -1;
        const long limit = rl.rlim_cur == RLIM_INFINITY ? 1L << 20 : static_cast<long>(rl.rlim_cur);
        long open = 0;
        // Without /proc, ask each descriptor number below the limit.
        if (DIR* d = ::opendir("/proc/self/fd")) {
            // NOLINTNEXTLINE(concurrency-mt-unsafe): the folder stream is this call's own
            while (const dirent* e = ::readdir(d))
                open += e->d_name[0] != '.';
            ::closedir(d);
            --open; // the listing's own descriptor
        } else {
            for (int fd = 0; fd < limit && fd < (1 << 16); ++fd)
                open += ::fcntl(fd, F_GETFD) != -1;
        }
        return limit > open ? limit - open : 0;
    }

    // The table grows as more descriptors are open; growing it while other threads of the process
    // run makes the caller wait until each of them has been scheduled again (about 10 ms on a
    // virtual machine).
    void reserveDescriptors(long count) override {
        const int base = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (base < 0)
            return;
        // The lowest free number at or above count - 1: no descriptor in use is touched.
        const int far = count > base + 1 ? ::fcntl(base, F_DUPFD_CLOEXEC, static_cast<int>(count - 1)) : -1;
        if (far >= 0)
            ::close(far);
        ::close(base);
    }

    SideThreads& sideThreads() override {
        // Joined as the program ends: by then every run has waited for its tasks.
        static SideThreads threads;
        return threads;
    }
};

} // namespace

System hostSystem(FileSystem& files) {
    static PosixProcess process;
    return System{files, posix::charsets(), process, kPosixPaths};
}

const PathRules& systemPaths() { return kPosixPaths; }

} // namespace platform
