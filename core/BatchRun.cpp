#include "core/BatchRun.h"

#include "core/Encoding.h"
#include "core/FileError.h"
#include "core/FolderEditor.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fnmatch.h>
#include <future>
#include <optional>
#include <sys/resource.h>

namespace {

using platform::DirEntry;
using platform::FileSystem;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

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

// "*." + extension, letter case ignored; only '*' and '?' of the extension are wildcards.
bool nameMatches(const std::string& name, const std::string& extension) {
    if (extension.empty())
        return name.find('.') == std::string::npos;
    std::string pattern = "*.";
    for (char c : extension) {
        if (c == '[' || c == ']' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

bool isRegular(FileSystem& fs, int dirFd, const DirEntry& e) {
    if (e.type != DT_UNKNOWN)
        return e.type == DT_REG;
    struct stat st {};
    return fs.statAt(dirFd, e.name, st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> selectMatches(FileSystem& fs, int dirFd, const std::vector<DirEntry>& entries,
                                       const std::string& extension) {
    std::vector<std::string> names;
    for (const auto& e : entries) {
        if (e.name.empty() || e.name[0] == '.' || !nameMatches(e.name, extension))
            continue;
        if (isRegular(fs, dirFd, e))
            names.push_back(e.name);
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

std::size_t filesPerFlush(std::size_t files) {
    // In a large folder every flush also writes the folder's own blocks that the renames touched;
    // larger batches there share those writes among more files.
    std::size_t limit = std::clamp<std::size_t>(files / 64, 256, 2048);
    // Each prepared head holds two descriptors (old and new file) until its batch is published,
    // and up to five batches' worth are open at once (one prepared, one published, one closing).
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
        limit = std::min<std::size_t>(limit, rl.rlim_cur > 64 ? (rl.rlim_cur - 32) / 5 : 8);
    return std::max<std::size_t>(limit, 1);
}

FileFailure failureOf(const FileError& e) {
    return {{}, {}, e.reason(), e.error(), e.refusal(), {}};
}

struct Slot {
    const std::string* name = nullptr;
    bool failed = false;
    FileFailure failure;
    bool inBatch = false;
    FolderEditor::Pending pending;

    void fail(const FileError& e) {
        failed = true;
        failure = failureOf(e);
    }
};

struct Batch {
    std::size_t start = 0;
    std::vector<Slot> slots;
};

// Old content prepared per batch before it is flushed: keeps the flushes (and the reports) coming
// for folders of large files.
constexpr off_t kBytesPerFlush = 64 << 20;

// Flushes a prepared batch once, publishes it, flushes the folder and reports it in order.
// Returns the replaced files, still open: closing them frees their blocks, which takes time.
std::vector<platform::UniqueFd> finishBatch(FolderEditor& editor, Batch& batch, const std::string& folder,
                                            bool known, BatchResult& result, BatchSink& sink) {
    std::vector<FolderEditor::Pending> pending;
    for (auto& slot : batch.slots)
        if (slot.inBatch)
            pending.push_back(std::move(slot.pending));

    std::optional<FileError> flushFailure;
    try {
        if (!pending.empty())
            editor.flush(pending);
    } catch (const FileError& e) {
        // A failed flush may have lost the data: nothing of this batch counts, nothing is retried.
        flushFailure = e;
        for (auto& p : pending)
            editor.discard(p);
    }
    std::size_t b = 0;
    bool anyHead = false;
    for (auto& slot : batch.slots) {
        if (!slot.inBatch)
            continue;
        FolderEditor::Pending& p = pending[b++];
        if (flushFailure) {
            slot.fail(*flushFailure);
            continue;
        }
        try {
            editor.publish(p);
            anyHead = anyHead || p.head;
        } catch (const FileError& e) {
            slot.fail(e);
        }
    }
    if (anyHead)
        (void)editor.syncFolder();
    std::vector<platform::UniqueFd> replaced;
    for (auto& p : pending)
        if (p.old)
            replaced.push_back(std::move(p.old));

    std::string piece;
    for (auto& slot : batch.slots) {
        if (slot.failed) {
            slot.failure.name = *slot.name;
            slot.failure.path = folder + *slot.name;
            piece += *slot.name + "（未能处理：" + sink.reasonText(slot.failure) + "）\r\n";
            result.failures.push_back(std::move(slot.failure));
        } else {
            piece += *slot.name;
            piece += "\r\n";
            if (known)
                ++result.changed;
        }
    }
    sink.appendLog(piece);
    return replaced;
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

BatchResult runBatch(Mod& mod, const BatchInput& input, BatchSink& sink, FileSystem& fs) {
    using Outcome = BatchResult::Outcome;
    BatchResult result;
    if (!mod.DirChosen) {
        result.outcome = Outcome::NoFolder;
        result.error = std::string(kNoFolderMessage);
        return result;
    }
    if (input.extension.find('/') != std::string::npos) {
        result.outcome = Outcome::BadExtension;
        result.error = "the file type \"" + input.extension + "\" holds a '/'";
        return result;
    }
    const bool head = input.position == "head";
    const bool known = head || input.position == "foot";

    platform::UniqueFd dir(fs, fs.openDir(mod.TargetDir));
    std::vector<DirEntry> entries;
    if (!dir || fs.readDir(dir.get(), entries) != 0) {
        FileError e(errno, dir ? "read folder" : "open folder", mod.TargetDir);
        result.outcome = Outcome::FolderUnreadable;
        result.error = mod.TargetDir + ": " + e.reason();
        return result;
    }
    const std::vector<std::string> names = selectMatches(fs, dir.get(), entries, input.extension);

    // The code is read and checked once, before any file is touched, and serves every file.
    std::optional<EncodedCode> code;
    try {
        code.emplace(input.code ? input.code() : std::string(), systemCharset());
    } catch (const EncodingError& e) {
        result.outcome = Outcome::CodeNotEncodable;
        result.error = e.what();
        return result;
    }

    FolderEditor editor(fs, dir.get(), mod.TargetDir);
    editor.sweepLeftovers(entries);

    // Files go in batches that share one flush. While one batch is flushed, renamed and
    // reported here, the next is prepared on a second thread; every callback of the sink
    // and of the input stays on this thread, and the log keeps the sorted order.
    // The first batches are small so that the second thread gets to work at once; later ones
    // grow to spread each flush over many files.
    const std::size_t maxPerFlush = filesPerFlush(names.size());
    std::size_t perFlush = std::min<std::size_t>(maxPerFlush, 16);
    const auto policy = fs.concurrent() ? std::launch::async : std::launch::deferred;

    auto collect = [&](std::size_t from) {
        Batch batch;
        batch.start = from;
        const std::size_t to = std::min(names.size(), from + perFlush);
        perFlush = std::min(maxPerFlush, perFlush * 2);
        for (std::size_t i = from; i < to; ++i) {
            mod.CurrentFile = names[i];
            Slot slot;
            slot.name = &names[i];
            batch.slots.push_back(std::move(slot));
        }
        return batch;
    };
    auto prepare = [&editor, &code, head, known](Batch batch) {
        off_t bytes = 0;
        for (std::size_t i = 0; i < batch.slots.size(); ++i) {
            if (bytes >= kBytesPerFlush) {
                batch.slots.resize(i); // the rest goes into the next batch
                break;
            }
            Slot& slot = batch.slots[i];
            if (!known)
                continue;
            try {
                slot.pending = editor.prepare(*slot.name, head, *code, /*createMissing=*/false);
                slot.inBatch = true;
                bytes += slot.pending.oldSize;
            } catch (const FileError& e) {
                slot.fail(e);
            }
        }
        return batch;
    };

    std::size_t next = 0;
    std::future<Batch> inFlight;
    std::future<void> letGo;
    auto launch = [&] { inFlight = std::async(policy, prepare, collect(next)); };
    bool stop = false;
    std::size_t done = 0;
    if (!names.empty())
        launch();
    while (inFlight.valid()) {
        Batch batch = inFlight.get();
        next = batch.start + batch.slots.size(); // a batch cut short by size resumes here
        if (!stop && next < names.size())
            launch();
        std::vector<platform::UniqueFd> replaced =
            finishBatch(editor, batch, mod.TargetDir, known, result, sink);
        // The replaced files are let go on the side while the next batch goes on.
        if (letGo.valid())
            letGo.get();
        letGo = std::async(policy, [fds = std::move(replaced)]() mutable { fds.clear(); });
        done += batch.slots.size();
        if (!stop && !sink.progress(done, names.size()))
            stop = true; // the batch already being prepared still completes
    }

    if (letGo.valid())
        letGo.get();
    mod.CurrentFile.clear();
    if (done < names.size())
        result.outcome = Outcome::Cancelled;
    std::string closing = "\r\n处理了" + std::to_string(result.changed) + "个文件。";
    if (!result.failures.empty())
        closing += "\r\n有" + std::to_string(result.failures.size()) + "个文件未能处理。";
    closing += "\r\n感谢您使用本软件！";
    sink.appendLog(closing);
    return result;
}
