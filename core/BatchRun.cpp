#include "core/BatchRun.h"

#include "core/Encoding.h"
#include "core/FileError.h"
#include "core/FolderEditor.h"
#include "platform/SideThreads.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <utility>

namespace {

using platform::DirEntry;
using platform::FileSystem;

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        char x = lowerAscii(a[i]), y = lowerAscii(b[i]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b; // names differing only in case keep one fixed order
}

std::size_t characterCount(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// "*." + extension, letter case ignored; only '*' and '?' of the extension are wildcards.
// As on the platform this program comes from, an extension of exactly three characters
// without wildcards also takes longer extensions that begin with it ("htm" takes "a.html").
bool nameMatches(const std::string& name, const std::string& extension) {
    if (extension.empty())
        return name.find('.') == std::string::npos;
    const bool wildcards = extension.find_first_of("*?") != std::string::npos;
    std::string pattern = "*.";
    for (char c : extension) {
        if (c == '[' || c == ']' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    if (!wildcards && characterCount(extension) == 3) {
        const std::string::size_type dot = name.rfind('.');
        return dot != std::string::npos &&
               ::fnmatch((pattern.substr(2) + "*").c_str(), name.c_str() + dot + 1, FNM_CASEFOLD) == 0;
    }
    return ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

// The entry's type, asked of the file itself (links not followed) where the folder does not keep it.
unsigned char entryType(FileSystem& fs, int dirFd, const DirEntry& e) {
    if (e.type != DT_UNKNOWN)
        return e.type;
    struct stat st {};
    if (fs.statAt(dirFd, e.name, st) != 0)
        return DT_UNKNOWN;
    return static_cast<unsigned char>(IFTODT(st.st_mode));
}

std::vector<std::string> selectMatches(FileSystem& fs, int dirFd, const std::vector<DirEntry>& entries,
                                       const std::string& extension) {
    std::vector<std::string> names;
    for (const auto& e : entries) {
        if (e.name.empty() || e.name[0] == '.' || !nameMatches(e.name, extension))
            continue;
        if (entryType(fs, dirFd, e) == DT_REG)
            names.push_back(e.name);
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

// Batches of the largest size whose replaced files may wait to be closed at once.
constexpr std::size_t kClosingBatches = 4;
// Batches of the largest size flushed or published on the side and not yet reported, at most.
constexpr std::size_t kPublishing = 3;
// Descriptors a file of a batch may take, counted over the batches open at once.
constexpr long kPerFile = 2 * (1 + kPublishing) + kClosingBatches;
// Descriptors a run leaves for what is open already (standard streams, the folders, the front
// end's own) when it makes room for its batches.
constexpr long kReservedBeforeRun = 64;

std::size_t filesPerFlush(std::size_t files) {
    // In a large folder every flush also writes the folder's own blocks that the renames touched;
    // larger batches there share those writes among more files.
    std::size_t limit = std::clamp<std::size_t>(files / 64, 256, 2048);
    // A replaced file holds two descriptors (old and new file) until its batch is reported, and
    // one while it closes: the batch being prepared and those flushed or published on the side
    // take two per file, each closing batch one. What is open already (standard streams, the
    // folder, the front end's own) counts.
    const long available = platform::freeDescriptors();
    if (available >= 0)
        limit = std::min<std::size_t>(
            limit, available > 8 + kPerFile ? static_cast<std::size_t>((available - 8) / kPerFile) : 1);
    return std::max<std::size_t>(limit, 1);
}

FileFailure failureOf(const FileError& e) {
    std::string reason = e.reason();
    // Something done in the folder ("create a temporary file in") failed, not the file itself: say where.
    if (e.operation().ends_with(" in")) {
        std::string folder = e.path();
        if (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        reason = "cannot " + e.operation() + " " + shownText(folder) + ": " + reason;
    }
    return {{}, {}, reason, e.error(), e.refusal(), {}};
}

struct Slot {
    const std::string* name = nullptr;
    std::optional<FileFailure> failure;
    std::optional<FileFailure> note; // changed, but an extended attribute was not copied
    bool inBatch = false;
    FolderEditor::Pending pending;

    void fail(const FileError& e) { failure = failureOf(e); }
};

bool outOfDescriptors(const FileError& e) {
    return e.refusal() == Refusal::None && (e.error() == EMFILE || e.error() == ENFILE);
}

// Outcomes of files with further names, by the name that was changed (below the run's folder)
// and a failure or none: the other names fare the same.
using LinkedOutcomes = std::map<std::string, std::optional<FileFailure>>;

void publishSlot(FolderEditor& editor, Slot& slot, FolderEditor::Pending& p, const std::string& relative,
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
            slot.note = failureOf(*p.note);
            slot.note->attribute = p.noteAttribute;
        }
    } catch (const FileError& e) {
        slot.fail(e);
    }
    if (p.read.st_nlink > 1 && !p.replace)
        linked[relative + *slot.name] = slot.failure;
}

struct Batch {
    std::size_t start = 0;
    std::vector<Slot> slots;
};

// Old content prepared per batch before it is flushed: keeps the flushes (and the reports) coming
// for folders of large files.
constexpr off_t kBytesPerFlush = 64 << 20;

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

// Where a folder's files are reported: its path below the run's folder ("" or "sub/"), and its own path.
struct FolderPlace {
    const std::string& relative;
    const std::string& path;
};

// A prepared batch after its flush: its files to publish, in order, and the flush's failure; once
// published, the files it replaced, still open: closing them frees their blocks, which takes time.
struct FlushedBatch {
    Batch batch;
    std::vector<FolderEditor::Pending> pending;
    std::optional<FileError> flushFailure;
    std::vector<platform::UniqueFd> replaced;
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
void publishBatch(FolderEditor& editor, FlushedBatch& flushed, const std::string& relative,
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
            publishSlot(editor, slot, p, relative, linked);
            anyReplaced = anyReplaced || p.replace;
        } else if (editor.discard(p)) {
            slot.fail(*flushFailure);
        } else {
            slot.fail(FileError(flushFailure->error(), "flush", p.path, Refusal::PartialCode));
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
        const std::string name = shownText(place.relative + *slot.name);
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
            piece += name + "（已添加，但未能复制扩展属性 " + slot.note->attribute + "：" +
                     sink.reasonText(*slot.note) + "）\r\n";
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

// One folder of a run: where it stands below the run's folder, and what the scan found in it.
struct ScannedFolder {
    std::string relative; // "" for the run's folder, else "sub/" or "sub/deeper/"
    dev_t dev = 0;
    ino_t ino = 0;
    std::vector<std::string> names;   // its matching files, in run order
    std::vector<DirEntry> leftovers;  // temporary files a killed run may have left
    std::optional<FileError> failure; // the folder could not be read
};

// The visible subfolders of a folder (links to folders are links, not folders), in run order.
std::vector<std::string> subfolders(FileSystem& fs, int dirFd, const std::vector<DirEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries)
        if (!e.name.empty() && e.name[0] != '.' && entryType(fs, dirFd, e) == DT_DIR)
            names.push_back(e.name);
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

// Scans an open folder and, when asked, its subfolders on the same file system: each folder's
// files come before its subfolders. A subfolder that cannot be read is listed with the reason.
void scanTree(FileSystem& fs, int dirFd, const std::string& relative, const std::string& extension,
              bool recursive, dev_t rootDev, std::vector<ScannedFolder>& out) {
    std::vector<DirEntry> entries;
    if (fs.readDir(dirFd, entries) != 0)
        throw FileError(errno, "read folder", relative);
    struct stat st {};
    if (fs.fstat(dirFd, st) != 0)
        throw FileError(errno, "stat", relative);
    ScannedFolder folder;
    folder.relative = relative;
    folder.dev = st.st_dev;
    folder.ino = st.st_ino;
    folder.names = selectMatches(fs, dirFd, entries, extension);
    for (const auto& e : entries)
        if (FolderEditor::isTemporaryName(e.name))
            folder.leftovers.push_back(e);
    out.push_back(std::move(folder));
    if (!recursive)
        return;
    for (const auto& name : subfolders(fs, dirFd, entries)) {
        const std::string below = relative + name + "/";
        platform::UniqueFd sub(fs,
                               fs.openAt(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK, 0));
        struct stat subSt {};
        if (sub && fs.fstat(sub.get(), subSt) == 0 && subSt.st_dev != rootDev)
            continue; // a mount point: another file system is not the user's folder
        try {
            if (!sub)
                throw FileError(errno, "open folder", below);
            scanTree(fs, sub.get(), below, extension, recursive, rootDev, out);
        } catch (const FileError& e) {
            ScannedFolder failed;
            failed.relative = below;
            failed.failure = e;
            out.push_back(std::move(failed));
        }
    }
}

// The folders of a run, the run's own folder first. Throws FileError when that one cannot be read.
std::vector<ScannedFolder> scanFolders(FileSystem& fs, int dirFd, const std::string& extension,
                                       bool recursive) {
    struct stat st {};
    if (fs.fstat(dirFd, st) != 0)
        throw FileError(errno, "stat", "");
    std::vector<ScannedFolder> folders;
    scanTree(fs, dirFd, "", extension, recursive, st.st_dev, folders);
    return folders;
}

// Opens a subfolder found by the scan again, making sure it is still the same folder.
platform::UniqueFd reopenFolder(FileSystem& fs, const std::string& path, const ScannedFolder& folder) {
    platform::UniqueFd fd(fs, fs.openDir(path));
    if (!fd)
        throw FileError(errno, "open folder", path);
    struct stat st {};
    if (fs.fstat(fd.get(), st) != 0)
        throw FileError(errno, "stat", path);
    if (st.st_dev != folder.dev || st.st_ino != folder.ino)
        throw FileError(EAGAIN, "open folder", path, Refusal::ChangedDuringRun);
    return fd;
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

} // namespace

std::vector<std::string> matchingFiles(const std::string& folder, const std::string& extension,
                                       FileSystem& fs) {
    platform::UniqueFd dir(fs, fs.openDir(folder));
    if (!dir)
        throw FileError(errno, "open folder", folder);
    std::vector<DirEntry> entries;
    if (fs.readDir(dir.get(), entries) != 0)
        throw FileError(errno, "read folder", folder);
    return selectMatches(fs, dir.get(), entries, extension);
}

namespace {

using Outcome = BatchResult::Outcome;

// What a run has found before it touches anything: its folder, the folders and files to handle,
// and the code, read and encoded once.
struct RunStart {
    platform::UniqueFd dir;
    std::vector<ScannedFolder> folders;
    std::optional<EncodedCode> code;
};

// Checks the input, scans the folders and encodes the code; on a refusal sets the result's
// outcome and returns false, having touched nothing.
bool startRun(const Mod& mod, const BatchInput& input, FileSystem& fs, RunStart& run, BatchResult& result) {
    if (!mod.DirChosen) {
        result.outcome = Outcome::NoFolder;
        result.error = "no folder has been chosen";
        return false;
    }
    if (input.extension.find('/') != std::string::npos) {
        result.outcome = Outcome::BadExtension;
        result.error = "the file type \"" + input.extension + "\" holds a '/'";
        return false;
    }
    try {
        run.dir = platform::UniqueFd(fs, fs.openDir(mod.TargetDir));
        if (!run.dir)
            throw FileError(errno, "open folder", mod.TargetDir);
        run.folders = scanFolders(fs, run.dir.get(), input.extension, input.recursive);
    } catch (const FileError& e) {
        result.outcome = Outcome::FolderUnreadable;
        result.error = shownText(mod.TargetDir) + ": " + e.reason();
        result.folderError = e;
        return false;
    }
    // The code is read and checked once, before any file is touched, and serves every file.
    try {
        run.code.emplace(input.code ? input.code() : std::string(), systemCharset(), input.encoding);
    } catch (const EncodingError& e) {
        result.outcome = Outcome::CodeNotEncodable;
        result.error = e.what();
        return false;
    }
    return true;
}

// Two runs in one folder would each replace files the other just changed. A file system without
// locks does not stop the run.
bool lockFolder(const Mod& mod, FileSystem& fs, const RunStart& run, BatchResult& result) {
    if (fs.lockDir(run.dir.get()) == 0 || errno != EWOULDBLOCK)
        return true;
    result.outcome = Outcome::FolderBusy;
    result.folderError = FileError(EWOULDBLOCK, "lock", mod.TargetDir, Refusal::AnotherRun);
    result.error = shownText(mod.TargetDir) + ": " + result.folderError->reason();
    return false;
}

// A subfolder that could not be read or opened again: named by its path below the run's folder.
FileFailure folderFailure(const Mod& mod, const std::string& relative, const FileError& e) {
    FileFailure failure = failureOf(e);
    failure.name = shownText(relative);
    failure.path = mod.TargetDir + relative;
    return failure;
}

// Opens a folder of the run again; the run's own is open already.
platform::UniqueFd openScanned(FileSystem& fs, const RunStart& run, const Mod& mod,
                               const ScannedFolder& folder, int& dirFd) {
    dirFd = run.dir.get();
    if (folder.relative.empty())
        return {};
    platform::UniqueFd fd = reopenFolder(fs, mod.TargetDir + folder.relative, folder);
    dirFd = fd.get();
    return fd;
}

// Opens a folder of the run for its turn; a subfolder the run changes is locked while it does, as
// the run's own folder is. Throws FileError: the folder's failure, one the scan met included.
platform::UniqueFd enterFolder(FileSystem& fs, const RunStart& run, const Mod& mod,
                               const ScannedFolder& folder, bool lock, int& dirFd) {
    if (folder.failure)
        throw *folder.failure;
    platform::UniqueFd sub = openScanned(fs, run, mod, folder, dirFd);
    if (lock && sub && fs.lockDir(dirFd) != 0 && errno == EWOULDBLOCK)
        throw FileError(EWOULDBLOCK, "lock", mod.TargetDir + folder.relative, Refusal::AnotherRun);
    return sub;
}

// One run across its folders: what the pipeline of each folder shares.
struct Pipeline {
    Mod& mod;
    BatchSink& sink;
    FileSystem& fs;
    EncodedCode& code;
    BatchResult& result;
    CodeEdit edit;
    std::size_t total = 0;
    std::size_t done = 0;
    bool stop = false;                           // the sink asked to stop
    const std::atomic<bool>* external = nullptr; // the input's stop
    std::optional<BatchInput::FileId> ownOutput{};
    // Checked before each file, on either thread: a stop lets the file under way finish.
    std::atomic<bool> halt{false};
    // One file with names in several folders gets its foot once.
    FolderEditor::AppendedFiles appended{};
    LinkedOutcomes linked{};
    bool stopAsked() const { return halt || (external && *external); }
    bool stopped() const { return stop || stopAsked(); } // on the run's own thread only
};

// The file the run writes its log to, found by what it is, not by its name.
bool isOwnOutput(const Pipeline& pl, FileSystem& fs, int dirFd, const ScannedFolder& folder,
                 const std::string& name) {
    struct stat st {};
    return pl.ownOutput && pl.ownOutput->device == folder.dev && fs.statAt(dirFd, name, st) == 0 &&
           st.st_dev == pl.ownOutput->device && st.st_ino == pl.ownOutput->inode;
}

// Items handed to side threads (at most `threadsAtMost`, started as items come), which handle them
// in the order they come; where no thread can be had, each item is handled as it comes. The
// threads are woken once `together` items wait: waking one for each item would cost a switch of
// threads each time. Every item handed over has been handled when finish() returns.
template <class Item> class SideQueue {
public:
    using Handle = std::function<void(Item&)>;
    SideQueue(bool threads, std::size_t threadsAtMost, std::size_t together, Handle handle)
        : m_threads(threads), m_threadsAtMost(threadsAtMost), m_together(together),
          m_handle(std::move(handle)) {}
    SideQueue(const SideQueue&) = delete;
    SideQueue& operator=(const SideQueue&) = delete;
    ~SideQueue() { finish(); }

    void push(Item item) { push(&item, &item + 1); }
    void push(std::vector<Item>& items) {
        push(items.begin(), items.end());
        items.clear();
    }

    // Handles items on this thread as well, oldest first, until no more than `left` wait.
    void handleDownTo(std::size_t left) {
        for (;;) {
            Item item;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_queue.size() <= left)
                    return;
                item = std::move(m_queue.front());
                m_queue.pop_front();
            }
            m_handle(item);
        }
    }

    void finish() {
        handleDownTo(0);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_ready.notify_all();
        for (auto& thread : m_side)
            thread.get(); // with no thread to be had, finds nothing left
        m_side.clear();
        m_done = false;
    }

private:
    template <class It> void push(It first, It last) {
        if (!m_threads) {
            for (; first != last; ++first)
                m_handle(*first);
            return;
        }
        std::size_t waiting = 0;
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const bool asleep = m_queue.size() < m_together;
            for (; first != last; ++first)
                m_queue.push_back(std::move(*first));
            waiting = m_queue.size();
            wake = asleep && waiting >= m_together;
        }
        if (wake)
            m_ready.notify_all();
        while (m_side.size() < std::min(m_threadsAtMost, waiting))
            m_side.push_back(platform::sideThreads().start([this] { run(); }));
    }

    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_ready.wait(lock, [this] { return m_done || m_queue.size() >= m_together; });
            if (m_queue.empty())
                return;
            while (!m_queue.empty()) {
                Item item = std::move(m_queue.front());
                m_queue.pop_front();
                lock.unlock();
                m_handle(item);
                lock.lock();
            }
        }
    }

    const bool m_threads;
    const std::size_t m_threadsAtMost;
    const std::size_t m_together;
    const Handle m_handle;
    std::vector<platform::SideTask<void>> m_side;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Item> m_queue;
    bool m_done = false;
};

// Prepares a batch's files, on the second thread, until it holds enough old content for one flush
// or a stop is asked for; the files cut off go into the next batch, if any.
Batch prepareBatch(Pipeline& pl, FolderEditor& editor, Batch batch) {
    const bool sendOnEarly = editor.expectFlushOf(batch.slots.size());
    // New files are sent on to the disk (a hint, never waited for; a failure shows up again at
    // the flush) on a side thread, eight at a time, so that preparing the next file does not wait.
    SideQueue<std::pair<int, off_t>> writeback(pl.fs.concurrent(), 1, 8, [&fs = pl.fs](auto& file) {
        (void)fs.startWriteback(file.first, file.second, 0);
    });
    off_t bytes = 0;
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
            if (sendOnEarly && p.fd && (p.replace || p.appended > 0)) // new bytes: all, or the foot
                writeback.push({p.fd.get(), p.replace ? 0 : p.oldSize});
        } catch (const FileError& e) {
            // Out of descriptors: the next batch tries again once this one has let go of its own.
            if (outOfDescriptors(e) && i > 0) {
                batch.slots.resize(i);
                break;
            }
            slot.fail(e);
        }
    }
    writeback.finish(); // before the batch's files go on to be flushed and closed
    return batch;
}

// Runs task on a side thread where one can be had (policy async), else on the thread that asks
// for its result: a system out of threads slows the run down instead of ending it halfway.
template <class Task> auto startTask(std::launch policy, Task task) {
    if (policy == std::launch::async)
        return platform::sideThreads().start(std::move(task));
    return platform::SideTask<decltype(task())>(std::async(std::launch::deferred, std::move(task)));
}

// Files go in batches that share one flush. Each batch is prepared on a side thread, then flushed
// and published (renamed, the folder flushed) on another, beside the preparing and flushing of the
// next ones; batches are published one at a time, in order. Every callback of the sink and of the
// input stays on this thread, which reports the batches in the sorted order.
// The first batches are small so that the other threads get to work at once; later ones grow to
// spread each flush over many files, and the last ones shrink again.
void runFolder(Pipeline& pl, FolderEditor& editor, int dirFd, const ScannedFolder& folder,
               const std::string& path) {
    const std::vector<std::string>& names = folder.names;
    const std::size_t maxPerFlush = filesPerFlush(names.size());
    constexpr std::size_t kFewest = 16;
    std::size_t perFlush = std::min(maxPerFlush, kFewest);
    const auto policy = pl.fs.concurrent() ? std::launch::async : std::launch::deferred;
    // Files of batches on the side that leave room for one more batch; without threads, none.
    const std::size_t roomBelow = policy == std::launch::async ? (kPublishing - 1) * maxPerFlush : 0;
    if (policy == std::launch::async) // room for the batches' descriptors, before the threads start
        platform::reserveDescriptors(kReservedBeforeRun + kPerFile * static_cast<long>(maxPerFlush));

    auto collect = [&](std::size_t from) {
        Batch batch;
        batch.start = from;
        // At most half of what is left: the last batch, which nothing overlaps, stays small.
        const std::size_t size = std::min(perFlush, std::max(kFewest, (names.size() - from) / 2));
        const std::size_t to = std::min(names.size(), from + size);
        perFlush = std::min(maxPerFlush, perFlush * 2);
        for (std::size_t i = from; i < to; ++i) {
            pl.mod.CurrentFile = folder.relative + names[i];
            Slot slot;
            slot.name = &names[i];
            if (isOwnOutput(pl, pl.fs, dirFd, folder, names[i]))
                slot.fail(FileError(EBUSY, "change", folder.relative + names[i], Refusal::OwnOutput));
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
    SideQueue<platform::UniqueFd> closer(policy == std::launch::async, kClosers, 1,
                                         [](platform::UniqueFd& fd) { fd.reset(); });
    auto launch = [&] {
        inFlight = startTask(policy, [&pl, &editor, batch = collect(next)]() mutable {
            return prepareBatch(pl, editor, std::move(batch));
        });
    };
    // Flushes a batch beside the one before it, then publishes it once that one is published.
    auto handOn = [&](Batch batch) {
        std::promise<void> done;
        std::shared_future<void> before = std::exchange(published, done.get_future().share());
        publishingFiles += batch.slots.size();
        publishing.push_back(startTask(
            policy, [&pl, &editor, &folder, b = std::move(batch), before, done = std::move(done)]() mutable {
                FlushedBatch flushed = flushBatch(editor, std::move(b));
                if (before.valid())
                    before.wait();
                publishBatch(editor, flushed, folder.relative, pl.linked);
                done.set_value();
                return flushed;
            }));
    };
    const FolderPlace place{folder.relative, path};
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
    if (!result.failures.empty())
        closing += "\r\n有" + std::to_string(result.failures.size()) + "个文件未能处理。";
    if (result.outcome == Outcome::Cancelled)
        closing += "\r\n" + std::string(kCancelledLine);
    closing += "\r\n感谢您使用本软件！";
    return closing;
}

} // namespace

BatchResult runBatch(Mod& mod, const BatchInput& input, BatchSink& sink, FileSystem& fs) {
    BatchResult result;
    RunStart run;
    if (!startRun(mod, input, fs, run, result) || !lockFolder(mod, fs, run, result))
        return result;
    Pipeline pl{mod, sink, fs, *run.code, result, editOf(input)};
    pl.external = input.stop;
    pl.ownOutput = input.ownOutput;
    for (const auto& folder : run.folders)
        pl.total += folder.names.size();

    for (const auto& folder : run.folders) {
        if (pl.stopped())
            break;
        int dirFd = -1;
        platform::UniqueFd sub;
        try {
            sub = enterFolder(fs, run, mod, folder, /*lock=*/true, dirFd);
        } catch (const FileError& e) {
            pl.done += folder.names.size(); // handled: as one failure
            result.failures.push_back(folderFailure(mod, folder.relative, e));
            sink.appendLog(shownText(folder.relative) + "（未能处理：" +
                           sink.reasonText(result.failures.back()) + "）\r\n");
            continue;
        }
        const std::string path = mod.TargetDir + folder.relative;
        FolderEditor editor(fs, dirFd, path);
        editor.shareAppended(pl.appended, folder.relative);
        editor.onCopyProgress(
            [&sink](off_t done, off_t end) { sink.fileProgress(std::uint64_t(done), std::uint64_t(end)); });
        editor.sweepLeftovers(folder.leftovers);
        runFolder(pl, editor, dirFd, folder, path);
    }

    mod.CurrentFile.clear();
    if (pl.done < pl.total)
        result.outcome = Outcome::Cancelled;
    sink.appendLog(closingLines(result));
    return result;
}

BatchResult previewBatch(const Mod& mod, const BatchInput& input, std::vector<std::string>& files,
                         FileSystem& fs) {
    BatchResult result;
    RunStart run;
    if (!startRun(mod, input, fs, run, result))
        return result;
    const CodeEdit edit = editOf(input);
    // A plain insertion changes every file; the others depend on what each file holds.
    const bool reads = edit.action != CodeEdit::Action::Add;
    const bool wanted = edit.action == CodeEdit::Action::Remove;
    for (const auto& folder : run.folders) {
        int dirFd = -1;
        platform::UniqueFd sub;
        try {
            sub = enterFolder(fs, run, mod, folder, /*lock=*/false, dirFd);
        } catch (const FileError& e) {
            result.failures.push_back(folderFailure(mod, folder.relative, e));
            continue;
        }
        FolderEditor reader(fs, dirFd, mod.TargetDir + folder.relative);
        for (const auto& name : folder.names) {
            try {
                if (!reads || reader.holdsCode(name, edit, *run.code) == wanted)
                    files.push_back(folder.relative + name);
            } catch (const FileError& e) {
                result.failures.push_back(folderFailure(mod, folder.relative + name, e));
            }
        }
    }
    return result;
}
