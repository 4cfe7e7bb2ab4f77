#include "core/FolderEditor.h"

#include "core/FileError.h"
#include "platform/SideQueue.h"

#include <algorithm>
#include <cstring>
#include <mutex>

using platform::ChangeStamp;
using platform::FileInfo;

void FolderEditor::flush(std::vector<Pending>& pending) {
    // One flush of the whole file system commits many files at once, but it also waits for
    // whatever other programs have not written yet; then each of our files is flushed alone.
    if (pending.size() > 2 && !othersAreWriting(pending)) {
        const std::error_code ec = m_setup.fs.fsSync(m_setup.dir);
        if (!ec)
            return;
        if (ec != std::errc::function_not_supported) // no such flush here (Windows): each file alone
            throw FileError(ec, "flush", m_setup.folder);
    }
    flushEach(pending);
}

void FolderEditor::flushEach(const std::vector<Pending>& pending) {
    // Flushes waiting side by side end in the same journal commit; one at a time, each would wait
    // for a commit of its own. Once one has failed, those not yet started are left: the batch is
    // lost anyway.
    constexpr std::size_t kAtOnce = 16;
    std::vector<FileToFlush> files;
    for (std::size_t i = 0; i < pending.size(); ++i)
        if (pending[i].file)
            files.push_back(FileToFlush{pending[i].file.get(), i});
    EachFlush shared;
    platform::SideThreads* threads = m_setup.fs.concurrent() ? &m_setup.process.sideThreads() : nullptr;
    platform::SideQueue<FileToFlush> flushes(threads, kAtOnce, 1, [this, each = &shared](FileToFlush& file) {
        if (!each->failed)
            flushOne(file, *each);
    });
    flushes.push(files); // this thread takes its share in finish()
    flushes.finish();
    if (shared.failed)
        throw FileError(shared.error, "flush", pending[shared.first].path);
}

void FolderEditor::flushOne(const FileToFlush& file, EachFlush& shared) {
    const std::error_code ec = m_setup.fs.dataSync(file.handle);
    if (!ec)
        return;
    std::lock_guard<std::mutex> lock(shared.mutex);
    // The first in the batch's order of those that failed.
    if (!shared.failed || file.index < shared.first)
        shared.first = file.index, shared.error = ec;
    shared.failed = true;
}

bool FolderEditor::othersAreWriting(const std::vector<Pending>& pending) {
    long long ours = 0;
    for (const auto& p : pending)
        ours += (p.replace ? p.oldSize : p.appended) + kPageSize;
    return othersAreWriting(ours, pending.size());
}

bool FolderEditor::othersAreWriting(long long ours, std::size_t files) {
    const long long unwritten = m_setup.fs.unwrittenBytes();
    if (unwritten < 0)
        return false;
    // A whole-system flush writes what others left at the disk's full speed; each of our own
    // flushes costs about one write of its own. Above this much per file, ours alone are cheaper.
    const long long perFile = static_cast<long long>(files) * kOthersUnwrittenPerFile;
    return unwritten - ours > std::max(kOthersUnwrittenFloor, perFile);
}

bool FolderEditor::expectFlushOf(std::size_t files) { return files > 2 && othersAreWriting(0, files); }

void FolderEditor::publish(Pending& p) {
    if (!p.replace) {
        if (!p.file)
            return; // a second name of a file already appended to
        // The code is in the file and on disk: it counts. Another program's write since the file
        // was read stands too, before or behind the code, and is worth a word.
        FileInfo now;
        const bool known = !m_setup.fs.stat(p.file.get(), now);
        p.file.reset();
        if (known && now.size != p.oldSize + p.appended)
            p.note = FileError(std::errc::resource_unavailable_try_again, "append to", p.path,
                               Refusal::ChangedDuringRun);
        return;
    }
    try {
        if (p.tempName.empty())
            nameUnnamed(p);
        if (!m_setup.fs.replacesOpenFiles()) {
            // Its other names, if any, then fail as changed: safe, if needlessly.
            p.old.reset();
            p.file.reset();
        }
        // As late as can be: a change after this goes into the file being replaced.
        checkUnchanged(p);
        if (std::error_code ec = m_setup.fs.renameAt(m_setup.dir, p.tempName, p.name))
            throw FileError(ec, "replace", p.path);
    } catch (...) {
        discard(p);
        throw;
    }
    p.tempName.clear();
    p.file.reset();
    noteOwnChange(p);
}

void FolderEditor::checkUnchanged(const Pending& p) {
    FileInfo now;
    if (std::error_code ec = m_setup.fs.statAt(m_setup.dir, p.name, now)) {
        if (ec == std::errc::no_such_file_or_directory) // removed meanwhile: not ours to bring back
            throw FileError(ec, "replace", p.path, Refusal::ChangedDuringRun);
        throw FileError(ec, "stat", p.path);
    }
    bool sameTimes = now.changed == p.read.changed;
    if (!sameTimes) {
        // Our own rename of another name of this file changed its time, and nothing else did.
        auto it = m_publish.ownChanges.find(now.id);
        sameTimes = it != m_publish.ownChanges.end() && it->second.back() == now.changed &&
                    std::any_of(it->second.begin(), it->second.end(),
                                [&](const ChangeStamp& t) { return t == p.read.changed; });
    }
    if (!sameTimes || now.id != p.read.id || now.size != p.read.size)
        throw FileError(std::errc::resource_unavailable_try_again, "replace", p.path,
                        Refusal::ChangedDuringRun);
}

void FolderEditor::noteOwnChange(const Pending& p) {
    if (p.read.links <= 1 || !p.old)
        return;
    FileInfo after;
    if (m_setup.fs.stat(p.old.get(), after))
        return; // then its other names fail as changed: safe, if needlessly
    auto& times = m_publish.ownChanges[after.id];
    if (times.empty())
        times.push_back(p.read.changed);
    times.push_back(after.changed);
}

bool FolderEditor::discard(Pending& p) noexcept {
    bool whole = true;
    if (p.replace) {
        if (!p.tempName.empty())
            (void)m_setup.fs.unlinkAt(m_setup.dir, p.tempName);
        p.tempName.clear();
    } else if (p.file && p.appended > 0) {
        // Cut back only while the file ends with our bytes: behind them may stand another program's.
        FileInfo now;
        whole = !m_setup.fs.stat(p.file.get(), now) && now.size == p.oldSize + p.appended &&
                !m_setup.fs.truncate(p.file.get(), p.oldSize);
    }
    p.file.reset();
    return whole;
}

bool FolderEditor::syncFolder() noexcept { return !m_setup.fs.dataSync(m_setup.dir); }

namespace {

// The process that made a temporary name (".stepwick-PID-..."), or 0 when the name does not say.
long makerOf(const std::string& name) {
    const std::size_t start = FolderEditor::kTempPrefix.size();
    std::size_t end = start;
    while (end < name.size() && name[end] >= '0' && name[end] <= '9')
        ++end;
    if (end == start || end - start > 9)
        return 0;
    return std::stol(name.substr(start, end - start));
}

} // namespace

namespace {

bool startsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// Digits and nothing else, at least one.
bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

bool FolderEditor::isTemporaryName(const std::string& name) {
    const std::string_view prefix = kTempPrefix, suffix = kTempSuffix;
    if (name.size() <= prefix.size() + suffix.size() || !startsWith(name, prefix) ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    std::string_view middle(name);
    middle = middle.substr(prefix.size(), middle.size() - prefix.size() - suffix.size());
    const auto first = middle.find('-');
    const auto second = first == std::string_view::npos ? first : middle.find('-', first + 1);
    return second != std::string_view::npos && allDigits(middle.substr(0, first)) &&
           allDigits(middle.substr(first + 1, second - first - 1)) && allDigits(middle.substr(second + 1));
}

void FolderEditor::sweepLeftovers(const std::vector<platform::DirEntry>& entries) noexcept {
    for (const auto& e : entries) {
        if ((e.kind != platform::FileKind::Regular && e.kind != platform::FileKind::Unknown) ||
            !isTemporaryName(e.name))
            continue;
        // A run still working in this folder keeps its files; a killed one's are garbage.
        const long maker = makerOf(e.name);
        if (maker > 0 && maker != m_setup.pid && m_setup.process.isAlive(maker))
            continue;
        (void)m_setup.fs.unlinkAt(m_setup.dir, e.name);
    }
}
