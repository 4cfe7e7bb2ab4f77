#pragma once

#include "core/CodePlace.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct Options {
    enum class Action { Run, DryRun, Check, Help, Version };
    Action action = Action::Run;
    Position position = Position::Foot;
    std::string extension = "txt";
    std::optional<std::string> code;
    std::optional<std::string> codeFile;
    std::string folder;
    bool once = false;
    bool remove = false;
    bool afterPreamble = false;
    LineBreakMode eol = LineBreakMode::CrLf;
    bool recursive = false;
    std::string encoding; // files without a byte-order mark; empty: judged per file (auto)
    std::string marker;   // --before, --after: as typed
    std::optional<std::string> replace;     // the old code as typed
    std::optional<std::string> replaceFile; // or the file that holds it
    std::vector<std::string> exclude;
};

// A command line that cannot be followed; what() names the argument at fault.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws UsageError.
Options parseOptions(int argc, char** argv);

// The --help text, exit statuses included.
extern const char* const kUsageText;
