#pragma once

#include "core/FileError.h"
#include "platform/System.h"

#include <string>

// Puts code (UTF-8 text, its lines separated by CR LF) into one file.
// position "head": before the first line, through a new file renamed over the old one;
// position "foot": appended behind the last byte. Any other position changes nothing.
// The code is written in the file's own encoding (its byte-order mark, else the locale's)
// and followed by CR LF. A missing file is created by "foot" and refused by "head".
// Throws FileError or EncodingError; the file then holds its whole old content.
void InsertCode(const std::string& code, const std::string& filePath, const std::string& position,
                const platform::System& system);
