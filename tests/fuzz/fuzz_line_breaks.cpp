// The first line break of a file, read whole and read in two overlapping pieces as a long first
// line is, against a plain search for it; and whether text ends in a line break.
#include "FuzzInput.h"
#include "core/CodePlace.h"

#include <optional>
#include <vector>

namespace {

// The break that the first CR or LF starts; a CR that ends all there is may be half a CR LF.
std::optional<LineBreak> reference(const std::vector<unsigned>& u, bool whole) {
    std::size_t i = 0;
    while (i < u.size() && u[i] != '\r' && u[i] != '\n')
        ++i;
    if (i == u.size())
        return std::nullopt;
    if (u[i] == '\n')
        return LineBreak::Lf;
    if (i + 1 == u.size())
        return whole ? std::optional(LineBreak::Cr) : std::nullopt;
    return u[i + 1] == '\n' ? LineBreak::CrLf : LineBreak::Cr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const unsigned mode = in.byte() % 3;
    const unsigned cutAt = in.byte();
    const TextEncoding encoding = mode == 0   ? TextEncoding::System
                                  : mode == 1 ? TextEncoding::Utf16LE
                                              : TextEncoding::Utf16BE;
    const int width = mode == 0 ? 1 : 2;
    const fuzz::Exact text(in.rest());
    const std::vector<unsigned> units = fuzz::unitsOf(text.view(), width, mode == 2);

    const std::optional<LineBreak> whole = firstLineBreak(text.view(), encoding, true);
    fuzz::require(whole == reference(units, true), "the first line break of a whole text");
    const bool ends = !units.empty() && (units.back() == '\r' || units.back() == '\n');
    fuzz::require(endsInLineBreak(text.view(), encoding) == ends, "a text ending in a line break");

    // Read as a long first line is: a start, then from its last unit on to the end.
    const std::size_t cut = units.empty() ? 0 : (cutAt % (units.size() + 1)) * width;
    const fuzz::Exact start(text.view().substr(0, cut));
    std::optional<LineBreak> found = firstLineBreak(start.view(), encoding, false);
    fuzz::require(found == reference(fuzz::unitsOf(start.view(), width, mode == 2), false),
                  "the first line break of a start");
    if (!found && cut > 0) {
        const fuzz::Exact on(text.view().substr(cut - width));
        found = firstLineBreak(on.view(), encoding, true);
    } else if (!found) {
        found = whole;
    }
    fuzz::require(found == whole, "a first line break read in two pieces is the one read whole");
    return 0;
}
