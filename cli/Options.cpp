#include "cli/Options.h"

#include <getopt.h>

const char* const kUsageText =
    "Usage: stepwick-cli [--head | --foot] [--ext EXT] [--code TEXT | --code-file FILE] [--dry-run] FOLDER\n"
    "Adds the code in front of (--head) or behind (--foot, the default) every file of FOLDER\n"
    "whose name ends in .EXT (default txt; letter case ignored; * and ? are wildcards).\n"
    "The code comes from --code, else --code-file, else standard input.\n"
    "\n"
    "  --head             insert before the first line\n"
    "  --foot             append behind the end (default)\n"
    "  --ext EXT          file type without the dot (default txt; empty: names without a dot)\n"
    "  --code TEXT        the code itself\n"
    "  --code-file FILE   read the code from FILE (one final line break is dropped)\n"
    "  --dry-run          list the files that would be changed, change nothing\n"
    "  --help             show this help\n"
    "  --version          show the version\n"
    "\n"
    "SIGINT, SIGTERM or SIGHUP stops the run between two files; a second one ends it at once.\n"
    "\n"
    "Exit status:\n"
    "  0      all files changed\n"
    "  1      some files failed (each is named on standard error)\n"
    "  2      usage error, unreadable code or folder, or another run is changing the folder;\n"
    "         nothing was changed\n"
    "  3      the changes were made as far as the run got, but the log is incomplete\n"
    "         (standard output could not be written)\n"
    "  128+N  stopped by signal N; the files logged were changed, the rest are untouched\n";

namespace {

enum { OptHead = 1000, OptFoot, OptExt, OptCode, OptCodeFile, OptDryRun, OptHelp, OptVersion };

const option kOptions[] = {
    {"head", no_argument, nullptr, OptHead},
    {"foot", no_argument, nullptr, OptFoot},
    {"ext", required_argument, nullptr, OptExt},
    {"code", required_argument, nullptr, OptCode},
    {"code-file", required_argument, nullptr, OptCodeFile},
    {"dry-run", no_argument, nullptr, OptDryRun},
    {"help", no_argument, nullptr, OptHelp},
    {"version", no_argument, nullptr, OptVersion},
    {nullptr, 0, nullptr, 0},
};

// The argument getopt stopped at. There are no short options, so an unknown one is the first
// letter of its argument; getopt has moved past that argument only when it was a lone letter.
std::string offendingArgument(int argc, char** argv) {
    const std::string last = argv[optind - 1];
    if (optopt > 0 && optopt < 128 && last != std::string{'-', static_cast<char>(optopt)} && optind < argc &&
        argv[optind][0] == '-' && argv[optind][1] == optopt)
        return argv[optind];
    return last;
}

void takeOption(Options& o, int c, int argc, char** argv) {
    switch (c) {
    case OptHead:
        o.position = "head";
        break;
    case OptFoot:
        o.position = "foot";
        break;
    case OptExt:
        o.extension = optarg;
        break;
    case OptCode:
        o.code = optarg;
        break;
    case OptCodeFile:
        o.codeFile = optarg;
        break;
    case OptDryRun:
        o.action = Options::Action::DryRun;
        break;
    case ':':
        throw UsageError("missing argument for " + offendingArgument(argc, argv));
    default:
        throw UsageError("unknown option: " + offendingArgument(argc, argv));
    }
}

} // namespace

Options parseOptions(int argc, char** argv) {
    Options o;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":", kOptions, nullptr)) != -1;) {
        // Help and version answer at once, whatever else the line holds.
        if (c == OptHelp || c == OptVersion) {
            o.action = c == OptHelp ? Options::Action::Help : Options::Action::Version;
            return o;
        }
        takeOption(o, c, argc, argv);
    }
    if (optind >= argc)
        throw UsageError("no folder given");
    if (argc - optind > 1)
        throw UsageError("only one folder may be given, not also " + std::string(argv[optind + 1]));
    o.folder = argv[optind];
    if (o.folder.empty())
        throw UsageError("the folder name is empty");
    if (o.extension.find('/') != std::string::npos)
        throw UsageError("the file type may not hold '/': " + o.extension);
    return o;
}
