// stepwick-cli: the batch run without windows, for scripts and measurements.
#include "StepwickVersion.h"
#include "cli/CodeSource.h"
#include "cli/LogOutput.h"
#include "cli/Options.h"
#include "core/BatchRun.h"
#include "core/CodeText.h"
#include "core/Encoding.h"
#include "core/FileError.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <exception>
#include <optional>
#include <string>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailures = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLogIncomplete = 3;

// Prints the log as the run reports it, from the run's first report on: a run refused before
// it touched anything prints nothing. A log that cannot be written stops the run as a cancel does.
class StdoutSink final : public BatchSink {
public:
    StdoutSink(LogOutput& out, std::atomic<bool>& stop) : m_out(out), m_stop(stop) {}
    void appendLog(std::string_view text) override {
        if (!m_started) {
            m_out.write(kLogHeader);
            m_started = true;
        }
        m_out.write(text);
        if (m_out.failed())
            m_stop = true;
    }

private:
    LogOutput& m_out;
    std::atomic<bool>& m_stop;
    bool m_started = false;
};

// Standard output redirected into a file: the run must not change that file.
std::optional<BatchInput::FileId> fileOnStandardOutput() {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return BatchInput::FileId{st.st_dev, st.st_ino};
}

int dryRun(const Options& options, const Mod& mod, LogOutput& out) {
    std::string list;
    try {
        for (const auto& name : matchingFiles(mod.TargetDir, options.extension))
            list += shownText(name) + "\n";
    } catch (const FileError& e) {
        LogOutput::complain(shownText(options.folder) + ": " + e.reason());
        return kExitUsage;
    }
    out.write(list);
    return kExitOk;
}

int runFolder(const Options& options, Mod& mod, std::string& code, LogOutput& out) {
    std::atomic<bool> stop{false};
    platform::stopOnInterrupt(stop);
    BatchInput input;
    input.extension = options.extension;
    input.position = options.position;
    // The run takes the code over once: a large code is held once, not copied per step.
    input.code = [&code] { return std::move(code); };
    input.stop = &stop;
    input.ownOutput = fileOnStandardOutput();
    StdoutSink sink(out, stop);

    const BatchResult result = runBatch(mod, input, sink);
    if (result.outcome != BatchResult::Outcome::Completed && result.outcome != BatchResult::Outcome::Cancelled) {
        LogOutput::complain(result.error);
        return kExitUsage;
    }
    out.write("\n");
    for (const auto& f : result.failures)
        LogOutput::complain(shownText(f.path) + ": " + f.reason);
    return result.failures.empty() ? kExitOk : kExitFailures;
}

// The log must reach its reader whole: a failed write or close of standard output outweighs
// the files' own status, and an interrupt outweighs both.
int finish(LogOutput& out, int status) {
    out.close();
    if (int signo = platform::caughtSignal())
        return 128 + signo;
    return out.failed() ? kExitLogIncomplete : status;
}

int run(int argc, char** argv, unsigned closedStreams) {
    LogOutput out;
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const UsageError& e) {
        LogOutput::complain(shownText(e.what()));
        (void)platform::writeAll(STDERR_FILENO, "Try 'stepwick-cli --help' for more information.\n");
        return kExitUsage;
    }
    if (options.action == Options::Action::Help) {
        out.write(kUsageText);
        return finish(out, kExitOk);
    }
    if (options.action == Options::Action::Version) {
        out.write(std::string("stepwick-cli ") + stepwick::kVersionText + "\n");
        return finish(out, kExitOk);
    }
    Mod mod;
    loadDefaults(mod);
    confirmFolder(mod, options.folder);
    if (options.action == Options::Action::DryRun)
        return finish(out, dryRun(options, mod, out));

    std::string code;
    try {
        code = toCrLf(readCode(options, closedStreams & 1u));
    } catch (const CodeUnreadable& e) {
        LogOutput::complain(e.what());
        return kExitUsage;
    }
    return finish(out, runFolder(options, mod, code, out));
}

} // namespace

int main(int argc, char** argv) {
    // Before anything else is opened, so that no file takes the place of a closed stream.
    const unsigned closedStreams = platform::openClosedStandardStreams();
    std::setlocale(LC_ALL, "");
    platform::ignoreBrokenPipe();
    platform::raiseOpenFileLimit();
    try {
        return run(argc, argv, closedStreams);
    } catch (const std::exception& e) {
        LogOutput::complain(shownText(e.what()));
    } catch (...) {
        LogOutput::complain("unexpected error");
    }
    return kExitUsage;
}
