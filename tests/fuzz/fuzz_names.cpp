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

class Matcher {
public:
    Matcher(std::string_view pattern, std::string_view name)
        : m_pattern(pattern), m_name(name), m_seen((pattern.size() + 1) * (name.size() + 1), -1) {}
    bool operator()(std::size_t p = 0, std::size_t n = 0) {
        signed char& seen = m_seen[p * (m_name.size() + 1) + n];
        if (seen < 0)
            seen = match(p, n) ? 1 : 0;
        return seen == 1;
    }

private:
    bool match(std::size_t p, std::size_t n) {
        if (p == m_pattern.size())
            return n == m_name.size();
        if (m_pattern[p] == '*') {
            for (std::size_t k = n;; k = nextCharacter(m_name, k))
                if ((*this)(p + 1, k) || k >= m_name.size())
                    return (*this)(p + 1, k);
        }
        if (n == m_name.size())
            return false;
        if (m_pattern[p] == '?')
            return (*this)(p + 1, nextCharacter(m_name, n));
        return lower(m_pattern[p]) == lower(m_name[n]) && (*this)(p + 1, n + 1);
    }

    std::string_view m_pattern, m_name;
    std::vector<signed char> m_seen;
};

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
        return Matcher(extension, name.substr(dot + 1, extension.size()))();
    }
    const std::string pattern = "*." + std::string(extension);
    return Matcher(pattern, name)();
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
