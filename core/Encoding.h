#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// How a file's text is stored, judged by its first bytes.
enum class TextEncoding { System, Utf8Bom, Utf16LE, Utf16BE };

enum class LineBreak { CrLf, Lf, Cr };

struct EncodingMark {
    TextEncoding encoding = TextEncoding::System;
    std::size_t markLength = 0; // bytes of the byte-order mark
};

EncodingMark detectMark(const unsigned char* data, std::size_t length);

// The character set of the locale in force (nl_langinfo(CODESET)); the C/POSIX locale counts as UTF-8.
std::string systemCharset();

// Bytes in the locale's character set (a file name, a path, a system message) as the log shows
// them: UTF-8, with a backslash, a control character or a byte that does not decode written as
// an escape (\\, \n, \t, \033, \377), so that a name is always one line and nothing in it
// reaches a terminal as a control sequence.
std::string shownText(std::string_view bytes);

// UTF-8 text in the locale's character set, for output; a character it cannot hold becomes '?'.
std::string utf8ToLocale(std::string_view utf8);

// The code followed by CR LF, as bytes in each encoding a file may need. A run makes one and
// shares it among all its files. The system encoding is converted eagerly, so a code that cannot
// be written is refused before any file is touched; the UTF-16 forms on first use.
// bytes() may be called from one thread at a time.
class EncodedCode {
public:
    // Takes the code over without copying it. Throws EncodingError when the code is not valid
    // UTF-8 or has no form in the charset.
    EncodedCode(std::string utf8Code, const std::string& charset);
    EncodedCode(const EncodedCode&) = delete;
    EncodedCode& operator=(const EncodedCode&) = delete;

    // The code followed by a line break, every line break of it (CR LF in the source) as lineBreak.
    const std::string& bytes(TextEncoding encoding, LineBreak lineBreak = LineBreak::CrLf);
    // A line break in the given encoding.
    static std::string_view lineBreak(TextEncoding encoding, LineBreak lineBreak = LineBreak::CrLf);

private:
    std::string m_utf8;
    std::string m_system; // empty when the system encoding is UTF-8 itself
    bool m_systemIsUtf8 = true;
    std::string m_charset;
    // The form last asked for other than the two above (UTF-16, or another line break), made on use.
    std::string m_other;
    TextEncoding m_otherEncoding = TextEncoding::System;
    LineBreak m_otherBreak = LineBreak::CrLf;
};
