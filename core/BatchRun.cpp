#include "core/BatchRun.h"

#include "core/Encoding.h"
#include "core/FileError.h"
#include "core/FolderEditor.h"
#include "core/ShownNames.h"
#include "platform/SideQueue.h"
#include "platform/SideThreads.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace {

using platform::FileHandle;
using platform::FileInfo;
using platform::FileSystem;
using platform::PathRules;
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

FileFailure failureOf(const FileError& e, const platform::System& system) {
    std::string reason = e.reason();
    // Something done in the folder ("create a temporary file in") failed, not the file itself: say where.
    if (e.operation().ends_with(" in")) {
        std::string folder = e.path();
        if (folder.size() > 1 && system.paths.isSeparator(folder.back()))
            folder.pop_back();
        reason = "cannot " + e.operation() + " " + shownPath(folder, system.charsets, system.paths) + ": " +
                 reason;
    }
    return {{}, {}, reason, e.error(), e.refusal(), {}};
}

// Where a folder's files are reported: its path below the run's folder ("" or "sub/"), its own path,
// and the system, which says how paths and names are written.
struct FolderPlace {
    const std::string& relative;
    const std::string& path;
    const platform::System& system;
};

struct Slot {
    const std::string* name = nullptr;
    std::optional<FileFailure> failure;
    std::optional<FileFailure> note; // changed, with a word: see BatchResult::notes
    bool inBatch = false;
    FolderEditor::Pending pending;

    void fail(const FileError& e, const platform::System& system) { failure = failureOf(e, system); }
};

bool outOfDescriptors(const FileError& e) {
    return e.refusal() == Refusal::None && (e.error() == std::errc::too_many_files_open ||
                                            e.error() == std::errc::too_many_files_open_in_system);
}

// Outcomes of files with further names, by the name that was changed (below the run's folder)
// and a failure or none: the other names fare the same.
using LinkedOutcomes = std::map<std::string, std::optional<FileFailure>>;

void publishSlot(FolderEditor& editor, Slot& slot, FolderEditor::Pending& p, const FolderPlace& place,
                 LinkedOutcomes& linked) {
    if (!p.sameAs.empty()) {
        auto it = linked.find(p.sameAs);
        if (it != linked.end() && it->second)
            slot.failure = it->second;
        return;
    }
    try {
        editor.publish(p);
        if (p.note) {
            slot.note = failureOf(*p.note, place.system);
            slot.note->attribute = p.noteAttribute;
        }
    } catch (const FileError& e) {
        slot.fail(e, place.system);
    }
    if (p.read.links > 1 && !p.replace)
        linked[place.relative + *slot.name] = slot.failure;
}

struct Batch {
    std::size_t start = 0;
    std::vector<Slot> slots;
};

// Old content prepared per batch before it is flushed: keeps the flushes (and the reports) coming
// for folders of large files.
constexpr std::int64_t kBytesPerFlush = 64 << 20;

// The log line of one file that was handled without failing.
std::string fileLine(const std::string& name, FolderEditor::Pending::Skip skip) {
    switch (skip) {
    case FolderEditor::Pending::Skip::AlreadyHeld:
        return name + "（已含此代码，未再添加）\r\n";
    case FolderEditor::Pending::Skip::NotHeld:
        return name + "（未含此代码）\r\n";
    case FolderEditor::Pending::Skip::None:
        break;
    }
    return name + "\r\n";
}

// A prepared batch after its flush: its files to publish, in order, and the flush's failure; once
// published, the files it replaced, still open: closing them frees their blocks, which takes time.
struct FlushedBatch {
    Batch batch;
    std::vector<FolderEditor::Pending> pending;
    std::optional<FileError> flushFailure;
    std::vector<UniqueFile> replaced;
};

// Flushes a prepared batch once.
FlushedBatch flushBatch(FolderEditor& editor, Batch batch) {
    FlushedBatch flushed{std::move(batch), {}, {}, {}};
    for (auto& slot : flushed.batch.slots)
        if (slot.inBatch)
            flushed.pending.push_back(std::move(slot.pending));
    try {
        if (!flushed.pending.empty())
            editor.flush(flushed.pending);
    } catch (const FileError& e) {
        // A failed flush may have lost the data: nothing of this batch counts, nothing is retried.
        flushed.flushFailure = e;
    }
    return flushed;
}

// Publishes a flushed batch and flushes the folder; batches are published one at a time, in order.
void publishBatch(FolderEditor& editor, FlushedBatch& flushed, const FolderPlace& place,
                  LinkedOutcomes& linked) {
    std::vector<FolderEditor::Pending>& pending = flushed.pending;
    const std::optional<FileError>& flushFailure = flushed.flushFailure;
    std::size_t b = 0;
    bool anyReplaced = false;
    for (auto& slot : flushed.batch.slots) {
        if (!slot.inBatch)
            continue;
        FolderEditor::Pending& p = pending[b++];
        if (!flushFailure) {
            publishSlot(editor, slot, p, place, linked);
            anyReplaced = anyReplaced || p.replace;
        } else if (editor.discard(p)) {
            slot.fail(*flushFailure, place.system);
        } else {
            slot.fail(FileError(flushFailure->error(), "flush", p.path, Refusal::PartialCode), place.system);
        }
    }
    if (anyReplaced)
        (void)editor.syncFolder();
    for (auto& p : pending)
        if (p.old)
            flushed.replaced.push_back(std::move(p.old));
}

// Logs a published batch in order and counts its files.
void reportBatch(FlushedBatch& flushed, const FolderPlace& place, BatchResult& result, BatchSink& sink) {
    std::string piece;
    for (auto& slot : flushed.batch.slots) {
        const std::string name =
            shownPath(place.relative + *slot.name, place.system.charsets, place.system.paths);
        const auto skip = slot.pending.skip;
        if (slot.failure) {
            slot.failure->name = name;
            slot.failure->path = place.path + *slot.name;
            piece += name + "（未能处理：" + sink.reasonText(*slot.failure) + "）\r\n";
            result.failures.push_back(std::move(*slot.failure));
            continue;
        }
        if (slot.note) {
            slot.note->name = name;
            slot.note->path = place.path + *slot.name;
            // An attribute that was not copied, or another program's write beside the code.
            const std::string why = sink.reasonText(*slot.note);
            piece += name;
            piece += slot.note->attribute.empty()
                         ? "（已添加；" + why
                         : "（已添加，但未能复制扩展属性 " + slot.note->attribute + "：" + why;
            piece += "）\r\n";
            result.notes.push_back(std::move(*slot.note));
        } else {
            piece += fileLine(name, skip);
        }
        if (skip == FolderEditor::Pending::Skip::AlreadyHeld)
            ++result.alreadyHeld;
        else if (skip == FolderEditor::Pending::Skip::NotHeld)
            ++result.notHeld;
        else
            ++result.changed;
    }
    sink.appendLog(piece);
}

CodeEdit editOf(const BatchInput& input) {
    CodeEdit edit;
    edit.position = input.position;
    edit.afterPreamble = input.afterPreamble;
    edit.eol = input.eol;
    edit.action = input.remove ? CodeEdit::Action::Remove
                  : input.once ? CodeEdit::Action::AddOnce
                               : CodeEdit::Action::Add;
    return edit;
}

using Outcome = BatchResult::Outcome;

// What a run has found before it touches anything: its folder, the folders and files to handle,
// and the code, read and encoded once; and the locks that keep other runs out of its tree.
struct RunStart {
    UniqueFile dir;
    std::vector<UniqueFile> locks;
    FolderTree tree;
    std::optional<EncodedCode> code;
};

bool refuseBusy(const Mod& mod, BatchResult& result, const platform::System& system) {
    result.outcome = Outcome::FolderBusy;
    result.folderError =
        FileError(std::errc::operation_would_block, "lock", mod.TargetDir, Refusal::AnotherRun);
    result.error =
        shownPath(mod.TargetDir, system.charsets, system.paths) + ": " + result.folderError->reason();
    return false;
}

// Opens and, for a run that changes files, locks the folder, then scans it; false with the
// result's outcome set when that fails.
bool openRun(const Mod& mod, const BatchInput& input, const platform::System& system, bool lock,
             RunStart& run, BatchResult& result) {
    FileSystem& fs = system.files;
    try {
        FileHandle dir = platform::kNoFile;
        if (std::error_code ec = fs.openFolder(mod.TargetDir, dir))
            throw FileError(ec, "open folder", mod.TargetDir);
        run.dir = UniqueFile(fs, dir);
        // Two runs in one tree would each replace files the other just changed.
        if (lock && !lockRunFolders(fs, run.dir.get(), run.locks))
            return refuseBusy(mod, result, system);
        run.tree = scanFolders(system, run.dir.get(), input.extension, input.recursive);
    } catch (const FileError& e) {
        result.outcome = Outcome::FolderUnreadable;
        result.error = shownPath(mod.TargetDir, system.charsets, system.paths) + ": " + e.reason();
        result.folderError = e;
        return false;
    }
    return true;
}

// Checks the input, locks and scans the folders and encodes the code; on a refusal sets the
// result's outcome and returns false, having touched nothing.
bool startRun(const Mod& mod, const BatchInput& input, const platform::System& system, bool lock,
              RunStart& run, BatchResult& result) {
    if (!mod.DirChosen) {
        result.outcome = Outcome::NoFolder;
        result.error = "no folder has been chosen";
        return false;
    }
    const std::size_t separator = input.extension.find_first_of(system.paths.separators);
    if (separator != std::string::npos) {
        result.outcome = Outcome::BadExtension;
        result.error =
            "the file type \"" + input.extension + "\" holds a '" + input.extension[separator] + "'";
        return false;
    }
    if (!openRun(mod, input, system, lock, run, result))
        return false;
    // The code is read and checked once, before any file is touched, and serves every file.
    try {
        std::string code = input.code ? input.code() : std::string();
        // Nothing to add would still add a line break, and nothing to take out would take one.
        if (code.empty()) {
            result.outcome = Outcome::EmptyCode;
            result.error = "the code is empty";
            return false;
        }
        run.code.emplace(system.charsets, std::move(code), system.charsets.systemCharset(), input.encoding);
    } catch (const EncodingError& e) {
        result.outcome = Outcome::CodeNotEncodable;
        result.error = e.what();
        return false;
    }
    return true;
}

// A file or subfolder ("sub/") met outside the pipeline: named by its path below the run's folder.
FileFailure failureBelow(const Mod& mod, const std::string& relative, const FileError& e,
                         const platform::System& system) {
    FileFailure failure = failureOf(e, system);
    failure.name = shownPath(relative, system.charsets, system.paths);
    failure.path = mod.TargetDir + relative;
    failure.folder = !relative.empty() && system.paths.isSeparator(relative.back());
    return failure;
}

// Opens a folder of the run for its turn; a subfolder the run changes is locked while it does, as
// the run's own folder is (a run below whose locks above could not all be taken). Throws
// FileError: the folder's failure, one the scan met included.
FileHandle enterFolder(FileSystem& fs, FolderWalk& walk, const RunStart& run, std::size_t folder, bool lock) {
    const ScannedFolder& scanned = run.tree.folders[folder];
    if (scanned.failure)
        throw *scanned.failure;
    const FileHandle dir = walk.enter(folder);
    if (dir == platform::kNoFile) // bound over since the scan
        throw FileError(std::errc::resource_unavailable_try_again, "open folder", scanned.name,
                        Refusal::ChangedDuringRun);
    if (lock && folder != 0 &&
        fs.lockFolder(dir, FileSystem::Lock::Exclusive) == std::errc::operation_would_block)
        throw FileError(std::errc::operation_would_block, "lock", scanned.name, Refusal::AnotherRun);
    return dir;
}

// One run across its folders: what the pipeline of each folder shares.
struct Pipeline {
    Mod& mod;
    BatchSink& sink;
    const platform::System& system;
    FileSystem& fs;
    EncodedCode& code;
    BatchResult& result;
    CodeEdit edit;
    std::size_t total = 0;
    std::size_t done = 0;
    bool stop = false;                           // the sink asked to stop
    const std::atomic<bool>* external = nullptr; // the input's stop
    std::vector<platform::FileId> ownOutput{};
    // Checked before each file, on either thread: a stop lets the file under way finish.
    std::atomic<bool> halt{false};
    // One file with names in several folders gets its foot once.
    FolderEditor::AppendedFiles appended{};
    LinkedOutcomes linked{};
    bool stopAsked() const { return halt || (external && *external); }
    bool stopped() const { return stop || stopAsked(); } // on the run's own thread only
};

// A file the run writes its log or messages to, found by what it is, not by its name.
bool isOwnFile(const std::vector<platform::FileId>& own, const FileInfo& info) {
    return std::find(own.begin(), own.end(), info.id) != own.end();
}

// The same, by name; a folder on another volume than all of them holds none.
bool isOwnOutput(const std::vector<platform::FileId>& own, FileSystem& fs, FileHandle dir,
                 std::uint64_t volume, const std::string& name) {
    const auto here = [volume](const platform::FileId& id) { return id.volume == volume; };
    FileInfo info;
    return std::any_of(own.begin(), own.end(), here) && !fs.statAt(dir, name, info) && isOwnFile(own, info);
}

// Prepares a batch's files, on the second thread, until it holds enough old content for one flush
// or a stop is asked for; the files cut off go into the next batch, if any.
Batch prepareBatch(Pipeline& pl, FolderEditor& editor, Batch batch) {
    const bool sendOnEarly = editor.expectFlushOf(batch.slots.size());
    // New files are sent on to the disk (a hint, never waited for; a failure shows up again at
    // the flush) on a side thread, eight at a time, so that preparing the next file does not wait.
    platform::SideQueue<std::pair<FileHandle, std::int64_t>> writeback(
        pl.fs.concurrent() ? &pl.system.process.sideThreads() : nullptr, 1, 8,
        [&fs = pl.fs](auto& file) { (void)fs.startWriteback(file.first, file.second, 0); });
    std::int64_t bytes = 0;
    for (std::size_t i = 0; i < batch.slots.size(); ++i) {
        if (bytes >= kBytesPerFlush || pl.stopAsked()) {
            batch.slots.resize(i);
            break;
        }
        Slot& slot = batch.slots[i];
        if (slot.failure)
            continue;
        try {
            slot.pending = editor.prepare(*slot.name, pl.edit, pl.code, /*createMissing=*/false);
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
            slot.fail(e, pl.system);
        }
    }
    writeback.finish(); // before the batch's files go on to be flushed and closed
    return batch;
}

// Runs task on a side thread where one can be had (policy async), else on the thread that asks
// for its result: a system out of threads slows the run down instead of ending it halfway.
template <class Task> auto startTask(platform::SideThreads& threads, std::launch policy, Task task) {
    if (policy == std::launch::async)
        return threads.start(std::move(task));
    return platform::SideTask<decltype(task())>(std::async(std::launch::deferred, std::move(task)));
}

// Files go in batches that share one flush. Each batch is prepared on a side thread, then flushed
// and published (renamed, the folder flushed) on another, beside the preparing and flushing of the
// next ones; batches are published one at a time, in order. Every callback of the sink and of the
// input stays on this thread, which reports the batches in the sorted order.
// The first batches are small so that the other threads get to work at once; later ones grow to
// spread each flush over many files, and the last ones shrink again.
// NOLINTNEXTLINE(readability-function-cognitive-complexity): the steps share the pipeline's state
void runFolder(Pipeline& pl, FolderEditor& editor, FileHandle dir, const ScannedFolder& folder,
               const FolderPlace& place) {
    const std::vector<std::string>& names = folder.names;
    platform::ProcessServices& process = pl.system.process;
    const std::size_t maxPerFlush = filesPerFlush(names.size(), process);
    constexpr std::size_t kFewest = 16;
    std::size_t perFlush = std::min(maxPerFlush, kFewest);
    const auto policy = pl.fs.concurrent() ? std::launch::async : std::launch::deferred;
    // Files of batches on the side that leave room for one more batch; without threads, none.
    const std::size_t roomBelow = policy == std::launch::async ? (kPublishing - 1) * maxPerFlush : 0;
    if (policy == std::launch::async) // room for the batches' descriptors, before the threads start
        process.reserveDescriptors(kReservedBeforeRun + kPerFile * static_cast<long>(maxPerFlush));

    auto collect = [&](std::size_t from) {
        Batch batch;
        batch.start = from;
        // At most half of what is left: the last batch, which nothing overlaps, stays small.
        const std::size_t size = std::min(perFlush, std::max(kFewest, (names.size() - from) / 2));
        const std::size_t to = std::min(names.size(), from + size);
        perFlush = std::min(maxPerFlush, perFlush * 2);
        for (std::size_t i = from; i < to; ++i) {
            pl.mod.CurrentFile = place.relative + names[i];
            Slot slot;
            slot.name = &names[i];
            if (isOwnOutput(pl.ownOutput, pl.fs, dir, folder.id.volume, names[i]))
                slot.fail(FileError(std::errc::device_or_resource_busy, "change", place.relative + names[i],
                                    Refusal::OwnOutput),
                          place.system);
            batch.slots.push_back(std::move(slot));
        }
        return batch;
    };

    std::size_t next = 0;
    platform::SideTask<Batch> inFlight;
    std::deque<platform::SideTask<FlushedBatch>> publishing; // flushed and published, in the run's order
    std::size_t publishingFiles = 0;
    std::shared_future<void> published; // the last batch handed on, once published
    // The replaced files are let go, oldest first, on side threads that every batch of the folder
    // shares. Closing one frees its blocks, and where the disk is told of freed blocks each close
    // waits for the device: a few such waits side by side share the device best (on this kind of
    // virtual disk eight to sixteen; thirty-two slow each other down), and a small batch gets as
    // many as a large one. Without threads each file is closed as it comes.
    constexpr std::size_t kClosers = 8;
    platform::SideThreads& threads = process.sideThreads();
    platform::SideQueue<UniqueFile> closer(policy == std::launch::async ? &threads : nullptr, kClosers, 1,
                                           [](UniqueFile& file) { file.reset(); });
    auto launch = [&] {
        inFlight = startTask(threads, policy, [&pl, &editor, batch = collect(next)]() mutable {
            return prepareBatch(pl, editor, std::move(batch));
        });
    };
    // Flushes a batch beside the one before it, then publishes it once that one is published.
    auto handOn = [&](Batch batch) {
        std::promise<void> done;
        std::shared_future<void> before = std::exchange(published, done.get_future().share());
        publishingFiles += batch.slots.size();
        publishing.push_back(
            startTask(threads, policy,
                      [&pl, &editor, &place, b = std::move(batch), before, done = std::move(done)]() mutable {
                          FlushedBatch flushed = flushBatch(editor, std::move(b));
                          if (before.valid())
                              before.wait();
                          publishBatch(editor, flushed, place, pl.linked);
                          done.set_value();
                          return flushed;
                      }));
    };
    auto reportNext = [&] {
        FlushedBatch flushed = publishing.front().get();
        publishing.pop_front();
        publishingFiles -= flushed.batch.slots.size();
        reportBatch(flushed, place, pl.result, pl.sink);
        // The replaced files are let go on the side while the next batches go on.
        const std::size_t closing = kClosingBatches * maxPerFlush, replaced = flushed.replaced.size();
        closer.handleDownTo(closing > replaced ? closing - replaced : 0);
        closer.push(flushed.replaced);
        pl.done += flushed.batch.slots.size();
        if (!pl.stop && !pl.sink.progress(pl.done, pl.total)) {
            pl.stop = true;
            pl.halt = true; // the batch being prepared stops at its next file
        }
    };
    if (!names.empty() && !pl.stopped())
        launch();
    // This thread waits for the batch being prepared before anything else, so that the next one
    // starts at once; published batches are reported in between, as they come, and waited for
    // only when too many are under way or nothing is left to prepare.
    while (inFlight.valid() || !publishing.empty()) {
        while (!publishing.empty() &&
               (publishing.front().ready() || publishingFiles > roomBelow || !inFlight.valid()))
            reportNext();
        if (!inFlight.valid())
            continue;
        Batch batch = inFlight.get();
        next = batch.start + batch.slots.size(); // a batch cut short resumes here
        if (!pl.stopped() && next < names.size())
            launch();
        handOn(std::move(batch));
    }
    closer.finish();
}

std::string closingLines(const BatchResult& result) {
    std::string closing = "\r\n处理了" + std::to_string(result.changed) + "个文件。";
    if (result.alreadyHeld > 0)
        closing += "\r\n有" + std::to_string(result.alreadyHeld) + "个文件已含此代码，未再添加。";
    const auto folders = static_cast<std::size_t>(
        std::count_if(result.failures.begin(), result.failures.end(), [](auto& f) { return f.folder; }));
    if (result.failures.size() > folders)
        closing += "\r\n有" + std::to_string(result.failures.size() - folders) + "个文件未能处理。";
    if (folders > 0)
        closing += "\r\n有" + std::to_string(folders) + "个文件夹未能处理。";
    if (result.outcome == Outcome::Cancelled)
        closing += "\r\n" + std::string(kCancelledLine);
    closing += "\r\n感谢您使用本软件！";
    return closing;
}

// One folder of the tree in its turn: entered and locked, its leftovers swept, its files changed.
void runTreeFolder(Pipeline& pl, FolderWalk& walk, const RunStart& run, std::size_t index) {
    const ScannedFolder& folder = run.tree.folders[index];
    FileHandle dir = platform::kNoFile;
    try {
        dir = enterFolder(pl.fs, walk, run, index, /*lock=*/true);
    } catch (const FileError& e) {
        pl.done += folder.names.size(); // handled: as one failure
        pl.result.failures.push_back(failureBelow(pl.mod, run.tree.relative(index), e, pl.system));
        pl.sink.appendLog(pl.result.failures.back().name + "（未能处理：" +
                          pl.sink.reasonText(pl.result.failures.back()) + "）\r\n");
        return;
    }
    const std::string path = pl.mod.TargetDir + walk.relative();
    FolderEditor editor(pl.system, dir, path);
    editor.shareAppended(pl.appended, walk.relative());
    editor.onCopyProgress([&sink = pl.sink](std::int64_t done, std::int64_t end) {
        sink.fileProgress(std::uint64_t(done), std::uint64_t(end));
    });
    editor.sweepLeftovers(folder.leftovers);
    runFolder(pl, editor, dir, folder, FolderPlace{walk.relative(), path, pl.system});
}

} // namespace

BatchResult runBatch(Mod& mod, const BatchInput& input, BatchSink& sink, const platform::System& system) {
    BatchResult result;
    RunStart run;
    if (!startRun(mod, input, system, /*lock=*/true, run, result))
        return result;
    FileSystem& fs = system.files;
    Pipeline pl{mod, sink, system, fs, *run.code, result, editOf(input)};
    pl.external = input.stop;
    pl.ownOutput = input.ownOutput;
    for (const std::size_t folder : run.tree.order)
        pl.total += run.tree.folders[folder].names.size();
    FolderWalk walk(fs, run.dir.get(), run.tree);
    for (const std::size_t folder : run.tree.order) {
        if (pl.stopped())
            break;
        runTreeFolder(pl, walk, run, folder);
    }
    mod.CurrentFile.clear();
    if (pl.done < pl.total)
        result.outcome = Outcome::Cancelled;
    sink.appendLog(closingLines(result));
    return result;
}

namespace {

// Whether another run holds a folder or a folder above it: the run's own locks, let go at once.
bool heldByAnotherRun(FileSystem& fs, FileHandle dir) {
    // A handle of its own: a lock taken on the run's would stay until the preview ends.
    std::error_code ec;
    UniqueFile probe = platform::openAt(fs, dir, ".", platform::OpenMode::Folder, ec);
    std::vector<UniqueFile> locks;
    return probe && !lockRunFolders(fs, probe.get(), locks);
}

// Whether another run holds a subfolder: a lock on a handle of its own, let go at once.
bool subfolderHeld(FileSystem& fs, FileHandle dir) {
    std::error_code ec;
    UniqueFile probe = platform::openAt(fs, dir, ".", platform::OpenMode::Folder, ec);
    return probe &&
           fs.lockFolder(probe.get(), FileSystem::Lock::Exclusive) == std::errc::operation_would_block;
}

// What a run would refuse before reading the file: where its own output goes, a read-only file.
void refuseBeforehand(const BatchInput& input, FileSystem& fs, FileHandle dir, const std::string& name,
                      const std::string& path) {
    FileInfo info;
    if (fs.statAt(dir, name, info))
        return; // the run finds out for itself
    if (isOwnFile(input.ownOutput, info))
        throw FileError(std::errc::device_or_resource_busy, "change", path, Refusal::OwnOutput);
    if (info.kind == platform::FileKind::Regular && info.readOnly)
        throw FileError(std::errc::permission_denied, "open", path, Refusal::ReadOnly);
}

// What a preview finds in one folder of the tree: the files it is after, and failures.
void previewTreeFolder(FolderWalk& walk, RunStart& run, std::size_t index, const Mod& mod,
                       const BatchInput& input, Preview preview, std::vector<std::string>& files,
                       BatchResult& result, const platform::System& system) {
    FileSystem& fs = system.files;
    const CodeEdit edit = editOf(input);
    // A plain insertion changes every file; the others depend on what each file holds.
    const bool reads = edit.action != CodeEdit::Action::Add;
    const bool wanted = edit.action == CodeEdit::Action::Remove;
    const bool asRun = preview == Preview::Run;
    FileHandle dir = platform::kNoFile;
    try {
        dir = enterFolder(fs, walk, run, index, /*lock=*/false);
        if (asRun && index != 0 && subfolderHeld(fs, dir))
            throw FileError(std::errc::operation_would_block, "lock", run.tree.folders[index].name,
                            Refusal::AnotherRun);
    } catch (const FileError& e) {
        result.failures.push_back(failureBelow(mod, run.tree.relative(index), e, system));
        return;
    }
    FolderEditor reader(system, dir, mod.TargetDir + walk.relative());
    for (const auto& name : run.tree.folders[index].names) {
        try {
            if (asRun)
                refuseBeforehand(input, fs, dir, name, mod.TargetDir + walk.relative() + name);
            if (!reads || reader.holdsCode(name, edit, *run.code) == wanted)
                files.push_back(walk.relative() + name);
        } catch (const FileError& e) {
            result.failures.push_back(failureBelow(mod, walk.relative() + name, e, system));
        }
    }
}

} // namespace

BatchResult previewBatch(const Mod& mod, const BatchInput& input, std::vector<std::string>& files,
                         const platform::System& system, Preview preview) {
    BatchResult result;
    RunStart run;
    if (!startRun(mod, input, system, /*lock=*/false, run, result))
        return result;
    FileSystem& fs = system.files;
    if (preview == Preview::Run && heldByAnotherRun(fs, run.dir.get())) {
        refuseBusy(mod, result, system);
        return result;
    }
    FolderWalk walk(fs, run.dir.get(), run.tree);
    for (const std::size_t folder : run.tree.order)
        previewTreeFolder(walk, run, folder, mod, input, preview, files, result, system);
    return result;
}
