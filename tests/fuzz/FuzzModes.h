#pragma once

// The forms a file's text takes for the targets that read it by its characters: plain bytes, both
// UTF-16 orders, and GBK, whose trail bytes look like ASCII.
#include "core/CodePlace.h"

namespace fuzz {

struct Mode {
    TextEncoding encoding;
    const char* charset; // of a file without a mark whose characters need care
    int width;
    bool bigEndian;
};
inline constexpr Mode kModes[] = {{TextEncoding::System, "", 1, false},
                                  {TextEncoding::Utf16LE, "", 2, false},
                                  {TextEncoding::Utf16BE, "", 2, true},
                                  {TextEncoding::System, "GBK", 1, false}};

} // namespace fuzz
