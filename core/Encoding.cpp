#include "core/Encoding.h"

#include "core/CodeText.h"
#include "core/FileError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>

EncodingMark detectMark(const unsigned char* d, std::size_t n) {
    if (n >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF)
        return {TextEncoding::Utf8Bom, 3};
    if (n >= 2 && d[0] == 0xFF && d[1] == 0xFE)
        return {TextEncoding::Utf16LE, 2};
    if (n >= 2 && d[0] == 0xFE && d[1] == 0xFF)
        return {TextEncoding::Utf16BE, 2};
    return {};
}

std::string systemCharset() {
    const char* cs = nl_langinfo(CODESET);
    if (!cs || !*cs || std::strcmp(cs, "ANSI_X3.4-1968") == 0 || strcasecmp(cs, "ASCII") == 0)
        return "UTF-8";
    return cs;
}

namespace {

bool isUtf8Name(const std::string& charset) {
    return strcasecmp(charset.c_str(), "UTF-8") == 0 || strcasecmp(charset.c_str(), "UTF8") == 0;
}

// One conversion descriptor, closed however the conversion ends.
class Converter {
public:
    explicit Converter(const std::string& charset) : Converter(charset, "UTF-8") {}
    Converter(const std::string& to, const std::string& from) : m_cd(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (ok())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }
    // Converts as much of in as it can, appending to out; false (errno set) where it stopped short.
    bool convert(std::string_view& in, std::string& out) {
        std::string buf(in.size() * 4 + 16, '\0');
        char* from = const_cast<char*>(in.data());
        std::size_t fromLeft = in.size();
        char* to = buf.data();
        std::size_t toLeft = buf.size();
        std::size_t rc = iconv(m_cd, &from, &fromLeft, &to, &toLeft);
        const int err = errno;
        out.append(buf.data(), buf.size() - toLeft);
        in.remove_prefix(in.size() - fromLeft);
        if (rc != static_cast<std::size_t>(-1))
            return true;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // start afresh after the bad input
        errno = err;
        return false;
    }

private:
    iconv_t m_cd;
};

std::string convertWithIconv(const std::string& text, const std::string& charset) {
    Converter cd(charset);
    if (!cd.ok())
        throw EncodingError("the system encoding " + charset + " is not known to iconv");
    // Grown on demand: a large code must not cost several times its size up front.
    std::string out(text.size() + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    std::size_t used = 0;
    for (bool flushing = false;;) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        std::size_t rc = flushing ? iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft)
                                  : iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1)) {
            if (flushing)
                break;
            flushing = true;
        } else if (errno == E2BIG) {
            out.resize(out.size() + out.size() / 2 + 16);
        } else {
            // iconv renders unmappable characters as something else only with //TRANSLIT; we never ask it to.
            throw EncodingError("the code holds characters that cannot be written in " + charset);
        }
    }
    out.resize(used);
    return out;
}

void appendUtf16(std::string& out, char16_t unit, bool bigEndian) {
    auto hi = static_cast<char>(unit >> 8);
    auto lo = static_cast<char>(unit & 0xFF);
    if (bigEndian) {
        out += hi;
        out += lo;
    } else {
        out += lo;
        out += hi;
    }
}

// Valid UTF-8 in, UTF-16 out.
std::string toUtf16(std::string_view s, bool bigEndian) {
    std::string out;
    out.reserve(s.size() * 2);
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
        cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            appendUtf16(out, static_cast<char16_t>(0xD800 + (cp >> 10)), bigEndian);
            appendUtf16(out, static_cast<char16_t>(0xDC00 + (cp & 0x3FF)), bigEndian);
        } else {
            appendUtf16(out, static_cast<char16_t>(cp), bigEndian);
        }
    }
    return out;
}

// The text with each CR LF as another line break.
std::string withLineBreaks(std::string_view crLfText, std::string_view lineBreak) {
    std::string out;
    out.reserve(crLfText.size());
    for (std::size_t i = 0; i < crLfText.size(); ++i) {
        if (crLfText[i] == '\r' && i + 1 < crLfText.size() && crLfText[i + 1] == '\n') {
            out += lineBreak;
            ++i;
        } else {
            out += crLfText[i];
        }
    }
    return out;
}

bool plainAscii(std::string_view text) {
    for (char c : text)
        if (c < 0x20 || c > 0x7E || c == '\\')
            return false;
    return true;
}

void appendOctal(std::string& out, unsigned char byte) {
    out += '\\';
    out += static_cast<char>('0' + (byte >> 6));
    out += static_cast<char>('0' + ((byte >> 3) & 7));
    out += static_cast<char>('0' + (byte & 7));
}

// UTF-8 in; what is not well-formed, and every control character (C1 included), comes out escaped.
void appendEscaped(std::string& out, std::string_view utf8) {
    char32_t cp = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t len = utf8SequenceAt(utf8, i, cp);
        if (len == 0) {
            appendOctal(out, static_cast<unsigned char>(utf8[i++]));
            continue;
        }
        if (cp == '\\')
            out += "\\\\";
        else if (cp == '\n')
            out += "\\n";
        else if (cp == '\t')
            out += "\\t";
        else if (cp == '\r')
            out += "\\r";
        else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
            for (std::size_t k = 0; k < len; ++k)
                appendOctal(out, static_cast<unsigned char>(utf8[i + k]));
        else
            out.append(utf8, i, len);
        i += len;
    }
}

} // namespace

EncodedCode::EncodedCode(std::string utf8Code, const std::string& charset)
    : m_utf8(std::move(utf8Code)), m_charset(charset) {
    if (!isValidUtf8(m_utf8))
        throw EncodingError("the code is not valid UTF-8 text");
    m_utf8 += "\r\n";
    m_systemIsUtf8 = isUtf8Name(charset);
    if (!m_systemIsUtf8)
        m_system = convertWithIconv(m_utf8, charset);
}

const std::string& EncodedCode::bytes(TextEncoding encoding, LineBreak lineBreak) {
    if (lineBreak == LineBreak::CrLf && encoding != TextEncoding::Utf16LE &&
        encoding != TextEncoding::Utf16BE)
        return encoding == TextEncoding::System && !m_systemIsUtf8 ? m_system : m_utf8;
    // One other form at a time: a large code in both UTF-16 orders would otherwise be held three times.
    if (m_otherEncoding != encoding || m_otherBreak != lineBreak || m_other.empty()) {
        m_other.clear();
        m_other.shrink_to_fit();
        // Line breaks are ASCII: a code that has a form with CR LF has one with every other break.
        const std::string changed = lineBreak == LineBreak::CrLf
                                        ? std::string()
                                        : withLineBreaks(m_utf8, lineBreak == LineBreak::Lf ? "\n" : "\r");
        const std::string& utf8 = lineBreak == LineBreak::CrLf ? m_utf8 : changed;
        if (encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE)
            m_other = toUtf16(utf8, encoding == TextEncoding::Utf16BE);
        else if (encoding == TextEncoding::System && !m_systemIsUtf8)
            m_other = convertWithIconv(utf8, m_charset);
        else
            m_other = utf8;
        m_otherEncoding = encoding;
        m_otherBreak = lineBreak;
    }
    return m_other;
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

std::string shownText(std::string_view bytes) {
    if (plainAscii(bytes))
        return std::string(bytes);
    std::string out;
    const std::string charset = systemCharset();
    Converter decode("UTF-8", charset);
    if (isUtf8Name(charset) || !decode.ok()) {
        appendEscaped(out, bytes);
        return out;
    }
    std::string piece;
    while (!bytes.empty()) {
        piece.clear();
        const bool whole = decode.convert(bytes, piece);
        appendEscaped(out, piece);
        if (!whole && !bytes.empty() && errno != E2BIG) {
            appendOctal(out, static_cast<unsigned char>(bytes.front()));
            bytes.remove_prefix(1);
        }
    }
    return out;
}

std::string utf8ToLocale(std::string_view utf8) {
    const std::string charset = systemCharset();
    if (isUtf8Name(charset) || plainAscii(utf8))
        return std::string(utf8);
    Converter encode(charset, "UTF-8");
    if (!encode.ok())
        return std::string(utf8);
    std::string out;
    char32_t cp = 0;
    while (!utf8.empty()) {
        if (encode.convert(utf8, out) || utf8.empty() || errno == E2BIG)
            continue;
        out += '?';
        utf8.remove_prefix(std::max<std::size_t>(1, utf8SequenceAt(utf8, 0, cp)));
    }
    return out;
}
