#pragma once

#include <cstddef>
#include <memory>
#include <string>

// Conversion between character sets, by name ("UTF-8", "UTF-16LE", "GBK", "CP936", ...): iconv on
// POSIX, the system's code pages on Windows.
namespace platform {

// One conversion in progress. Works as iconv does: converts from in into out as far as it can,
// moving both on, and says why it stopped.
class CharsetConversion {
public:
    enum class Stop {
        Done,       // all of in is converted (or, flushing, the closing bytes are written)
        Invalid,    // in holds a sequence that is not a character of the source charset, or a
                    // character the target charset cannot hold; in stands on it
        Incomplete, // in ends within a character; in stands on its first byte
        NoRoom,     // out is full
    };
    virtual ~CharsetConversion() = default;
    virtual Stop convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) = 0;
    // Writes what a charset with shift states needs to end its text, then starts afresh.
    virtual Stop flush(char*& out, std::size_t& outLeft) = 0;
    // Forgets any state: the next convert starts as the first one did.
    virtual void reset() = 0;
};

class Charsets {
public:
    virtual ~Charsets() = default;
    // A conversion between two charsets, or nullptr where either is not known.
    virtual std::unique_ptr<CharsetConversion> open(const std::string& to, const std::string& from) = 0;
    // The charset of text that tells none: the locale's on POSIX (the C locale counts as UTF-8),
    // the ANSI code page on Windows ("CP936").
    virtual std::string systemCharset() = 0;
    // The charset of file names as the file system hands them over: the locale's on POSIX, where
    // names are bytes; UTF-8 on Windows, whose UTF-16 names the platform turns into UTF-8.
    virtual std::string nameCharset() { return systemCharset(); }
};

} // namespace platform
