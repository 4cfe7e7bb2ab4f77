#pragma once

#include "core/BatchRun.h"

#include <string>

namespace layout {

// What a window says when a run has ended or was refused: at most one message box.
struct RunMessage {
    enum class Icon { Information, Warning };
    std::string text; // empty: nothing to say
    Icon icon = Icon::Information;
    bool showPicker = false; // no folder is confirmed: the picker follows the message
};

// The one choice of message for a run's outcome, for the Qt and the Win32 windows alike.
RunMessage outcomeMessage(const BatchResult& result);

// The log as a window's box holds it, built from the pieces a run reports: a CR that ends one
// piece waits for the next, so that a CR LF split between two stays one line break.
class LogText {
public:
    // Lf: the box takes LF alone between lines (Qt's); CrLf: the box takes CR LF (the EDIT's).
    enum class Breaks { CrLf, Lf };
    explicit LogText(Breaks breaks) : m_breaks(breaks) {}
    // The text to append to the box for the piece (UTF-8, CR LF line breaks).
    std::string append(std::string_view piece);

private:
    Breaks m_breaks;
    bool m_pendingCr = false;
};

} // namespace layout
