#include "core/FolderEditor.h"

#include "core/FileError.h"

#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace {

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

} // namespace

void FolderEditor::flush(std::vector<Pending>& pending) {
    // One flush of the whole file system commits many files at once, but it also waits for
    // whatever other programs have not written yet; then each of our files is flushed alone.
    if (pending.size() > 2 && !othersAreWriting(pending)) {
        if (m_fs.fsSync(m_dirFd) != 0)
            throw FileError(errno, "flush", m_folder);
        return;
    }
    std::vector<int> fds;
    std::vector<const Pending*> owners;
    for (const auto& p : pending) {
        if (p.fd) {
            fds.push_back(p.fd.get());
            owners.push_back(&p);
        }
    }
    const long failed = m_fs.dataSyncEach(fds);
    if (failed >= 0)
        throw FileError(errno, "flush", owners[static_cast<std::size_t>(failed)]->path);
}

bool FolderEditor::othersAreWriting(const std::vector<Pending>& pending) {
    long long ours = 0;
    for (const auto& p : pending)
        ours += (p.replace ? p.oldSize : p.appended) + kPageSize;
    return othersAreWriting(ours, pending.size());
}

bool FolderEditor::othersAreWriting(long long ours, std::size_t files) {
    const long long unwritten = m_fs.unwrittenBytes();
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
        if (!p.fd)
            return; // a second name of a file already appended to
        // The code is in the file and on disk: it counts. Another program's write since the file
        // was read stands too, before or behind the code, and is worth a word.
        struct stat now {};
        const bool known = m_fs.fstat(p.fd.get(), now) == 0;
        p.fd.reset();
        if (known && now.st_size != p.oldSize + p.appended)
            p.note = FileError(EAGAIN, "append to", p.path, Refusal::ChangedDuringRun);
        return;
    }
    try {
        if (p.tempName.empty())
            nameUnnamed(p);
        // As late as can be: a change after this goes into the file being replaced.
        checkUnchanged(p);
        if (m_fs.renameAt(m_dirFd, p.tempName, p.name) != 0)
            throw FileError(errno, "replace", p.path);
    } catch (...) {
        discard(p);
        throw;
    }
    p.tempName.clear();
    p.fd.reset();
    noteOwnChange(p);
}

void FolderEditor::checkUnchanged(const Pending& p) {
    struct stat now {};
    if (m_fs.statAt(m_dirFd, p.name, now) != 0) {
        if (errno == ENOENT) // removed meanwhile: not ours to bring back
            throw FileError(errno, "replace", p.path, Refusal::ChangedDuringRun);
        throw FileError(errno, "stat", p.path);
    }
    bool sameTimes = sameTime(now.st_ctim, p.read.st_ctim);
    if (!sameTimes) {
        // Our own rename of another name of this file changed its time, and nothing else did.
        auto it = m_ownChanges.find({now.st_dev, now.st_ino});
        sameTimes = it != m_ownChanges.end() && sameTime(it->second.back(), now.st_ctim) &&
                    std::any_of(it->second.begin(), it->second.end(),
                                [&](const timespec& t) { return sameTime(t, p.read.st_ctim); });
    }
    if (!sameTimes || now.st_dev != p.read.st_dev || now.st_ino != p.read.st_ino ||
        now.st_size != p.read.st_size)
        throw FileError(EAGAIN, "replace", p.path, Refusal::ChangedDuringRun);
}

void FolderEditor::noteOwnChange(const Pending& p) {
    if (p.read.st_nlink <= 1 || !p.old)
        return;
    struct stat after {};
    if (m_fs.fstat(p.old.get(), after) != 0)
        return; // then its other names fail as changed: safe, if needlessly
    auto& times = m_ownChanges[{after.st_dev, after.st_ino}];
    if (times.empty())
        times.push_back(p.read.st_ctim);
    times.push_back(after.st_ctim);
}

bool FolderEditor::discard(Pending& p) noexcept {
    bool whole = true;
    if (p.replace) {
        if (!p.tempName.empty())
            (void)m_fs.unlinkAt(m_dirFd, p.tempName);
        p.tempName.clear();
    } else if (p.fd && p.appended > 0) {
        // Cut back only while the file ends with our bytes: behind them may stand another program's.
        struct stat now {};
        whole = m_fs.fstat(p.fd.get(), now) == 0 && now.st_size == p.oldSize + p.appended &&
                m_fs.truncate(p.fd.get(), p.oldSize) == 0;
    }
    p.fd.reset();
    return whole;
}

bool FolderEditor::syncFolder() noexcept { return m_fs.dataSync(m_dirFd) == 0; }

namespace {

// The process that made a temporary name (".stepwick-PID-..."), or 0 when the name does not say.
pid_t makerOf(const std::string& name) {
    const std::size_t start = FolderEditor::kTempPrefix.size();
    std::size_t end = start;
    while (end < name.size() && name[end] >= '0' && name[end] <= '9')
        ++end;
    if (end == start || end - start > 9)
        return 0;
    return static_cast<pid_t>(std::stol(name.substr(start, end - start)));
}

} // namespace

void FolderEditor::sweepLeftovers(const std::vector<platform::DirEntry>& entries) noexcept {
    for (const auto& e : entries) {
        if ((e.type != DT_REG && e.type != DT_UNKNOWN) || !isTemporaryName(e.name))
            continue;
        // A run still working in this folder keeps its files; a killed one's are garbage.
        const pid_t maker = makerOf(e.name);
        if (maker > 0 && maker != m_pid && platform::isAlive(maker))
            continue;
        (void)m_fs.unlinkAt(m_dirFd, e.name);
    }
}
