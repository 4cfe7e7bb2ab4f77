#pragma once

#include "platform/Charsets.h"

#include <string>
#include <string_view>

// The code as the user gave it (typed on a command line, read from a file or a pipe) turned into
// the UTF-8 the core works in. bytes are in charset (the locale's); with byMark, bytes that begin
// with a byte-order mark (UTF-8, UTF-16 LE or BE) are read by that mark instead, the mark dropped.
// Throws EncodingError when the bytes are not valid text in their character set.
std::string codeAsUtf8(platform::Charsets& charsets, std::string bytes, const std::string& charset,
                       bool byMark);
