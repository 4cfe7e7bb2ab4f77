#pragma once

#include "core/Encoding.h"

#include <cstddef>
#include <optional>
#include <string_view>

// Where in a file the code goes, judged on the file's bytes alone (nothing is decoded).

// The line break of the code and of what a run adds to old text: always CR LF, always LF,
// or the file's own first line break (CR LF where the file has none).
enum class LineBreakMode { CrLf, Lf, Match };

// Where the code goes: before the first line or behind the last byte.
enum class Position { Head, Foot };

// How a run changes each file.
struct CodeEdit {
    enum class Action {
        Add,     // put the code in
        AddOnce, // put it in unless it already stands at its place
        Remove,  // take it out where it stands exactly at its place
    };
    Position position = Position::Foot;
    bool afterPreamble = false; // head: behind the lines that must stay first
    LineBreakMode eol = LineBreakMode::CrLf;
    Action action = Action::Add;
};

// The first line break of text (which starts after the byte-order mark), in its encoding's units.
// None when text holds none, or (unless text is the whole file) when its first is a CR that ends
// text and may be the half of a CR LF.
std::optional<LineBreak> firstLineBreak(std::string_view text, TextEncoding encoding, bool whole);

// Does text end in a line break (LF or CR) of its encoding?
bool endsInLineBreak(std::string_view text, TextEncoding encoding);

// The lines at the start of text (after the byte-order mark) that must stay first: a "#!" line,
// then an XML declaration and/or a document type declaration, each ending its line. A declaration
// followed by more on its line ends the preamble right behind its closing '>'.
struct Preamble {
    std::size_t length = 0;  // bytes of text that stay in front of the code
    bool lacksBreak = false; // the preamble ends the file without a line break of its own
};
// whole: text is the file's whole content (else a preamble must end within it to count).
Preamble findPreamble(std::string_view text, TextEncoding encoding, bool whole);
