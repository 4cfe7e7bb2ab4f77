#include "core/CodeReading.h"

#include "core/CharsetConverter.h"
#include "core/CodeText.h"
#include "core/FileError.h"

namespace {

// bytes in charset as UTF-8; throws when any of them is not valid there.
std::string toUtf8(platform::Charsets& charsets, std::string_view bytes, const std::string& charset) {
    CharsetConverter cd(charsets, "UTF-8", charset);
    if (!cd.ok())
        throw EncodingError("the character set " + charset + " is not known to the system");
    std::string out(bytes.size() * 2 + 16, '\0');
    const char* in = bytes.data();
    std::size_t inLeft = bytes.size(), used = 0;
    CharsetConverter::Stop stop = CharsetConverter::Stop::Done;
    for (;;) {
        char* to = out.data() + used;
        std::size_t outLeft = out.size() - used;
        stop = cd.get().convert(in, inLeft, to, outLeft);
        used = out.size() - outLeft;
        if (stop != CharsetConverter::Stop::NoRoom)
            break;
        out.resize(out.size() * 2);
    }
    // An incomplete sequence at the end is as invalid as a wrong one.
    if (stop != CharsetConverter::Stop::Done)
        throw EncodingError("the code is not valid " + charset + " text");
    out.resize(used);
    return out;
}

bool startsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

} // namespace

std::string codeAsUtf8(platform::Charsets& charsets, std::string bytes, const std::string& charset,
                       bool byMark) {
    if (byMark && startsWith(bytes, "\xEF\xBB\xBF"))
        return codeAsUtf8(charsets, bytes.erase(0, 3), "UTF-8", false);
    if (byMark && startsWith(bytes, "\xFF\xFE"))
        return toUtf8(charsets, std::string_view(bytes).substr(2), "UTF-16LE");
    if (byMark && startsWith(bytes, "\xFE\xFF"))
        return toUtf8(charsets, std::string_view(bytes).substr(2), "UTF-16BE");
    if (!isUtf8Charset(charset))
        return toUtf8(charsets, bytes, charset);
    if (!isValidUtf8(bytes))
        throw EncodingError("the code is not valid UTF-8 text");
    return bytes; // taken over: a large code is not copied
}
