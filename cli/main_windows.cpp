// stepwick-cli.exe: the arguments arrive as UTF-16 and go on as UTF-8.
#include "cli/Cli.h"
#include "cli/LogOutput.h"
#include "platform/Console.h"
#include "platform/System.h"

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    if (!platform::utf8Arguments(argc, argv, args)) {
        LogOutput::complain("an argument is not valid Unicode text");
        return 2;
    }
    std::vector<char*> pointers;
    pointers.reserve(args.size() + 1);
    for (auto& arg : args)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return runStepwickCli(argc, pointers.data(), platform::systemFileSystem());
}
