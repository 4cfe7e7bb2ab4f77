#include "core/CodePlace.h"

#include "core/CharsetConverter.h"

#include <limits>
#include <optional>

namespace {

// How many bytes each character of a multi-byte character set takes, where one of them may
// have an ASCII byte behind its first (GBK, Big5, Shift_JIS). Asks the system's charsets, and only
// when met.
class CharacterLength {
public:
    CharacterLength(std::string_view charset, platform::Charsets* charsets)
        : m_charset(charset), m_charsets(charsets),
          m_needed(charsets && !charset.empty() && !isUtf8Charset(charset)) {}
    CharacterLength(const CharacterLength&) = delete;
    CharacterLength& operator=(const CharacterLength&) = delete;
    ~CharacterLength() = default;

    bool needed() const { return m_needed; }
    // The length of the character that bytes begin with: the fewest bytes that convert whole;
    // 1 for bytes that are no character.
    std::size_t of(const char* bytes, std::size_t n) {
        if (!m_cd)
            m_cd.emplace(*m_charsets, "UTF-32LE", m_charset);
        if (!m_cd->ok())
            return 1;
        for (std::size_t k = 1; k <= n; ++k) {
            char out[16];
            const char* in = bytes;
            char* to = out;
            std::size_t inLeft = k, outLeft = sizeof out;
            const CharsetConverter::Stop stop = m_cd->get().convert(in, inLeft, to, outLeft);
            m_cd->get().reset();
            if (stop == CharsetConverter::Stop::Done && inLeft == 0)
                return k;
            if (stop == CharsetConverter::Stop::Invalid)
                return 1;
        }
        return 1;
    }

private:
    std::string m_charset;
    platform::Charsets* m_charsets;
    bool m_needed;
    std::optional<CharsetConverter> m_cd;
};

// Text as a sequence of code units: bytes, or 16-bit units of a UTF-16 file. Only ASCII units are
// ever compared; next() steps over a whole character.
class Units {
public:
    Units(std::string_view text, TextEncoding encoding, std::string_view charset = {},
          platform::Charsets* charsets = nullptr)
        : m_text(text), m_wide(encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE),
          m_bigEndian(encoding == TextEncoding::Utf16BE),
          m_length(encoding == TextEncoding::System ? charset : std::string_view(), charsets),
          m_size(m_wide ? text.size() / 2 : text.size()) {}

    std::size_t size() const { return m_size; }
    std::size_t bytes(std::size_t units) const { return m_wide ? units * 2 : units; }
    unsigned operator[](std::size_t i) const {
        if (!m_wide)
            return static_cast<unsigned char>(m_text[i]);
        const auto b0 = static_cast<unsigned char>(m_text[2 * i]);
        const auto b1 = static_cast<unsigned char>(m_text[2 * i + 1]);
        return m_bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
    }
    // Past the character at i.
    std::size_t next(std::size_t i) const {
        if (m_wide || !m_length.needed() || (*this)[i] < 0x80)
            return i + 1;
        char bytes[4];
        std::size_t n = 0;
        for (; n < sizeof bytes && i + n < m_size; ++n)
            bytes[n] = static_cast<char>((*this)[i + n]);
        return i + m_length.of(bytes, n);
    }

private:
    std::string_view m_text;
    bool m_wide;
    bool m_bigEndian;
    mutable CharacterLength m_length;
    std::size_t m_size;
};

bool isBlank(unsigned u) { return u == ' ' || u == '\t'; }
bool isBreak(unsigned u) { return u == '\r' || u == '\n'; }
bool isSpace(unsigned u) { return isBlank(u) || isBreak(u) || u == '\f'; }

// Index past the line break at i (CR LF, LF or CR); i itself when none stands there.
std::size_t pastBreak(const Units& u, std::size_t i) {
    if (i < u.size() && u[i] == '\r')
        return i + 1 < u.size() && u[i + 1] == '\n' ? i + 2 : i + 1;
    if (i < u.size() && u[i] == '\n')
        return i + 1;
    return i;
}

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
