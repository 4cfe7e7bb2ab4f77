#include "core/CodeText.h"

#include <cstdio>

std::string toCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string toLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i];
    }
    return out;
}

std::size_t utf8SequenceAt(std::string_view text, std::size_t i, char32_t& cp) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t len = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > text.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        auto cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return len;
}

bool isValidUtf8(std::string_view text) {
    char32_t cp = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = utf8SequenceAt(text, i, cp);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

namespace {

bool isControl(char32_t cp) {
    return (cp < 0x20 && cp != '\t' && cp != '\r' && cp != '\n') || (cp >= 0x7F && cp <= 0x9F);
}

} // namespace

CodeFault codeFault(std::string_view utf8) {
    using Kind = CodeFault::Kind;
    if (utf8.find_first_not_of("\r\n") == std::string_view::npos)
        return {Kind::Empty, utf8.empty() ? "the code is empty" : "the code holds nothing but line breaks"};
    char32_t cp = 0;
    for (std::size_t i = 0, len = 0; i < utf8.size(); i += len ? len : 1) {
        len = utf8SequenceAt(utf8, i, cp);
        if (len != 0 && isControl(cp)) {
            char name[8];
            std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(cp));
            return {Kind::Control, std::string("the code holds the control character ") + name +
                                       " (of those, only tab, CR and LF may be in it)"};
        }
    }
    return {};
}
