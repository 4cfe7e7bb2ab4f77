#pragma once

#include "platform/Charsets.h"
#include "platform/System.h"

#include <string>
#include <string_view>

// Bytes in the character set the system names files in (a file name, a path) as the log shows
// them: UTF-8, with a backslash, a control character or a byte that does not decode written as
// an escape (\\, \n, \t, \033, \377), so that a name is always one line and nothing in it
// reaches a terminal as a control sequence.
std::string shownText(std::string_view bytes, platform::Charsets& charsets);
// A path as the log shows it: each name as shownText shows it, the separators between them as they
// stand (a Windows '\\' is a separator, not the start of an escape).
std::string shownPath(std::string_view path, platform::Charsets& charsets, const platform::PathRules& paths);
// The same for text that is UTF-8 already (a system message): only the escapes.
std::string shownUtf8(std::string_view utf8);
