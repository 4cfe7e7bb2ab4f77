#include "core/CodePlace.h"

namespace {

// Text as a sequence of code units: bytes, or 16-bit units of a UTF-16 file. Only ASCII units
// are ever compared, and in the byte encodings the locale may use no byte of a multi-byte
// character is ASCII, so comparing units never splits a character.
class Units {
public:
    Units(std::string_view text, TextEncoding encoding)
        : m_text(text), m_wide(encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE),
          m_bigEndian(encoding == TextEncoding::Utf16BE) {}

    std::size_t size() const { return m_wide ? m_text.size() / 2 : m_text.size(); }
    std::size_t bytes(std::size_t units) const { return m_wide ? units * 2 : units; }
    unsigned operator[](std::size_t i) const {
        if (!m_wide)
            return static_cast<unsigned char>(m_text[i]);
        const auto b0 = static_cast<unsigned char>(m_text[2 * i]);
        const auto b1 = static_cast<unsigned char>(m_text[2 * i + 1]);
        return m_bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
    }
    // Does the text at i begin with ascii (letter case ignored when asked)?
    bool startsWith(std::size_t i, std::string_view ascii, bool ignoreCase = false) const {
        if (i + ascii.size() > size())
            return false;
        for (std::size_t k = 0; k < ascii.size(); ++k) {
            unsigned u = (*this)[i + k];
            if (ignoreCase && u >= 'A' && u <= 'Z')
                u += 'a' - 'A';
            const unsigned want = static_cast<unsigned char>(ascii[k]);
            if (u != want)
                return false;
        }
        return true;
    }

private:
    std::string_view m_text;
    bool m_wide;
    bool m_bigEndian;
};

bool isBlank(unsigned u) { return u == ' ' || u == '\t'; }
bool isBreak(unsigned u) { return u == '\r' || u == '\n'; }

// Index past the line break at i (CR LF, LF or CR); i itself when none stands there.
std::size_t pastBreak(const Units& u, std::size_t i) {
    if (i < u.size() && u[i] == '\r')
        return i + 1 < u.size() && u[i + 1] == '\n' ? i + 2 : i + 1;
    if (i < u.size() && u[i] == '\n')
        return i + 1;
    return i;
}

// The end of a "#!" line, through its line break.
std::size_t shebangEnd(const Units& u, std::size_t i) {
    while (i < u.size() && !isBreak(u[i]))
        ++i;
    return i;
}

// Past the "?>" that closes an XML declaration starting at i; 0 when it is none.
std::size_t xmlDeclarationEnd(const Units& u, std::size_t i) {
    if (!u.startsWith(i, "<?xml") || i + 5 >= u.size())
        return 0;
    const unsigned next = u[i + 5];
    if (!isBlank(next) && !isBreak(next) && next != '?') // "<?xml-stylesheet" is no declaration
        return 0;
    for (std::size_t k = i + 5; k + 1 < u.size(); ++k)
        if (u[k] == '?' && u[k + 1] == '>')
            return k + 2;
    return 0;
}

// Past the '>' that closes a document type declaration starting at i (quoted text and an
// internal subset in brackets may hold '>'); 0 when it is none.
std::size_t doctypeEnd(const Units& u, std::size_t i) {
    if (!u.startsWith(i, "<!doctype", true))
        return 0;
    unsigned quote = 0;
    int depth = 0;
    for (std::size_t k = i + 9; k < u.size(); ++k) {
        const unsigned c = u[k];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']') {
            depth = depth > 0 ? depth - 1 : 0;
        } else if (c == '>' && depth == 0) {
            return k + 1;
        }
    }
    return 0;
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

Preamble findPreamble(std::string_view text, TextEncoding encoding, bool whole) {
    const Units u(text, encoding);
    std::size_t at = 0;
    // Each line is taken only when it ends in a line break within text, or ends the file.
    auto take = [&](std::size_t end, bool sharedLine) -> bool {
        std::size_t k = end;
        while (k < u.size() && isBlank(u[k]))
            ++k;
        if (k < u.size() && !isBreak(u[k])) {
            if (sharedLine)
                at = end; // more follows on the line: the code goes right behind the declaration
            return false;
        }
        // The line must end within what was read (a CR at its end may be half of a CR LF).
        if (!whole && (k == u.size() || (u[k] == '\r' && k + 1 == u.size())))
            return false;
        at = pastBreak(u, k);
        return k < u.size();
    };
    Preamble p;
    bool more = true;
    if (u.startsWith(0, "#!"))
        more = take(shebangEnd(u, 0), false);
    if (std::size_t end = more ? xmlDeclarationEnd(u, at) : 0) {
        more = take(end, true);
        // A document type declaration on the same line belongs in front of the code as well.
        std::size_t k = end;
        while (!more && at == end && k < u.size() && isBlank(u[k]))
            ++k;
        if (!more && at == end && doctypeEnd(u, k) != 0) {
            at = k;
            more = true;
        }
    }
    if (std::size_t end = more ? doctypeEnd(u, at) : 0)
        more = take(end, true);
    p.length = u.bytes(at);
    p.lacksBreak = at > 0 && at == u.size() && !isBreak(u[at - 1]);
    return p;
}
