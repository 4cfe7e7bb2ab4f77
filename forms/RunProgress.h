#pragma once

#include "core/BatchRun.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace layout {

// How far a batch run has come, and whether the user asked it to stop: what both windows' progress
// shows. Threads: the worker writes it through a ProgressSink; the windows' thread resets it
// before a run, reads bar() and asks for the stop.
class RunProgress {
public:
    // Before a run: nothing done, no stop asked.
    void reset();
    void requestStop() { m_stop = true; }
    const std::atomic<bool>& stopFlag() const { return m_stop; }

    // stepsPerFile steps for each file, a large file's copy moving the bar within its share;
    // maximum 0 while the run has not counted its files.
    struct Bar {
        std::size_t maximum = 0;
        std::size_t value = 0;
    };
    Bar bar(std::size_t stepsPerFile) const;

private:
    friend class ProgressSink;
    std::atomic<bool> m_stop{false};
    std::atomic<std::size_t> m_done{0};
    std::atomic<std::size_t> m_total{0};
    // The large file under way: bytes copied and its size.
    std::atomic<std::uint64_t> m_fileDone{0};
    std::atomic<std::uint64_t> m_fileTotal{0};
};

// The part of a window's sink that both windows share: the progress into a RunProgress, the stop
// read back, the reasons and what was done to each file in Chinese as the rest of the log. Where
// the log goes is each window's.
class ProgressSink : public BatchSink {
public:
    explicit ProgressSink(RunProgress& progress) : m_progress(progress) {}
    bool progress(std::size_t done, std::size_t total) override;
    void fileProgress(std::uint64_t done, std::uint64_t total) override;
    std::string reasonText(const FileFailure& failure) const override;
    std::string leftAloneText(LeftAlone why) const override;
    std::string lacksOldCount(std::size_t files) const override;
    std::string changedText() const override;
    // What the run does, which names what it did to a file it changed.
    void wordFor(RunAction action) { m_action = action; }

private:
    RunProgress& m_progress;
    RunAction m_action = RunAction::Add;
};

// A run as the windows carry it out, on whichever thread: a preview or a check lists the files
// (with the failures) and changes nothing, any other request runs; the log goes to the sink.
BatchResult carryOut(const BatchInput& input, ProgressSink& sink, const platform::System& system);

} // namespace layout
