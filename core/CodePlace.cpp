#include "core/CodePlace.h"

#include "core/TextUnits.h"

#include <limits>
#include <optional>

namespace {

using textunits::isBlank;
using textunits::isBreak;
using textunits::pastBreak;
using textunits::Units;

bool isSpace(unsigned u) { return isBlank(u) || isBreak(u) || u == '\f'; }

// What the scan of a preamble's parts answers: a position past what was found, or one of these.
constexpr std::size_t kNone = 0;                                       // not there
constexpr std::size_t kMore = std::numeric_limits<std::size_t>::max(); // the text ends too early to tell

enum class Match { No, Yes, More };

// The parts a preamble is made of, each looked for at a given index. Where the text is not the
// whole file, whatever reaches its end asks for more rather than guess.
class PreambleScan {
public:
    PreambleScan(const Units& u, bool whole) : u(u), m_whole(whole) {}

    Match starts(std::size_t i, std::string_view ascii, bool ignoreCase = false) const {
        for (std::size_t k = 0; k < ascii.size(); ++k) {
            if (i + k >= u.size())
                return m_whole ? Match::No : Match::More;
            unsigned c = u[i + k];
            if (ignoreCase && c >= 'A' && c <= 'Z')
                c += 'a' - 'A';
            if (c != static_cast<unsigned char>(ascii[k]))
                return Match::No;
        }
        return Match::Yes;
    }
    // The text's end: the end of a part that runs to it, or too early to tell.
    std::size_t atEnd() const { return m_whole ? kNone : kMore; }

    // Past the first ascii at or behind i.
    std::size_t find(std::size_t i, std::string_view ascii) const {
        for (; i < u.size(); i = u.next(i)) {
            const Match m = starts(i, ascii);
            if (m != Match::No)
                return m == Match::Yes ? i + ascii.size() : kMore;
        }
        return atEnd();
    }
    // Where the line that i is on ends: its line break, or the end of the file.
    std::size_t lineEnd(std::size_t i) const {
        while (i < u.size() && !isBreak(u[i]))
            i = u.next(i);
        return i < u.size() || m_whole ? i : kMore;
    }
    // Where the code goes behind a part that ends at end: past the line break that ends its line
    // (blanks before it stay on the line), or right behind it when more follows on the line.
    std::size_t placeBehind(std::size_t end) const {
        std::size_t k = end;
        while (k < u.size() && isBlank(u[k]))
            ++k;
        if (k == u.size())
            return m_whole ? k : kMore;
        if (u[k] == '\r' && k + 1 == u.size() && !m_whole)
            return kMore; // may be the half of a CR LF
        return isBreak(u[k]) ? pastBreak(u, k) : end;
    }
    // Past the "?>" of an XML declaration at i ("<?xml-stylesheet" is none).
    std::size_t xmlDeclaration(std::size_t i) const {
        const Match m = starts(i, "<?xml");
        if (m != Match::Yes)
            return m == Match::No ? kNone : kMore;
        if (i + 5 >= u.size())
            return atEnd();
        const unsigned next = u[i + 5];
        if (!isSpace(next) && next != '?')
            return kNone;
        return find(i + 5, "?>");
    }
    // Past the blank lines, blanks and comments from i.
    std::size_t spaceAndComments(std::size_t i) const {
        while (i < u.size()) {
            if (isSpace(u[i])) {
                ++i;
                continue;
            }
            const Match m = starts(i, "<!--");
            if (m != Match::Yes)
                return m == Match::No ? i : kMore;
            const std::size_t end = find(i + 4, "-->");
            if (end == kNone || end == kMore)
                return end == kNone ? i : kMore; // an unclosed comment heads no DOCTYPE
            i = end;
        }
        return m_whole ? i : kMore;
    }
    // Past the '>' of a document type declaration at i.
    std::size_t doctype(std::size_t i) const {
        const Match m = starts(i, "<!doctype", true);
        if (m != Match::Yes)
            return m == Match::No ? kNone : kMore;
        return declarationEnd(i + 9, true);
    }

private:
    // Past the '>' that ends a declaration whose inside starts at i; quoted text, and in a
    // DOCTYPE an internal subset in brackets, may hold '>'.
    std::size_t declarationEnd(std::size_t i, bool subset) const {
        while (i < u.size()) {
            const unsigned c = u[i];
            if (c == '>')
                return i + 1;
            if (c == '"' || c == '\'')
                i = find(i + 1, c == '"' ? "\"" : "'");
            else if (c == '[' && subset)
                i = subsetEnd(i + 1);
            else
                i = u.next(i);
            if (i == kNone || i == kMore)
                return i;
        }
        return atEnd();
    }
    // Past the ']' that ends an internal subset starting at i: its declarations, comments and
    // processing instructions may hold ']', '>' and quotes.
    std::size_t subsetEnd(std::size_t i) const {
        while (i < u.size()) {
            if (u[i] == ']')
                return i + 1;
            const Match comment = starts(i, "<!--"), pi = starts(i, "<?"), markup = starts(i, "<!");
            if (comment == Match::More || pi == Match::More || markup == Match::More)
                return kMore;
            if (comment == Match::Yes)
                i = find(i + 4, "-->");
            else if (pi == Match::Yes)
                i = find(i + 2, "?>");
            else if (markup == Match::Yes)
                i = declarationEnd(i + 2, false);
            else
                i = u.next(i);
            if (i == kNone || i == kMore)
                return i;
        }
        return atEnd();
    }

    const Units& u;
    bool m_whole;
};

// Takes a part ending at end into the preamble: false when the text ends too early to tell.
bool take(const PreambleScan& scan, std::size_t end, Preamble& p) {
    const std::size_t place = scan.placeBehind(end);
    if (place == kMore)
        return false;
    p.places.push_back(place);
    return true;
}

Preamble unknown() {
    Preamble p;
    p.known = false;
    return p;
}

} // namespace

std::optional<LineBreak> firstLineBreak(std::string_view text, TextEncoding encoding, bool whole) {
    const Units u(text, encoding);
    for (std::size_t i = 0; i < u.size(); ++i) {
        if (u[i] == '\n')
            return LineBreak::Lf;
        if (u[i] != '\r')
            continue;
        if (i + 1 < u.size())
            return u[i + 1] == '\n' ? LineBreak::CrLf : LineBreak::Cr;
        return whole ? std::optional<LineBreak>(LineBreak::Cr) : std::nullopt;
    }
    return std::nullopt;
}

bool endsInLineBreak(std::string_view text, TextEncoding encoding) {
    const Units u(text, encoding);
    return u.size() > 0 && isBreak(u[u.size() - 1]);
}

Preamble findPreamble(const FileStart& start) {
    const Units u(start.text, start.encoding, start.charset, start.charsets);
    const PreambleScan scan(u, start.whole);
    Preamble p;
    p.places.push_back(0);
    const Match shebang = scan.starts(0, "#!");
    if (shebang == Match::More)
        return unknown();
    if (shebang == Match::Yes) {
        const std::size_t end = scan.lineEnd(2);
        if (end == kMore || !take(scan, end, p))
            return unknown();
    }
    // A DOCTYPE may follow an XML declaration on its line, or behind blank lines and comments.
    const std::size_t xml = scan.xmlDeclaration(p.places.back());
    if (xml == kMore || (xml != kNone && !take(scan, xml, p)))
        return unknown();
    const std::size_t doctypeAt = scan.spaceAndComments(p.places.back());
    const std::size_t doctype = doctypeAt == kMore ? kMore : scan.doctype(doctypeAt);
    if (doctype == kMore || (doctype != kNone && !take(scan, doctype, p)))
        return unknown();
    const std::size_t at = p.places.back();
    p.length = u.bytes(at);
    p.lacksBreak = at > 0 && at == u.size() && !isBreak(u[at - 1]);
    for (auto& place : p.places)
        place = u.bytes(place);
    return p;
}
