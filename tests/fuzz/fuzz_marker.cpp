// The code beside a marker: its place is whole units inside the text, and the code put there as
// the place says (on its own line or inline) is found there again, and taking it out gives back
// every byte.
#include "FuzzInput.h"
#include "FuzzModes.h"
#include "core/MarkerPlace.h"

#include <string>

namespace {

using fuzz::startOf;
constexpr const char* kTags[] = {"</body>", "</head>", "<body>", "<head>"};

// A code of printable ASCII with no '<', '>', '-' or quote: nothing that could open a comment or a
// tag, or close an attribute value left open in front of it.
std::string codeOf(std::string_view raw) {
    std::string code;
    for (char c : raw)
        if (c >= ' ' && c <= '~' && std::string_view("<>-\"'").find(c) == std::string_view::npos)
            code += c;
    return code.empty() ? "C" : code;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const fuzz::Mode& mode = fuzz::kModes[in.byte() % std::size(fuzz::kModes)];
    const unsigned options = in.byte();
    const bool last = (options & 1) != 0, tag = (options & 2) != 0;
    // A tag, or exact text: the input's own, one line of ASCII.
    std::string ascii = tag ? kTags[(options >> 2) % std::size(kTags)] : std::string(in.upTo('\n'));
    if (ascii.empty() || ascii.find('\r') != std::string::npos)
        ascii = "END";
    const std::string marker = fuzz::widen(ascii, mode.width, mode.bigEndian);
    const std::string lineBreak = fuzz::widen("\r\n", mode.width, mode.bigEndian);
    const std::string code = fuzz::widen(codeOf(in.upTo('\n')), mode.width, mode.bigEndian) + lineBreak;
    const fuzz::Exact text(in.rest());
    const MarkerSearch search{ascii, marker, tag, last};

    const std::optional<MarkerPlace> place = findMarkerPlace(startOf(text.view(), mode), search);
    if (!place)
        return 0;
    fuzz::require(place->at <= text.view().size() && place->at % mode.width == 0,
                  "the place is whole units inside the text");
    const std::string form = place->ownLine ? code : code.substr(0, code.size() - lineBreak.size());
    std::string added(text.view());
    added.insert(place->at, form);
    const fuzz::Exact withCode(added);
    const std::optional<HeldCode> held =
        findCodeAtMarker(startOf(withCode.view(), mode), search, code, lineBreak.size());
    fuzz::require(held.has_value(), "the code put in is found at its place");
    fuzz::require(held->from == place->at && held->end == place->at + form.size() &&
                      held->ownLine == place->ownLine,
                  "it is found where it went in, in the form it went in");
    return 0;
}
