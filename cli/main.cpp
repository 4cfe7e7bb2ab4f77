// stepwick-cli: the batch run without windows, for scripts and measurements.
#include "StepwickVersion.h"
#include "platform/FileSystem.h"
#include "core/BatchRun.h"
#include "core/CodeText.h"
#include "core/InsertCode.h"

#include <getopt.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailures = 1;
constexpr int kExitUsage = 2;

void printUsage(std::FILE* to) {
    std::fputs("Usage: stepwick-cli [--head | --foot] [--ext EXT] [--code TEXT | --code-file FILE] [--dry-run] FOLDER\n"
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
               "Exit status: 0 all changed, 1 some files failed, 2 usage error, unusable code or folder.\n",
               to);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "stepwick-cli: %s\n", message.c_str());
    std::fputs("Try 'stepwick-cli --help' for more information.\n", stderr);
    return kExitUsage;
}

std::string dropFinalLineBreak(std::string text) {
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    return text;
}

class StdoutSink final : public BatchSink {
public:
    void appendLog(std::string_view text) override {
        std::string lf = toLf(text);
        std::fwrite(lf.data(), 1, lf.size(), stdout);
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    platform::raiseOpenFileLimit();

    enum { OptCode = 1000, OptCodeFile, OptDryRun, OptHelp, OptVersion };
    static const option options[] = {
        {"head", no_argument, nullptr, 'H'},
        {"foot", no_argument, nullptr, 'F'},
        {"ext", required_argument, nullptr, 'e'},
        {"code", required_argument, nullptr, OptCode},
        {"code-file", required_argument, nullptr, OptCodeFile},
        {"dry-run", no_argument, nullptr, OptDryRun},
        {"help", no_argument, nullptr, OptHelp},
        {"version", no_argument, nullptr, OptVersion},
        {nullptr, 0, nullptr, 0},
    };

    std::string position = "foot";
    std::string extension = "txt";
    std::optional<std::string> code;
    std::optional<std::string> codeFile;
    bool dryRun = false;

    opterr = 0;
    for (;;) {
        int longIndex = 0;
        int c = getopt_long(argc, argv, ":", options, &longIndex);
        if (c == -1)
            break;
        switch (c) {
        case 'H':
            position = "head";
            break;
        case 'F':
            position = "foot";
            break;
        case 'e':
            extension = optarg;
            break;
        case OptCode:
            code = optarg;
            break;
        case OptCodeFile:
            codeFile = optarg;
            break;
        case OptDryRun:
            dryRun = true;
            break;
        case OptHelp:
            printUsage(stdout);
            return kExitOk;
        case OptVersion:
            std::printf("stepwick-cli %s\n", stepwick::kVersionText);
            return kExitOk;
        case ':':
            return usageError(std::string("missing argument for ") + argv[optind - 1]);
        default:
            return usageError(std::string("unknown option: ") + argv[optind - 1]);
        }
    }
    if (optind >= argc)
        return usageError("no folder given");
    if (argc - optind > 1)
        return usageError("only one folder may be given");
    std::string folder = argv[optind];
    if (folder.empty())
        return usageError("the folder name is empty");
    if (extension.find('/') != std::string::npos)
        return usageError("the file type may not hold '/': " + extension);

    Mod mod;
    loadDefaults(mod);
    confirmFolder(mod, folder);

    if (dryRun) {
        try {
            for (const auto& name : matchingFiles(mod.TargetDir, extension))
                std::printf("%s\n", name.c_str());
        } catch (const FileError& e) {
            std::fprintf(stderr, "stepwick-cli: %s: %s\n", folder.c_str(), e.reason().c_str());
            return kExitUsage;
        }
        return kExitOk;
    }

    if (!code) {
        std::string text;
        if (codeFile) {
            std::ifstream in(*codeFile, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "stepwick-cli: cannot read %s\n", codeFile->c_str());
                return kExitUsage;
            }
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } else {
            text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        }
        code = dropFinalLineBreak(std::move(text));
    }
    // The run takes the code over once: a large code is held once, not copied per step.
    std::string crlfCode = toCrLf(*code);
    code.reset();

    BatchInput input;
    input.extension = extension;
    input.position = position;
    input.code = [&crlfCode] { return std::move(crlfCode); };

    // Nothing is printed before the run has checked the folder and the code.
    class DeferredSink final : public BatchSink {
    public:
        void appendLog(std::string_view text) override {
            if (!m_started) {
                m_out.appendLog(kLogHeader);
                m_started = true;
            }
            m_out.appendLog(text);
        }

    private:
        StdoutSink m_out;
        bool m_started = false;
    } sink;

    BatchResult result = runBatch(mod, input, sink);
    using Outcome = BatchResult::Outcome;
    switch (result.outcome) {
    case Outcome::Completed:
    case Outcome::Cancelled:
        break;
    case Outcome::NoFolder:
    case Outcome::BadExtension:
    case Outcome::FolderUnreadable:
    case Outcome::CodeNotEncodable:
        std::fprintf(stderr, "stepwick-cli: %s\n", result.error.c_str());
        return kExitUsage;
    }
    std::fputs("\n", stdout);
    for (const auto& f : result.failures)
        std::fprintf(stderr, "stepwick-cli: %s: %s\n", f.path.c_str(), f.reason.c_str());
    return result.failures.empty() ? kExitOk : kExitFailures;
}
