#include "core/FolderEditor.h"

#include "core/FileError.h"
#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace {

bool startsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// Digits and nothing else, at least one.
bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

FolderEditor::FolderEditor(platform::FileSystem& fs, int dirFd, std::string folderPath)
    : m_fs(fs), m_dirFd(dirFd), m_folder(std::move(folderPath)), m_pid(::getpid()) {
    // The umask decides what mode a new file really gets; read it without changing it.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            m_umask = static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
            m_umaskKnown = true;
            break;
        }
    }
}

void FolderEditor::shareAppended(AppendedFiles& appended, std::string relative) {
    m_appended = &appended;
    m_relative = std::move(relative);
}

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

std::string FolderEditor::newTempName() {
    auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::string(kTempPrefix) + std::to_string(m_pid) + "-" + std::to_string(tick) + "-" +
           std::to_string(++m_tempCounter) + std::string(kTempSuffix);
}

namespace {

// An open that does not follow links fails with ELOOP on one that took the name since the check.
[[noreturn]] void openFailed(int err, const std::string& path) {
    throw FileError(err, "open", path, err == ELOOP ? Refusal::SymbolicLink : Refusal::None);
}

} // namespace

platform::UniqueFd FolderEditor::openChecked(const std::string& name, const std::string& path, int flags,
                                             struct stat& st) {
    if (m_fs.statAt(m_dirFd, name, st) != 0)
        throw FileError(errno, "stat", path);
    if (S_ISLNK(st.st_mode))
        throw FileError(ELOOP, "open", path, Refusal::SymbolicLink);
    if (S_ISDIR(st.st_mode))
        throw FileError(EISDIR, "open", path);
    if (!S_ISREG(st.st_mode))
        throw FileError(EINVAL, "open", path, Refusal::NotRegular);
    // A file whose owner may not write it is read-only, whoever runs the program.
    if ((flags & O_ACCMODE) != O_RDONLY && !(st.st_mode & S_IWUSR))
        throw FileError(EACCES, "open", path, Refusal::ReadOnly);
    // No following, no blocking: whatever took the name since the check cannot hang us or redirect us.
    platform::UniqueFd fd(m_fs, m_fs.openAt(m_dirFd, name, flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0));
    if (!fd)
        openFailed(errno, path);
    struct stat now {};
    if (m_fs.fstat(fd.get(), now) != 0)
        throw FileError(errno, "stat", path);
    if (!S_ISREG(now.st_mode) || now.st_ino != st.st_ino || now.st_dev != st.st_dev)
        throw FileError(EAGAIN, "open", path, Refusal::ChangedDuringRun);
    st = now;
    return fd;
}

void FolderEditor::writeAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        ssize_t n = m_fs.write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError(errno, "write", path);
        }
        if (n == 0)
            throw FileError(EIO, "write", path);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

FolderEditor::Pending FolderEditor::prepare(const std::string& name, const CodeEdit& edit, EncodedCode& code,
                                            bool createMissing) {
    Pending p;
    p.name = name;
    p.path = m_folder + name;
    const bool head = edit.position == Position::Head;
    platform::UniqueFd fd = openTarget(p, head, createMissing);
    return head ? prepareHead(std::move(p), std::move(fd), edit, code)
                : prepareFoot(std::move(p), std::move(fd), edit, code);
}

bool FolderEditor::holdsCode(const std::string& name, const CodeEdit& edit, EncodedCode& code) {
    const std::string path = m_folder + name;
    struct stat st {};
    platform::UniqueFd fd = openChecked(name, path, O_RDONLY, st);
    return locate(fd.get(), st.st_size, path, edit, code).held;
}

namespace {

// Whether the edit leaves a file as it is, by whether the file holds the code at its place.
FolderEditor::Pending::Skip skipFor(CodeEdit::Action action, bool held) {
    using Skip = FolderEditor::Pending::Skip;
    if (action == CodeEdit::Action::AddOnce && held)
        return Skip::AlreadyHeld;
    if (action == CodeEdit::Action::Remove && !held)
        return Skip::NotHeld;
    return Skip::None;
}

} // namespace

FolderEditor::Pending FolderEditor::prepareHead(Pending p, platform::UniqueFd src, const CodeEdit& edit,
                                                EncodedCode& code) {
    // The start of the file tells its encoding and where the code goes; a small file is read
    // whole here and written in one go, a large one has the rest copied inside the kernel.
    const Spot spot = locate(src.get(), p.oldSize, p.path, edit, code);
    p.skip = skipFor(edit.action, spot.held);
    if (p.skip != Pending::Skip::None)
        return p;
    const bool remove = edit.action == CodeEdit::Action::Remove;
    return prepareReplace(std::move(p), std::move(src),
                          [&](Pending& q, int from) { writeHead(q, from, spot, remove); });
}

FolderEditor::Pending FolderEditor::prepareFoot(Pending p, platform::UniqueFd fd, const CodeEdit& edit,
                                                EncodedCode& code) {
    // One file under several names gets its foot once (a removal replaces each name, as a head does).
    const FileId id{p.read.st_dev, p.read.st_ino};
    const bool linked = p.read.st_nlink > 1 && edit.action != CodeEdit::Action::Remove;
    if (linked) {
        auto it = m_appended->find(id);
        if (it != m_appended->end()) {
            p.sameAs = it->second;
            return p;
        }
    }
    const Spot spot = locate(fd.get(), p.oldSize, p.path, edit, code);
    p.skip = skipFor(edit.action, spot.held);
    if (p.skip != Pending::Skip::None)
        return p;
    const std::string& bytes = *spot.code;
    if (edit.action == CodeEdit::Action::Remove)
        return prepareFootRemoval(std::move(p), std::move(fd), spot);
    // What one write cannot put down whole goes through a new file, like a head.
    if (bytes.size() > kAtomicAppend)
        return prepareReplace(std::move(p), std::move(fd), [&](Pending& q, int from) {
            copyBytes(q, from, 0, q.oldSize, 0);
            writeAll(q.fd.get(), bytes, q.path);
        });
    p.fd = std::move(fd);
    p = prepareAppend(std::move(p), bytes);
    if (linked)
        m_appended->emplace(id, m_relative + p.name);
    return p;
}

platform::UniqueFd FolderEditor::openTarget(Pending& p, bool head, bool createMissing) {
    if (!head && createMissing && m_fs.statAt(m_dirFd, p.name, p.read) != 0 && errno == ENOENT) {
        platform::UniqueFd fd(
            m_fs, m_fs.openAt(m_dirFd, p.name, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW, 0666));
        if (!fd)
            throw FileError(errno, "create", p.path);
        if (m_fs.fstat(fd.get(), p.read) != 0)
            throw FileError(errno, "stat", p.path);
        return fd;
    }
    // Opened for writing even for a head, so that a file we may not write fails now with the
    // system's reason.
    platform::UniqueFd fd = openChecked(p.name, p.path, head ? O_RDWR : O_RDWR | O_APPEND, p.read);
    p.oldSize = p.read.st_size;
    return fd;
}

// The old content but the code goes into a new file: cutting the old one in place could cut what
// another program appended after it was read. The check before the rename catches such a change.
FolderEditor::Pending FolderEditor::prepareFootRemoval(Pending p, platform::UniqueFd src, const Spot& spot) {
    const off_t keep = p.oldSize - static_cast<off_t>(spot.code->size());
    return prepareReplace(std::move(p), std::move(src),
                          [keep, this](Pending& q, int from) { copyBytes(q, from, 0, keep, 0); });
}

FolderEditor::Pending FolderEditor::prepareAppend(Pending p, const std::string& codeBytes) {
    std::string_view rest = codeBytes;
    while (!rest.empty()) {
        const ssize_t n = m_fs.write(p.fd.get(), rest.data(), rest.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            if (!discard(p))
                throw FileError(err, "write", p.path, Refusal::PartialCode);
            throw FileError(err, "write", p.path); // no half code stays behind
        }
        p.appended += n;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    return p;
}

template <typename Fill>
FolderEditor::Pending FolderEditor::prepareReplace(Pending p, platform::UniqueFd src, Fill fill) {
    checkReplaceable(p.path);
    p.replace = true;
    // A file of our own owner and group can be created with its final mode right away.
    const struct stat& st = p.read;
    const bool sameOwner = m_tempOwnerKnown && m_tempUid == st.st_uid && m_tempGid == st.st_gid;
    const mode_t wanted = st.st_mode & 07777;
    const bool modeAtCreation = sameOwner && m_umaskKnown && (wanted & ~0777) == 0 && (wanted & m_umask) == 0;
    createNew(p, modeAtCreation ? wanted : 0600);
    try {
        fill(p, src.get());
        carryMetadata(p, src.get(), modeAtCreation);
    } catch (...) {
        discard(p);
        throw;
    }
    p.old = std::move(src);
    return p;
}

void FolderEditor::checkReplaceable(const std::string& path) {
    if (!m_replaceChecked) {
        const int fixed = m_fs.entriesFixed(m_dirFd);
        if (fixed < 0)
            throw FileError(errno, "read the attributes of", m_folder);
        m_replaceBlocked = fixed == 1;
        m_replaceChecked = true;
    }
    // Checked before anything is created: such a folder would keep every temporary file.
    if (m_replaceBlocked)
        throw FileError(EPERM, "replace", path, Refusal::CannotReplace);
}

void FolderEditor::createNew(Pending& p, mode_t mode) {
    if (m_unnamedWorks) {
        platform::UniqueFd fd(m_fs, m_fs.openUnnamed(m_dirFd, mode));
        if (fd) {
            p.fd = std::move(fd);
            return;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            throw FileError(errno, "create a temporary file in", m_folder);
        m_unnamedWorks = false;
    }
    createNamed(p, mode);
}

void FolderEditor::createNamed(Pending& p, mode_t mode) {
    std::string temp = newTempName();
    p.fd = platform::UniqueFd(m_fs, m_fs.openAt(m_dirFd, temp, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, mode));
    if (!p.fd)
        throw FileError(errno, "create a temporary file in", m_folder);
    p.tempName = std::move(temp);
}

// Where an unnamed file cannot be given a name (no /proc), its content moves to a named
// temporary file, which from then on every new content gets from the start.
void FolderEditor::nameUnnamed(Pending& p) {
    std::string temp = newTempName();
    if (m_fs.linkUnnamed(p.fd.get(), m_dirFd, temp) == 0) {
        p.tempName = std::move(temp);
        return;
    }
    if (errno != ENOENT)
        throw FileError(errno, "name the new file for", p.path);
    m_unnamedWorks = false;
    platform::UniqueFd unnamed = std::move(p.fd);
    struct stat st {};
    if (m_fs.fstat(unnamed.get(), st) != 0)
        throw FileError(errno, "stat", p.path);
    createNamed(p, 0600);
    copyBytes(p, unnamed.get(), 0, st.st_size, 0);
    carryMetadata(p, p.old.get(), /*modeAtCreation=*/false);
    if (m_fs.dataSync(p.fd.get()) != 0)
        throw FileError(errno, "flush", p.path);
}

void FolderEditor::writeHead(Pending& p, int src, const Spot& spot, bool remove) {
    const off_t size = p.oldSize;
    const std::string_view lineBreak = EncodedCode::lineBreak(spot.mark.encoding, spot.lineBreak);
    // Only a plain insertion gives an old last line its missing break.
    const bool needsBreak =
        !remove && !spot.keepEnd && size > spot.at && !endsInBreak(src, size, spot, p.path);
    const std::size_t have = m_have;
    const bool whole = static_cast<off_t>(have) >= size;
    const auto keep = static_cast<std::size_t>(remove ? spot.heldFrom : spot.at);
    const auto resume = static_cast<std::size_t>(remove ? spot.heldEnd : spot.at);

    // What stays in front, the code (none for a removal) and the first chunk of the rest in one
    // write; a large code is written from where it is, not copied once more.
    std::string& out = m_output;
    out.assign(m_buffer.data(), keep);
    off_t written = 0;
    if (!remove) {
        if (spot.lacksBreak)
            out += lineBreak;
        // Behind a preamble that ended the file without a break, the file still ends without one.
        const std::string_view code(
            spot.code->data(), spot.code->size() - (spot.lacksBreak && spot.keepEnd ? lineBreak.size() : 0));
        if (code.size() > kChunk) {
            writeAll(p.fd.get(), out, p.path);
            writeAll(p.fd.get(), code, p.path);
            written = static_cast<off_t>(out.size() + code.size());
            out.clear();
        } else {
            out += code;
        }
    }
    if (resume < have)
        out.append(m_buffer.data() + resume, have - resume);
    if (whole && needsBreak)
        out += lineBreak;
    writeAll(p.fd.get(), out, p.path);
    written += static_cast<off_t>(out.size());
    copyBytes(p, src, std::max(static_cast<off_t>(have), static_cast<off_t>(resume)), size, written);
    if (!whole && needsBreak)
        writeAll(p.fd.get(), lineBreak, p.path);
}

void FolderEditor::copyBytes(Pending& p, int src, off_t offset, off_t end, off_t written) {
    // A large rest is copied in slices, each sent on to the disk while the next is copied,
    // so that the flush later has little left to wait for.
    while (offset < end) {
        const off_t slice = std::min<off_t>(end - offset, kWritebackSlice);
        ssize_t n = m_fs.copyRange(src, offset, p.fd.get(), static_cast<std::size_t>(slice));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError(errno, "copy", p.path);
        }
        if (n == 0) // it shrank while being read
            throw FileError(EAGAIN, "copy", p.path, Refusal::ChangedDuringRun);
        offset += n;
        // Only a hint: a failure here shows up again, and is reported, at the flush.
        (void)m_fs.startWriteback(p.fd.get(), written, n);
        written += n;
        if (m_copyProgress)
            m_copyProgress(offset, end);
    }
}
