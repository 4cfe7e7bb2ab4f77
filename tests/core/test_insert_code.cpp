// InsertCode on one file; the bytes of each placement are the run tests' business.
#include "core/InsertCode.h"
#include "platform/RecordingFileSystem.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

using testfiles::listDir;
using testfiles::readFile;
using testfiles::TempDir;
using testfiles::writeFile;

// An unknown position or a code that is not text touches nothing; only a foot creates a missing file.
TEST(InsertCode, RefusalsTouchNothingAndOnlyAFootCreatesAFile) {
    TempDir dir;
    auto& fs = platform::systemFileSystem();
    writeFile(dir / "a.txt", "keep\r\n");
    for (const char* position : {"Head", "FOOT", "", "head ", "tail"})
        InsertCode("x", dir / "a.txt", position, fs);
    InsertCode("x", dir / "missing.txt", "Foot", fs);
    EXPECT_THROW(InsertCode("bad \xFF code", dir / "a.txt", "foot", fs), EncodingError);
    EXPECT_EQ(readFile(dir / "a.txt"), "keep\r\n");
    try {
        InsertCode("c", dir / "gone.txt", "head", fs);
        FAIL() << "head on a missing file must fail";
    } catch (const FileError& e) {
        EXPECT_EQ(e.path() + ": " + e.reason(), dir / "gone.txt" + ": No such file or directory");
    }
    InsertCode("c", dir / "new.txt", "foot", fs);
    EXPECT_EQ(readFile(dir / "new.txt"), "c\r\n");
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"a.txt", "new.txt"}));
}

TEST(InsertCode, RefusesWhatIsNotAWritableRegularFile) {
    TempDir dir;
    TempDir outside;
    writeFile(dir / "ro.txt", "old\r\n", 0444);
    writeFile(outside / "victim.txt", "outside\r\n");
    ASSERT_EQ(::symlink((outside / "victim.txt").c_str(), (dir / "link.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo.txt").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir((dir / "dir.txt").c_str(), 0755), 0);

    // Read-only holds even for root, and the rename must not get round it; a FIFO with no writer
    // would block a plain open: it must fail at once.
    for (const char* position : {"head", "foot"})
        for (const char* name : {"ro.txt", "link.txt", "fifo.txt", "dir.txt"})
            EXPECT_THROW(InsertCode("x", dir / name, position, platform::systemFileSystem()), FileError)
                << position << " " << name;
    const std::string other = "<not a regular file>"; // the link itself is not replaced either
    EXPECT_EQ(testfiles::snapshot(dir.path()),
              (testfiles::Contents{
                  {"dir.txt", other}, {"fifo.txt", other}, {"link.txt", other}, {"ro.txt", "old\r\n"}}));
    EXPECT_EQ(readFile(outside / "victim.txt"), "outside\r\n");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "ro.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
}

// Each call of a clean insertion failed in turn: the file is whole old (or whole new where the
// failure does not matter), keeps its mode, and nothing is left behind. A foot code too long for
// one write goes through a new file, as a head does; a head also where the file system has no
// unnamed files, or no /proc to name them: through a named temporary file.
TEST(InsertCode, FailureAtAnyStepLeavesTheFileWholeAndNothingBehind) {
    struct Run {
        const char* position;
        std::string code;
        const char* missing; // a call that always fails, with its errno
        int err;
    };
    const std::string old = "line 1\r\nline 2";
    const Run runs[] = {{"head", "code", "", 0},
                        {"head", "code", "openUnnamed", EOPNOTSUPP},
                        {"head", "code", "linkUnnamed", ENOENT},
                        {"foot", "code", "", 0},
                        {"foot", std::string(5000, 'L'), "", 0}};
    for (const Run& r : runs) {
        const bool head = std::string(r.position) == "head";
        const std::string changed = testfiles::inserted(old, r.code, head);
        long total = 0;
        for (long n = 0; n <= total; ++n) { // n = 0: the clean insertion, which counts the calls
            SCOPED_TRACE(std::string(r.position) + " of " + std::to_string(r.code.size()) + " without " +
                         r.missing + ", failing call " + std::to_string(n));
            TempDir dir;
            writeFile(dir / "a.txt", old, 0640);
            platform::RecordingFileSystem fs;
            if (*r.missing)
                fs.failEvery(r.missing, r.err);
            fs.failCall(n, ENOSPC);
            bool threw = false;
            try {
                InsertCode(r.code, dir / "a.txt", r.position, fs);
            } catch (const FileError&) {
                threw = true;
            }
            const auto& c = fs.calls();
            auto last = [&](const char* name) { return c.rend() - std::find(c.rbegin(), c.rend(), name); };
            if (n == 0) {
                total = fs.count();
                ASSERT_FALSE(threw);
                ASSERT_GT(total, 5);
                // A failed flush below proves it comes before the rename; the folder's flush follows it.
                EXPECT_GT(last("dataSync"), last("renameAt"));
                EXPECT_EQ(last("renameAt") > 0, head || r.code.size() > 4096);
            }
            EXPECT_EQ(readFile(dir / "a.txt"), threw ? old : changed) << c[std::max(n, 1L) - 1];
            EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"a.txt"}));
            struct stat st {};
            ASSERT_EQ(::stat((dir / "a.txt").c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0640u);
        }
    }
}
