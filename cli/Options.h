#pragma once

#include <optional>
#include <stdexcept>
#include <string>

struct Options {
    enum class Action { Run, DryRun, Help, Version };
    Action action = Action::Run;
    std::string position = "foot";
    std::string extension = "txt";
    std::optional<std::string> code;
    std::optional<std::string> codeFile;
    std::string folder;
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
