// Beside a marker, and replacing an old code: both splice the old file into a new one.
#include "core/FolderEditor.h"

#include "core/FileError.h"
#include "core/MarkerPlace.h"

#include <algorithm>

using platform::FileHandle;
using platform::UniqueFile;

FolderEditor::Spot FolderEditor::locateAtMarker(FileHandle file, std::int64_t size, const std::string& path,
                                                const CodeEdit& edit, Spot spot, bool compare) {
    // The last marker may stand anywhere: the file is read whole, here and only here.
    readStart(file, size, static_cast<std::size_t>(size), path);
    const std::size_t mark = spot.mark.markLength;
    const std::string_view text(m_prepare.buffer.data() + mark, m_prepare.have - mark);
    const std::size_t lineBreak = EncodedCode::lineBreak(spot.mark.encoding, spot.lineBreak).size();
    const std::string& markerLine = edit.markerBytes->bytes(spot.mark.encoding, spot.lineBreak);
    const MarkerSearch marker{edit.marker,
                              std::string_view(markerLine).substr(0, markerLine.size() - lineBreak),
                              edit.markerIsTag, edit.position == Position::BeforeMarker};
    const FileStart start{text, spot.mark.encoding, m_prepare.charset, m_prepare.charsets, true};
    const std::optional<MarkerPlace> place = findMarkerPlace(start, marker);
    if (!place)
        throw FileError(std::errc::invalid_argument, "find the marker", path, Refusal::NoMarker, edit.marker);
    spot.at = static_cast<std::int64_t>(mark + place->at);
    spot.inlineCode = !place->ownLine;
    spot.keepEnd = true;
    if (!compare)
        return spot;
    if (const std::optional<HeldCode> held = findCodeAtMarker(start, marker, *spot.code, lineBreak)) {
        spot.held = true;
        spot.heldFrom = static_cast<std::int64_t>(mark + held->from);
        spot.heldEnd = static_cast<std::int64_t>(mark + held->end);
        spot.at = spot.heldFrom;
    }
    return spot;
}

FolderEditor::Pending FolderEditor::prepareAtMarker(Pending p, UniqueFile src, const CodeEdit& edit,
                                                    EncodedCode& code) {
    const Spot spot = locate(src.get(), p.oldSize, p.path, edit, code);
    const bool remove = edit.action == CodeEdit::Action::Remove;
    if (edit.action == CodeEdit::Action::AddOnce && spot.held)
        p.skip = Pending::Skip::AlreadyHeld;
    if (remove && !spot.held)
        p.skip = Pending::Skip::NotHeld;
    if (p.skip != Pending::Skip::None)
        return p;
    if (remove)
        return prepareSplice(std::move(p), std::move(src), {spot.heldFrom, spot.heldEnd, {}});
    std::string_view form(*spot.code);
    if (spot.inlineCode)
        form.remove_suffix(EncodedCode::lineBreak(spot.mark.encoding, spot.lineBreak).size());
    return prepareSplice(std::move(p), std::move(src), {spot.at, spot.at, form});
}

FolderEditor::Spot FolderEditor::locateReplacement(FileHandle file, std::int64_t size,
                                                   const std::string& path, const CodeEdit& edit,
                                                   EncodedCode& code, bool& holdsNew) {
    // The new code first: a file that holds it is done, even where it also reads as the old one.
    CodeEdit probe = edit;
    probe.action = CodeEdit::Action::AddOnce;
    Spot fresh = locate(file, size, path, probe, code);
    holdsNew = fresh.held;
    if (holdsNew)
        return fresh;
    probe.action = CodeEdit::Action::Remove;
    return locate(file, size, path, probe, *edit.oldCode, /*again=*/true);
}

std::string FolderEditor::replacementOf(FileHandle file, const Spot& old, EncodedCode& code,
                                        const std::string& path) {
    const std::string& fresh = code.bytes(old.mark.encoding, old.lineBreak);
    const std::size_t lineBreak = EncodedCode::lineBreak(old.mark.encoding, old.lineBreak).size();
    const auto held = static_cast<std::size_t>(old.heldEnd - old.heldFrom);
    if (held == old.code->size())
        return fresh;
    // Held without its own line break (inline, or ending the file behind a break put before it):
    // the new code goes in the same way.
    const std::size_t lead = held - (old.code->size() - lineBreak);
    std::string bytes(lead, '\0');
    if (old.heldFrom + static_cast<std::int64_t>(lead) <= static_cast<std::int64_t>(m_prepare.have))
        bytes.assign(m_prepare.buffer, static_cast<std::size_t>(old.heldFrom), lead);
    else
        readExactly(file, bytes.data(), lead, old.heldFrom, path);
    bytes.append(fresh, 0, fresh.size() - lineBreak);
    return bytes;
}

FolderEditor::Pending FolderEditor::prepareReplacement(Pending p, UniqueFile src, const CodeEdit& edit,
                                                       EncodedCode& code) {
    bool holdsNew = false;
    const Spot old = locateReplacement(src.get(), p.oldSize, p.path, edit, code, holdsNew);
    if (holdsNew || !old.held) {
        p.skip = holdsNew ? Pending::Skip::HoldsNew : Pending::Skip::LacksOld;
        return p;
    }
    const std::string bytes = replacementOf(src.get(), old, code, p.path);
    return prepareSplice(std::move(p), std::move(src), {old.heldFrom, old.heldEnd, bytes});
}

void FolderEditor::writeSpliced(Pending& p, FileHandle src, std::int64_t from, std::int64_t end,
                                std::string_view bytes) {
    const auto have = static_cast<std::int64_t>(m_prepare.have);
    std::string& out = m_prepare.output;
    out.assign(m_prepare.buffer.data(), static_cast<std::size_t>(std::min(from, have)));
    std::int64_t written = 0;
    if (from > have) { // what stands in front was not read: copied inside the kernel
        writeAll(p.file.get(), out, p.path);
        copyBytes(p, src, have, from, static_cast<std::int64_t>(out.size()));
        written = from;
        out.clear();
    }
    out += bytes;
    if (end < have)
        out.append(m_prepare.buffer.data() + end, static_cast<std::size_t>(have - end));
    writeAll(p.file.get(), out, p.path);
    written += static_cast<std::int64_t>(out.size());
    copyBytes(p, src, std::max(have, end), p.oldSize, written);
}
