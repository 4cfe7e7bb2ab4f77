// stepwick-cli: the batch run without windows, for scripts and measurements.
#include "cli/Cli.h"

#include "StepwickVersion.h"
#include "cli/CodeSource.h"
#include "cli/LogOutput.h"
#include "cli/Options.h"
#include "core/BatchRun.h"
#include "core/CodeText.h"
#include "core/FileError.h"
#include "core/Mod.h"
#include "core/ShownNames.h"
#include "platform/Console.h"
#include "platform/Process.h"
#include "platform/System.h"

#include <atomic>
#include <clocale>
#include <exception>
#include <string>
#include <vector>

using platform::System;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailures = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLogIncomplete = 3;

// Prints the log as the run reports it, from the run's first report on: a run refused before
// it touched anything prints nothing. A reader that has gone (a closed pipe) stops the run as a
// cancel does; a log that cannot be written for another reason (a full disk, a stream that was
// closed) does not: the run goes on to its last file, as the user asked, and the status says so.
class StdoutSink final : public BatchSink {
public:
    StdoutSink(LogOutput& out, std::atomic<bool>& stop) : m_out(out), m_stop(stop) {}
    void appendLog(std::string_view text) override {
        if (!m_started) {
            m_out.write(kLogHeader);
            m_started = true;
        }
        m_out.write(text);
        if (m_out.readerGone())
            m_stop = true;
    }

private:
    LogOutput& m_out;
    std::atomic<bool>& m_stop;
    bool m_started = false;
};

// Standard output or error redirected into files: the run must not change them.
std::vector<platform::FileId> ownOutputFiles() {
    std::vector<platform::FileId> files;
    for (int fd : {platform::kStandardOutput, platform::kStandardError}) {
        platform::FileId id;
        if (platform::standardStreamFile(fd, id))
            files.push_back(id);
    }
    return files;
}

BatchInput inputOf(const Options& options, const Mod& mod, std::string& code) {
    BatchInput input = options.request;
    input.folder = mod.TargetDir;
    // The run takes the code over once: a large code is held once, not copied per step.
    input.code = [&code] { return std::move(code); };
    input.ownOutput = ownOutputFiles();
    return input;
}

// The code, and what the request needs beside it (the old code, the marker, the exclusions), as
// UTF-8. Throws CodeUnreadable and EncodingError.
std::string readTexts(Options& options, bool stdinWasClosed) {
    std::string code = toCrLf(readCode(options, stdinWasClosed));
    if (std::optional<std::string> old = readOldCode(options))
        options.request.oldCode = std::move(*old);
    options.request.marker = typedText(options.request.marker);
    for (std::string& pattern : options.request.exclude)
        pattern = typedText(pattern);
    return code;
}

// A run refused before it touched anything; the folder is named as the user typed it.
int refused(const Options& options, const BatchResult& result) {
    if (result.folderError)
        LogOutput::complain(shownPath(options.folder, platform::systemCharsets(), platform::systemPaths()) +
                            ": " + result.folderError->reason());
    else
        LogOutput::complain(result.error);
    return kExitUsage;
}

// --dry-run lists what a run would change; --check what lacks the code (and fails when any does).
// One line on standard error for each file that failed.
void reportFailures(const BatchResult& result) {
    for (const auto& f : result.failures)
        LogOutput::complain(shownPath(f.path, platform::systemCharsets(), platform::systemPaths()) + ": " +
                            f.reason);
}

int listFiles(const Options& options, const Mod& mod, std::string& code, LogOutput& out,
              const System& system) {
    const bool check = options.request.action == RunAction::Check;
    std::vector<std::string> files;
    const BatchResult result = previewBatch(inputOf(options, mod, code), files, system);
    if (result.outcome != BatchResult::Outcome::Completed)
        return refused(options, result);
    std::string list;
    for (const auto& name : files)
        list += shownPath(name, platform::systemCharsets(), platform::systemPaths()) + "\n";
    out.write(list);
    reportFailures(result);
    if (check)
        return files.empty() && result.failures.empty() ? kExitOk : kExitFailures;
    return result.failures.empty() ? kExitOk : kExitFailures;
}

// A signal makes the status 128+N only where it stopped the run before its last file: one that
// comes later finds the run complete.
int runFolder(const Options& options, const Mod& mod, std::string& code, LogOutput& out,
              const System& system) {
    std::atomic<bool> stop{false};
    const platform::StopOnInterrupt interrupts(stop);
    BatchInput input = inputOf(options, mod, code);
    input.stop = &stop;
    StdoutSink sink(out, stop);

    const BatchResult result = runBatch(input, sink, system);
    if (result.outcome != BatchResult::Outcome::Completed &&
        result.outcome != BatchResult::Outcome::Cancelled)
        return refused(options, result);
    out.write("\n");
    reportFailures(result);
    const int signo = platform::caughtSignal();
    if (result.outcome == BatchResult::Outcome::Cancelled && signo != 0)
        return 128 + signo;
    return result.failures.empty() ? kExitOk : kExitFailures;
}

// The log must reach its reader whole: a failed write or close of standard output outweighs
// the files' own status; an interrupt outweighs both.
int finish(LogOutput& out, int status) {
    out.close();
    return out.failed() && status < 128 ? kExitLogIncomplete : status;
}

int run(int argc, char** argv, unsigned closedStreams, const System& system) {
    LogOutput out(closedStreams & (1u << platform::kStandardOutput));
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const UsageError& e) {
        LogOutput::complain(shownText(e.what(), platform::systemCharsets()));
        (void)platform::writeAll(platform::kStandardError,
                                 "Try 'stepwick-cli --help' for more information.\n");
        return kExitUsage;
    }
    if (options.command == Options::Command::Help) {
        out.write(kUsageText);
        return finish(out, kExitOk);
    }
    if (options.command == Options::Command::Version) {
        out.write(std::string("stepwick-cli ") + stepwick::kVersionText + "\n");
        return finish(out, kExitOk);
    }
    Mod mod;
    loadDefaults(mod);
    confirmFolder(mod, options.folder, system.paths);
    std::string code;
    try {
        code = readTexts(options, closedStreams & (1u << platform::kStandardInput));
    } catch (const CodeUnreadable& e) {
        LogOutput::complain(e.what());
        return kExitUsage;
    } catch (const EncodingError& e) {
        LogOutput::complain(e.what());
        return kExitUsage;
    }
    if (options.request.listOnly || options.request.action == RunAction::Check)
        return finish(out, listFiles(options, mod, code, out, system));
    return finish(out, runFolder(options, mod, code, out, system));
}

} // namespace

int runStepwickCli(int argc, char** argv, platform::FileSystem& fs) {
    // Before anything else is opened, so that no file takes the place of a closed stream.
    const unsigned closedStreams = platform::openClosedStandardStreams();
    std::setlocale(LC_ALL, ""); // NOLINT(concurrency-mt-unsafe): before any thread starts
    platform::ignoreBrokenPipe();
    platform::raiseOpenFileLimit();
    try {
        return run(argc, argv, closedStreams, platform::hostSystem(fs));
    } catch (const std::exception& e) {
        LogOutput::complain(shownText(e.what(), platform::systemCharsets()));
    } catch (...) {
        LogOutput::complain("unexpected error");
    }
    return kExitUsage;
}
