#pragma once

#include <string>
#include <string_view>
#include <vector>

// Which names a run takes: its file types, and what it leaves out.

// '*' takes any run of characters ('/' too), '?' one character; ASCII letters match either case.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// The file types of a list separated by ',' or ';' (one type, empty or not, without either).
std::vector<std::string> extensionList(const std::string& extensions);

// Why a list of file types cannot be followed (an empty one among several), or empty.
std::string typesFault(const std::vector<std::string>& types);

// Why an exclusion cannot be followed (empty, or not relative to the folder), or empty.
std::string exclusionFault(const std::string& pattern);

// The types and exclusions of a run. A pattern without '/' is matched against each name, one
// with '/' against the path below the run's folder ('\' counts as '/').
class NameFilter {
public:
    NameFilter(std::vector<std::string> types, const std::vector<std::string>& exclude);
    // Does the run take this file? relative: its folder's path below the run's, "" or "sub/".
    bool takesFile(std::string_view relative, const std::string& name) const;
    // Does the run enter this subfolder of the folder at relative?
    bool entersFolder(std::string_view relative, const std::string& name) const;

private:
    bool excluded(std::string_view relative, const std::string& name, bool folder) const;

    std::vector<std::string> m_extensions;
    std::vector<std::string> m_exclude;
};
