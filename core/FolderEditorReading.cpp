#include "core/FolderEditor.h"

#include "core/FileError.h"
#include "platform/Retry.h"

#include <algorithm>
#include <cstring>
#include <vector>

using platform::FileHandle;
using platform::retryOnInterrupt;

std::size_t FolderEditor::readAt(FileHandle file, char* into, std::size_t want, std::int64_t at,
                                 const std::string& path) {
    std::size_t have = 0;
    while (have < want) {
        std::size_t got = 0;
        if (std::error_code ec = retryOnInterrupt([&] {
                return m_setup.fs.read(file, into + have, want - have, at + static_cast<std::int64_t>(have),
                                       got);
            }))
            throw FileError(ec, "read", path);
        if (got == 0)
            break; // shrank meanwhile: what is there is the file
        have += got;
    }
    return have;
}

void FolderEditor::readExactly(FileHandle file, char* into, std::size_t want, std::int64_t at,
                               const std::string& path) {
    if (readAt(file, into, want, at, path) != want)
        throw FileError(std::errc::io_error, "read", path);
}

std::size_t FolderEditor::readStart(FileHandle file, std::int64_t size, std::size_t want,
                                    const std::string& path) {
    want = static_cast<std::size_t>(std::min<std::int64_t>(size, static_cast<std::int64_t>(want)));
    if (m_prepare.buffer.size() < want)
        m_prepare.buffer.resize(want);
    if (m_prepare.have < want)
        m_prepare.have += readAt(file, m_prepare.buffer.data() + m_prepare.have, want - m_prepare.have,
                                 static_cast<std::int64_t>(m_prepare.have), path);
    return m_prepare.have;
}

LineBreak FolderEditor::fileLineBreak(FileHandle file, std::int64_t size, const EncodingMark& mark,
                                      const std::string& path) {
    const bool whole = static_cast<std::int64_t>(m_prepare.have) >= size;
    std::string_view text(m_prepare.buffer.data() + mark.markLength, m_prepare.have - mark.markLength);
    if (auto found = firstLineBreak(text, mark.encoding, whole))
        return *found;
    // A first line longer than the start read: read on, looking at its last unit (a CR) again.
    const bool wide = mark.encoding == TextEncoding::Utf16LE || mark.encoding == TextEncoding::Utf16BE;
    const std::int64_t unit = wide ? 2 : 1;
    std::string window(kChunk, '\0');
    std::int64_t from = static_cast<std::int64_t>(m_prepare.have);
    while (!whole && from < size) {
        std::size_t read = 0;
        if (std::error_code ec = retryOnInterrupt(
                [&] { return m_setup.fs.read(file, window.data(), window.size(), from - unit, read); }))
            throw FileError(ec, "read", path);
        const auto got = static_cast<std::int64_t>(read);
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

FolderEditor::Spot FolderEditor::locate(FileHandle file, std::int64_t size, const std::string& path,
                                        const CodeEdit& edit, EncodedCode& code, bool again) {
    if (!again)
        m_prepare.have = 0;
    if (!again && m_prepare.buffer.size() > 4 * kChunk)
        std::string().swap(m_prepare.buffer); // a long preamble read before is not kept for every file
    // The start tells the encoding, a foot's too: judged once, on what is read anyway.
    readStart(file, size, kChunk, path);
    Spot spot;
    spot.mark = code.encodingOf(std::string_view(m_prepare.buffer.data(), m_prepare.have),
                                static_cast<std::int64_t>(m_prepare.have) >= size);
    if (spot.mark.refusal != Refusal::None)
        throw FileError(std::errc::illegal_byte_sequence, "read", path, spot.mark.refusal);
    spot.lineBreak = edit.eol == LineBreakMode::Lf     ? LineBreak::Lf
                     : edit.eol == LineBreakMode::CrLf ? LineBreak::CrLf
                                                       : fileLineBreak(file, size, spot.mark, path);
    spot.code = &code.bytes(spot.mark.encoding, spot.lineBreak);
    m_prepare.charset = code.charset(); // a preamble without a mark is read by its characters
    m_prepare.charsets = &code.charsets();
    // A plain insertion does not ask what the file holds: no reading for it.
    const bool compare = edit.action != CodeEdit::Action::Add;
    if (edit.position == Position::BeforeMarker || edit.position == Position::AfterMarker)
        return locateAtMarker(file, size, path, edit, spot, compare);
    if (edit.position == Position::Foot)
        return locateAtFoot(file, size, path, spot, compare);
    if (edit.afterPreamble)
        return locateBehindPreamble(file, size, path, spot, compare);
    spot.at += static_cast<std::int64_t>(spot.mark.markLength);
    // Only a plain insertion gives an old last line its missing break: with any placement option
    // a removal gives back every byte.
    spot.keepEnd = edit.eol != LineBreakMode::CrLf;
    if (compare)
        findHeadCode(file, size, spot, path);
    return spot;
}

FolderEditor::Spot FolderEditor::locateAtFoot(FileHandle file, std::int64_t size, const std::string& path,
                                              Spot spot, bool compare) {
    spot.at = size;
    const auto length = static_cast<std::int64_t>(spot.code->size());
    if (!compare || size - static_cast<std::int64_t>(spot.mark.markLength) < length)
        return spot;
    spot.held = holdsAt(file, size - length, *spot.code, path);
    if (spot.held)
        spot.heldFrom = size - length, spot.heldEnd = size;
    return spot;
}

Preamble FolderEditor::readPreamble(FileHandle file, std::int64_t size, const std::string& path,
                                    const EncodingMark& mark) {
    // Read on until the preamble's end is known, however long it is.
    for (bool ended = false;;) {
        ended = ended || static_cast<std::int64_t>(m_prepare.have) >= size;
        const std::string_view text(m_prepare.buffer.data() + mark.markLength,
                                    m_prepare.have - mark.markLength);
        Preamble preamble = findPreamble({text, mark.encoding, m_prepare.charset, m_prepare.charsets, ended});
        if (preamble.known)
            return preamble;
        const std::size_t had = m_prepare.have;
        readStart(file, size, std::max(kChunk, 2 * m_prepare.have), path);
        ended = m_prepare.have == had; // shrank meanwhile: what is there is the file
    }
}

std::size_t FolderEditor::preambleWithout(FileHandle file, std::int64_t size, const std::string& path,
                                          const EncodingMark& mark, std::size_t place, std::size_t length) {
    // The text in front of the code and, read afresh, as much of what follows it as the preamble
    // needs: a large code is not read into memory.
    const std::int64_t from = static_cast<std::int64_t>(mark.markLength + place + length);
    std::string text;
    for (std::size_t window = kChunk;; window *= 2) {
        text.assign(m_prepare.buffer, mark.markLength, place);
        text.resize(place +
                    static_cast<std::size_t>(std::min(static_cast<std::int64_t>(window), size - from)));
        const std::size_t got = readAt(file, text.data() + place, text.size() - place, from, path);
        const bool ended = place + got < text.size() || from + static_cast<std::int64_t>(got) >= size;
        text.resize(place + got);
        const Preamble preamble =
            findPreamble({text, mark.encoding, m_prepare.charset, m_prepare.charsets, ended});
        if (preamble.known)
            return preamble.length;
    }
}

namespace {

// How far in front of a place the code may start: 0, or where the code begins with blanks and a
// line break, or with a LF, the preamble's last line took them in as its own end (behind a
// declaration followed by more on its line; a lone CR completed into CR LF).
std::vector<std::size_t> leadsTakenIn(std::string_view code, TextEncoding encoding) {
    const std::string_view lf = EncodedCode::lineBreak(encoding, LineBreak::Lf);
    const std::size_t unit = lf.size();
    const auto is = [&](std::size_t at, char c) {
        const std::string_view u = code.substr(std::min(at, code.size()), unit);
        return u.size() == unit && (unit == 1                           ? u[0] == c
                                    : encoding == TextEncoding::Utf16BE ? u[0] == '\0' && u[1] == c
                                                                        : u[0] == c && u[1] == '\0');
    };
    std::vector<std::size_t> leads{0};
    if (is(0, '\n'))
        leads.push_back(unit);
    std::size_t k = 0;
    while (is(k, ' ') || is(k, '\t'))
        k += unit;
    if (is(k, '\r'))
        leads.push_back(k + (is(k + unit, '\n') ? 2 : 1) * unit);
    else if (is(k, '\n') && k > 0)
        leads.push_back(k + unit);
    return leads;
}

} // namespace

FolderEditor::Spot FolderEditor::locateBehindPreamble(FileHandle file, std::int64_t size,
                                                      const std::string& path, Spot spot, bool compare) {
    const Preamble preamble = readPreamble(file, size, path, spot.mark);
    const std::int64_t mark = static_cast<std::int64_t>(spot.mark.markLength);
    spot.at = mark + static_cast<std::int64_t>(preamble.length);
    spot.lacksBreak = preamble.lacksBreak;
    spot.keepEnd = true;
    if (!compare)
        return spot;
    // The code may stand at any place the preamble leaves, the last first: one that is itself a
    // preamble line (a DOCTYPE for pages without one) went in where the file without it ends its
    // preamble, and now heads the lines behind it.
    const std::size_t length = spot.code->size();
    const std::vector<std::size_t> leads = leadsTakenIn(*spot.code, spot.mark.encoding);
    for (auto place = preamble.places.rbegin(); place != preamble.places.rend(); ++place) {
        for (const std::size_t lead : leads) {
            if (lead > *place)
                continue;
            const std::size_t from = *place - lead;
            const std::int64_t at = mark + static_cast<std::int64_t>(from);
            if (size - at < static_cast<std::int64_t>(length) || !holdsAt(file, at, *spot.code, path) ||
                preambleWithout(file, size, path, spot.mark, from, length) != from)
                continue;
            spot.held = true;
            spot.at = at;
            spot.heldFrom = at, spot.heldEnd = at + static_cast<std::int64_t>(length);
            return spot;
        }
    }
    findCodeEndingFile(file, size, spot, path);
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
void FolderEditor::findHeadCode(FileHandle file, std::int64_t size, Spot& spot, const std::string& path) {
    const auto length = static_cast<std::int64_t>(spot.code->size());
    if (!spot.lacksBreak && size - spot.at >= length && holdsAt(file, spot.at, *spot.code, path)) {
        spot.held = true, spot.heldFrom = spot.at, spot.heldEnd = spot.at + length;
        return;
    }
    findCodeEndingFile(file, size, spot, path);
}

// A head kept the file's end behind a preamble that ended the file without a break: the code ends
// the file without its own, behind the break put before it.
void FolderEditor::findCodeEndingFile(FileHandle file, std::int64_t size, Spot& spot,
                                      const std::string& path) {
    const std::size_t ownBreak = EncodedCode::lineBreak(spot.mark.encoding, spot.lineBreak).size();
    const std::string_view line(spot.code->data(), spot.code->size() - ownBreak);
    if (!spot.keepEnd || line.empty() || size - spot.at != static_cast<std::int64_t>(line.size()))
        return;
    // The preamble's last bytes: a line break is at most 4 of them (CR LF in UTF-16).
    const auto tail = static_cast<std::size_t>(
        std::min<std::int64_t>(4, spot.at - static_cast<std::int64_t>(spot.mark.markLength)));
    char last[4] = {};
    if (spot.at <= static_cast<std::int64_t>(m_prepare.have))
        std::memcpy(last, m_prepare.buffer.data() + spot.at - tail, tail);
    else
        readExactly(file, last, tail, spot.at - static_cast<std::int64_t>(tail), path);
    const std::size_t before = breakAtEnd(std::string_view(last, tail), spot.mark.encoding);
    if (before == 0 || !holdsAt(file, spot.at, line, path))
        return;
    spot.held = true, spot.heldFrom = spot.at - static_cast<std::int64_t>(before), spot.heldEnd = size;
}

// Compared piece by piece beyond the start already read: a large code is not held a second time.
bool FolderEditor::holdsAt(FileHandle file, std::int64_t at, std::string_view bytes,
                           const std::string& path) {
    // Compared as file offsets: a size_t of 32 bits would cut one past 4 GiB down into the start.
    if (at + static_cast<std::int64_t>(bytes.size()) <= static_cast<std::int64_t>(m_prepare.have))
        return m_prepare.buffer.compare(static_cast<std::size_t>(at), bytes.size(), bytes) == 0;
    std::string piece(std::min(kChunk, bytes.size()), '\0');
    for (std::size_t done = 0; done < bytes.size(); done += piece.size()) {
        const std::size_t want = std::min(piece.size(), bytes.size() - done);
        if (readAt(file, piece.data(), want, at + static_cast<std::int64_t>(done), path) != want ||
            bytes.compare(done, want, piece.data(), want) != 0)
            return false;
    }
    return true;
}

bool FolderEditor::endsInBreak(FileHandle file, std::int64_t size, const Spot& spot,
                               const std::string& path) {
    const std::size_t lastLen = size - spot.at >= 2 ? 2 : 1;
    char last[2] = {};
    if (static_cast<std::int64_t>(m_prepare.have) >= size) {
        std::memcpy(last, m_prepare.buffer.data() + m_prepare.have - lastLen, lastLen);
    } else {
        readExactly(file, last, lastLen, size - static_cast<std::int64_t>(lastLen), path);
    }
    return endsInLineBreak(std::string_view(last, lastLen), spot.mark.encoding);
}
