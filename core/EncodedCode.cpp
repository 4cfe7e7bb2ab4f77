#include "core/CharsetConverter.h"
#include "core/CodeText.h"
#include "core/Encoding.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

// Where a form of the code goes: into out, which has room for all of it, or, without out, only
// counted, so that a large form is made once in a string of its exact size.
class Output {
public:
    Output(char* out, std::size_t capacity) : m_out(out), m_capacity(capacity) {}
    void put(std::string_view bytes) {
        if (m_out)
            std::memcpy(m_out + m_size, bytes.data(), bytes.size());
        m_size += bytes.size();
    }
    // Where a conversion may write next, and how much.
    char* room(std::size_t& length) {
        length = m_out ? m_capacity - m_size : sizeof m_scratch;
        return m_out ? m_out + m_size : m_scratch;
    }
    void advance(std::size_t length) { m_size += length; }
    bool counting() const { return m_out == nullptr; }
    std::size_t size() const { return m_size; }

private:
    char* m_out;
    std::size_t m_capacity;
    std::size_t m_size = 0;
    char m_scratch[4096]{};
};

// Hands each run of text between its CR LF pairs to piece, and each pair to lineBreak.
template <class Piece, class Break> void eachLine(std::string_view text, Piece piece, Break lineBreak) {
    for (std::size_t from = 0;;) {
        const std::size_t at = text.find("\r\n", from);
        piece(text.substr(from, at == std::string_view::npos ? at : at - from));
        if (at == std::string_view::npos)
            return;
        lineBreak();
        from = at + 2;
    }
}

void putUnit(Output& out, char32_t unit, bool bigEndian) {
    const char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
    const char bytes[2] = {bigEndian ? hi : lo, bigEndian ? lo : hi};
    out.put(std::string_view(bytes, 2));
}

// Valid UTF-8 in; a character above U+FFFF becomes a surrogate pair.
void putUtf16(Output& out, std::string_view utf8, bool bigEndian) {
    char32_t cp = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        i += utf8SequenceAt(utf8, i, cp);
        if (cp >= 0x10000) {
            putUnit(out, 0xD800 + ((cp - 0x10000) >> 10), bigEndian);
            putUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF), bigEndian);
        } else {
            putUnit(out, cp, bigEndian);
        }
    }
}

// Valid UTF-8 in, the charset out, ending in its initial shift state (a line break may follow).
void putConverted(Output& out, CharsetConverter& cd, std::string_view utf8, const std::string& charset) {
    const char* in = utf8.data();
    std::size_t inLeft = utf8.size();
    for (bool flushing = false;;) {
        std::size_t room = 0;
        char* to = out.room(room);
        std::size_t left = room;
        const CharsetConverter::Stop stop =
            flushing ? cd.get().flush(to, left) : cd.get().convert(in, inLeft, to, left);
        out.advance(room - left);
        if (stop == CharsetConverter::Stop::Done) {
            if (flushing)
                return;
            flushing = true;
        } else if (stop != CharsetConverter::Stop::NoRoom || !out.counting()) {
            // A conversion never writes a character as another one.
            throw EncodingError("the code holds characters that cannot be written in " + charset);
        }
    }
}

bool isAscii(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The start of a UTF-8 sequence that the end of what was read cut short.
bool cutSequence(std::string_view rest) {
    const auto lead = static_cast<unsigned char>(rest[0]);
    const std::size_t length = lead >= 0xC2 && lead < 0xE0   ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (rest.size() >= length)
        return false;
    // Behind E0, ED, F0 and F4 the second byte's range is narrower: no overlong form, no
    // surrogate, nothing past U+10FFFF.
    const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (std::size_t k = 1; k < rest.size(); ++k) {
        const auto c = static_cast<unsigned char>(rest[k]);
        if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF))
            return false;
    }
    return true;
}

// Valid UTF-8, where a sequence cut short at the end counts unless text is the whole file.
bool startsAsUtf8(std::string_view text, bool whole) {
    char32_t cp = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8SequenceAt(text, i, cp);
        if (length == 0)
            return !whole && cutSequence(text.substr(i));
        i += length;
    }
    return true;
}

enum class CharsetKind { Unknown, Utf8, AsciiCompatible, Utf16LE, Utf16BE, Other };

// What a charset makes of a sample of UTF-8, or nothing where it has no form for it.
std::optional<std::string> converted(CharsetConverter& cd, const std::string& sample) {
    std::string bytes(64, '\0');
    const char* in = sample.data();
    char* to = bytes.data();
    std::size_t inLeft = sample.size(), left = bytes.size();
    cd.get().reset();
    if (cd.get().convert(in, inLeft, to, left) != CharsetConverter::Stop::Done ||
        cd.get().flush(to, left) != CharsetConverter::Stop::Done)
        return std::nullopt;
    bytes.resize(bytes.size() - left);
    return bytes;
}

// How a charset writes ASCII: as ASCII, as UTF-16, or otherwise.
CharsetKind kindOf(platform::Charsets& charsets, const std::string& charset) {
    CharsetConverter cd(charsets, charset, "UTF-8");
    if (!cd.ok())
        return CharsetKind::Unknown;
    using namespace std::string_literals;
    const std::string ascii = "\r\n#<>";
    const std::optional<std::string> bytes = converted(cd, ascii);
    if (bytes == ascii)
        return converted(cd, "\xC3\xA9") == "\xC3\xA9" ? CharsetKind::Utf8 : CharsetKind::AsciiCompatible;
    if (bytes == "\r\0\n\0#\0<\0>\0"s)
        return CharsetKind::Utf16LE;
    if (bytes == "\0\r\0\n\0#\0<\0>"s)
        return CharsetKind::Utf16BE;
    return CharsetKind::Other;
}

// The kind of a charset asked for files without a mark; throws EncodingError where it cannot serve.
CharsetKind usableKind(platform::Charsets& charsets, const std::string& charset) {
    const CharsetKind kind = kindOf(charsets, charset);
    if (kind == CharsetKind::Unknown)
        throw EncodingError("the character set " + charset + " is not known to the system");
    if (kind == CharsetKind::Other)
        throw EncodingError(
            "the character set " + charset +
            " does not write ASCII as ASCII (of the wider ones, UTF-16LE and UTF-16BE serve)");
    return kind;
}

// The code as every form starts from: CR LF after it. Throws EncodingError when it is not UTF-8.
std::string codeWithLineBreak(std::string utf8) {
    if (!isValidUtf8(utf8))
        throw EncodingError("the code is not valid UTF-8 text");
    utf8 += "\r\n";
    return utf8;
}

// What every file without a mark is written in when a charset was asked for.
TextEncoding forcedEncoding(CharsetKind kind) {
    if (kind == CharsetKind::Utf16LE)
        return TextEncoding::Utf16LE;
    return kind == CharsetKind::Utf16BE ? TextEncoding::Utf16BE : TextEncoding::System;
}

// Forms besides the code are kept up to twice its size, or this much for a small code.
constexpr std::size_t kSpareFormBytes = 1 << 20;

} // namespace

void checkFileCharset(platform::Charsets& charsets, const std::string& charset) {
    (void)usableKind(charsets, charset);
}

EncodedCode::EncodedCode(platform::Charsets& charsets, std::string utf8Code, const std::string& charset,
                         const std::string& encoding)
    : m_charsets(charsets), m_utf8(codeWithLineBreak(std::move(utf8Code))),
      m_charset(encoding.empty() ? charset : encoding), m_ascii(isAscii(m_utf8)) {
    const CharsetKind kind = encoding.empty() ? kindOf(charsets, m_charset) : usableKind(charsets, m_charset);
    if (!encoding.empty())
        m_forced = forcedEncoding(kind);
    m_charsetIsUtf8 = kind == CharsetKind::Utf8 || (m_forced && *m_forced != TextEncoding::System);
    // Counted, not kept: a code the charset cannot hold is refused before any file is touched.
    if (!m_charsetIsUtf8)
        (void)make(Form::Charset, LineBreak::CrLf, nullptr, 0);
}

EncodingMark EncodedCode::encodingOf(std::string_view start, bool whole) const {
    const EncodingMark mark = detectMark(reinterpret_cast<const unsigned char*>(start.data()), start.size());
    if (mark.markLength > 0)
        return mark;
    if (m_forced && *m_forced != TextEncoding::System)
        return {*m_forced, 0};
    if (start.find('\0') != std::string_view::npos)
        return {TextEncoding::System, 0, Refusal::HoldsNul};
    if (m_forced || isAscii(start))
        return {};
    if (startsAsUtf8(start, whole))
        return {TextEncoding::Utf8, 0};
    // An ASCII code is the same bytes in every charset such a file may be in.
    if (m_charsetIsUtf8 && !m_ascii)
        return {TextEncoding::System, 0, Refusal::NotUtf8Text};
    return {};
}

EncodedCode::Form EncodedCode::formOf(TextEncoding encoding) const {
    switch (encoding) {
    case TextEncoding::Utf16LE:
        return Form::Utf16LE;
    case TextEncoding::Utf16BE:
        return Form::Utf16BE;
    case TextEncoding::System:
        return m_charsetIsUtf8 ? Form::Utf8 : Form::Charset;
    case TextEncoding::Utf8Bom:
    case TextEncoding::Utf8:
        break;
    }
    return Form::Utf8;
}

std::size_t EncodedCode::make(Form form, LineBreak lineBreak, char* out, std::size_t capacity) const {
    Output o(out, capacity);
    const bool wide = form == Form::Utf16LE || form == Form::Utf16BE;
    const std::string_view brk = EncodedCode::lineBreak(
        wide ? (form == Form::Utf16LE ? TextEncoding::Utf16LE : TextEncoding::Utf16BE) : TextEncoding::System,
        lineBreak);
    std::optional<CharsetConverter> cd;
    if (form == Form::Charset)
        cd.emplace(m_charsets, m_charset, "UTF-8");
    if (cd && !cd->ok())
        throw EncodingError("the character set " + m_charset + " is not known to the system");
    eachLine(
        m_utf8,
        [&](std::string_view piece) {
            if (cd)
                putConverted(o, *cd, piece, m_charset);
            else if (wide)
                putUtf16(o, piece, form == Form::Utf16BE);
            else
                o.put(piece);
        },
        [&] { o.put(brk); });
    return o.size();
}

const std::string& EncodedCode::bytes(TextEncoding encoding, LineBreak lineBreak) {
    const Form form = formOf(encoding);
    if (form == Form::Utf8 && lineBreak == LineBreak::CrLf)
        return m_utf8;
    const auto key = std::make_pair(form, lineBreak);
    if (auto it = m_forms.find(key); it != m_forms.end())
        return it->second;
    // Counted first, then made in a string of its size: no form is ever held twice over.
    const std::size_t size = make(form, lineBreak, nullptr, 0);
    if (m_formBytes + size > std::max(2 * m_utf8.size(), kSpareFormBytes)) {
        m_forms.clear();
        m_formBytes = 0;
    }
    std::string& made = m_forms[key];
    made.resize(size);
    make(form, lineBreak, made.data(), size);
    m_formBytes += size;
    return made;
}

std::string_view EncodedCode::lineBreak(TextEncoding encoding, LineBreak lineBreak) {
    using namespace std::string_view_literals;
    static constexpr std::string_view forms[3][3] = {
        {"\r\n"sv, "\n"sv, "\r"sv},
        {"\r\0\n\0"sv, "\n\0"sv, "\r\0"sv},
        {"\0\r\0\n"sv, "\0\n"sv, "\0\r"sv},
    };
    const std::size_t row = encoding == TextEncoding::Utf16LE ? 1 : encoding == TextEncoding::Utf16BE ? 2 : 0;
    return forms[row][static_cast<std::size_t>(lineBreak)];
}
