#pragma once

#include "core/CodePlace.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Where the code goes beside a marker: in front of a file's last one, or behind its first.

// A marker as looked for in one file.
struct MarkerSearch {
    std::string_view ascii; // a tag's own text ("</body>"): tags are ASCII
    std::string_view bytes; // any other marker, in the file's encoding, without a line break
    bool tag = false;       // an HTML tag: any letter case, with attributes, never in a comment
    bool last = false;      // in front of the last one; else behind the first
};

// Is the marker (UTF-8) an HTML tag such as "<body>" or "</head>": a name of letters and digits?
bool isHtmlTag(std::string_view marker);

// Why a marker cannot be looked for (in English), or empty when it can.
std::string markerFault(std::string_view marker);

// Does the code (UTF-8) open an HTML comment ("<!--") that it does not close ("-->")? In front of
// a tag it would hide the tag, which a later run would then no longer find.
bool leavesCommentOpen(std::string_view code);

// Where the code goes in a file's text (behind its byte-order mark, the whole file): on a line of
// its own, with its line break, where the marker starts its line (in front) or ends it (behind,
// past that line's break); inline, without one, otherwise. Blanks beside the marker do not count.
struct MarkerPlace {
    std::size_t at = 0; // bytes of text
    bool ownLine = false;
};
std::optional<MarkerPlace> findMarkerPlace(const FileStart& text, const MarkerSearch& marker);

// Where code (ending in its line break of lineBreak bytes) stands as findMarkerPlace would have put
// it, so that taking it out gives the file as it was before.
struct HeldCode {
    std::size_t from = 0, end = 0; // bytes of text
    bool ownLine = false;          // false: inline, without the code's line break
};
std::optional<HeldCode> findCodeAtMarker(const FileStart& text, const MarkerSearch& marker,
                                         std::string_view code, std::size_t lineBreak);
