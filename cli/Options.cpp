#include "cli/Options.h"
#include "platform/System.h"

#include "core/BatchRun.h"
#include "core/Encoding.h"
#include "core/MarkerPlace.h"
#include "core/NameFilter.h"

#include <getopt.h>

#include <set>

const char* const kUsageText =
    "Usage: stepwick-cli [--head | --foot | --before MARKER | --after MARKER] [--ext EXT[,EXT...]]\n"
    "                    [--code TEXT | --code-file FILE]\n"
    "                    [--once | --remove | --check | --replace OLD | --replace-file FILE]\n"
    "                    [--after-preamble] [--eol crlf|lf|match] [--encoding auto|CHARSET]\n"
    "                    [--exclude PATTERN]... [-r] [--dry-run] FOLDER\n"
    "Adds the code in front of (--head) or behind (--foot, the default) every file of FOLDER\n"
    "whose name ends in .EXT (default txt; letter case ignored; * and ? are wildcards; an EXT of\n"
    "exactly three characters without wildcards also takes longer ones: htm takes a.html).\n"
    "The code comes from --code, else --code-file, else standard input, in the locale's\n"
    "character set (a file or standard input with a byte-order mark is read by its mark);\n"
    "a code that is empty, only line breaks, or holds a control character other than tab,\n"
    "CR and LF is refused.\n"
    "\n"
    "  --head             insert before the first line\n"
    "  --foot             append behind the end (default)\n"
    "  --before MARKER    insert in front of the file's last MARKER\n"
    "  --after MARKER     insert behind the file's first MARKER; an HTML tag (</body>, <head>)\n"
    "                     matches in any letter case and with attributes, not inside a comment;\n"
    "                     any other MARKER its exact text. The code goes on a line of its own\n"
    "                     where MARKER starts (--before) or ends (--after) its line, else inline;\n"
    "                     a file without MARKER is left alone and fails\n"
    "  --ext EXT[,EXT...] file types without the dot (default txt; empty: names without a dot)\n"
    "  --code TEXT        the code itself\n"
    "  --code-file FILE   read the code from FILE (one final line break is dropped)\n"
    "  --once             leave alone files that already hold the code at its place\n"
    "  --remove           take the code out where it stands exactly at its place\n"
    "  --check            list the files that lack the code at its place, change nothing;\n"
    "                     exit 1 when there is any\n"
    "  --replace OLD      where OLD stands exactly at the place, put the code in its stead;\n"
    "                     files holding the code there already, or neither, are left alone\n"
    "  --replace-file FILE\n"
    "                     read OLD from FILE, as --code-file reads the code\n"
    "  --after-preamble   head: put the code behind the lines that must stay first, where the\n"
    "                     file begins with them (after any byte-order mark): a #! line, then an\n"
    "                     XML declaration <?xml ... ?> and/or a <!DOCTYPE ...> (letter case\n"
    "                     ignored), each with its line break (a declaration with more behind\n"
    "                     it on its line: right behind the declaration); without them (<?php\n"
    "                     is none) the code goes first\n"
    "  --eol crlf|lf|match\n"
    "                     the code's line breaks: CR LF (default, which also ends an old last\n"
    "                     line without a break), LF, or as the file's first line break\n"
    "  --encoding auto|CHARSET\n"
    "                     what a file without a byte-order mark is written in: auto (default)\n"
    "                     judges each by its first 64 KiB: UTF-8 where its bytes beyond ASCII\n"
    "                     are UTF-8, else the locale's charset; a file that is not UTF-8 under a\n"
    "                     UTF-8 locale gets only an ASCII code; one with NUL bytes none; CHARSET\n"
    "                     (any name iconv knows, e.g. GBK, UTF-16LE) is used for every such file\n"
    "  --exclude PATTERN  leave out the files and (with -r) folders PATTERN names: a name, or\n"
    "                     a path below FOLDER, with * and ? (vendor/*, *.min.js); repeatable\n"
    "  -r, --recursive    also the subfolders on the same file system (not hidden ones or links)\n"
    "  --dry-run          list the files that would be changed, change nothing\n"
    "  --help             show this help\n"
    "  --version          show the version\n"
    "\n"
    "SIGINT, SIGTERM or SIGHUP stops the run between two files; a second one ends it at once.\n"
    "\n"
    "Exit status:\n"
    "  0      all files changed\n"
    "  1      some files failed (each is named on standard error); --check: a file lacks the code\n"
    "  2      usage error, empty or unreadable code, unreadable folder, or another run is\n"
    "         changing the folder; nothing was changed\n"
    "  3      the log is incomplete (standard output could not be written, or was closed);\n"
    "         every file was handled all the same, but where a pipe's reader went away, which\n"
    "         stops the run between two files\n"
    "  128+N  stopped by signal N before its last file; the files logged were changed,\n"
    "         the rest are untouched\n";

namespace {

enum {
    OptHead = 1000,
    OptFoot,
    OptExt,
    OptCode,
    OptCodeFile,
    OptDryRun,
    OptHelp,
    OptVersion,
    OptOnce,
    OptRemove,
    OptCheck,
    OptAfterPreamble,
    OptEol,
    OptEncoding,
    OptBefore,
    OptAfter,
    OptReplace,
    OptReplaceFile,
    OptExclude,
    OptRecursive = 'r',
};

const option kOptions[] = {
    {"head", no_argument, nullptr, OptHead},
    {"foot", no_argument, nullptr, OptFoot},
    {"ext", required_argument, nullptr, OptExt},
    {"code", required_argument, nullptr, OptCode},
    {"code-file", required_argument, nullptr, OptCodeFile},
    {"dry-run", no_argument, nullptr, OptDryRun},
    {"once", no_argument, nullptr, OptOnce},
    {"remove", no_argument, nullptr, OptRemove},
    {"check", no_argument, nullptr, OptCheck},
    {"after-preamble", no_argument, nullptr, OptAfterPreamble},
    {"eol", required_argument, nullptr, OptEol},
    {"encoding", required_argument, nullptr, OptEncoding},
    {"recursive", no_argument, nullptr, OptRecursive},
    {"before", required_argument, nullptr, OptBefore},
    {"after", required_argument, nullptr, OptAfter},
    {"replace", required_argument, nullptr, OptReplace},
    {"replace-file", required_argument, nullptr, OptReplaceFile},
    {"exclude", required_argument, nullptr, OptExclude},
    {"help", no_argument, nullptr, OptHelp},
    {"version", no_argument, nullptr, OptVersion},
    {nullptr, 0, nullptr, 0},
};

// The argument getopt stopped at. An unknown short option is a letter of its argument; getopt has
// moved past that argument only when the letter was its last.
std::string offendingArgument(int argc, char** argv) {
    std::string last = argv[optind - 1];
    if (optopt > 0 && optopt < 128 && last != std::string{'-', static_cast<char>(optopt)} && optind < argc &&
        argv[optind][0] == '-' && argv[optind][1] == optopt)
        return argv[optind];
    return last;
}

LineBreakMode lineBreakMode(const std::string& name) {
    if (name == "crlf")
        return LineBreakMode::CrLf;
    if (name == "lf")
        return LineBreakMode::Lf;
    if (name == "match")
        return LineBreakMode::Match;
    throw UsageError("--eol takes crlf, lf or match, not " + name);
}

// "auto" as empty; a charset the run could not use is a usage error, and so is no name at all
// (which some systems would take for the locale's charset and others refuse).
std::string fileEncoding(const std::string& name) {
    if (name == "auto")
        return {};
    if (name.empty())
        throw UsageError("--encoding takes auto or the name of a character set, not an empty one");
    try {
        checkFileCharset(platform::systemCharsets(), name);
    } catch (const EncodingError& e) {
        throw UsageError(std::string("--encoding: ") + e.what());
    }
    return name;
}

// An option without an argument; false when c is not one.
bool takeFlag(Options& o, int c) {
    switch (c) {
    case OptHead:
    case OptFoot:
    case OptAfterPreamble: // placeOf reads these three together
        return true;
    case OptDryRun:
        o.request.listOnly = true;
        return true;
    case OptCheck: // a check is a once that changes nothing
        o.request.action = RunAction::Check;
        return true;
    case OptOnce:
        if (o.request.action != RunAction::Check)
            o.request.action = RunAction::AddOnce;
        return true;
    case OptRemove:
        o.request.action = RunAction::Remove;
        return true;
    case OptRecursive:
        o.request.recursive = true;
        return true;
    default:
        return false;
    }
}

std::string nameOf(int c);

// The marker of --before or --after, which must be one line of something; placeOf places it.
void takeMarker(Options& o, int c) {
    if (const std::string fault = markerFault(optarg); !fault.empty())
        throw UsageError(nameOf(c) + ": " + fault);
    o.request.marker = optarg;
}

// An option that names what the run looks for; false when c is not one.
bool takeSearch(Options& o, int c) {
    switch (c) {
    case OptBefore:
    case OptAfter:
        takeMarker(o, c);
        return true;
    case OptReplace:
    case OptReplaceFile:
        if (*optarg == '\0')
            throw UsageError(nameOf(c) + ": the old code is empty");
        (c == OptReplace ? o.replace : o.replaceFile) = optarg;
        o.request.action = RunAction::Replace;
        return true;
    case OptExclude:
        if (const std::string fault = exclusionFault(optarg); !fault.empty())
            throw UsageError("--exclude: " + fault);
        o.request.exclude.emplace_back(optarg);
        return true;
    default:
        return false;
    }
}

// An option with its argument in optarg; false when c is not one.
bool takeValue(Options& o, int c) {
    switch (c) {
    case OptExt:
        o.request.types = extensionList(optarg);
        return true;
    case OptCode:
        o.code = optarg;
        return true;
    case OptCodeFile:
        o.codeFile = optarg;
        return true;
    case OptEol:
        o.request.eol = lineBreakMode(optarg);
        return true;
    case OptEncoding:
        o.request.encoding = fileEncoding(optarg);
        return true;
    default:
        return false;
    }
}

// Options that contradict each other, in whichever order they come; a word on what to use instead.
struct Clash {
    int first, second;
    const char* hint;
};
constexpr Clash kClashes[] = {
    {OptHead, OptFoot, ""},
    {OptOnce, OptRemove, ""},
    {OptAfterPreamble, OptFoot, " (--after-preamble places a head)"},
    {OptCheck, OptRemove, " (--remove --dry-run lists the files holding the code)"},
    {OptBefore, OptAfter, ""},
    {OptHead, OptBefore, ""},
    {OptHead, OptAfter, ""},
    {OptFoot, OptBefore, ""},
    {OptFoot, OptAfter, ""},
    {OptAfterPreamble, OptBefore, " (--after-preamble places a head)"},
    {OptAfterPreamble, OptAfter, " (--after-preamble places a head)"},
    {OptReplace, OptReplaceFile, ""},
    {OptReplace, OptOnce, " (a second --replace run changes nothing)"},
    {OptReplace, OptRemove, ""},
    {OptReplace, OptCheck, " (--check with the new code lists the files that lack it)"},
    {OptReplaceFile, OptOnce, " (a second --replace run changes nothing)"},
    {OptReplaceFile, OptRemove, ""},
    {OptReplaceFile, OptCheck, " (--check with the new code lists the files that lack it)"},
};

std::string nameOf(int c) {
    for (const option& o : kOptions)
        if (o.val == c && o.name)
            return std::string("--") + o.name;
    return {};
}

void refuseClashes(const std::set<int>& given) {
    for (const Clash& clash : kClashes)
        if (given.contains(clash.first) && given.contains(clash.second))
            throw UsageError(nameOf(clash.first) + " and " + nameOf(clash.second) + " cannot be combined" +
                             clash.hint);
}

// The foot unless --head or a marker; --after-preamble only moves a head.
CodeAt placeOf(const std::set<int>& given) {
    if (given.contains(OptBefore) || given.contains(OptAfter))
        return given.contains(OptBefore) ? CodeAt::BeforeMarker : CodeAt::AfterMarker;
    if (!given.contains(OptHead))
        return CodeAt::Foot;
    return given.contains(OptAfterPreamble) ? CodeAt::HeadAfterPreamble : CodeAt::Head;
}

void takeOption(Options& o, int c, int argc, char** argv) {
    if (takeFlag(o, c) || takeValue(o, c) || takeSearch(o, c))
        return;
    if (c == ':')
        throw UsageError("missing argument for " + offendingArgument(argc, argv));
    throw UsageError("unknown option: " + offendingArgument(argc, argv));
}

} // namespace

Options parseOptions(int argc, char** argv) {
    Options o;
    std::set<int> given;
    opterr = 0;
    // Options are read once, before any thread starts.
    // NOLINTNEXTLINE(concurrency-mt-unsafe)
    for (int c = 0; (c = getopt_long(argc, argv, ":r", kOptions, nullptr)) != -1;) {
        // Help and version answer at once, whatever else the line holds.
        if (c == OptHelp || c == OptVersion) {
            o.command = c == OptHelp ? Options::Command::Help : Options::Command::Version;
            return o;
        }
        takeOption(o, c, argc, argv);
        given.insert(c);
    }
    refuseClashes(given);
    o.request.place = placeOf(given);
    if (optind >= argc)
        throw UsageError("no folder given");
    if (argc - optind > 1)
        throw UsageError("only one folder may be given, not also " + std::string(argv[optind + 1]));
    o.folder = argv[optind];
    if (o.folder.empty())
        throw UsageError("the folder name is empty");
    for (const std::string& type : o.request.types)
        if (const std::size_t at = type.find_first_of(kNotInExtension); at != std::string::npos)
            throw UsageError("the file type may not hold '" + type.substr(at, 1) + "': " + type);
    if (const std::string fault = typesFault(o.request.types); !fault.empty())
        throw UsageError("--ext: " + fault);
    return o;
}
