#include "core/FolderEditor.h"

#include "core/FileError.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <unistd.h>

namespace {
constexpr const char* kTempPrefix = ".stepwick-";
constexpr const char* kTempSuffix = ".tmp";
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

bool FolderEditor::isTemporaryName(const std::string& name) {
    const std::string prefix = kTempPrefix, suffix = kTempSuffix;
    return name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string FolderEditor::newTempName() {
    auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    return kTempPrefix + std::to_string(m_pid) + "-" + std::to_string(tick) + "-" +
           std::to_string(++m_tempCounter) + kTempSuffix;
}

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
    if (!(st.st_mode & S_IWUSR))
        throw FileError(EACCES, "open", path, Refusal::ReadOnly);
    // No following, no blocking: whatever took the name since the check cannot hang us or redirect us.
    platform::UniqueFd fd(m_fs, m_fs.openAt(m_dirFd, name, flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0));
    if (!fd)
        throw FileError(errno, "open", path);
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
    std::string path = m_folder + name;
    return edit.head ? prepareHead(name, path, edit, code) : prepareFoot(name, path, edit, code, createMissing);
}

bool FolderEditor::holdsCode(const std::string& name, const CodeEdit& edit, EncodedCode& code) {
    const std::string path = m_folder + name;
    platform::UniqueFd fd(m_fs, m_fs.openAt(m_dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0));
    if (!fd)
        throw FileError(errno, "open", path);
    struct stat st {};
    if (m_fs.fstat(fd.get(), st) != 0)
        throw FileError(errno, "stat", path);
    if (!S_ISREG(st.st_mode))
        throw FileError(EINVAL, "open", path, Refusal::NotRegular);
    return locate(fd.get(), st.st_size, path, edit, code).held;
}

std::size_t FolderEditor::readStart(int fd, off_t size, std::size_t want, const std::string& path) {
    want = static_cast<std::size_t>(std::min<off_t>(size, static_cast<off_t>(want)));
    if (m_buffer.size() < want)
        m_buffer.resize(want);
    while (m_have < want) {
        ssize_t got = m_fs.pread(fd, m_buffer.data() + m_have, want - m_have, static_cast<off_t>(m_have));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FileError(errno, "read", path);
        if (got == 0)
            break; // shrank meanwhile: what is there is the file
        m_have += static_cast<std::size_t>(got);
    }
    return m_have;
}

LineBreak FolderEditor::fileLineBreak(int fd, off_t size, const EncodingMark& mark, const std::string& path) {
    const bool whole = static_cast<off_t>(m_have) >= size;
    std::string_view text(m_buffer.data() + mark.markLength, m_have - mark.markLength);
    if (auto found = firstLineBreak(text, mark.encoding, whole))
        return *found;
    // A first line longer than the start read: read on, looking at its last unit (a CR) again.
    const bool wide = mark.encoding == TextEncoding::Utf16LE || mark.encoding == TextEncoding::Utf16BE;
    const off_t unit = wide ? 2 : 1;
    std::string window(kChunk, '\0');
    off_t from = static_cast<off_t>(m_have);
    while (!whole && from < size) {
        ssize_t got = m_fs.pread(fd, window.data(), window.size(), from - unit);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FileError(errno, "read", path);
        const bool last = got <= unit || from - unit + got >= size;
        std::string_view part(window.data(), static_cast<std::size_t>(got));
        if (auto found = firstLineBreak(part, mark.encoding, last))
            return *found;
        if (last)
            break;
        from += got - unit;
    }
    return LineBreak::CrLf;
}

FolderEditor::Spot FolderEditor::locate(int fd, off_t size, const std::string& path, const CodeEdit& edit,
                                        EncodedCode& code) {
    m_have = 0;
    // A foot needs only the mark, unless the line break is the file's own.
    readStart(fd, size, edit.head || edit.eol == LineBreakMode::Match ? kChunk : 3, path);
    Spot spot;
    spot.mark = detectMark(reinterpret_cast<const unsigned char*>(m_buffer.data()), m_have);
    spot.lineBreak = edit.eol == LineBreakMode::Lf     ? LineBreak::Lf
                     : edit.eol == LineBreakMode::CrLf ? LineBreak::CrLf
                                                       : fileLineBreak(fd, size, spot.mark, path);
    spot.code = &code.bytes(spot.mark.encoding, spot.lineBreak);
    const std::size_t length = spot.code->size();
    if (!edit.head) {
        spot.at = size;
        if (size - static_cast<off_t>(spot.mark.markLength) < static_cast<off_t>(length))
            return spot;
        std::string tail(length, '\0');
        ssize_t got = m_fs.pread(fd, tail.data(), length, size - static_cast<off_t>(length));
        if (got < 0)
            throw FileError(errno, "read", path);
        spot.held = tail == *spot.code;
        return spot;
    }
    if (edit.afterPreamble) {
        std::string_view text(m_buffer.data() + spot.mark.markLength, m_have - spot.mark.markLength);
        const Preamble preamble = findPreamble(text, spot.mark.encoding, static_cast<off_t>(m_have) >= size);
        spot.at = static_cast<off_t>(preamble.length);
        spot.lacksBreak = preamble.lacksBreak;
    }
    spot.at += static_cast<off_t>(spot.mark.markLength);
    const std::size_t at = static_cast<std::size_t>(spot.at);
    readStart(fd, size, at + length, path);
    spot.held = !spot.lacksBreak && m_have >= at + length && m_buffer.compare(at, length, *spot.code) == 0;
    return spot;
}

bool FolderEditor::endsInBreak(int fd, off_t size, const Spot& spot, const std::string& path) {
    const std::size_t lastLen = size - spot.at >= 2 ? 2 : 1;
    char last[2] = {};
    if (static_cast<off_t>(m_have) >= size) {
        std::memcpy(last, m_buffer.data() + m_have - lastLen, lastLen);
    } else if (m_fs.pread(fd, last, lastLen, size - static_cast<off_t>(lastLen)) !=
               static_cast<ssize_t>(lastLen)) {
        throw FileError(errno ? errno : EIO, "read", path);
    }
    return endsInLineBreak(std::string_view(last, lastLen), spot.mark.encoding);
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

FolderEditor::Pending FolderEditor::prepareHead(const std::string& name, const std::string& path,
                                                const CodeEdit& edit, EncodedCode& code) {
    struct stat st {};
    // Opened for writing too, so that a file we may not write fails now with the system's reason.
    platform::UniqueFd src = openChecked(name, path, O_RDWR, st);

    // The start of the file tells its encoding and where the code goes; a small file is read
    // whole here and written in one go, a large one has the rest copied inside the kernel.
    const off_t size = st.st_size;
    const Spot spot = locate(src.get(), size, path, edit, code);
    Pending p;
    p.name = name;
    p.path = path;
    p.head = true;
    p.oldSize = size;
    p.skip = skipFor(edit.action, spot.held);
    if (p.skip != Pending::Skip::None)
        return p;
    const bool remove = edit.action == CodeEdit::Action::Remove;
    const std::string_view lineBreak = EncodedCode::lineBreak(spot.mark.encoding, spot.lineBreak);
    // An old last line without a break gets one; a removal leaves every other byte as it is.
    const bool needsBreak = !remove && size > spot.at && !endsInBreak(src.get(), size, spot, path);
    const std::size_t have = m_have;
    const bool whole = static_cast<off_t>(have) >= size;
    const std::size_t resume = static_cast<std::size_t>(spot.at) + (remove ? spot.code->size() : 0);

    // A file of our own owner and group can be created with its final mode right away.
    const bool sameOwner = m_tempOwnerKnown && m_tempUid == st.st_uid && m_tempGid == st.st_gid;
    const mode_t wanted = st.st_mode & 07777;
    const bool modeAtCreation = sameOwner && m_umaskKnown && (wanted & ~0777) == 0 && (wanted & m_umask) == 0;
    const mode_t createMode = modeAtCreation ? wanted : 0600;
    if (m_unnamedWorks) {
        int fd = m_fs.openUnnamed(m_dirFd, createMode);
        if (fd >= 0) {
            p.fd = platform::UniqueFd(m_fs, fd);
        } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
            m_unnamedWorks = false;
        } else {
            throw FileError(errno, "create temporary file for", path);
        }
    }
    if (!p.fd) {
        p.tempName = newTempName();
        int fd = m_fs.openAt(m_dirFd, p.tempName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, createMode);
        if (fd < 0)
            throw FileError(errno, "create temporary file for", path);
        p.fd = platform::UniqueFd(m_fs, fd);
    }

    try {
        // What stays in front, the code (none for a removal) and the first chunk of the rest in one write.
        std::string& out = m_output;
        out.assign(m_buffer.data(), static_cast<std::size_t>(spot.at));
        if (!remove) {
            if (spot.lacksBreak)
                out += lineBreak;
            out += *spot.code;
        }
        if (resume < have)
            out.append(m_buffer.data() + resume, have - resume);
        if (whole && needsBreak)
            out += lineBreak;
        writeAll(p.fd.get(), out, path);

        // A large rest is copied in slices, each sent on to the disk while the next is copied,
        // so that the flush later has little left to wait for.
        off_t offset = static_cast<off_t>(have);
        off_t written = static_cast<off_t>(out.size());
        while (!whole && offset < size) {
            const off_t slice = std::min<off_t>(size - offset, kWritebackSlice);
            ssize_t n = m_fs.copyRange(src.get(), offset, p.fd.get(), static_cast<std::size_t>(slice));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw FileError(errno, "copy", path);
            }
            if (n == 0)
                throw FileError(EAGAIN, "copy", path, Refusal::ChangedDuringRun);
            offset += n;
            // Only a hint: a failure here shows up again, and is reported, at the flush.
            (void)m_fs.startWriteback(p.fd.get(), written, n);
            written += n;
        }
        if (!whole && needsBreak)
            writeAll(p.fd.get(), lineBreak, path);

        if (!m_tempOwnerKnown) {
            struct stat tmp {};
            if (m_fs.fstat(p.fd.get(), tmp) != 0)
                throw FileError(errno, "stat", path);
            m_tempUid = tmp.st_uid;
            m_tempGid = tmp.st_gid;
            m_tempOwnerKnown = true;
        }
        // Owner first: changing the owner clears set-user-ID bits, so the mode goes on last.
        if (m_tempUid != st.st_uid || m_tempGid != st.st_gid) {
            if (m_fs.chown(p.fd.get(), st.st_uid, st.st_gid) != 0 && m_tempGid != st.st_gid)
                (void)m_fs.chown(p.fd.get(), static_cast<uid_t>(-1), st.st_gid); // keep the group if we may
        }
        if (modeAtCreation && !m_modeAtCreationChecked) {
            // Default ACLs of the folder can override the umask: trust creation modes only once seen.
            struct stat tmp {};
            if (m_fs.fstat(p.fd.get(), tmp) != 0)
                throw FileError(errno, "stat", path);
            m_modeAtCreationChecked = true;
            if ((tmp.st_mode & 07777) != wanted)
                m_umaskKnown = false;
        }
        if ((!modeAtCreation || !m_umaskKnown) && m_fs.chmod(p.fd.get(), wanted) != 0)
            throw FileError(errno, "set permissions of", path);
    } catch (...) {
        discard(p);
        throw;
    }
    p.old = std::move(src);
    return p;
}

FolderEditor::Pending FolderEditor::prepareFoot(const std::string& name, const std::string& path,
                                                const CodeEdit& edit, EncodedCode& code, bool createMissing) {
    Pending p;
    p.name = name;
    p.path = path;
    struct stat st {};
    if (createMissing && m_fs.statAt(m_dirFd, name, st) != 0 && errno == ENOENT) {
        int fd = m_fs.openAt(m_dirFd, name, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
        if (fd < 0)
            throw FileError(errno, "create", path);
        p.fd = platform::UniqueFd(m_fs, fd);
        p.oldSize = 0;
    } else {
        p.fd = openChecked(name, path, O_RDWR | O_APPEND, st);
        p.oldSize = st.st_size;
    }

    const Spot spot = locate(p.fd.get(), p.oldSize, path, edit, code);
    p.skip = skipFor(edit.action, spot.held);
    if (p.skip != Pending::Skip::None) {
        p.fd.reset();
        return p;
    }
    if (edit.action == CodeEdit::Action::Remove) {
        if (m_fs.truncate(p.fd.get(), p.oldSize - static_cast<off_t>(spot.code->size())) != 0)
            throw FileError(errno, "cut back", path);
        p.cut = *spot.code;
        return p;
    }
    try {
        writeAll(p.fd.get(), *spot.code, path);
    } catch (...) {
        discard(p); // no half code stays behind
        throw;
    }
    return p;
}

void FolderEditor::flush(std::vector<Pending>& pending) {
    // One file: flush it alone. Many: one flush of the whole file system commits them together.
    if (pending.size() <= 2) {
        for (auto& p : pending)
            if (m_fs.dataSync(p.fd.get()) != 0)
                throw FileError(errno, "flush", p.path);
        return;
    }
    if (m_fs.fsSync(m_dirFd) != 0)
        throw FileError(errno, "flush", m_folder);
}

void FolderEditor::publish(Pending& p) {
    if (!p.head) {
        p.fd.reset();
        return;
    }
    if (p.tempName.empty()) {
        std::string tempName = newTempName();
        if (m_fs.linkUnnamed(p.fd.get(), m_dirFd, tempName) != 0)
            throw FileError(errno, "name temporary file for", p.path);
        p.tempName = std::move(tempName);
    }
    if (m_fs.renameAt(m_dirFd, p.tempName, p.name) != 0) {
        int err = errno;
        discard(p);
        throw FileError(err, "replace", p.path);
    }
    p.tempName.clear();
    p.fd.reset();
}

void FolderEditor::discard(Pending& p) noexcept {
    if (!p.fd && p.tempName.empty())
        return;
    if (p.head) {
        if (!p.tempName.empty())
            (void)m_fs.unlinkAt(m_dirFd, p.tempName);
        p.tempName.clear();
    } else if (p.fd && p.cut.empty()) {
        (void)m_fs.truncate(p.fd.get(), p.oldSize);
    } else if (p.fd) {
        // A removal puts back what it cut; the file is open for appending.
        if (m_fs.truncate(p.fd.get(), p.oldSize - static_cast<off_t>(p.cut.size())) == 0)
            (void)m_fs.write(p.fd.get(), p.cut.data(), p.cut.size());
    }
    p.fd.reset();
}

bool FolderEditor::syncFolder() noexcept {
    return m_fs.dataSync(m_dirFd) == 0;
}

namespace {

// The process that made a temporary name (".stepwick-PID-..."), or 0 when the name does not say.
pid_t makerOf(const std::string& name) {
    const std::size_t start = std::strlen(kTempPrefix);
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
        if (maker > 0 && maker != m_pid && (::kill(maker, 0) == 0 || errno == EPERM))
            continue;
        (void)m_fs.unlinkAt(m_dirFd, e.name);
    }
}
