#include "core/ShownNames.h"

#include "core/CharsetConverter.h"
#include "core/CodeText.h"

#include <algorithm>

namespace {

bool plainAscii(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return c >= 0x20 && c <= 0x7E && c != '\\'; });
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

std::string shownUtf8(std::string_view utf8) {
    if (plainAscii(utf8))
        return std::string(utf8);
    std::string out;
    appendEscaped(out, utf8);
    return out;
}

std::string shownText(std::string_view bytes, platform::Charsets& charsets) {
    if (plainAscii(bytes))
        return std::string(bytes);
    std::string out;
    const std::string charset = charsets.nameCharset();
    CharsetConverter decode(charsets, "UTF-8", charset);
    if (isUtf8Charset(charset) || !decode.ok()) {
        appendEscaped(out, bytes);
        return out;
    }
    std::string piece;
    while (!bytes.empty()) {
        piece.clear();
        const CharsetConverter::Stop stop = decode.convert(bytes, piece);
        appendEscaped(out, piece);
        if (stop != CharsetConverter::Stop::Done && stop != CharsetConverter::Stop::NoRoom &&
            !bytes.empty()) {
            appendOctal(out, static_cast<unsigned char>(bytes.front()));
            bytes.remove_prefix(1);
        }
    }
    return out;
}

std::string shownPath(std::string_view path, platform::Charsets& charsets, const platform::PathRules& paths) {
    std::string out;
    for (std::size_t from = 0;;) {
        const std::size_t at = path.find_first_of(paths.separators, from);
        out += shownText(path.substr(from, at == std::string_view::npos ? at : at - from), charsets);
        if (at == std::string_view::npos)
            return out;
        out += path[at];
        from = at + 1;
    }
}
