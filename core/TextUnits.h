#pragma once

#include "core/CharsetConverter.h"
#include "core/Encoding.h"

#include <optional>
#include <string>
#include <string_view>

// A file's text as its code units, shared by the scans that place the code.
namespace textunits {

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
    // Every byte a unit and every unit a character of its own, or the lead of a UTF-8 one: an ASCII
    // byte is then always the character it reads as, and may be searched for as bytes.
    bool plainBytes() const { return !m_wide && !m_length.needed(); }
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

inline bool isBlank(unsigned u) { return u == ' ' || u == '\t'; }
inline bool isBreak(unsigned u) { return u == '\r' || u == '\n'; }

// Index past the line break at i (CR LF, LF or CR); i itself when none stands there.
inline std::size_t pastBreak(const Units& u, std::size_t i) {
    if (i < u.size() && u[i] == '\r')
        return i + 1 < u.size() && u[i + 1] == '\n' ? i + 2 : i + 1;
    if (i < u.size() && u[i] == '\n')
        return i + 1;
    return i;
}

} // namespace textunits
