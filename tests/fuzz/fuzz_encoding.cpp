// How a file's first bytes choose its encoding (byte-order mark, NUL, UTF-8 or not) and UTF-8
// validation, each against a reference written from the encoding's own rules. (The code's forms in
// each encoding: the core's tables.)
#include "FuzzInput.h"
#include "core/CodeText.h"
#include "core/Encoding.h"
#include "platform/System.h"

#include <algorithm>
#include <utility>

namespace {

// The length of the well-formed UTF-8 sequence at text[i], 0 for none; cut: it may go on past text.
std::size_t wellFormed(std::string_view text, std::size_t i, bool& cut) {
    struct Lead {
        unsigned char from, to, length, low, high; // lead bytes, sequence length, second byte's range
    };
    static constexpr Lead kLeads[] = {
        {0x00, 0x7F, 1, 0, 0},       {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF},
        {0xE1, 0xEC, 3, 0x80, 0xBF}, {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF},
        {0xF0, 0xF0, 4, 0x90, 0xBF}, {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F}};
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    cut = false;
    for (const Lead& lead : kLeads) {
        if (at(0) < lead.from || at(0) > lead.to)
            continue;
        for (std::size_t k = 1; k < lead.length; ++k) {
            if (i + k == text.size())
                return cut = true, 0;
            if (at(k) < (k == 1 ? lead.low : 0x80) || at(k) > (k == 1 ? lead.high : 0xBF))
                return 0;
        }
        return lead.length;
    }
    return 0;
}

// Well-formed UTF-8; with startOnly, a last sequence cut short at the end counts.
bool isUtf8(std::string_view text, bool startOnly) {
    for (std::size_t i = 0, n = 0; i < text.size(); i += n) {
        bool cut = false;
        if ((n = wellFormed(text, i, cut)) == 0)
            return startOnly && cut;
    }
    return true;
}

void checkUtf8(std::string_view text) {
    const bool valid = isUtf8(text, false);
    fuzz::require(isValidUtf8(text) == valid, "UTF-8 validation");
    char32_t cp = 0;
    for (std::size_t i = 0, n = 0; valid && i < text.size(); i += n) {
        n = utf8SequenceAt(text, i, cp);
        char32_t ref = static_cast<unsigned char>(text[i]) & (n == 1 ? 0x7F : 0x3F >> (n - 1));
        for (std::size_t k = 1; k < n; ++k)
            ref = ref << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        fuzz::require(n > 0 && cp == ref, "the value of a UTF-8 sequence");
    }
}

// A file's start as the run judges it: by its mark; a NUL is no text; beyond ASCII, UTF-8 or the
// system's charset, which the code beyond ASCII cannot be told apart from where that is UTF-8 too.
EncodingMark expected(std::string_view start, bool whole, bool gbk, bool asciiCode) {
    for (const auto& [mark, encoding] : {std::pair{"\xEF\xBB\xBF", TextEncoding::Utf8Bom},
                                         {"\xFF\xFE", TextEncoding::Utf16LE},
                                         {"\xFE\xFF", TextEncoding::Utf16BE}})
        if (start.starts_with(mark))
            return {encoding, std::string_view(mark).size()};
    if (start.find('\0') != std::string_view::npos)
        return {TextEncoding::System, 0, Refusal::HoldsNul};
    if (std::ranges::all_of(start, [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return {};
    if (isUtf8(start, !whole))
        return {TextEncoding::Utf8, 0};
    return {TextEncoding::System, 0, gbk || asciiCode ? Refusal::None : Refusal::NotUtf8Text};
}

void checkEncodingOf(std::string_view start, bool whole, bool gbk, bool asciiCode) {
    const EncodedCode code(platform::systemCharsets(), asciiCode ? "a" : "\xC3\xA9", gbk ? "GBK" : "UTF-8");
    const EncodingMark got = code.encodingOf(start, whole), want = expected(start, whole, gbk, asciiCode);
    const EncodingMark mark = detectMark(reinterpret_cast<const unsigned char*>(start.data()), start.size());
    fuzz::require(mark.markLength == want.markLength, "a byte-order mark");
    fuzz::require(got.encoding == want.encoding && got.markLength == want.markLength &&
                      got.refusal == want.refusal,
                  "the encoding of a file by its start");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const unsigned mode = in.byte();
    const fuzz::Exact text(in.rest());
    checkUtf8(text.view());
    checkEncodingOf(text.view(), (mode & 1) != 0, (mode & 2) != 0, (mode & 4) != 0);
    return 0;
}
