#pragma once

// What the core's run tests share: a sink that keeps the log, and a run over a confirmed folder.
#include "TestFiles.h"
#include "core/BatchRun.h"
#include "platform/RecordingFileSystem.h"

#include <algorithm>
#include <cstddef>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace testfiles {

// The rows of a table-driven test, each a tuple to take apart in the loop.
template <typename... Columns> using Rows = std::initializer_list<std::tuple<Columns...>>;

// Keeps the log as a fresh main window shows it; notes each piece among the file-system calls,
// and stops the run after stopAfter files, when asked.
class LogSink : public BatchSink {
public:
    explicit LogSink(platform::RecordingFileSystem* fs = nullptr, std::size_t stopAfter = 0)
        : m_fs(fs), m_stopAfter(stopAfter) {}
    void appendLog(std::string_view text) override {
        log += text;
        if (m_fs)
            m_fs->note("appendLog");
    }
    bool progress(std::size_t done, std::size_t) override { return m_stopAfter == 0 || done < m_stopAfter; }
    std::string log{kLogHeader};

private:
    platform::RecordingFileSystem* m_fs;
    std::size_t m_stopAfter;
};

inline platform::FileSystem& realFs() { return platform::systemFileSystem(); }

// A run over files of type ext, at "head" or else at the foot, with a fixed code.
inline BatchInput input(std::string ext, const std::string& position, std::string code) {
    return BatchInput{std::move(ext), position == "head" ? Position::Head : Position::Foot,
                      [code] { return code; }};
}

inline Mod folderMod(const TempDir& dir) {
    Mod mod;
    loadDefaults(mod);
    confirmFolder(mod, dir.path());
    return mod;
}

struct Ran {
    BatchResult result;
    std::string log; // the whole log, header included
};
inline Ran run(const TempDir& dir, const BatchInput& in, platform::FileSystem& fs = realFs()) {
    Mod mod = folderMod(dir);
    LogSink sink;
    BatchResult r = runBatch(mod, in, sink, fs);
    return {std::move(r), sink.log};
}

} // namespace testfiles
