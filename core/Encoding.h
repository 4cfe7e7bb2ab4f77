#pragma once

#include "core/FileError.h"
#include "platform/Charsets.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// How a file's text is stored: by its byte-order mark, else as the run judges its bytes.
// System is the run's charset for text without a mark (the locale's, or the one asked for).
enum class TextEncoding { System, Utf8Bom, Utf16LE, Utf16BE, Utf8 };

enum class LineBreak { CrLf, Lf, Cr };

struct EncodingMark {
    TextEncoding encoding = TextEncoding::System;
    std::size_t markLength = 0;      // bytes of the byte-order mark
    Refusal refusal = Refusal::None; // NotUtf8Text, HoldsNul: the code cannot go into this file
};

EncodingMark detectMark(const unsigned char* d, std::size_t n);

// UTF-8 text in the system's character set, for output; a character it cannot hold becomes '?'.
std::string utf8ToSystem(std::string_view utf8, platform::Charsets& charsets);

// Makes sure a charset can serve files without a byte-order mark: known to the system, and either
// UTF-16LE, UTF-16BE or a charset that writes ASCII (line breaks, '<', '#') as ASCII. Throws
// EncodingError saying why not.
void checkFileCharset(platform::Charsets& charsets, const std::string& charset);

// The code followed by CR LF, as bytes in each encoding a file may need. A run makes one and
// shares it among all its files. A code the run's charset cannot hold is refused here, before any
// file is touched; every other form is made on first use and kept while memory allows (the
// forms held besides the code stay within twice its size).
// bytes() may be called from one thread at a time; what it returns lives until its next call.
class EncodedCode {
public:
    // Takes the code over without copying it. charset is the locale's; encoding, when not empty,
    // the charset of every file without a byte-order mark, else each such file is judged by its
    // bytes. Throws EncodingError when the code is not valid UTF-8 or has no form in the charset
    // files without a mark may need, or when encoding cannot serve (see checkFileCharset).
    EncodedCode(platform::Charsets& charsets, std::string utf8Code, const std::string& charset,
                const std::string& encoding = {});
    EncodedCode(const EncodedCode&) = delete;
    EncodedCode& operator=(const EncodedCode&) = delete;
    ~EncodedCode() = default;

    // The encoding of a file by its first bytes (whole: they are all of it): its mark; else as
    // asked; else UTF-8 where its bytes beyond ASCII are UTF-8, the run's charset otherwise. A
    // file that holds NUL bytes, or one that is not UTF-8 where the run's charset is UTF-8 too and
    // the code is not ASCII, comes back with its refusal.
    EncodingMark encodingOf(std::string_view start, bool whole) const;
    // The code followed by a line break, every line break of it (CR LF in the source) as lineBreak.
    const std::string& bytes(TextEncoding encoding, LineBreak lineBreak = LineBreak::CrLf);
    // The charset of text without a mark that is not UTF-8: the locale's, or the one asked for.
    const std::string& charset() const { return m_charset; }
    platform::Charsets& charsets() const { return m_charsets; }
    // A line break in the given encoding.
    static std::string_view lineBreak(TextEncoding encoding, LineBreak lineBreak = LineBreak::CrLf);

private:
    enum class Form { Utf8, Charset, Utf16LE, Utf16BE };
    Form formOf(TextEncoding encoding) const;
    // The form's bytes into out (room for capacity bytes); without out, only their number.
    std::size_t make(Form form, LineBreak lineBreak, char* out, std::size_t capacity) const;

    platform::Charsets& m_charsets;
    std::string m_utf8;    // with CR LF line breaks
    std::string m_charset; // the run's charset for files without a mark
    bool m_charsetIsUtf8 = true;
    bool m_ascii = true;                                       // the code is plain ASCII
    std::optional<TextEncoding> m_forced;                      // every file without a mark
    std::map<std::pair<Form, LineBreak>, std::string> m_forms; // made on use, but m_utf8 itself
    std::size_t m_formBytes = 0;
};
