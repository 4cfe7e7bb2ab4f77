#pragma once

#include "cli/Options.h"

#include <optional>
#include <stdexcept>
#include <string>

// The code cannot be had; what() says from where and why.
class CodeUnreadable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The code as given: --code, else the bytes of --code-file, else standard input, as UTF-8 (the
// run takes a final line break as the code's own). Throws CodeUnreadable, and EncodingError when the
// code is not valid text in the locale's character set (or in the one its byte-order mark names).
std::string readCode(const Options& options, bool stdinWasClosed);

// The old code of --replace or --replace-file, read as the code is; none without either.
std::optional<std::string> readOldCode(const Options& options);

// A typed argument (a marker, an exclusion) as UTF-8. Throws EncodingError.
std::string typedText(const std::string& text);
