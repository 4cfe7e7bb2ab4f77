#pragma once

#include "core/BatchRun.h"
#include "core/CodePlace.h"
#include "core/Encoding.h"
#include "core/FileError.h"
#include "core/FolderEditor.h"
#include "core/FolderScan.h"
#include "platform/FileSystem.h"
#include "platform/SideQueue.h"
#include "platform/SideThreads.h"
#include "platform/System.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Outcomes of files with further names, by the name that was changed (below the run's folder)
// and a failure or none: the other names fare the same.
using LinkedOutcomes = std::map<std::string, std::optional<FileFailure>>;

// One run across its folders, by the thread that owns each part.
struct RunState {
    // Read by every thread, changed by none.
    struct Config {
        const platform::System& system;
        platform::FileSystem& fs;
        CodeEdit edit;
        std::string folder; // the run's folder, ending in a separator
    };
    // The run's own thread: every callback of the sink, the result and the counts.
    struct RunThread {
        BatchSink& sink;
        BatchResult& result;
        std::vector<platform::FileId> ownOutput;
        std::size_t total = 0;
        std::size_t done = 0;
        bool stop = false; // the sink asked to stop
    };
    // The thread that prepares the files, one batch at a time (the sink's fileProgress aside).
    struct PrepareThread {
        EncodedCode& code;
        // One file with names in several folders gets its foot once.
        FolderEditor::AppendedFiles appended{};
    };
    // The thread that publishes, one batch at a time, in the run's order.
    struct PublishThread {
        LinkedOutcomes linked{};
    };
    // Set and read on any thread: a stop lets the file under way finish.
    struct Stop {
        std::atomic<bool> halt{false};               // the sink asked: the batch being prepared stops too
        const std::atomic<bool>* external = nullptr; // the input's stop
        bool asked() const { return halt || (external && *external); }
    };

    Config config;
    RunThread run;
    PrepareThread prepare;
    PublishThread publish{};
    Stop stop{};

    bool stopped() const { return run.stop || stop.asked(); } // on the run's own thread only
};

// A file the run writes its log or messages to, found by what it is, not by its name.
bool isOwnFile(const std::vector<platform::FileId>& own, const platform::FileInfo& info);

// One file of a batch on its way through the pipeline.
struct Slot {
    const std::string* name = nullptr;
    std::optional<FileFailure> failure;
    std::optional<FileFailure> note; // changed, with a word: see BatchResult::notes
    bool inBatch = false;
    FolderEditor::Pending pending;
};

struct Batch {
    std::size_t start = 0;
    std::vector<Slot> slots;
};

// A batch from its hand-over to its report. The flush task fills in flushed.pending and
// flushFailure; the publish thread waits for it (flushing), then publishes; the run's thread reads
// it all once the publish queue has handled it, and lets the replaced files go.
struct BatchInFlight {
    Batch batch;
    std::size_t sequence = 0; // 1 for the folder's first batch handed on
    std::vector<FolderEditor::Pending> pending;
    std::optional<FileError> flushFailure;
    std::vector<platform::UniqueFile> replaced;
    platform::SideTask<void> flushing; // none without threads: the publish thread flushes first
};

// The files of one folder, in batches that share one flush: collected on the run's thread,
// prepared on a side thread, flushed on another beside the preparing and flushing of the next
// ones, published (renamed, the folder flushed) on one more, one batch at a time and in order, and
// reported on the run's thread, which alone calls the sink and reads the input.
// The first batches are small so that the other threads get to work at once; later ones grow to
// spread each flush over many files, and the last ones shrink again. Without threads every step
// runs on the run's thread, in the same order.
class RunPipeline {
public:
    struct Place {
        std::string relative; // the folder below the run's folder: "" or "sub/"
        std::string path;     // its own path
        platform::FileHandle dir;
        std::uint64_t volume;
    };
    RunPipeline(RunState& state, FolderEditor& editor, const std::vector<std::string>& names, Place place);
    RunPipeline(const RunPipeline&) = delete;
    RunPipeline& operator=(const RunPipeline&) = delete;
    RunPipeline(RunPipeline&&) = delete;
    RunPipeline& operator=(RunPipeline&&) = delete;
    ~RunPipeline(); // the queues first: they are done with the batches before those go

    // Handles every file of the folder, or those before a stop.
    void run();

private:
    // Read by every thread of the folder, changed by none.
    struct Config {
        std::size_t maxPerFlush = 0;
        bool appendsInPlace = false; // files change as they are prepared (a foot), not as published
        std::size_t roomBelow = 0;   // files of batches on the side that leave room for one more
        bool concurrent = false;
    };
    // The run's thread: where the next batch starts, and the batches under way.
    struct RunThread {
        std::size_t next = 0;
        std::size_t perFlush = 0;
        bool preparing = false;
        Batch collected;                                       // without threads: prepared when it is taken
        platform::SideTask<Batch> prepareTask;                 // with threads
        std::deque<std::unique_ptr<BatchInFlight>> publishing; // handed on, in the run's order
        std::size_t publishingFiles = 0;
        std::size_t reported = 0; // batches of the publish queue reported
        std::size_t handedOn = 0;
    };
    // What the run's thread and the side threads tell each other: a batch is published only once
    // the one before it is logged, so that a killed run leaves at most one batch of changed files
    // out of its log; and the run's thread, waiting for the next batch to be prepared, logs a
    // published one at once.
    struct Signals {
        std::mutex mutex;
        std::condition_variable changed;
        bool prepared = false;     // the batch being prepared is ready
        std::size_t published = 0; // batches published
        std::size_t logged = 0;    // batches reported, their lines handed to the sink
        bool abandoned = false;    // the run's thread has left: nothing more is logged
    };

    static Config configOf(std::size_t files, const RunState::Config& run, FolderEditor& editor);
    bool publishedFirst(); // the run's thread: waits for the batch prepared or the oldest published
    void signal(const std::function<void(Signals&)>& change);
    Batch collect();                      // the run's thread: the next files, and which are its own output
    void launch();                        // the run's thread: starts preparing the next batch
    Batch takePrepared();                 // the run's thread: the batch prepared, once it is
    Batch prepare(Batch batch);           // the prepare thread
    void handOn(Batch batch);             // the run's thread: flush, then publish in order
    void flush(BatchInFlight& flushed);   // a flush task (or the publish thread without threads)
    void publish(BatchInFlight* flushed); // the publish thread: in turn, once the batch before is logged
    void publishBatch(BatchInFlight* flushed);
    void publishSlot(Slot& slot, FolderEditor::Pending& p);
    void report(); // the run's thread: the oldest batch published
    void logBatch(BatchInFlight& flushed);
    bool reportable() const { return m_publisher.handled() > m_own.reported; }

    RunState& m_state;
    FolderEditor& m_editor;
    const std::vector<std::string>& m_names;
    const Place m_place;
    const Config m_config;
    platform::SideThreads& m_threads;
    RunThread m_own;
    Signals m_signals;
    // Declared last, so that they are done with the batches before these go.
    platform::SideQueue<BatchInFlight*> m_publisher;
    platform::SideQueue<platform::UniqueFile> m_closer;
};
