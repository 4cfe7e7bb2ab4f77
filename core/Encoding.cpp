#include "core/Encoding.h"

#include "core/CharsetConverter.h"
#include "core/CodeText.h"

#include <algorithm>

EncodingMark detectMark(const unsigned char* d, std::size_t n) {
    if (n >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF)
        return {TextEncoding::Utf8Bom, 3};
    if (n >= 2 && d[0] == 0xFF && d[1] == 0xFE)
        return {TextEncoding::Utf16LE, 2};
    if (n >= 2 && d[0] == 0xFE && d[1] == 0xFF)
        return {TextEncoding::Utf16BE, 2};
    return {};
}

bool isUtf8Charset(std::string_view charset) {
    auto same = [charset](std::string_view name) {
        return std::equal(charset.begin(), charset.end(), name.begin(), name.end(),
                          [](char a, char b) { return (a >= 'a' && a <= 'z' ? a - 'a' + 'A' : a) == b; });
    };
    return same("UTF-8") || same("UTF8");
}

std::string utf8ToSystem(std::string_view utf8, platform::Charsets& charsets) {
    const std::string charset = charsets.systemCharset();
    // ASCII reads the same in every charset a system names its output in.
    if (isUtf8Charset(charset) ||
        std::ranges::all_of(utf8, [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(utf8);
    CharsetConverter encode(charsets, charset, "UTF-8");
    if (!encode.ok())
        return std::string(utf8);
    std::string out;
    char32_t cp = 0;
    while (!utf8.empty()) {
        const CharsetConverter::Stop stop = encode.convert(utf8, out);
        if (stop == CharsetConverter::Stop::Done || stop == CharsetConverter::Stop::NoRoom || utf8.empty())
            continue;
        out += '?';
        utf8.remove_prefix(std::max<std::size_t>(1, utf8SequenceAt(utf8, 0, cp)));
    }
    return out;
}
