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
