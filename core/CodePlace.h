#pragma once

#include "core/Encoding.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where in a file the code goes, judged on the file's characters (only their length is decoded).

// The line break of the code and of what a run adds to old text: always CR LF, always LF,
// or the file's own first line break (CR LF where the file has none).
enum class LineBreakMode { CrLf, Lf, Match };

// Where the code goes: before the first line, behind the last byte, or beside a marker: in front
// of a file's last one or behind its first.
enum class Position { Head, Foot, BeforeMarker, AfterMarker };

// How a run changes each file.
struct CodeEdit {
    enum class Action {
        Add,     // put the code in
        AddOnce, // put it in unless it already stands at its place
        Remove,  // take it out where it stands exactly at its place
        Replace, // the old code where it stands exactly at its place becomes the code
    };
    Position position = Position::Foot;
    bool afterPreamble = false; // head: behind the lines that must stay first
    LineBreakMode eol = LineBreakMode::CrLf;
    Action action = Action::Add;
    // Beside a marker: the marker (UTF-8), whether it is an HTML tag, and its bytes in each
    // encoding (with a line break behind them). Owned by the run.
    std::string marker{};
    bool markerIsTag = false;
    EncodedCode* markerBytes = nullptr;
    EncodedCode* oldCode = nullptr; // Replace: what gives way, owned by the run
};

// The first line break of text (which starts after the byte-order mark), in its encoding's units.
// None when text holds none, or (unless text is the whole file) when its first is a CR that ends
// text and may be the half of a CR LF.
std::optional<LineBreak> firstLineBreak(std::string_view text, TextEncoding encoding, bool whole);

// Does text end in a line break (LF or CR) of its encoding?
bool endsInLineBreak(std::string_view text, TextEncoding encoding);

// The start of a file, behind its byte-order mark, as the preamble is looked for in it.
struct FileStart {
    std::string_view text;
    TextEncoding encoding = TextEncoding::System;
    // The character set of a file without a mark: a byte of one of its characters (GBK's trail
    // byte '[') is never taken for an ASCII character. Empty for one whose bytes need no care.
    std::string_view charset;
    platform::Charsets* charsets = nullptr; // what reads that charset's characters
    bool whole = false;                     // text is all the file holds
};

// The lines at the start of a file that must stay first: a "#!" line, then an XML declaration
// (only first of all, or behind the "#!" line), then a document type declaration, which blank
// lines and comments may precede; each ends its line. A declaration followed by more on its line
// ends the preamble right behind its closing '>'.
struct Preamble {
    bool known = true;       // false: text ends before it tells where the preamble ends
    std::size_t length = 0;  // bytes of text that stay in front of the code
    bool lacksBreak = false; // the preamble ends the file without a line break of its own
    // Each place where the code may have gone, in bytes, the start first and length last: behind
    // each line taken. A code that is itself such a line (a DOCTYPE) went in at an earlier one.
    std::vector<std::size_t> places;
};
Preamble findPreamble(const FileStart& start);
