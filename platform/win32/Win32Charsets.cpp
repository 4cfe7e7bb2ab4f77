#include "platform/win32/Win32System.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace platform::win32 {
namespace {

using Stop = CharsetConversion::Stop;

constexpr char32_t kNone = 0xFFFFFFFF;

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool isCharacter(char32_t c) { return c <= 0x10FFFF && !isSurrogate(c); }

// How a charset writes characters as bytes: one character at a time.
class Coding {
public:
    virtual ~Coding() = default;
    // The character at the start of in: Done with c and its length, Invalid or Incomplete.
    virtual Stop decode(const unsigned char* in, std::size_t left, char32_t& c, std::size_t& used) = 0;
    // Writes c's bytes into out (room for 8); 0 where the charset has no such character.
    virtual std::size_t encode(char32_t c, unsigned char* out) = 0;
    // Bytes under 0x80 at a character's start are those ASCII characters.
    virtual bool asciiTransparent() const { return true; }
    // A byte order mark that text in it starts with, if any.
    virtual std::string_view mark() const { return {}; }
};

class Utf8 final : public Coding {
public:
    Stop decode(const unsigned char* in, std::size_t left, char32_t& c, std::size_t& used) override {
        const unsigned char b = in[0];
        const std::size_t n = sequenceLength(b);
        if (n == 0)
            return Stop::Invalid;
        c = n == 1 ? b : b & (0x7F >> n);
        for (std::size_t i = 1; i < n; ++i) {
            if (i >= left)
                return Stop::Incomplete;
            if ((in[i] & 0xC0) != 0x80)
                return Stop::Invalid;
            c = (c << 6) | (in[i] & 0x3F);
            if (i == 1 && outOfRange(n, c))
                return Stop::Invalid;
        }
        used = n;
        return isSurrogate(c) ? Stop::Invalid : Stop::Done;
    }
    std::size_t encode(char32_t c, unsigned char* out) override {
        if (c < 0x80) {
            out[0] = static_cast<unsigned char>(c);
            return 1;
        }
        const std::size_t n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        for (std::size_t i = n - 1; i > 0; --i, c >>= 6)
            out[i] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        out[0] = static_cast<unsigned char>((0xF00 >> n) | c);
        return n;
    }

private:
    // The length of the sequence a lead byte starts; 0 for a byte that starts none.
    static std::size_t sequenceLength(unsigned char b) {
        if (b < 0x80)
            return 1;
        if (b >= 0xC2 && b <= 0xDF)
            return 2;
        if (b >= 0xE0 && b <= 0xEF)
            return 3;
        return b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    }
    // Overlong forms and what lies beyond U+10FFFF, shown by the bits of the first two bytes.
    static bool outOfRange(std::size_t n, char32_t firstTwo) {
        return (n == 3 && firstTwo < 0x20) || (n == 4 && (firstTwo < 0x10 || firstTwo > 0x10F));
    }
};

// UTF-16 and UTF-32 in either byte order; marked ones read a byte order mark (big-endian without
// one) and write a little-endian one.
class Wide final : public Coding {
public:
    Wide(std::size_t unit, bool bigEndian, bool marked) : m_unit(unit), m_big(bigEndian), m_marked(marked) {}

    Stop decode(const unsigned char* in, std::size_t left, char32_t& c, std::size_t& used) override {
        if (left < m_unit)
            return Stop::Incomplete;
        c = unit(in);
        used = m_unit;
        if (m_unit == 4 || !isSurrogate(c))
            return isCharacter(c) ? Stop::Done : Stop::Invalid;
        if (c >= 0xDC00)
            return Stop::Invalid;
        if (left < 4)
            return Stop::Incomplete;
        const char32_t low = unit(in + 2);
        if (low < 0xDC00 || low > 0xDFFF)
            return Stop::Invalid;
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        used = 4;
        return Stop::Done;
    }
    std::size_t encode(char32_t c, unsigned char* out) override {
        if (m_unit == 4 || c < 0x10000) {
            put(c, out);
            return m_unit;
        }
        put(0xD800 + ((c - 0x10000) >> 10), out);
        put(0xDC00 + ((c - 0x10000) & 0x3FF), out + 2);
        return 4;
    }
    bool asciiTransparent() const override { return false; }
    std::string_view mark() const override {
        if (!m_marked)
            return {};
        return m_unit == 2 ? std::string_view("\xFF\xFE", 2) : std::string_view("\xFF\xFE\0\0", 4);
    }
    // A marked charset's mark sets the byte order of what follows.
    void orderBy(bool bigEndian) { m_big = bigEndian; }
    bool marked() const { return m_marked; }
    std::size_t unitSize() const { return m_unit; }

private:
    char32_t unit(const unsigned char* p) const {
        char32_t v = 0;
        for (std::size_t i = 0; i < m_unit; ++i)
            v |= char32_t{p[m_big ? m_unit - 1 - i : i]} << (8 * i);
        return v;
    }
    void put(char32_t v, unsigned char* p) const {
        const std::size_t n = m_unit == 4 ? 4 : 2;
        for (std::size_t i = 0; i < n; ++i)
            p[m_big ? n - 1 - i : i] = static_cast<unsigned char>(v >> (8 * i));
    }

    std::size_t m_unit;
    bool m_big;
    bool m_marked;
};

// A Windows code page: single-byte, double-byte (lead bytes from the system) or GB18030.
class CodePage final : public Coding {
public:
    CodePage(UINT cp, bool doubleByte) : m_cp(cp), m_doubleByte(doubleByte) {
        char ascii[128];
        wchar_t wide[128];
        for (int i = 0; i < 128; ++i)
            ascii[i] = static_cast<char>(i);
        m_ascii = ::MultiByteToWideChar(cp, 0, ascii, 128, wide, 128) == 128 &&
                  std::equal(wide, wide + 128, ascii, [](wchar_t w, char a) { return w == wchar_t(a); });
    }

    Stop decode(const unsigned char* in, std::size_t left, char32_t& c, std::size_t& used) override {
        const std::size_t n = length(in, left);
        if (n == 0)
            return Stop::Invalid;
        if (n > left)
            return Stop::Incomplete;
        c = toChar(in, n);
        used = n;
        return c == kNone ? Stop::Invalid : Stop::Done;
    }

    // Never a look-alike or the default character: what does not come back as c is not in the code page.
    std::size_t encode(char32_t c, unsigned char* out) override {
        wchar_t wide[2];
        int units = 1;
        if (c < 0x10000) {
            wide[0] = static_cast<wchar_t>(c);
        } else {
            wide[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            wide[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            units = 2;
        }
        BOOL usedDefault = FALSE;
        const bool strict = m_cp != 54936; // GB18030 takes no such flags, and holds every character
        const int n =
            ::WideCharToMultiByte(m_cp, strict ? WC_NO_BEST_FIT_CHARS : 0, wide, units,
                                  reinterpret_cast<char*>(out), 8, nullptr, strict ? &usedDefault : nullptr);
        if (n <= 0 || usedDefault || static_cast<std::size_t>(n) != length(out, 8) ||
            toChar(out, static_cast<std::size_t>(n)) != c)
            return 0;
        return static_cast<std::size_t>(n);
    }

    bool asciiTransparent() const override { return m_ascii; }

private:
    // The length of the character that in starts with, as its first bytes tell; 0 for no character.
    std::size_t length(const unsigned char* in, std::size_t left) const {
        const unsigned char b = in[0];
        if (m_cp == 54936) {
            if (b < 0x80)
                return 1;
            if (b == 0x80 || b == 0xFF)
                return 0;
            if (left < 2)
                return 2;
            return in[1] >= 0x30 && in[1] <= 0x39 ? 4 : 2;
        }
        return m_doubleByte && ::IsDBCSLeadByteEx(m_cp, b) ? 2 : 1;
    }

    char32_t toChar(const unsigned char* in, std::size_t n) const {
        wchar_t wide[4];
        const int units = ::MultiByteToWideChar(m_cp, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(in),
                                                static_cast<int>(n), wide, 4);
        if (units == 1 && !isSurrogate(wide[0]))
            return wide[0];
        if (units == 2 && wide[0] >= 0xD800 && wide[0] < 0xDC00 && wide[1] >= 0xDC00 && wide[1] <= 0xDFFF)
            return 0x10000 + ((char32_t(wide[0]) - 0xD800) << 10) + (char32_t(wide[1]) - 0xDC00);
        return kNone;
    }

    UINT m_cp;
    bool m_doubleByte;
    bool m_ascii = false;
};

class Conversion final : public CharsetConversion {
public:
    Conversion(std::unique_ptr<Coding> to, std::unique_ptr<Coding> from)
        : m_to(std::move(to)), m_from(std::move(from)),
          m_asciiRuns(m_to->asciiTransparent() && m_from->asciiTransparent()) {}

    Stop convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) override {
        if (Stop s = startText(in, inLeft, out, outLeft); s != Stop::Done)
            return s;
        while (inLeft > 0) {
            if (m_asciiRuns && copyAscii(in, inLeft, out, outLeft))
                continue;
            if (outLeft == 0)
                return Stop::NoRoom;
            const auto* bytes = reinterpret_cast<const unsigned char*>(in);
            char32_t c = 0;
            std::size_t used = 0;
            if (Stop s = m_from->decode(bytes, inLeft, c, used); s != Stop::Done)
                return s;
            unsigned char buf[8];
            const std::size_t n = m_to->encode(c, buf);
            if (n == 0)
                return Stop::Invalid;
            if (n > outLeft)
                return Stop::NoRoom;
            std::memcpy(out, buf, n);
            out += n;
            outLeft -= n;
            in += used;
            inLeft -= used;
        }
        return Stop::Done;
    }

    Stop flush(char*& /*out*/, std::size_t& /*outLeft*/) override {
        reset();
        return Stop::Done;
    }

    void reset() override {
        m_markRead = m_markWritten = false;
        if (auto* wide = dynamic_cast<Wide*>(m_from.get()); wide && wide->marked())
            wide->orderBy(true);
    }

private:
    // Copies the ASCII bytes at in's start as they are; false where there are none.
    bool copyAscii(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
        std::size_t n = 0;
        const std::size_t most = std::min(inLeft, outLeft);
        while (n < most && static_cast<unsigned char>(in[n]) < 0x80)
            ++n;
        std::memcpy(out, in, n);
        in += n;
        out += n;
        inLeft -= n;
        outLeft -= n;
        return n > 0;
    }

    // A marked source's mark is read, a marked target's written, once per text.
    Stop startText(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
        if (auto* wide = dynamic_cast<Wide*>(m_from.get()); wide && wide->marked() && !m_markRead) {
            const std::size_t unit = wide->unitSize();
            if (inLeft == 0)
                return Stop::Done;
            if (inLeft < unit)
                return Stop::Incomplete;
            const std::string_view head(in, unit);
            const bool little = head == std::string_view("\xFF\xFE\0\0", unit);
            const bool big = unit == 2 ? head == "\xFE\xFF" : head == std::string_view("\0\0\xFE\xFF", 4);
            if (little || big) {
                wide->orderBy(big);
                in += unit;
                inLeft -= unit;
            }
            m_markRead = true;
        }
        const std::string_view mark = m_to->mark();
        if (!mark.empty() && !m_markWritten && inLeft > 0) {
            if (outLeft < mark.size())
                return Stop::NoRoom;
            std::memcpy(out, mark.data(), mark.size());
            out += mark.size();
            outLeft -= mark.size();
            m_markWritten = true;
        }
        return Stop::Done;
    }

    std::unique_ptr<Coding> m_to;
    std::unique_ptr<Coding> m_from;
    const bool m_asciiRuns;
    bool m_markRead = false;
    bool m_markWritten = false;
};

std::string upper(std::string name) {
    for (char& ch : name)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return name;
}

// The number after prefix in name, or 0.
UINT numberAfter(const std::string& name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.size() > prefix.size() + 5)
        return 0;
    UINT n = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return 0;
        n = n * 10 + static_cast<UINT>(name[i] - '0');
    }
    return n;
}

UINT codePageOf(const std::string& name) {
    struct Alias {
        std::string_view name;
        UINT cp;
    };
    static constexpr Alias kAliases[] = {
        {"GBK", 936},           {"GB2312", 936},        {"EUC-CN", 936},   {"MS936", 936},
        {"GB18030", 54936},     {"BIG5", 950},          {"BIG-5", 950},    {"SHIFT_JIS", 932},
        {"SHIFT-JIS", 932},     {"SJIS", 932},          {"MS_KANJI", 932}, {"WINDOWS-31J", 932},
        {"EUC-KR", 949},        {"UHC", 949},           {"LATIN1", 28591}, {"US-ASCII", 20127},
        {"ASCII", 20127},       {"KOI8-R", 20866},      {"KOI8-U", 21866}, {"MACINTOSH", 10000},
        {"ISO-8859-13", 28603}, {"ISO-8859-15", 28605},
    };
    for (const Alias& a : kAliases)
        if (name == a.name)
            return a.cp;
    for (std::string_view prefix : {"CP", "WINDOWS-", "IBM"})
        if (UINT cp = numberAfter(name, prefix))
            return cp;
    for (std::string_view prefix : {"ISO-8859-", "ISO8859-", "ISO_8859-"})
        if (UINT n = numberAfter(name, prefix); n >= 1 && n <= 9)
            return 28590 + n;
    return 0;
}

std::unique_ptr<Coding> codingOf(const std::string& charset) {
    const std::string name = upper(charset);
    if (name == "UTF-8" || name == "UTF8" || name == "CP65001")
        return std::make_unique<Utf8>();
    if (name == "UTF-16LE" || name == "UTF-16BE" || name == "UTF-16")
        return std::make_unique<Wide>(2, name == "UTF-16BE" || name == "UTF-16", name == "UTF-16");
    if (name == "UTF-32LE" || name == "UTF-32BE" || name == "UTF-32")
        return std::make_unique<Wide>(4, name == "UTF-32BE" || name == "UTF-32", name == "UTF-32");
    const UINT cp = codePageOf(name);
    CPINFO info{};
    if (cp == 0 || !::IsValidCodePage(cp) || !::GetCPInfo(cp, &info))
        return nullptr;
    if (cp == 54936)
        return std::make_unique<CodePage>(cp, true);
    // Code pages with shift states or longer characters (ISO-2022, EUC-JP, UTF-7) are not read
    // character by character here.
    if (info.MaxCharSize == 1 || (info.MaxCharSize == 2 && info.LeadByte[0] != 0))
        return std::make_unique<CodePage>(cp, info.MaxCharSize == 2);
    return nullptr;
}

class Win32Charsets final : public Charsets {
public:
    std::unique_ptr<CharsetConversion> open(const std::string& to, const std::string& from) override {
        std::unique_ptr<Coding> target = codingOf(to);
        std::unique_ptr<Coding> source = codingOf(from);
        if (!target || !source)
            return nullptr;
        return std::make_unique<Conversion>(std::move(target), std::move(source));
    }

    std::string systemCharset() override {
        const UINT cp = ::GetACP();
        return cp == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(cp);
    }
    // File names arrive as UTF-16 and leave the file system as UTF-8.
    std::string nameCharset() override { return "UTF-8"; }
};

} // namespace

Charsets& charsets() {
    static Win32Charsets charsets;
    return charsets;
}

} // namespace platform::win32

namespace platform {
Charsets& systemCharsets() { return win32::charsets(); }
} // namespace platform
