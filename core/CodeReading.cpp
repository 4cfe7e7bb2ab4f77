#include "core/CodeReading.h"

#include "core/CodeText.h"
#include "core/FileError.h"

#include <cerrno>
#include <iconv.h>
#include <strings.h>

namespace {

// bytes in charset as UTF-8; throws when any of them is not valid there.
std::string toUtf8(std::string_view bytes, const char* charset) {
    iconv_t cd = ::iconv_open("UTF-8", charset);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw EncodingError(std::string("the character set ") + charset + " is not known to iconv");
    std::string out(bytes.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size(), used = 0;
    std::size_t rc = 0;
    for (;;) {
        char* to = out.data() + used;
        std::size_t outLeft = out.size() - used;
        rc = ::iconv(cd, &in, &inLeft, &to, &outLeft);
        used = out.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1) || errno != E2BIG)
            break;
        out.resize(out.size() * 2);
    }
    ::iconv_close(cd);
    // An incomplete sequence at the end (EINVAL) is as invalid as a wrong one (EILSEQ).
    if (rc == static_cast<std::size_t>(-1))
        throw EncodingError(std::string("the code is not valid ") + charset + " text");
    out.resize(used);
    return out;
}

bool startsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

} // namespace

std::string codeAsUtf8(std::string bytes, const std::string& charset, bool byMark) {
    if (byMark && startsWith(bytes, "\xEF\xBB\xBF"))
        return codeAsUtf8(bytes.erase(0, 3), "UTF-8", false);
    if (byMark && startsWith(bytes, "\xFF\xFE"))
        return toUtf8(std::string_view(bytes).substr(2), "UTF-16LE");
    if (byMark && startsWith(bytes, "\xFE\xFF"))
        return toUtf8(std::string_view(bytes).substr(2), "UTF-16BE");
    if (strcasecmp(charset.c_str(), "UTF-8") != 0 && strcasecmp(charset.c_str(), "UTF8") != 0)
        return toUtf8(bytes, charset.c_str());
    if (!isValidUtf8(bytes))
        throw EncodingError("the code is not valid UTF-8 text");
    return bytes; // taken over: a large code is not copied
}
