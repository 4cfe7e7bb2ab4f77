#pragma once

#include "core/BatchRun.h"

#include <optional>
#include <stdexcept>
#include <string>

struct Options {
    // What the line asks for: a run (whatever its request), or only the help or the version.
    enum class Command { Run, Help, Version };
    Command command = Command::Run;
    // What the run does, as the options say; its folder, code and own output are the program's.
    BatchInput request = defaultRequest();
    std::optional<std::string> code;
    std::optional<std::string> codeFile;
    std::optional<std::string> replace;     // the old code as typed (RunAction::Replace)
    std::optional<std::string> replaceFile; // or the file that holds it
    std::string folder;

    static BatchInput defaultRequest() {
        BatchInput request;
        request.types = {"txt"};
        return request;
    }
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
