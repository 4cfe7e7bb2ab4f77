// Real runs over a file: the code put in at the head (behind the preamble or not, each choice of
// line breaks) or at the foot, then taken out again, gives back every byte; a once run finds it
// where it went; a file the code cannot go into is left as it was.
#include "FuzzInput.h"
#include "core/BatchRun.h"
#include "core/CodeText.h"
#include "platform/System.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

// The system's charsets, with UTF-8 or GBK as the locale's.
class Locale final : public platform::Charsets {
public:
    std::unique_ptr<platform::CharsetConversion> open(const std::string& to,
                                                      const std::string& from) override {
        return platform::systemCharsets().open(to, from);
    }
    std::string systemCharset() override { return charset; }
    std::string charset = "UTF-8";
};

struct LogSink final : BatchSink {
    void appendLog(std::string_view) override {}
};

// A folder of this process's own, in memory where the system offers it: the runs sync what they
// write. Gone at the process's exit; one a crash left is gone with the next.
const std::string& folder() {
    static const std::string path = [] {
        namespace fs = std::filesystem;
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(base, ec)) {
            const std::string name = e.path().filename().string();
            if (name.starts_with("stepwick-fuzz-") && ::kill(std::atoi(name.c_str() + 14), 0) != 0 &&
                errno == ESRCH)
                fs::remove_all(e.path(), ec);
        }
        const fs::path dir = base / ("stepwick-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        return dir.string() + "/";
    }();
    static const struct Removal { // made after the path, so gone before it
        ~Removal() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } removal;
    return path;
}

std::string readBack() {
    std::ifstream in(folder() + "f.txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

BatchResult run(BatchInput input, bool once, bool remove, Locale& locale) {
    static platform::System host = platform::hostSystem(platform::systemFileSystem());
    input.action = remove ? RunAction::Remove : once ? RunAction::AddOnce : RunAction::Add;
    LogSink sink;
    return runBatch(input, sink, platform::System{host.files, locale, host.process, host.paths});
}

// What taking the code out leaves: the old bytes, but where a plain head gave an old last line
// the CR LF it lacked.
std::string expectedBack(const std::string& old, const BatchInput& input) {
    if (input.place != CodeAt::Head || input.eol != LineBreakMode::CrLf)
        return old;
    const bool little = old.starts_with("\xFF\xFE"), big = old.starts_with("\xFE\xFF");
    const int width = little || big ? 2 : 1;
    const std::vector<unsigned> u =
        fuzz::unitsOf(std::string_view(old).substr(little || big ? 2 : 0), width, big);
    if (u.empty() || u.back() == '\r' || u.back() == '\n')
        return old;
    return old + fuzz::widen("\r\n", width, big);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const unsigned flags = in.byte();
    const std::string code = toCrLf(in.take(in.byte())); // as every front end hands it over
    const std::string old(in.rest());
    // Codes that change how the file is read once they are in it: NUL bytes make it no text, a
    // leading U+FEFF at its start is a byte-order mark.
    if (code.find('\0') != std::string::npos || code.starts_with("\xEF\xBB\xBF"))
        return 0;
    static Locale locale;
    locale.charset = (flags & 16) != 0 ? "GBK" : "UTF-8";
    // A GBK code in an ASCII file may be UTF-8 too ("\xCF\xB0"): the next run reads it so.
    const auto ascii = [](std::string_view s) {
        return std::ranges::all_of(s, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    if ((flags & 16) != 0 && ascii(old) && !ascii(code))
        return 0;
    // UTF-16 cut off within a unit has no last line to speak of.
    if ((old.starts_with("\xFF\xFE") || old.starts_with("\xFE\xFF")) && old.size() % 2 != 0)
        return 0;
    BatchInput input;
    input.folder = folder();
    input.types = {"txt"};
    input.code = [&code] { return code; };
    input.place = (flags & 1) != 0   ? CodeAt::Foot
                  : (flags & 2) != 0 ? CodeAt::HeadAfterPreamble
                                     : CodeAt::Head;
    input.eol = static_cast<LineBreakMode>((flags >> 2) % 3);
    std::ofstream(folder() + "f.txt", std::ios::binary | std::ios::trunc) << old;

    const BatchResult added = run(input, true, false, locale);
    if (added.changed == 0) {
        fuzz::require(readBack() == old, "a file the code did not go into is as it was");
        return 0;
    }
    const std::string with = readBack();
    fuzz::require(with.size() > old.size(), "the code went in");
    const BatchResult again = run(input, true, false, locale);
    fuzz::require(again.alreadyHeld == 1 && readBack() == with, "a once run finds the code where it went");
    const BatchResult removed = run(input, false, true, locale);
    fuzz::require(removed.changed == 1, "the code is taken out where it went");
    fuzz::require(readBack() == expectedBack(old, input), "taking the code out gives back every byte");
    return 0;
}
