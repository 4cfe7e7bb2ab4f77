#include "core/FolderEditor.h"

#include "core/FileError.h"
#include "platform/Retry.h"

#include <algorithm>
#include <chrono>

namespace {

using platform::FileHandle;
using platform::FileInfo;
using platform::FileKind;
using platform::OpenMode;
using platform::retryOnInterrupt;
using platform::UniqueFile;

} // namespace

FolderEditor::FolderEditor(const platform::System& system, FileHandle dir, std::string folderPath)
    : m_setup{system.files, system.process, dir, std::move(folderPath), system.process.processId()} {
    m_setup.appended = &m_prepare.ownAppended;
    // The umask decides what mode a new file really gets.
    if (const std::optional<std::uint32_t> mask = m_setup.process.creationMask()) {
        m_setup.umask = *mask;
        m_prepare.umaskKnown = true;
    }
}

void FolderEditor::shareAppended(AppendedFiles& appended, std::string relative) {
    m_setup.appended = &appended;
    m_setup.relative = std::move(relative);
}

std::string FolderEditor::newTempName() {
    auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::string(kTempPrefix) + std::to_string(m_setup.pid) + "-" + std::to_string(tick) + "-" +
           std::to_string(++m_shared.tempCounter) + std::string(kTempSuffix);
}

namespace {

// How openUnnamed says that the folder's system has no unnamed files (or cannot name them).
bool noUnnamedFiles(const std::error_code& ec) {
    return ec == std::errc::operation_not_supported || ec == std::errc::is_a_directory ||
           ec == std::errc::invalid_argument;
}

// An open that does not follow links fails (ELOOP on POSIX) on one that took the name since the check.
[[noreturn]] void openFailed(const std::error_code& error, const std::string& path) {
    const bool link = error == std::errc::too_many_symbolic_link_levels;
    throw FileError(error, "open", path, link ? Refusal::SymbolicLink : Refusal::None);
}

} // namespace

UniqueFile FolderEditor::openChecked(const std::string& name, const std::string& path, OpenMode mode,
                                     FileInfo& info) {
    if (std::error_code ec = m_setup.fs.statAt(m_setup.dir, name, info))
        throw FileError(ec, "stat", path);
    if (info.kind == FileKind::Link)
        throw FileError(std::errc::too_many_symbolic_link_levels, "open", path, Refusal::SymbolicLink);
    if (info.kind == FileKind::Folder)
        throw FileError(std::errc::is_a_directory, "open", path);
    if (info.kind != FileKind::Regular)
        throw FileError(std::errc::invalid_argument, "open", path, Refusal::NotRegular);
    // A file whose owner may not write it is read-only, whoever runs the program.
    const bool writes = mode != OpenMode::Read;
    if (writes && info.readOnly)
        throw FileError(std::errc::permission_denied, "open", path, Refusal::ReadOnly);
    // No following, no blocking: whatever took the name since the check cannot hang us or redirect us.
    std::error_code ec;
    UniqueFile file = platform::openAt(m_setup.fs, m_setup.dir, name, mode, ec);
    if (ec)
        openFailed(ec, path);
    FileInfo now;
    if ((ec = m_setup.fs.stat(file.get(), now)))
        throw FileError(ec, "stat", path);
    // The file opened is the one checked; a name taken meanwhile may even have its number again.
    if (now.kind != FileKind::Regular || now.id != info.id || (writes && now.readOnly))
        throw FileError(std::errc::resource_unavailable_try_again, "open", path, Refusal::ChangedDuringRun);
    info = now;
    return file;
}

void FolderEditor::writeAll(FileHandle file, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        std::size_t n = 0;
        if (std::error_code ec =
                retryOnInterrupt([&] { return m_setup.fs.write(file, bytes.data(), bytes.size(), n); }))
            throw FileError(ec, "write", path);
        if (n == 0)
            throw FileError(std::errc::io_error, "write", path);
        bytes.remove_prefix(n);
    }
}

FolderEditor::Pending FolderEditor::prepare(const std::string& name, const CodeEdit& edit, EncodedCode& code,
                                            bool createMissing) {
    Pending p;
    p.name = name;
    p.path = m_setup.folder + name;
    // Everything but a foot added or taken out is written as a new file.
    const bool replace = edit.action == CodeEdit::Action::Replace;
    const bool marker = edit.position == Position::BeforeMarker || edit.position == Position::AfterMarker;
    const bool head = edit.position != Position::Foot || replace;
    UniqueFile file = openTarget(p, head, createMissing);
    if (replace)
        return prepareReplacement(std::move(p), std::move(file), edit, code);
    if (marker)
        return prepareAtMarker(std::move(p), std::move(file), edit, code);
    return head ? prepareHead(std::move(p), std::move(file), edit, code)
                : prepareFoot(std::move(p), std::move(file), edit, code);
}

bool FolderEditor::holdsCode(const std::string& name, const CodeEdit& edit, EncodedCode& code) {
    const std::string path = m_setup.folder + name;
    FileInfo info;
    UniqueFile file = openChecked(name, path, OpenMode::Read, info);
    if (edit.action == CodeEdit::Action::Replace) {
        bool holdsNew = false;
        const bool holdsOld = locateReplacement(file.get(), info.size, path, edit, code, holdsNew).held;
        return !holdsNew && holdsOld;
    }
    return locate(file.get(), info.size, path, edit, code).held;
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

FolderEditor::Pending FolderEditor::prepareHead(Pending p, UniqueFile src, const CodeEdit& edit,
                                                EncodedCode& code) {
    // The start of the file tells its encoding and where the code goes; a small file is read
    // whole here and written in one go, a large one has the rest copied inside the kernel.
    const Spot spot = locate(src.get(), p.oldSize, p.path, edit, code);
    p.skip = skipFor(edit.action, spot.held);
    if (p.skip != Pending::Skip::None)
        return p;
    const bool remove = edit.action == CodeEdit::Action::Remove;
    return prepareReplace(std::move(p), std::move(src),
                          [&](Pending& q, FileHandle from) { writeHead(q, from, spot, remove); });
}

FolderEditor::Pending FolderEditor::prepareFoot(Pending p, UniqueFile file, const CodeEdit& edit,
                                                EncodedCode& code) {
    // One file under several names gets its foot once (a removal replaces each name, as a head does).
    const platform::FileId id = p.read.id;
    const bool linked = p.read.links > 1 && edit.action != CodeEdit::Action::Remove;
    if (linked) {
        auto it = m_setup.appended->find(id);
        if (it != m_setup.appended->end()) {
            p.sameAs = it->second;
            return p;
        }
    }
    const Spot spot = locate(file.get(), p.oldSize, p.path, edit, code);
    p.skip = skipFor(edit.action, spot.held);
    if (p.skip != Pending::Skip::None)
        return p;
    const std::string& bytes = *spot.code;
    if (edit.action == CodeEdit::Action::Remove)
        return prepareFootRemoval(std::move(p), std::move(file), spot);
    // What one write cannot put down whole goes through a new file, like a head.
    if (bytes.size() > kAtomicAppend)
        return prepareReplace(std::move(p), std::move(file), [&](Pending& q, FileHandle from) {
            copyBytes(q, from, 0, q.oldSize, 0);
            writeAll(q.file.get(), bytes, q.path);
        });
    p.file = std::move(file);
    p = prepareAppend(std::move(p), bytes);
    if (linked)
        m_setup.appended->emplace(id, m_setup.relative + p.name);
    return p;
}

UniqueFile FolderEditor::openTarget(Pending& p, bool head, bool createMissing) {
    if (!head && createMissing &&
        m_setup.fs.statAt(m_setup.dir, p.name, p.read) == std::errc::no_such_file_or_directory) {
        std::error_code ec;
        UniqueFile file = platform::openAt(m_setup.fs, m_setup.dir, p.name, OpenMode::CreateAppend, ec, 0666);
        if (ec)
            throw FileError(ec, "create", p.path);
        if ((ec = m_setup.fs.stat(file.get(), p.read)))
            throw FileError(ec, "stat", p.path);
        return file;
    }
    // Opened for writing even for a head, so that a file we may not write fails now with the
    // system's reason.
    UniqueFile file = openChecked(p.name, p.path, head ? OpenMode::ReadWrite : OpenMode::Append, p.read);
    p.oldSize = p.read.size;
    return file;
}

// The old content but the code goes into a new file: cutting the old one in place could cut what
// another program appended after it was read. The check before the rename catches such a change.
FolderEditor::Pending FolderEditor::prepareFootRemoval(Pending p, UniqueFile src, const Spot& spot) {
    const std::int64_t keep = p.oldSize - static_cast<std::int64_t>(spot.code->size());
    return prepareReplace(std::move(p), std::move(src),
                          [keep, this](Pending& q, FileHandle from) { copyBytes(q, from, 0, keep, 0); });
}

FolderEditor::Pending FolderEditor::prepareAppend(Pending p, const std::string& codeBytes) {
    std::string_view rest = codeBytes;
    while (!rest.empty()) {
        std::size_t n = 0;
        std::error_code ec =
            retryOnInterrupt([&] { return m_setup.fs.write(p.file.get(), rest.data(), rest.size(), n); });
        if (ec || n == 0) {
            if (!ec)
                ec = std::make_error_code(std::errc::io_error);
            if (!discard(p))
                throw FileError(ec, "write", p.path, Refusal::PartialCode);
            throw FileError(ec, "write", p.path); // no half code stays behind
        }
        p.appended += static_cast<std::int64_t>(n);
        rest.remove_prefix(n);
    }
    return p;
}

template <typename Fill>
FolderEditor::Pending FolderEditor::prepareReplace(Pending p, UniqueFile src, Fill fill) {
    checkReplaceable(p.path);
    p.replace = true;
    // A file of our own owner and group can be created with its final mode right away.
    const FileInfo& info = p.read;
    const NewFileOwner& made = m_prepare.newOwner;
    const bool sameOwner = made.known && made.owner == info.owner && made.group == info.group;
    const std::uint32_t wanted = info.permissions;
    const bool modeAtCreation =
        sameOwner && m_prepare.umaskKnown && (wanted & ~0777) == 0 && (wanted & m_setup.umask) == 0;
    createNew(p, modeAtCreation ? wanted : 0600);
    try {
        fill(p, src.get());
        carryMetadata(p, src.get(), modeAtCreation, m_prepare.newOwner);
    } catch (...) {
        discard(p);
        throw;
    }
    p.old = std::move(src);
    return p;
}

FolderEditor::Pending FolderEditor::prepareSplice(Pending p, UniqueFile src, const Splice& splice) {
    return prepareReplace(std::move(p), std::move(src), [&](Pending& q, FileHandle from) {
        writeSpliced(q, from, splice.from, splice.end, splice.bytes);
    });
}

void FolderEditor::checkReplaceable(const std::string& path) {
    if (!m_prepare.replaceChecked) {
        bool fixed = false;
        if (std::error_code ec = m_setup.fs.entriesFixed(m_setup.dir, fixed))
            throw FileError(ec, "read the attributes of", m_setup.folder);
        m_prepare.replaceBlocked = fixed;
        m_prepare.replaceChecked = true;
    }
    // Checked before anything is created: such a folder would keep every temporary file.
    if (m_prepare.replaceBlocked)
        throw FileError(std::errc::operation_not_permitted, "replace", path, Refusal::CannotReplace);
}

void FolderEditor::createNew(Pending& p, std::uint32_t permissions) {
    if (m_shared.unnamedWorks) {
        FileHandle file = platform::kNoFile;
        const std::error_code ec = m_setup.fs.openUnnamed(m_setup.dir, permissions, file);
        if (!ec) {
            p.file = UniqueFile(m_setup.fs, file);
            return;
        }
        if (!noUnnamedFiles(ec))
            throw FileError(ec, "create a temporary file in", m_setup.folder);
        m_shared.unnamedWorks = false;
    }
    createNamed(p, permissions);
}

bool FolderEditor::makesUnnamedFiles() {
    if (!m_shared.unnamedWorks)
        return false;
    FileHandle file = platform::kNoFile;
    const std::error_code ec = m_setup.fs.openUnnamed(m_setup.dir, 0600, file);
    if (!ec)
        m_setup.fs.close(file);
    else if (noUnnamedFiles(ec)) // another failure: the first file's own try tells
        m_shared.unnamedWorks = false;
    return m_shared.unnamedWorks;
}

void FolderEditor::createNamed(Pending& p, std::uint32_t permissions) {
    std::string temp = newTempName();
    std::error_code ec;
    p.file = platform::openAt(m_setup.fs, m_setup.dir, temp, OpenMode::CreateTemporary, ec, permissions);
    if (ec)
        throw FileError(ec, "create a temporary file in", m_setup.folder);
    p.tempName = std::move(temp);
}

// Where an unnamed file cannot be given a name (no /proc), its content moves to a named
// temporary file, which from then on every new content gets from the start.
void FolderEditor::nameUnnamed(Pending& p) {
    std::string temp = newTempName();
    std::error_code ec = m_setup.fs.linkUnnamed(p.file.get(), m_setup.dir, temp);
    if (!ec) {
        p.tempName = std::move(temp);
        return;
    }
    if (ec != std::errc::no_such_file_or_directory)
        throw FileError(ec, "name the new file for", p.path);
    m_shared.unnamedWorks = false;
    UniqueFile unnamed = std::move(p.file);
    FileInfo info;
    if ((ec = m_setup.fs.stat(unnamed.get(), info)))
        throw FileError(ec, "stat", p.path);
    createNamed(p, 0600);
    // On publish's thread: what prepare's thread learnt and reports stays its own.
    copyBytes(p, unnamed.get(), 0, info.size, 0, /*report=*/false);
    carryMetadata(p, p.old.get(), /*modeAtCreation=*/false, m_publish.newOwner);
    if ((ec = m_setup.fs.dataSync(p.file.get())))
        throw FileError(ec, "flush", p.path);
}

void FolderEditor::writeHead(Pending& p, FileHandle src, const Spot& spot, bool remove) {
    const std::int64_t size = p.oldSize;
    const std::string_view lineBreak = EncodedCode::lineBreak(spot.mark.encoding, spot.lineBreak);
    // Only a plain insertion gives an old last line its missing break.
    const bool needsBreak =
        !remove && !spot.keepEnd && size > spot.at && !endsInBreak(src, size, spot, p.path);
    const std::size_t have = m_prepare.have;
    const bool whole = static_cast<std::int64_t>(have) >= size;
    const auto keep = static_cast<std::size_t>(remove ? spot.heldFrom : spot.at);
    const auto resume = static_cast<std::size_t>(remove ? spot.heldEnd : spot.at);
    // What stays in front, the code (none for a removal) and the first chunk of the rest in one
    // write; a large code is written from where it is, not copied once more.
    std::string& out = m_prepare.output;
    out.assign(m_prepare.buffer.data(), keep);
    std::int64_t written = 0;
    if (!remove) {
        if (spot.lacksBreak)
            out += lineBreak;
        // Behind a preamble that ended the file without a break, the file still ends without one.
        const std::string_view code(
            spot.code->data(), spot.code->size() - (spot.lacksBreak && spot.keepEnd ? lineBreak.size() : 0));
        if (code.size() > kChunk) {
            writeAll(p.file.get(), out, p.path);
            writeAll(p.file.get(), code, p.path);
            written = static_cast<std::int64_t>(out.size() + code.size());
            out.clear();
        } else {
            out += code;
        }
    }
    if (resume < have)
        out.append(m_prepare.buffer.data() + resume, have - resume);
    if (whole && needsBreak)
        out += lineBreak;
    writeAll(p.file.get(), out, p.path);
    written += static_cast<std::int64_t>(out.size());
    copyBytes(p, src, std::max(static_cast<std::int64_t>(have), static_cast<std::int64_t>(resume)), size,
              written);
    if (!whole && needsBreak)
        writeAll(p.file.get(), lineBreak, p.path);
}

void FolderEditor::copyBytes(Pending& p, FileHandle src, std::int64_t offset, std::int64_t end,
                             std::int64_t written, bool report) {
    // A large rest is copied in slices, each sent on to the disk while the next is copied,
    // so that the flush later has little left to wait for.
    while (offset < end) {
        const std::int64_t slice = std::min<std::int64_t>(end - offset, kWritebackSlice);
        std::size_t copied = 0;
        if (std::error_code ec = retryOnInterrupt([&] {
                return platform::copyRange(m_setup.fs, src, offset, p.file.get(),
                                           static_cast<std::size_t>(slice), copied);
            }))
            throw FileError(ec, "copy", p.path);
        if (copied == 0) // it shrank while being read
            throw FileError(std::errc::resource_unavailable_try_again, "copy", p.path,
                            Refusal::ChangedDuringRun);
        const auto n = static_cast<std::int64_t>(copied);
        offset += n;
        // Only a hint: a failure here shows up again, and is reported, at the flush.
        (void)m_setup.fs.startWriteback(p.file.get(), written, n);
        written += n;
        if (report && m_setup.copyProgress)
            m_setup.copyProgress(offset, end);
    }
}
