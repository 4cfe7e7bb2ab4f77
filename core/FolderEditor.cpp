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

FolderEditor::Pending FolderEditor::prepare(const std::string& name, bool head, EncodedCode& code,
                                            bool createMissing) {
    std::string path = m_folder + name;
    return head ? prepareHead(name, path, code) : prepareFoot(name, path, code, createMissing);
}

namespace {

// Does text already end in a line break (LF or CR) in its own encoding?
bool endsInLineBreak(const unsigned char* end2, std::size_t have, TextEncoding encoding) {
    const bool wide = encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE;
    if (wide && have >= 2) {
        unsigned char ch = encoding == TextEncoding::Utf16LE ? end2[0] : end2[1];
        unsigned char high = encoding == TextEncoding::Utf16LE ? end2[1] : end2[0];
        return high == 0 && (ch == '\n' || ch == '\r');
    }
    unsigned char ch = end2[have - 1];
    return ch == '\n' || ch == '\r';
}

} // namespace

FolderEditor::Pending FolderEditor::prepareHead(const std::string& name, const std::string& path,
                                                EncodedCode& code) {
    struct stat st {};
    // Opened for writing too, so that a file we may not write fails now with the system's reason.
    platform::UniqueFd src = openChecked(name, path, O_RDWR, st);

    // The start of the file tells its encoding; a small file is read whole here and written
    // in one go, a large one has the rest copied inside the kernel.
    m_buffer.resize(kChunk);
    const off_t size = st.st_size;
    ssize_t got = m_fs.pread(src.get(), m_buffer.data(), kChunk, 0);
    if (got < 0)
        throw FileError(errno, "read", path);
    const auto* head = reinterpret_cast<const unsigned char*>(m_buffer.data());
    const std::size_t have = static_cast<std::size_t>(got);
    const bool whole = static_cast<off_t>(have) >= size;
    EncodingMark mark = detectMark(head, have);
    const off_t bodySize = (whole ? static_cast<off_t>(have) : size) - static_cast<off_t>(mark.markLength);

    bool needsBreak = false;
    if (bodySize > 0) {
        unsigned char last[2] = {};
        std::size_t lastLen = bodySize >= 2 ? 2 : 1;
        if (whole) {
            std::memcpy(last, head + have - lastLen, lastLen);
        } else if (m_fs.pread(src.get(), last, lastLen, size - static_cast<off_t>(lastLen)) !=
                   static_cast<ssize_t>(lastLen)) {
            throw FileError(errno ? errno : EIO, "read", path);
        }
        needsBreak = !endsInLineBreak(last, lastLen, mark.encoding);
    }

    Pending p;
    p.name = name;
    p.path = path;
    p.head = true;
    p.oldSize = size;
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
        // Mark, code and the first chunk of the old text in one write.
        const std::string& codeBytes = code.bytes(mark.encoding);
        std::string& out = m_output;
        out.clear();
        out.append(m_buffer.data(), mark.markLength);
        out += codeBytes;
        out.append(m_buffer.data() + mark.markLength, have - mark.markLength);
        if (whole && needsBreak)
            out += EncodedCode::lineBreak(mark.encoding);
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
            writeAll(p.fd.get(), EncodedCode::lineBreak(mark.encoding), path);

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
                                                EncodedCode& code, bool createMissing) {
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

    unsigned char first[3] = {};
    ssize_t got = p.oldSize > 0 ? m_fs.pread(p.fd.get(), first, sizeof first, 0) : 0;
    if (got < 0)
        throw FileError(errno, "read", path);
    EncodingMark mark = detectMark(first, static_cast<std::size_t>(got));
    try {
        writeAll(p.fd.get(), code.bytes(mark.encoding), path);
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
    } else if (p.fd) {
        (void)m_fs.truncate(p.fd.get(), p.oldSize);
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
