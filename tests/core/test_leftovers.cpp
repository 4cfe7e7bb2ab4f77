#include "core/BatchRun.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using testfiles::listDir;
using testfiles::TempDir;
using testfiles::writeFile;

namespace {
class NullSink : public BatchSink {
public:
    void appendLog(std::string_view) override {}
};
} // namespace

// A killed run's temporary file is removed by the next run in that folder; one that a
// running process still owns is left alone, and so are names that merely look similar.
TEST(Leftovers, NextRunRemovesOnlyWhatAKilledRunLeft) {
    pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);

    TempDir dir;
    const std::string dead = ".stepwick-" + std::to_string(child) + "-1-1.tmp";
    const std::string alive = ".stepwick-" + std::to_string(::getppid()) + "-1-1.tmp";
    writeFile(dir / dead, "new content of a killed run");
    writeFile(dir / alive, "a running process's file");
    writeFile(dir / ".stepwick-notes.txt", "mine");
    writeFile(dir / "a.txt", "a");

    Mod mod;
    loadDefaults(mod);
    confirmFolder(mod, dir.path());
    NullSink sink;
    BatchResult r = runBatch(mod, BatchInput{"txt", "foot", [] { return std::string("x"); }}, sink);
    EXPECT_EQ(r.changed, 1u);
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{alive, ".stepwick-notes.txt", "a.txt"}));
}
