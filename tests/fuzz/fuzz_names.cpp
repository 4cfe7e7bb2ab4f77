// Which names a type takes: nameMatches against a matcher that tries every way a '*' can go.
#include "FuzzInput.h"
#include "core/CodeText.h"
#include "core/FolderScan.h"

#include <vector>

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

// One character of a name: a byte and the UTF-8 continuation bytes behind it.
std::size_t nextCharacter(std::string_view name, std::size_t n) {
    do
        ++n;
    while (n < name.size() && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80);
    return n;
}

// Whether pattern takes all of name: '*' any run of characters, '?' one, any other byte itself in
// either case. Settled from the back: whether the pattern from p takes the name from n.
bool matches(std::string_view pattern, std::string_view name) {
    const std::size_t width = name.size() + 1;
    std::vector<char> takes((pattern.size() + 1) * width, 0);
    const auto from = [&](std::size_t p, std::size_t n) -> char& { return takes[p * width + n]; };
    from(pattern.size(), name.size()) = 1;
    for (std::size_t p = pattern.size(); p-- > 0;)
        for (std::size_t n = width; n-- > 0;) {
            const bool more = n < name.size();
            if (pattern[p] == '*')
                from(p, n) = from(p + 1, n) || (more && from(p, nextCharacter(name, n)));
            else if (more && pattern[p] == '?')
                from(p, n) = from(p + 1, nextCharacter(name, n));
            else if (more)
                from(p, n) = lower(pattern[p]) == lower(name[n]) && from(p + 1, n + 1);
        }
    return from(0, 0);
}

// "*." + extension, where three characters without wildcards also take longer extensions and
// an empty extension takes the names without a dot.
bool reference(std::string_view name, std::string_view extension) {
    if (extension.empty())
        return name.find('.') == std::string_view::npos;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < extension.size(); i = nextCharacter(extension, i))
        ++characters;
    if (characters == 3 && extension.find_first_of("*?") == std::string_view::npos) {
        const std::size_t dot = name.rfind('.');
        if (dot == std::string_view::npos || name.size() - dot - 1 < extension.size())
            return false;
        return matches(extension, name.substr(dot + 1, extension.size()));
    }
    const std::string pattern = "*." + std::string(extension);
    return matches(pattern, name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::string name(in.upTo('/'));
    const std::string extension(in.rest());
    // Where the type is not UTF-8, a '*' steps over what it takes by characters the type's own
    // bytes may cut in two: such a type is no text to match by characters.
    if (!isValidUtf8(extension))
        return 0;
    fuzz::require(nameMatches(name, extension) == reference(name, extension),
                  "a name matched against a type");
    return 0;
}
