#pragma once

#include "platform/FileSystem.h"

#include <string>
#include <system_error>

// A failed file operation: what was being done, to which path, and the system's reason.
class FileError : public std::system_error {
public:
    FileError(int err, std::string operation, std::string path);
    // For refusals of our own, where errno alone would mislead.
    FileError(int err, std::string operation, std::string path, std::string reason);

    const std::string& operation() const { return m_operation; }
    const std::string& path() const { return m_path; }
    // The system's description of errno alone, as the log shows it.
    std::string reason() const;

private:
    std::string m_operation;
    std::string m_path;
    std::string m_reason;
};

// A code that cannot be written in the encoding a file needs (the locale's, usually).
class EncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Puts code (UTF-8 text, its lines separated by CR LF) into one file.
// position "head": before the first line, through a new file renamed over the old one;
// position "foot": appended behind the last byte. Any other position changes nothing.
// The code is written in the file's own encoding (its byte-order mark, else the locale's)
// and followed by CR LF. A missing file is created by "foot" and refused by "head".
// Throws FileError or EncodingError; the file then holds its whole old content.
void InsertCode(const std::string& code, const std::string& filePath, const std::string& position,
                platform::FileSystem& fs = platform::systemFileSystem());
