#pragma once

#include <string>
#include <string_view>

// The windows speak UTF-16; the core and the design tables UTF-8.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view wide);
