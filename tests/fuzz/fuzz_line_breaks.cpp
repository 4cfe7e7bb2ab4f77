// The first line break of a file, read whole and read in two overlapping pieces as a long first
// line is, against a plain search for it; and whether text ends in a line break.
#include "FuzzInput.h"
#include "FuzzModes.h"

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
    const fuzz::Mode& mode = fuzz::kModes[in.byte() % 3]; // bytes or UTF-16, not GBK
    const unsigned cutAt = in.byte();
    const fuzz::Exact text(in.rest());
    const std::vector<unsigned> units = fuzz::unitsOf(text.view(), mode.width, mode.bigEndian);

    const std::optional<LineBreak> whole = firstLineBreak(text.view(), mode.encoding, true);
    fuzz::require(whole == reference(units, true), "the first line break of a whole text");
    const bool ends = !units.empty() && (units.back() == '\r' || units.back() == '\n');
    fuzz::require(endsInLineBreak(text.view(), mode.encoding) == ends, "a text ending in a line break");

    // Read as a long first line is: a start, then from its last unit on to the end.
    const std::size_t cut = units.empty() ? 0 : (cutAt % (units.size() + 1)) * mode.width;
    const fuzz::Exact start(text.view().substr(0, cut));
    std::optional<LineBreak> found = firstLineBreak(start.view(), mode.encoding, false);
    fuzz::require(found == reference(fuzz::unitsOf(start.view(), mode.width, mode.bigEndian), false),
                  "the first line break of a start");
    if (!found && cut > 0) {
        const fuzz::Exact on(text.view().substr(cut - mode.width));
        found = firstLineBreak(on.view(), mode.encoding, true);
    } else if (!found) {
        found = whole;
    }
    fuzz::require(found == whole, "a first line break read in two pieces is the one read whole");
    return 0;
}
