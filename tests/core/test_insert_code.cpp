#include "core/InsertCode.h"
#include "platform/RecordingFileSystem.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <tuple>

using namespace std::string_literals;
using testfiles::listDir;
using testfiles::readFile;
using testfiles::TempDir;
using testfiles::writeFile;

// Empty files, CR LF lines and the byte-order marks: the round trips of test_code_place.
TEST(InsertCode, WritesExactBytesAtHeadAndFoot) {
    struct Case {
        const char* what;
        std::string old, code, head, foot;
    };
    const Case cases[] = {
        {"LF lines keep their breaks", "a\nb\n", "X", "X\r\na\nb\n", "a\nb\nX\r\n"},
        {"LF file without final break", "a\nb", "X", "X\r\na\nb\r\n", "a\nbX\r\n"},
        {"ends in a lone CR", "a\r", "X", "X\r\na\r", "a\rX\r\n"},
        {"commas, quotes, leading blanks", "  x, \"y\", 'z'\r\n\t,,\r\n", "c",
         "c\r\n  x, \"y\", 'z'\r\n\t,,\r\n", "  x, \"y\", 'z'\r\n\t,,\r\nc\r\n"},
        {"multi-line code", "body\r\n", "l1\r\nl2\r\n\r\nl4", "l1\r\nl2\r\n\r\nl4\r\nbody\r\n",
         "body\r\nl1\r\nl2\r\n\r\nl4\r\n"},
        {"empty code", "x\r\n", "", "\r\nx\r\n", "x\r\n\r\n"},
        {"bytes that are not UTF-8 survive", "\x80\xFE \xC0\xAF\r\n\xFF\xE4\xB8", "码",
         "码\r\n\x80\xFE \xC0\xAF\r\n\xFF\xE4\xB8\r\n", "\x80\xFE \xC0\xAF\r\n\xFF\xE4\xB8码\r\n"},
        {"UTF-16 LE: code in UTF-16",
         "\xFF\xFE"
         "a\0\r\0\n\0"s,
         "码",
         "\xFF\xFE"
         "\x01\x78\r\0\n\0a\0\r\0\n\0"s,
         "\xFF\xFE"
         "a\0\r\0\n\0\x01\x78\r\0\n\0"s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeFile(dir / "h.txt", c.old);
        writeFile(dir / "f.txt", c.old);
        InsertCode(c.code, dir / "h.txt", "head", platform::systemFileSystem());
        InsertCode(c.code, dir / "f.txt", "foot", platform::systemFileSystem());
        EXPECT_EQ(readFile(dir / "h.txt"), c.head);
        EXPECT_EQ(readFile(dir / "f.txt"), c.foot);
        EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"f.txt", "h.txt"}))
            << "nothing else left behind";
    }
}

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

TEST(InsertCode, FailureAtAnyStepLeavesTheFileWholeAndNothingBehind) {
    const std::string old = "line 1\r\nline 2";
    // A foot code too long for one write goes through a new file, as a head does.
    // A head also where the file system has no unnamed files: through a named temporary file.
    const std::tuple<const char*, std::string, bool> runs[] = {{"head", "code", true},
                                                               {"head", "code", false},
                                                               {"foot", "code", true},
                                                               {"foot", std::string(5000, 'L'), true}};
    for (const auto& [position, code, unnamed] : runs) {
        // Count the calls of a clean insertion, then fail each one in turn.
        long total = 0;
        {
            TempDir dir;
            writeFile(dir / "a.txt", old);
            platform::RecordingFileSystem fs;
            if (!unnamed)
                fs.failEvery("openUnnamed", EOPNOTSUPP);
            InsertCode(code, dir / "a.txt", position, fs);
            total = fs.count();
            // A failed flush below proves it comes before the rename; the folder's flush follows it.
            const auto& c = fs.calls();
            auto last = [&](const char* n) { return c.rend() - std::find(c.rbegin(), c.rend(), n); };
            EXPECT_GT(last("dataSync"), last("renameAt"));
            EXPECT_EQ(last("renameAt") > 0, std::string(position) == "head" || code.size() > 4096);
        }
        ASSERT_GT(total, 5);
        for (long n = 1; n <= total; ++n) {
            SCOPED_TRACE(std::string(position) + " of " + std::to_string(code.size()) +
                         (unnamed ? "" : " without unnamed files") + ", failing call " + std::to_string(n));
            TempDir dir;
            writeFile(dir / "a.txt", old, 0640);
            platform::RecordingFileSystem fs;
            if (!unnamed)
                fs.failEvery("openUnnamed", EOPNOTSUPP);
            fs.failCall(n, ENOSPC);
            bool threw = false;
            try {
                InsertCode(code, dir / "a.txt", position, fs);
            } catch (const FileError&) {
                threw = true;
            }
            const std::string now = readFile(dir / "a.txt");
            const std::string changed = testfiles::inserted(old, code, std::string(position) == "head");
            if (threw) {
                EXPECT_EQ(now, old) << fs.calls()[n - 1];
            } else {
                EXPECT_TRUE(now == changed)
                    << "a failure that is not reported must not matter: " << fs.calls()[n - 1];
            }
            EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"a.txt"}));
            struct stat st {};
            ASSERT_EQ(::stat((dir / "a.txt").c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0640u);
        }
    }
}
