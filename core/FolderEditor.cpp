#include "core/FolderEditor.h"

#include "core/FileError.h"
#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace {

constexpr const char* kTempPrefix = ".stepwick-";
constexpr const char* kTempSuffix = ".tmp";
constexpr const char* kAccessAcl = "system.posix_acl_access";

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool startsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// The attributes a new file takes over besides the ACL. File capabilities are not among them:
// the kernel drops them whenever a file's content is written, and so do we.
bool copiedAttribute(const std::string& name) {
    return (startsWith(name, "user.") || startsWith(name, "trusted.") || startsWith(name, "security.")) &&
           name != "security.capability";
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
    return kTempPrefix + std::to_string(m_pid) + "-" + std::to_string(tick) + "-" +
           std::to_string(++m_tempCounter) + kTempSuffix;
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
    if (m_buffer.size() > 4 * kChunk)
        std::string().swap(m_buffer); // a long preamble read before is not kept for every file
    // The start tells the encoding, a foot's too: judged once, on what is read anyway.
    readStart(fd, size, kChunk, path);
    Spot spot;
    spot.mark =
        code.encodingOf(std::string_view(m_buffer.data(), m_have), static_cast<off_t>(m_have) >= size);
    if (spot.mark.refusal != Refusal::None)
        throw FileError(EILSEQ, "read", path, spot.mark.refusal);
    spot.lineBreak = edit.eol == LineBreakMode::Lf     ? LineBreak::Lf
                     : edit.eol == LineBreakMode::CrLf ? LineBreak::CrLf
                                                       : fileLineBreak(fd, size, spot.mark, path);
    spot.code = &code.bytes(spot.mark.encoding, spot.lineBreak);
    m_charset = code.charset(); // a preamble without a mark is read by its characters
    const std::size_t length = spot.code->size();
    // A plain insertion does not ask what the file holds: no reading for it.
    const bool compare = edit.action != CodeEdit::Action::Add;
    if (edit.position == Position::Foot) {
        spot.at = size;
        if (!compare || size - static_cast<off_t>(spot.mark.markLength) < static_cast<off_t>(length))
            return spot;
        spot.held = holdsAt(fd, size - static_cast<off_t>(length), *spot.code, path);
        return spot;
    }
    if (edit.afterPreamble)
        return locateBehindPreamble(fd, size, path, spot, compare);
    spot.at += static_cast<off_t>(spot.mark.markLength);
    // Only a plain insertion gives an old last line its missing break: with any placement option
    // a removal gives back every byte.
    spot.keepEnd = edit.eol != LineBreakMode::CrLf;
    if (compare)
        findHeadCode(fd, size, spot, path);
    return spot;
}

Preamble FolderEditor::readPreamble(int fd, off_t size, const std::string& path, const EncodingMark& mark) {
    const std::string& charset = m_charset;
    // Read on until the preamble's end is known, however long it is.
    for (bool ended = false;;) {
        ended = ended || static_cast<off_t>(m_have) >= size;
        const std::string_view text(m_buffer.data() + mark.markLength, m_have - mark.markLength);
        const Preamble preamble = findPreamble({text, mark.encoding, charset, ended});
        if (preamble.known)
            return preamble;
        const std::size_t had = m_have;
        readStart(fd, size, std::max(kChunk, 2 * m_have), path);
        ended = m_have == had; // shrank meanwhile: what is there is the file
    }
}

std::size_t FolderEditor::preambleWithout(int fd, off_t size, const std::string& path,
                                          const EncodingMark& mark, std::size_t place, std::size_t length) {
    // The text in front of the code and, read afresh, as much of what follows it as the preamble
    // needs: a large code is not read into memory.
    const std::string& charset = m_charset;
    const off_t from = static_cast<off_t>(mark.markLength + place + length);
    std::string text;
    for (std::size_t window = kChunk;; window *= 2) {
        text.assign(m_buffer, mark.markLength, place);
        text.resize(place + static_cast<std::size_t>(std::min<off_t>(window, size - from)));
        std::size_t got = 0;
        while (place + got < text.size()) {
            const ssize_t n = m_fs.pread(fd, text.data() + place + got, text.size() - place - got,
                                         from + static_cast<off_t>(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw FileError(errno, "read", path);
            if (n == 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        const bool ended = place + got < text.size() || from + static_cast<off_t>(got) >= size;
        text.resize(place + got);
        const Preamble preamble = findPreamble({text, mark.encoding, charset, ended});
        if (preamble.known)
            return preamble.length;
    }
}

FolderEditor::Spot FolderEditor::locateBehindPreamble(int fd, off_t size, const std::string& path, Spot spot,
                                                      bool compare) {
    const Preamble preamble = readPreamble(fd, size, path, spot.mark);
    const off_t mark = static_cast<off_t>(spot.mark.markLength);
    spot.at = mark + static_cast<off_t>(preamble.length);
    spot.lacksBreak = preamble.lacksBreak;
    spot.keepEnd = true;
    if (!compare)
        return spot;
    // The code may stand at any place the preamble leaves, the last first: one that is itself a
    // preamble line (a DOCTYPE for pages without one) went in where the file without it ends its
    // preamble, and now heads the lines behind it.
    const std::size_t length = spot.code->size();
    for (auto place = preamble.places.rbegin(); place != preamble.places.rend(); ++place) {
        const off_t at = mark + static_cast<off_t>(*place);
        if (size - at < static_cast<off_t>(length) || !holdsAt(fd, at, *spot.code, path) ||
            preambleWithout(fd, size, path, spot.mark, *place, length) != *place)
            continue;
        spot.held = true;
        spot.at = at;
        spot.heldFrom = at, spot.heldEnd = at + static_cast<off_t>(length);
        return spot;
    }
    findCodeEndingFile(fd, size, spot, path);
    return spot;
}

namespace {

// The bytes of the line break that ends text (CR LF, LF or CR), 0 when it ends in none.
std::size_t breakAtEnd(std::string_view text, TextEncoding encoding) {
    for (LineBreak kind : {LineBreak::CrLf, LineBreak::Lf, LineBreak::Cr}) {
        const std::string_view lineBreak = EncodedCode::lineBreak(encoding, kind);
        if (text.ends_with(lineBreak))
            return lineBreak.size();
    }
    return 0;
}

} // namespace

// The code stands at its place; or, where the file's end was kept behind a preamble that ended the
// file without a break, the code ends the file without its own, behind the break put before it.
void FolderEditor::findHeadCode(int fd, off_t size, Spot& spot, const std::string& path) {
    const auto length = static_cast<off_t>(spot.code->size());
    if (!spot.lacksBreak && size - spot.at >= length && holdsAt(fd, spot.at, *spot.code, path)) {
        spot.held = true, spot.heldFrom = spot.at, spot.heldEnd = spot.at + length;
        return;
    }
    findCodeEndingFile(fd, size, spot, path);
}

// A head kept the file's end behind a preamble that ended the file without a break: the code ends
// the file without its own, behind the break put before it.
void FolderEditor::findCodeEndingFile(int fd, off_t size, Spot& spot, const std::string& path) {
    const std::size_t ownBreak = EncodedCode::lineBreak(spot.mark.encoding, spot.lineBreak).size();
    const std::string_view line(spot.code->data(), spot.code->size() - ownBreak);
    if (!spot.keepEnd || line.empty() || size - spot.at != static_cast<off_t>(line.size()))
        return;
    // The preamble's last bytes: a line break is at most 4 of them (CR LF in UTF-16).
    const auto tail =
        static_cast<std::size_t>(std::min<off_t>(4, spot.at - static_cast<off_t>(spot.mark.markLength)));
    char last[4] = {};
    if (spot.at <= static_cast<off_t>(m_have))
        std::memcpy(last, m_buffer.data() + spot.at - tail, tail);
    else if (m_fs.pread(fd, last, tail, spot.at - static_cast<off_t>(tail)) != static_cast<ssize_t>(tail))
        throw FileError(errno ? errno : EIO, "read", path);
    const std::size_t before = breakAtEnd(std::string_view(last, tail), spot.mark.encoding);
    if (before == 0 || !holdsAt(fd, spot.at, line, path))
        return;
    spot.held = true, spot.heldFrom = spot.at - static_cast<off_t>(before), spot.heldEnd = size;
}

// Compared piece by piece beyond the start already read: a large code is not held a second time.
bool FolderEditor::holdsAt(int fd, off_t at, std::string_view bytes, const std::string& path) {
    if (static_cast<std::size_t>(at) + bytes.size() <= m_have)
        return m_buffer.compare(static_cast<std::size_t>(at), bytes.size(), bytes) == 0;
    std::string piece(std::min(kChunk, bytes.size()), '\0');
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t want = std::min(piece.size(), bytes.size() - done);
        ssize_t got = m_fs.pread(fd, piece.data(), want, at + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FileError(errno, "read", path);
        if (got == 0 || bytes.compare(done, static_cast<std::size_t>(got), piece.data(),
                                      static_cast<std::size_t>(got)) != 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
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

void FolderEditor::carryMetadata(Pending& p, int src, bool modeAtCreation) {
    const struct stat& st = p.read;
    if (!m_tempOwnerKnown) {
        struct stat tmp {};
        if (m_fs.fstat(p.fd.get(), tmp) != 0)
            throw FileError(errno, "stat", p.path);
        m_tempUid = tmp.st_uid;
        m_tempGid = tmp.st_gid;
        m_tempOwnerKnown = true;
    }
    // Owner first: changing the owner clears set-user-ID bits and file capabilities.
    if (m_tempUid != st.st_uid || m_tempGid != st.st_gid) {
        if (m_fs.chown(p.fd.get(), st.st_uid, st.st_gid) != 0 && m_tempGid != st.st_gid)
            (void)m_fs.chown(p.fd.get(), static_cast<uid_t>(-1), st.st_gid); // keep the group if we may
    }
    bool aclChanged = false;
    copyAttributes(p, src, aclChanged);
    const mode_t wanted = st.st_mode & 07777;
    if (modeAtCreation && !m_modeAtCreationChecked) {
        // Default ACLs of the folder can override the umask: trust creation modes only once seen.
        struct stat tmp {};
        if (m_fs.fstat(p.fd.get(), tmp) != 0)
            throw FileError(errno, "stat", p.path);
        m_modeAtCreationChecked = true;
        if ((tmp.st_mode & 07777) != wanted)
            m_umaskKnown = false;
    }
    // The mode goes on last, after the ACL, so that its group bits and the ACL's mask agree.
    if ((!modeAtCreation || !m_umaskKnown || aclChanged) && m_fs.chmod(p.fd.get(), wanted) != 0)
        throw FileError(errno, "set permissions of", p.path);
}

void FolderEditor::copyAttributes(Pending& p, int src, bool& aclChanged) {
    std::vector<std::string> names;
    if (m_fs.listXattrs(src, names) != 0) {
        if (errno == ENOTSUP)
            return; // a file system without extended attributes: nothing to copy
        throw FileError(errno, "read the extended attributes of", p.path);
    }
    bool hasAcl = false;
    for (const auto& name : names) {
        const bool acl = name == kAccessAcl;
        if (!acl && !copiedAttribute(name))
            continue;
        hasAcl = hasAcl || acl;
        std::string value;
        int rc = m_fs.getXattr(src, name, value);
        if (rc == 0)
            rc = m_fs.setXattr(p.fd.get(), name, value);
        if (rc == 0 || errno == ENODATA) {
            aclChanged = aclChanged || acl;
            continue;
        }
        // Who may read the file must not widen: without its ACL the file is not changed.
        if (acl)
            throw FileError(errno, "copy the access control list of", p.path);
        if (!p.note) {
            p.note = FileError(errno, "copy extended attribute " + name + " of", p.path);
            p.noteAttribute = name;
        }
    }
    // The folder's default ACL may have given the new file entries that the old one did not have.
    std::string inherited;
    if (hasAcl || m_fs.getXattr(p.fd.get(), kAccessAcl, inherited) != 0) {
        if (!hasAcl && errno != ENODATA && errno != ENOTSUP)
            throw FileError(errno, "read the access control list of", p.path);
        return;
    }
    if (m_fs.removeXattr(p.fd.get(), kAccessAcl) != 0)
        throw FileError(errno, "remove the inherited access control list of", p.path);
    aclChanged = true;
}

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
        if (maker > 0 && maker != m_pid && platform::isAlive(maker))
            continue;
        (void)m_fs.unlinkAt(m_dirFd, e.name);
    }
}
