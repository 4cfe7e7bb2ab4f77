#include "core/MarkerPlace.h"

#include "core/TextUnits.h"

namespace {

using textunits::isBlank;
using textunits::isBreak;
using textunits::pastBreak;
using textunits::Units;

constexpr std::size_t kNone = std::string_view::npos;

bool isSpace(unsigned u) { return isBlank(u) || isBreak(u) || u == '\f'; }

unsigned lower(unsigned c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool startsAt(const Units& u, std::size_t i, std::string_view ascii, bool ignoreCase) {
    if (u.size() - i < ascii.size())
        return false;
    for (std::size_t k = 0; k < ascii.size(); ++k) {
        const unsigned c = u[i + k], want = static_cast<unsigned char>(ascii[k]);
        if (ignoreCase ? lower(c) != lower(want) : c != want)
            return false;
    }
    return true;
}

// Past the first ascii at or behind i; kNone when there is none.
std::size_t pastAscii(const Units& u, std::string_view text, std::size_t i, std::string_view ascii) {
    if (u.plainBytes()) {
        const std::size_t at = text.find(ascii, i);
        return at == kNone ? kNone : at + ascii.size();
    }
    for (; i < u.size(); i = u.next(i))
        if (startsAt(u, i, ascii, false))
            return i + ascii.size();
    return kNone;
}

// Past the '>' that closes a tag whose name ends at i; quoted attribute values may hold one.
std::size_t tagEnd(const Units& u, std::size_t i) {
    unsigned quote = 0;
    for (; i < u.size(); i = u.next(i)) {
        const unsigned c = u[i];
        if (quote != 0)
            quote = c == quote ? 0 : quote;
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '>')
            return i + 1;
    }
    return kNone;
}

// Past the tag at i when it is the marker's own: its whole name, in any case, with any attributes.
std::size_t tagAt(const Units& u, std::size_t i, std::string_view tag) {
    const std::string_view open = tag.substr(0, tag.size() - 1); // "</body"
    if (!startsAt(u, i, open, true) || i + open.size() >= u.size())
        return kNone;
    const std::size_t k = i + open.size();
    if (u[k] == '>')
        return k + 1;
    // "<header>" is another tag than "<head>".
    return isSpace(u[k]) || u[k] == '/' ? tagEnd(u, k) : kNone;
}

// Past the marker's exact bytes at i.
std::size_t bytesAt(const Units& u, std::string_view text, std::size_t i, std::string_view bytes) {
    const std::size_t at = u.bytes(i);
    if (text.size() - at < bytes.size() || text.compare(at, bytes.size(), bytes) != 0)
        return kNone;
    return i + bytes.size() / u.bytes(1);
}

struct Found {
    std::size_t start = 0, end = 0; // units
};

// Where the marker or a comment may next begin behind i: the next '<' for a tag, the next copy of
// the marker's first byte otherwise, found at once where bytes are units.
std::size_t nextCandidate(const Units& u, std::string_view text, const MarkerSearch& m, std::size_t i) {
    if (!u.plainBytes() || (!m.tag && m.bytes.empty()))
        return u.next(i);
    const std::size_t at = text.find(m.tag ? '<' : m.bytes.front(), i + 1);
    return at == kNone ? u.size() : at;
}

// The marker's first or last occurrence; a tag's outside HTML comments only.
std::optional<Found> findMarker(const Units& u, std::string_view text, const MarkerSearch& m) {
    std::optional<Found> found;
    for (std::size_t i = 0; i < u.size();) {
        if (m.tag && startsAt(u, i, "<!--", false)) {
            i = pastAscii(u, text, i + 4, "-->");
            if (i == kNone)
                break; // an unclosed comment runs to the end
            continue;
        }
        const std::size_t end = m.tag ? tagAt(u, i, m.ascii) : bytesAt(u, text, i, m.bytes);
        if (end != kNone) {
            found = Found{i, end};
            if (!m.last)
                break;
        }
        i = nextCandidate(u, text, m, i);
    }
    return found;
}

// The start of the line that the marker starts (only blanks in front of it on its line), or kNone.
std::size_t lineStartBefore(const Units& u, std::size_t start) {
    std::size_t k = start;
    while (k > 0 && isBlank(u[k - 1]))
        --k;
    return k == 0 || isBreak(u[k - 1]) ? k : kNone;
}

// Past the line break that ends the marker's line (only blanks behind it), or kNone.
std::size_t lineEndAfter(const Units& u, std::size_t end) {
    std::size_t k = end;
    while (k < u.size() && isBlank(u[k]))
        ++k;
    return k < u.size() && isBreak(u[k]) ? pastBreak(u, k) : kNone;
}

} // namespace

bool isHtmlTag(std::string_view marker) {
    std::size_t i = 1 + (marker.size() > 1 && marker[1] == '/' ? 1 : 0);
    if (marker.size() < i + 2 || marker.front() != '<' || marker.back() != '>' || !isAsciiAlnum(marker[i]) ||
        (marker[i] >= '0' && marker[i] <= '9'))
        return false;
    for (; i + 1 < marker.size(); ++i)
        if (!isAsciiAlnum(marker[i]))
            return false;
    return true;
}

std::string markerFault(std::string_view marker) {
    if (marker.empty())
        return "the marker is empty";
    if (marker.find_first_of("\r\n") != std::string_view::npos)
        return "the marker holds a line break";
    return {};
}

bool leavesCommentOpen(std::string_view code) {
    for (std::size_t open = code.find("<!--"); open != std::string_view::npos;) {
        const std::size_t close = code.find("-->", open + 4);
        if (close == std::string_view::npos)
            return true;
        open = code.find("<!--", close + 3);
    }
    return false;
}

std::optional<MarkerPlace> findMarkerPlace(const FileStart& text, const MarkerSearch& marker) {
    const Units u(text.text, text.encoding, text.charset, text.charsets);
    const std::optional<Found> found = findMarker(u, text.text, marker);
    if (!found)
        return std::nullopt;
    const std::size_t line = marker.last ? lineStartBefore(u, found->start) : lineEndAfter(u, found->end);
    if (line != kNone)
        return MarkerPlace{u.bytes(line), true};
    return MarkerPlace{u.bytes(marker.last ? found->start : found->end), false};
}

std::optional<HeldCode> findCodeAtMarker(const FileStart& text, const MarkerSearch& marker,
                                         std::string_view code, std::size_t lineBreak) {
    const Units u(text.text, text.encoding, text.charset, text.charsets);
    const std::optional<Found> found = findMarker(u, text.text, marker);
    if (!found)
        return std::nullopt;
    for (const bool ownLine : {true, false}) {
        const std::string_view form = ownLine ? code : code.substr(0, code.size() - lineBreak);
        const std::size_t line = !ownLine      ? (marker.last ? found->start : found->end)
                                 : marker.last ? lineStartBefore(u, found->start)
                                               : lineEndAfter(u, found->end);
        if (line == kNone || (marker.last && u.bytes(line) < form.size()))
            continue;
        const std::size_t from = marker.last ? u.bytes(line) - form.size() : u.bytes(line);
        if (text.text.size() - from < form.size() || text.text.compare(from, form.size(), form) != 0)
            continue;
        // Held only where the file without it would get it right there, in that form.
        std::string without(text.text.substr(0, from));
        without.append(text.text.substr(from + form.size()));
        FileStart rest = text;
        rest.text = without;
        const std::optional<MarkerPlace> place = findMarkerPlace(rest, marker);
        if (place && place->at == from && place->ownLine == ownLine)
            return HeldCode{from, from + form.size(), ownLine};
    }
    return std::nullopt;
}
