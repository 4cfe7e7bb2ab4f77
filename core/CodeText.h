#pragma once

#include <string>
#include <string_view>

// Line breaks of typed or read code (LF, CR LF or a lone CR) as the CR LF written to files.
std::string toCrLf(std::string_view text);

// The log's CR LF line breaks as plain LF, for a terminal.
std::string toLf(std::string_view text);

// The length of the well-formed UTF-8 sequence at text[i] (its value in cp), or 0 when there is none.
std::size_t utf8SequenceAt(std::string_view text, std::size_t i, char32_t& cp);

// True when text is well-formed UTF-8.
bool isValidUtf8(std::string_view text);

// Why a code (well-formed UTF-8) cannot be added to text files. A code of line breaks alone adds
// nothing but line breaks (Empty), and a control character other than tab, CR and LF (NUL, a form
// feed, an escape, DEL, one of U+0080 to U+009F) has no place in a text file: after a NUL the file
// is no text to the next run, which could not take the code out again.
struct CodeFault {
    enum class Kind { None, Empty, Control };
    Kind kind = Kind::None;
    std::string reason; // in English; empty for None
};
CodeFault codeFault(std::string_view utf8);
