#include "core/RunPipeline.h"

#include "core/RunLog.h"
#include "core/ShownNames.h"

#include <algorithm>
#include <utility>

namespace {

using platform::FileHandle;
using platform::FileInfo;
using platform::FileSystem;
using platform::UniqueFile;

// Batches of the largest size whose replaced files may wait to be closed at once.
constexpr std::size_t kClosingBatches = 4;
// Batches of the largest size flushed or published on the side and not yet reported, at most.
constexpr std::size_t kPublishing = 3;
// Descriptors a file of a batch may take, counted over the batches open at once.
constexpr long kPerFile = 2 * (1 + kPublishing) + kClosingBatches;
// Descriptors a run leaves for what is open already (standard streams, the folders, the front
// end's own) when it makes room for its batches.
constexpr long kReservedBeforeRun = 64;
// Old content prepared per batch before it is flushed: keeps the flushes (and the reports) coming
// for folders of large files.
constexpr std::int64_t kBytesPerFlush = 64 << 20;
// The smallest batch: the first ones, and the last.
constexpr std::size_t kFewest = 16;
// Where every new content has a name from the start (no unnamed files), the files of the batches
// under way each leave one behind should the run be killed: so few are under way at once.
constexpr std::size_t kNamedPerFlush = 2;
// The replaced files are let go, oldest first, on side threads that every batch of the folder
// shares. Closing one frees its blocks, and where the disk is told of freed blocks each close
// waits for the device: a few such waits side by side share the device best (on this kind of
// virtual disk eight to sixteen; thirty-two slow each other down), and a small batch gets as
// many as a large one. Without threads each file is closed as it comes.
constexpr std::size_t kClosers = 8;

std::size_t filesPerFlush(std::size_t files, platform::ProcessServices& process) {
    // In a large folder every flush also writes the folder's own blocks that the renames touched;
    // larger batches there share those writes among more files.
    std::size_t limit = std::clamp<std::size_t>(files / 64, 256, 2048);
    // A replaced file holds two descriptors (old and new file) until its batch is reported, and
    // one while it closes: the batch being prepared and those flushed or published on the side
    // take two per file, each closing batch one. What is open already (standard streams, the
    // folder, the front end's own) counts.
    const long available = process.freeDescriptors();
    if (available >= 0)
        limit = std::min<std::size_t>(
            limit, available > 8 + kPerFile ? static_cast<std::size_t>((available - 8) / kPerFile) : 1);
    return std::max<std::size_t>(limit, 1);
}

bool outOfDescriptors(const FileError& e) {
    return e.refusal() == Refusal::None && (e.error() == std::errc::too_many_files_open ||
                                            e.error() == std::errc::too_many_files_open_in_system);
}

// A file the run writes to, by name; a folder on another volume than all of them holds none.
bool isOwnOutput(const std::vector<platform::FileId>& own, FileSystem& fs, FileHandle dir,
                 std::uint64_t volume, const std::string& name) {
    const auto here = [volume](const platform::FileId& id) { return id.volume == volume || id.volume == 0; };
    FileInfo info;
    return std::any_of(own.begin(), own.end(), here) && !fs.statAt(dir, name, info) && isOwnFile(own, info);
}

} // namespace

bool isOwnFile(const std::vector<platform::FileId>& own, const FileInfo& info) {
    return std::any_of(own.begin(), own.end(), [&info](const platform::FileId& id) {
        return id.file == info.id.file && (id.volume == info.id.volume || id.volume == 0);
    });
}

RunPipeline::RunPipeline(RunState& state, FolderEditor& editor, const std::vector<std::string>& names,
                         Place place)
    : m_state(state), m_editor(editor), m_names(names), m_place(std::move(place)),
      m_config(configOf(names.size(), state.config, editor)),
      m_threads(state.config.system.process.sideThreads()),
      m_publisher(m_config.concurrent ? &m_threads : nullptr, 1, 1,
                  [this](BatchInFlight*& batch) { publish(batch); }),
      m_closer(m_config.concurrent ? &m_threads : nullptr, kClosers, 1,
               [](UniqueFile& file) { file.reset(); }) {
    m_own.perFlush = std::min(m_config.maxPerFlush, kFewest);
    if (m_config.concurrent) // room for the batches' descriptors, before the threads start
        state.config.system.process.reserveDescriptors(kReservedBeforeRun +
                                                       kPerFile * static_cast<long>(m_config.maxPerFlush));
}

RunPipeline::~RunPipeline() {
    signal([](Signals& s) { s.abandoned = true; }); // a batch waiting to be published goes on
}

// A folder's files changed and not yet logged are at most one batch of the largest size: those of
// the batch being published, or, where files change as they are prepared, those of every batch
// under way, each then a share of that size.
RunPipeline::Config RunPipeline::configOf(std::size_t files, const RunState::Config& run,
                                          FolderEditor& editor) {
    Config config;
    config.maxPerFlush = filesPerFlush(files, run.system.process);
    config.concurrent = run.fs.concurrent();
    const CodeEdit& edit = run.edit;
    config.appendsInPlace = edit.position == Position::Foot && (edit.action == CodeEdit::Action::Add ||
                                                                edit.action == CodeEdit::Action::AddOnce);
    // Without threads one batch at a time is under way.
    if (config.concurrent && config.appendsInPlace)
        config.maxPerFlush = std::max<std::size_t>(1, config.maxPerFlush / (kPublishing + 1));
    // A foot too long for one write goes into a new file as a head does.
    if (config.concurrent && !editor.makesUnnamedFiles())
        config.maxPerFlush = std::min(config.maxPerFlush, kNamedPerFlush);
    // Without threads nothing waits on the side.
    config.roomBelow = config.concurrent ? (kPublishing - 1) * config.maxPerFlush : 0;
    return config;
}

// This thread waits for the batch being prepared before anything else, so that the next one
// starts at once; published batches are reported in between, as they come, and waited for only
// when too many are under way or nothing is left to prepare.
void RunPipeline::run() {
    if (!m_names.empty() && !m_state.stopped())
        launch();
    while (m_own.preparing || !m_own.publishing.empty()) {
        while (!m_own.publishing.empty() &&
               (reportable() || m_own.publishingFiles > m_config.roomBelow || !m_own.preparing))
            report();
        if (m_own.preparing && !(m_config.concurrent && !m_own.publishing.empty() && publishedFirst()))
            handOn(takePrepared());
    }
    m_closer.finish();
}

bool RunPipeline::publishedFirst() {
    std::unique_lock<std::mutex> lock(m_signals.mutex);
    for (;;) {
        if (m_signals.published > m_own.reported)
            return true;
        // A task no thread has taken yet is run here, by takePrepared().
        if (m_signals.prepared || !m_own.prepareTask.underWay())
            return false;
        m_signals.changed.wait(lock);
    }
}

void RunPipeline::signal(const std::function<void(Signals&)>& change) {
    {
        std::lock_guard<std::mutex> lock(m_signals.mutex);
        change(m_signals);
    }
    m_signals.changed.notify_all();
}

Batch RunPipeline::collect() {
    Batch batch;
    batch.start = m_own.next;
    // At most half of what is left: the last batch, which nothing overlaps, stays small.
    const std::size_t size = std::min(m_own.perFlush, std::max(kFewest, (m_names.size() - batch.start) / 2));
    const std::size_t to = std::min(m_names.size(), batch.start + size);
    m_own.perFlush = std::min(m_config.maxPerFlush, m_own.perFlush * 2);
    const RunState::Config& config = m_state.config;
    for (std::size_t i = batch.start; i < to; ++i) {
        Slot slot;
        slot.name = &m_names[i];
        if (isOwnOutput(m_state.run.ownOutput, config.fs, m_place.dir, m_place.volume, m_names[i]))
            slot.failure = failureOf(FileError(std::errc::device_or_resource_busy, "change",
                                               m_place.relative + m_names[i], Refusal::OwnOutput),
                                     config.system);
        batch.slots.push_back(std::move(slot));
    }
    return batch;
}

void RunPipeline::launch() {
    m_own.preparing = true;
    if (!m_config.concurrent) {
        m_own.collected = collect();
        return;
    }
    signal([](Signals& s) { s.prepared = false; });
    m_own.prepareTask = m_threads.start([this, batch = collect()]() mutable {
        Batch prepared = prepare(std::move(batch));
        signal([](Signals& s) { s.prepared = true; });
        return prepared;
    });
}

Batch RunPipeline::takePrepared() {
    m_own.preparing = false;
    return m_config.concurrent ? m_own.prepareTask.get() : prepare(std::move(m_own.collected));
}

// Prepares a batch's files until it holds enough old content for one flush or a stop is asked
// for; the files cut off go into the next batch, if any.
Batch RunPipeline::prepare(Batch batch) {
    const bool sendOnEarly = m_editor.expectFlushOf(batch.slots.size());
    // New files are sent on to the disk (a hint, never waited for; a failure shows up again at
    // the flush) on a side thread, eight at a time, so that preparing the next file does not wait.
    platform::SideQueue<std::pair<FileHandle, std::int64_t>> writeback(
        m_config.concurrent ? &m_threads : nullptr, 1, 8,
        [this](auto& file) { (void)m_state.config.fs.startWriteback(file.first, file.second, 0); });
    std::int64_t bytes = 0;
    for (std::size_t i = 0; i < batch.slots.size(); ++i) {
        if (bytes >= kBytesPerFlush || m_state.stop.asked()) {
            batch.slots.resize(i);
            break;
        }
        Slot& slot = batch.slots[i];
        if (slot.failure)
            continue;
        try {
            slot.pending = m_editor.prepare(*slot.name, m_state.config.edit, m_state.prepare.code, false);
            slot.inBatch = slot.pending.skip == FolderEditor::Pending::Skip::None;
            bytes += slot.pending.oldSize;
            const FolderEditor::Pending& p = slot.pending;
            if (sendOnEarly && p.file && (p.replace || p.appended > 0)) // new bytes: all, or the foot
                writeback.push({p.file.get(), p.replace ? 0 : p.oldSize});
        } catch (const FileError& e) {
            // Out of descriptors: the next batch tries again once this one has let go of its own.
            if (outOfDescriptors(e) && i > 0) {
                batch.slots.resize(i);
                break;
            }
            slot.failure = failureOf(e, m_state.config.system);
        }
    }
    writeback.finish(); // before the batch's files go on to be flushed and closed
    return batch;
}

void RunPipeline::handOn(Batch batch) {
    m_own.next = batch.start + batch.slots.size(); // a batch cut short resumes here
    if (!m_state.stopped() && m_own.next < m_names.size())
        launch();
    auto inFlight = std::make_unique<BatchInFlight>();
    inFlight->batch = std::move(batch);
    BatchInFlight* handed = inFlight.get();
    handed->sequence = ++m_own.handedOn;
    if (m_config.concurrent) // beside the publishing of the batches before it
        handed->flushing = m_threads.start([this, handed] { flush(*handed); });
    m_own.publishingFiles += handed->batch.slots.size();
    m_own.publishing.push_back(std::move(inFlight));
    m_publisher.push(handed);
}

void RunPipeline::flush(BatchInFlight& flushed) {
    for (auto& slot : flushed.batch.slots)
        if (slot.inBatch)
            flushed.pending.push_back(std::move(slot.pending));
    try {
        if (!flushed.pending.empty())
            m_editor.flush(flushed.pending);
    } catch (const FileError& e) {
        // A failed flush may have lost the data: nothing of this batch counts, nothing is retried.
        flushed.flushFailure = e;
    }
}

// Publishes a flushed batch and flushes the folder.
void RunPipeline::publish(BatchInFlight* flushed) {
    if (flushed->flushing.valid())
        flushed->flushing.get();
    else
        flush(*flushed);
    {
        std::unique_lock<std::mutex> lock(m_signals.mutex);
        m_signals.changed.wait(lock, [this, flushed] {
            return m_signals.logged + 1 >= flushed->sequence || m_signals.abandoned;
        });
    }
    publishBatch(flushed);
    signal([](Signals& s) { ++s.published; });
}

void RunPipeline::publishBatch(BatchInFlight* flushed) {
    const std::optional<FileError>& flushFailure = flushed->flushFailure;
    const platform::System& system = m_state.config.system;
    std::size_t b = 0;
    bool anyReplaced = false;
    for (auto& slot : flushed->batch.slots) {
        if (!slot.inBatch)
            continue;
        FolderEditor::Pending& p = flushed->pending[b++];
        if (!flushFailure) {
            publishSlot(slot, p);
            anyReplaced = anyReplaced || p.replace;
        } else if (m_editor.discard(p)) {
            slot.failure = failureOf(*flushFailure, system);
        } else {
            slot.failure =
                failureOf(FileError(flushFailure->error(), "flush", p.path, Refusal::PartialCode), system);
        }
    }
    if (anyReplaced)
        (void)m_editor.syncFolder();
    for (auto& p : flushed->pending)
        if (p.old)
            flushed->replaced.push_back(std::move(p.old));
}

void RunPipeline::publishSlot(Slot& slot, FolderEditor::Pending& p) {
    LinkedOutcomes& linked = m_state.publish.linked;
    if (!p.sameAs.empty()) {
        auto it = linked.find(p.sameAs);
        if (it != linked.end() && it->second)
            slot.failure = it->second;
        return;
    }
    try {
        m_editor.publish(p);
        if (p.note) {
            slot.note = failureOf(*p.note, m_state.config.system);
            slot.note->attribute = p.noteAttribute;
        }
    } catch (const FileError& e) {
        slot.failure = failureOf(e, m_state.config.system);
    }
    if (p.read.links > 1 && !p.replace)
        linked[m_place.relative + *slot.name] = slot.failure;
}

void RunPipeline::report() {
    m_publisher.waitHandled(++m_own.reported);
    std::unique_ptr<BatchInFlight> flushed = std::move(m_own.publishing.front());
    m_own.publishing.pop_front();
    m_own.publishingFiles -= flushed->batch.slots.size();
    logBatch(*flushed);
    signal([this](Signals& s) { s.logged = m_own.reported; });
    // The replaced files are let go on the side while the next batches go on.
    const std::size_t closing = kClosingBatches * m_config.maxPerFlush, replaced = flushed->replaced.size();
    m_closer.handleDownTo(closing > replaced ? closing - replaced : 0);
    m_closer.push(flushed->replaced);
    RunState::RunThread& run = m_state.run;
    run.done += flushed->batch.slots.size();
    if (!run.stop && !run.sink.progress(run.done, run.total)) {
        run.stop = true;
        m_state.stop.halt = true; // the batch being prepared stops at its next file
    }
}

// Logs a published batch in order and counts its files.
void RunPipeline::logBatch(BatchInFlight& flushed) {
    const platform::System& system = m_state.config.system;
    BatchResult& result = m_state.run.result;
    BatchSink& sink = m_state.run.sink;
    std::string piece;
    for (auto& slot : flushed.batch.slots) {
        const std::string name = shownPath(m_place.relative + *slot.name, system.charsets, system.paths);
        const auto skip = slot.pending.skip;
        std::optional<FileFailure>& word = slot.failure ? slot.failure : slot.note;
        if (word) {
            word->name = name;
            word->path = m_place.path + *slot.name;
        }
        if (slot.failure) {
            piece += failureLine(name, sink.reasonText(*slot.failure));
            result.failures.push_back(std::move(*slot.failure));
            continue;
        }
        if (slot.note) {
            piece += noteLine(name, slot.note->attribute, sink.reasonText(*slot.note));
            result.notes.push_back(std::move(*slot.note));
        } else {
            piece += fileLine(name, skip, sink);
        }
        countFile(result, skip);
    }
    sink.appendLog(piece);
}
