// The lines that stay in front of a head's code: what a start of the file decides is what the whole
// file decides, the code's place never splits a CR LF, and a line put at that place leaves the
// preamble where it was.
#include "FuzzInput.h"
#include "FuzzModes.h"
#include "core/CodePlace.h"

#include <vector>

namespace {

using fuzz::Mode;
using fuzz::startOf;

void checkShape(const Preamble& p, std::string_view text, const Mode& mode) {
    fuzz::require(p.known, "a whole file tells where its preamble ends");
    fuzz::require(!p.places.empty() && p.places.front() == 0 && p.places.back() == p.length,
                  "the places run from the start to the preamble's end");
    for (std::size_t i = 1; i < p.places.size(); ++i)
        fuzz::require(p.places[i - 1] <= p.places[i], "each place behind the one before");
    fuzz::require(p.length <= text.size() && p.length % mode.width == 0,
                  "the preamble is whole units of the text");
    const std::vector<unsigned> u = fuzz::unitsOf(text, mode.width, mode.bigEndian);
    const std::size_t end = p.length / mode.width;
    fuzz::require(end == 0 || end == u.size() || u[end - 1] == '\n' || u[end - 1] == '\r' ||
                      u[end - 1] == '>',
                  "a preamble ends in a line break or a declaration's '>'");
    fuzz::require(end == 0 || end == u.size() || u[end - 1] != '\r' || u[end] != '\n',
                  "the code never goes between CR and LF");
    const bool broken = end > 0 && (u[end - 1] == '\n' || u[end - 1] == '\r');
    fuzz::require(p.lacksBreak == (end > 0 && end == u.size() && !broken),
                  "only a preamble that is the whole file lacks a break");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const Mode& mode = fuzz::kModes[in.byte() % std::size(fuzz::kModes)];
    const unsigned cutAt = in.byte();
    const fuzz::Exact text(in.rest());
    const Preamble whole = findPreamble(startOf(text.view(), mode));
    checkShape(whole, text.view(), mode);

    const fuzz::Exact start(text.view().substr(0, cutAt % (text.view().size() + 1)));
    const Preamble part = findPreamble(startOf(start.view(), mode, false));
    fuzz::require(!part.known || (part.length == whole.length && part.places == whole.places &&
                                  part.lacksBreak == whole.lacksBreak),
                  "what a start of the file tells, the whole file tells too");

    if (whole.lacksBreak)
        return 0;
    const std::string_view all = text.view();
    const std::string line = fuzz::widen("stepwick\r\n", mode.width, mode.bigEndian);
    const fuzz::Exact added(std::string(all.substr(0, whole.length)) + line +
                            std::string(all.substr(whole.length)));
    fuzz::require(findPreamble(startOf(added.view(), mode)).length == whole.length,
                  "a line put behind the preamble leaves the preamble as it was");
    return 0;
}
