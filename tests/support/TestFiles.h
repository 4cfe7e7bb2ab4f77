#pragma once

// What the tests of the core and of the command-line tool share: temporary folders, files and
// their bytes, what an insertion makes of a file, and a run over a confirmed folder.
#include "core/BatchRun.h"
#include "platform/RecordingFileSystem.h"
#include "platform/System.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <tuple>
#include <unistd.h>

namespace testfiles {

using ::testing::HasSubstr;

// A fresh folder under base, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& base = std::filesystem::temp_directory_path().string()) {
        std::string t = (base.back() == '/' ? base : base + "/") + "stepwick-test-XXXXXX";
        if (!::mkdtemp(t.data()))
            throw std::system_error(errno, std::generic_category(), "mkdtemp in " + base);
        m_path = t + "/";
    }
    ~TempDir() {
        std::error_code ec;
        // Give back write permission first so read-only test folders can be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec))
                ::chmod(it->path().c_str(), 0755);
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; } // ends in '/'
    std::string operator/(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const std::string& bytes, unsigned mode = 0644) {
    if (!std::ofstream(path, std::ios::binary | std::ios::trunc)
             .write(bytes.data(), std::streamsize(bytes.size())))
        throw std::runtime_error("cannot write " + path);
    ::chmod(path.c_str(), mode);
}

using Contents = std::map<std::string, std::string>; // name -> bytes

// Every entry of the folder (hidden ones too) with its bytes, or a marker for what is not a regular file.
inline Contents snapshot(const std::string& folder) {
    Contents c;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        c[e.path().filename().string()] =
            e.is_regular_file() && !e.is_symlink() ? readFile(e.path()) : "<not a regular file>";
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
    auto encode = [&](std::string text) {
        iconv_t cd = ::iconv_open(enc.c_str(), "UTF-8");
        std::string out(text.size() * 4, '\0');
        char *in = text.data(), *to = out.data();
        size_t inLeft = text.size(), outLeft = out.size();
        ::iconv(cd, &in, &inLeft, &to, &outLeft);
        ::iconv_close(cd);
        out.resize(out.size() - outLeft);
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
inline platform::System systemWith(platform::FileSystem& fs = realFs()) { return platform::hostSystem(fs); }

// A run over files of type ext, at "head" or else at the foot, with a fixed code.
inline BatchInput input(std::string ext, const std::string& position, std::string code) {
    return BatchInput{std::move(ext), position == "head" ? Position::Head : Position::Foot,
                      [code] { return code; }};
}

inline Mod folderMod(const TempDir& dir) {
    Mod mod;
    loadDefaults(mod);
    confirmFolder(mod, dir.path(), systemWith().paths);
    return mod;
}

struct Ran {
    BatchResult result;
    std::string log; // the whole log, header included
};
inline Ran run(const TempDir& dir, const BatchInput& in, platform::FileSystem& fs = realFs()) {
    Mod mod = folderMod(dir);
    LogSink sink;
    BatchResult r = runBatch(mod, in, sink, systemWith(fs));
    return {std::move(r), sink.log};
}

} // namespace testfiles
