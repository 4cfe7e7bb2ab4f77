#pragma once

#include <string>
#include <string_view>

// Line breaks of typed or read code (LF, CR LF or a lone CR) as the CR LF written to files.
std::string toCrLf(std::string_view text);

// The log's CR LF line breaks as plain LF, for a terminal.
std::string toLf(std::string_view text);

// True when text is well-formed UTF-8.
bool isValidUtf8(std::string_view text);
