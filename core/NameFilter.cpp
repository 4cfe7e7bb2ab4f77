#include "core/NameFilter.h"

#include "core/FolderScan.h"

#include <algorithm>
#include <utility>

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Where the UTF-8 character at i ends: behind its lead byte and its continuation bytes.
std::size_t nextCharacter(std::string_view text, std::size_t i) {
    for (++i; i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;)
        ++i;
    return i;
}

std::string withSlashes(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

} // namespace

// A '*' that fails to lead on tries again one character further, from where it last stood.
bool wildcardMatch(std::string_view pattern, std::string_view name) {
    constexpr std::size_t kNone = std::string_view::npos;
    std::size_t p = 0, n = 0, starP = kNone, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p, starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p, n = nextCharacter(name, n);
        } else if (p < pattern.size() && lowerAscii(pattern[p]) == lowerAscii(name[n])) {
            ++p, ++n;
        } else if (starP != kNone) {
            p = starP, n = starN = nextCharacter(name, starN);
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<std::string> extensionList(const std::string& extensions) {
    std::vector<std::string> list;
    std::size_t from = 0;
    for (std::size_t at = 0; (at = extensions.find_first_of(",;", from)) != std::string::npos; from = at + 1)
        list.push_back(extensions.substr(from, at - from));
    list.push_back(extensions.substr(from));
    return list;
}

std::string typesFault(const std::vector<std::string>& types) {
    if (types.size() > 1 && std::any_of(types.begin(), types.end(), [](auto& e) { return e.empty(); }))
        return "the file types hold an empty one";
    return {};
}

std::string exclusionFault(const std::string& pattern) {
    const std::string path = withSlashes(pattern);
    if (path.empty())
        return "an exclusion is empty";
    const bool drive = path.size() > 1 && path[1] == ':';
    const bool up = path == ".." || path.starts_with("../") || path.ends_with("/..") ||
                    path.find("/../") != std::string::npos;
    if (path.front() == '/' || drive || up)
        return "the exclusion \"" + pattern + "\" is not relative to the folder";
    return {};
}

NameFilter::NameFilter(std::vector<std::string> types, const std::vector<std::string>& exclude)
    : m_extensions(std::move(types)) {
    for (const std::string& pattern : exclude) {
        std::string path = withSlashes(pattern);
        while (path.starts_with("./"))
            path.erase(0, 2);
        m_exclude.push_back(std::move(path));
    }
}

bool NameFilter::excluded(std::string_view relative, const std::string& name, bool folder) const {
    const std::string path = withSlashes(std::string(relative)) + name;
    return std::any_of(m_exclude.begin(), m_exclude.end(), [&](const std::string& pattern) {
        const bool byPath = pattern.find('/') != std::string::npos;
        // "vendor/*" leaves out the folder itself, not only what it holds.
        return wildcardMatch(pattern, byPath ? path : name) ||
               (folder && byPath && wildcardMatch(pattern, path + "/"));
    });
}

bool NameFilter::takesFile(std::string_view relative, const std::string& name) const {
    const bool typed =
        std::any_of(m_extensions.begin(), m_extensions.end(), [&](auto& e) { return nameMatches(name, e); });
    return typed && !excluded(relative, name, false);
}

bool NameFilter::entersFolder(std::string_view relative, const std::string& name) const {
    return !excluded(relative, name, true);
}
