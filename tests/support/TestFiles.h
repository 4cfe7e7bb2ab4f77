#pragma once

// What the tests of the core and of the command-line tool share: temporary folders, files and
// their bytes, what an insertion makes of a file, and a run over a confirmed folder.
#include "core/BatchRun.h"
#include "platform/RecordingFileSystem.h"
#include "platform/ScopedOverride.h"
#include "platform/System.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <tuple>

namespace testfiles {

using ::testing::HasSubstr;

// How many rounds a loop of random moments takes: a quarter where the test's declaration says the
// build runs slowly (STEPWICK_TEST_SLOW: sanitizers, wine), so that it ends as far within its time
// limit there; a loop that tries every case once is never scaled.
inline int roundsHere(int rounds) {
    const char* slow = std::getenv("STEPWICK_TEST_SLOW");
    return slow && *slow ? std::max(1, rounds / 4) : rounds;
}

// A fresh folder under base, removed with everything in it. Its path is written the system's way
// ("C:\\...\\" on Windows) and ends in a separator.
class TempDir {
public:
    explicit TempDir(const std::string& base = std::filesystem::temp_directory_path().string()) {
        std::random_device random;
        for (int attempt = 0;; ++attempt) {
            std::filesystem::path t =
                std::filesystem::path(base) / ("stepwick-test-" + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(t, ec)) {
                m_path = t.make_preferred().string() +
                         static_cast<char>(std::filesystem::path::preferred_separator);
                return;
            }
            if (attempt > 100 || (ec && ec != std::errc::file_exists))
                throw std::system_error(ec, "cannot make a folder in " + base);
        }
    }
    ~TempDir() {
        namespace fs = std::filesystem;
        std::error_code ec;
        // Give back write permission first so read-only test folders and files can be removed.
        for (auto it = fs::recursive_directory_iterator(m_path, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (!it->is_symlink(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; } // ends in '/'
    std::string operator/(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

// Paths are UTF-8, as the core's names are, on every system.
inline std::string readFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const std::string& bytes, unsigned mode = 0644) {
    const std::filesystem::path p = std::filesystem::u8path(path);
    if (!std::ofstream(p, std::ios::binary | std::ios::trunc)
             .write(bytes.data(), std::streamsize(bytes.size())))
        throw std::runtime_error("cannot write " + path);
    std::filesystem::permissions(p, static_cast<std::filesystem::perms>(mode));
}

// length bytes of a file at offset, read through the system's own calls (a C++ stream may not seek
// past 4 GiB everywhere).
inline std::string bytesAt(const std::string& path, std::int64_t offset, std::size_t length) {
    platform::FileSystem& fs = platform::systemFileSystem();
    const std::filesystem::path p(path);
    platform::FileHandle folder = platform::kNoFile;
    if (fs.openFolder(p.parent_path().string(), folder))
        throw std::runtime_error("cannot open the folder of " + path);
    const platform::UniqueFile dir(fs, folder);
    std::error_code ec;
    const platform::UniqueFile file =
        platform::openAt(fs, dir.get(), p.filename().string(), platform::OpenMode::Read, ec);
    std::string bytes(length, '\0');
    std::size_t got = 0;
    if (ec || fs.read(file.get(), bytes.data(), length, offset, got))
        throw std::runtime_error("cannot read " + path);
    bytes.resize(got);
    return bytes;
}

using Contents = std::map<std::string, std::string>; // name -> bytes

// Every entry of the folder (hidden ones too) with its bytes, or a marker for what is not a regular file.
inline Contents snapshot(const std::string& folder) {
    auto utf8 = [](const std::filesystem::path& p) {
        const std::u8string s = p.u8string();
        return std::string(s.begin(), s.end());
    };
    Contents c;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::u8path(folder)))
        c[utf8(e.path().filename())] =
            e.is_regular_file() && !e.is_symlink() ? readFile(utf8(e.path())) : "<not a regular file>";
    return c;
}

inline std::set<std::string> listDir(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& [name, bytes] : snapshot(folder))
        names.insert(name);
    return names;
}

inline void writeAll(const std::string& folder, const Contents& files) {
    for (const auto& [name, bytes] : files)
        writeFile(folder + "/" + name, bytes);
}

// The byte-order mark at the start of text and the encoding it names (UTF-8 without one).
inline std::pair<std::string, std::string> markOf(const std::string& text) {
    for (const auto& [bom, name] : {std::pair<std::string, const char*>{"\xEF\xBB\xBF", "UTF-8"},
                                    {"\xFF\xFE", "UTF-16LE"},
                                    {"\xFE\xFF", "UTF-16BE"}})
        if (text.starts_with(bom)) // the marks exclude each other
            return {bom, name};
    return {"", "UTF-8"};
}

// What a head or foot insertion of code (UTF-8, no line break) makes of old: after a mark, the
// code in the mark's encoding; a head adds a line break to an old last line without one.
inline std::string inserted(const std::string& old, const std::string& code, bool head) {
    const auto [mark, enc] = markOf(old);
    auto encode = [&](const std::string& text) {
        if (enc == "UTF-8")
            return text;
        std::string out;
        const std::u16string wide = std::filesystem::u8path(text).u16string();
        for (char16_t unit : wide) {
            const char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
            out += enc == "UTF-16LE" ? std::string{lo, hi} : std::string{hi, lo};
        }
        return out;
    };
    const std::string body = old.substr(mark.size()), line = encode(code + "\r\n");
    if (!head)
        return old + line;
    const bool ended = body.empty() || body.ends_with(encode("\n")) || body.ends_with(encode("\r"));
    return mark + line + body + (ended ? "" : encode("\r\n"));
}

// The rows of a table-driven test, each a tuple to take apart in the loop.
template <typename... Columns> using Rows = std::initializer_list<std::tuple<Columns...>>;

// Keeps the log as a fresh main window shows it; notes each piece among the file-system calls,
// and stops the run after stopAfter files, when asked.
struct LogSink : BatchSink {
    explicit LogSink(platform::RecordingFileSystem* fs = nullptr, std::size_t stopAfter = 0)
        : fs(fs), stopAfter(stopAfter) {}
    void appendLog(std::string_view text) override {
        log += text;
        if (fs)
            fs->note("appendLog");
    }
    bool progress(std::size_t done, std::size_t) override { return stopAfter == 0 || done < stopAfter; }
    platform::RecordingFileSystem* fs;
    std::size_t stopAfter;
    std::string log{kLogHeader};
};

inline platform::FileSystem& realFs() { return platform::systemFileSystem(); }
// The running system's services, its files through fs.
// Charsets that stand in for the system's while a test sets them (see SystemCharset).
inline platform::Charsets*& charsetsInUse() {
    static platform::Charsets* charsets = nullptr;
    return charsets;
}

inline platform::System systemWith(platform::FileSystem& fs = realFs()) {
    platform::System system = platform::hostSystem(fs);
    return charsetsInUse() ? platform::System{fs, *charsetsInUse(), system.process, system.paths} : system;
}

// While it lives, runs take charset as the system's charset (the locale's, the ANSI code page),
// the system's own conversions serving.
class SystemCharset final : public platform::Charsets {
public:
    explicit SystemCharset(std::string charset) : m_charset(std::move(charset)) {}
    SystemCharset(const SystemCharset&) = delete;
    SystemCharset& operator=(const SystemCharset&) = delete;
    std::unique_ptr<platform::CharsetConversion> open(const std::string& to,
                                                      const std::string& from) override {
        return platform::systemCharsets().open(to, from);
    }
    std::string systemCharset() override { return m_charset; }
    std::string nameCharset() override { return platform::systemCharsets().nameCharset(); }

private:
    std::string m_charset;
    platform::ScopedOverride<platform::Charsets*> m_inUse{charsetsInUse(), this};
};

// A path below a folder as the log writes it: '/' becomes the system's separator.
inline std::string native(std::string path) {
    std::replace(path.begin(), path.end(), '/',
                 static_cast<char>(std::filesystem::path::preferred_separator));
    return path;
}

// How the system words a name that is not there ("No such file or directory").
inline const std::string kNoSuchFile = [] {
    platform::FileSystem& fs = platform::systemFileSystem();
    platform::FileHandle folder = platform::kNoFile;
    platform::FileInfo info;
    std::error_code ec = fs.openFolder(std::filesystem::temp_directory_path().string(), folder);
    if (!ec) {
        ec = fs.statAt(folder, "stepwick-no-such-name", info);
        (void)fs.close(folder);
    }
    return ec.message();
}();

// A symbolic link; false where the system or the file system makes none (wine makes none).
inline bool makeLink(const std::string& target, const std::string& link) {
    std::error_code ec;
    std::filesystem::create_symlink(target, link, ec);
    return !ec && std::filesystem::is_symlink(link, ec);
}

// A run over files of type ext, at "head" or else at the foot, with a fixed code.
inline BatchInput input(std::string ext, const std::string& position, std::string code) {
    BatchInput in;
    in.types = {std::move(ext)};
    in.place = position == "head" ? CodeAt::Head : CodeAt::Foot;
    in.code = [code] { return code; };
    return in;
}

// The input for a run in the folder, confirmed as the windows confirm it.
inline BatchInput at(const std::string& folder, BatchInput in) {
    in.folder = systemWith().paths.asFolder(folder);
    return in;
}
inline BatchInput at(const TempDir& dir, BatchInput in) { return at(dir.path(), std::move(in)); }

struct Ran {
    BatchResult result;
    std::string log; // the whole log, header included
};
inline Ran run(const TempDir& dir, const BatchInput& in, platform::FileSystem& fs = realFs()) {
    LogSink sink;
    BatchResult r = runBatch(at(dir, in), sink, systemWith(fs));
    return {std::move(r), sink.log};
}

} // namespace testfiles
