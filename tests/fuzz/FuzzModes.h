#pragma once

// The forms a file's text takes for the targets that read it by its characters: plain bytes, both
// UTF-16 orders, and GBK, whose trail bytes look like ASCII.
#include "core/CodePlace.h"
#include "platform/System.h"

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

// A file's start in the mode's form, read with the system's conversions.
inline FileStart startOf(std::string_view text, const Mode& mode, bool whole = true) {
    return {text, mode.encoding, mode.charset, &platform::systemCharsets(), whole};
}

} // namespace fuzz
