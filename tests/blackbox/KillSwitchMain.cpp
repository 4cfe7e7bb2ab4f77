// stepwick-cli as the tests build it: the real program over a file system that raises a signal in
// the calling thread just before chosen file-system calls. Never installed.
// STEPWICK_KILL_AT=k[,k...] counts calls from 1; STEPWICK_KILL_SIGNAL=N (default SIGKILL) shows what
// a crash leaves behind, SIGINT or SIGTERM how a run stops; STEPWICK_KILL_UNWRITTEN=bytes says the
// system holds that many unwritten bytes, so that a busy disk's way of flushing can be stopped too.
// STEPWICK_KILL_NAMED=1: no unnamed files, as on Windows: every new content is named from the start.
#include "cli/Cli.h"
#include "platform/FileSystemDecorator.h"
#include "platform/System.h"

#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace {

const char* env(const char* name, const char* otherwise) {
    const char* value = std::getenv(name);
    return value ? value : otherwise;
}

class KillSwitchFileSystem final : public platform::FileSystemDecorator {
public:
    using FileSystemDecorator::FileSystemDecorator;
    long long unwrittenBytes() override {
        return m_unwritten >= 0 ? m_unwritten : FileSystemDecorator::unwrittenBytes();
    }
    std::error_code openUnnamed(platform::FileHandle dir, std::uint32_t permissions,
                                platform::FileHandle& out) override {
        if (m_named)
            return std::make_error_code(std::errc::operation_not_supported);
        return FileSystemDecorator::openUnnamed(dir, permissions, out);
    }

protected:
    std::error_code admit(const char*, platform::FileHandle) override {
        if (m_at.find("," + std::to_string(++m_count) + ",") != std::string::npos)
            ::raise(m_signal);
        return {};
    }

private:
    const std::string m_at = "," + std::string(env("STEPWICK_KILL_AT", "")) + ",";
    const int m_signal = std::atoi(env("STEPWICK_KILL_SIGNAL", "9"));
    const long long m_unwritten = std::atoll(env("STEPWICK_KILL_UNWRITTEN", "-1"));
    const bool m_named = std::string(env("STEPWICK_KILL_NAMED", "")) == "1";
    std::atomic<long> m_count{0};
};

} // namespace

int main(int argc, char** argv) {
    static KillSwitchFileSystem fs(platform::systemFileSystem());
    return runStepwickCli(argc, argv, fs);
}
