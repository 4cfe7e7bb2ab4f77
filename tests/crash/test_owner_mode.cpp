// Owner, group and mode survive a head insertion, set-user-ID and set-group-ID bits included:
// changing a file's owner, or writing to it, clears those bits, so the new file must get its
// owner first and its mode last. Needs root (files owned by another user).
#include "CrashSupport.h"
#include "core/BatchRun.h"
#include "core/InsertCode.h"
#include "platform/RecordingFileSystem.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using crash::ScratchDir;

namespace {

struct Owned {
    const char* name;
    uid_t uid;
    gid_t gid;
    mode_t mode;
};

// Files owned by someone else, with the bits a careless copy loses.
const Owned kFiles[] = {
    {"suid.txt", 1234, 5678, 04755},
    {"secret.txt", 1234, 5678, 0640},
    {"sgid.txt", 0, 5678, 02775},
    {"both.txt", 4321, 8765, 06750},
};

void makeOwnedFiles(const std::string& folder) {
    for (const auto& f : kFiles) {
        crash::writeAll(folder, {{f.name, std::string("old ") + f.name + "\r\n"}});
        const std::string path = folder + f.name;
        ASSERT_EQ(::chown(path.c_str(), f.uid, f.gid), 0);
        ASSERT_EQ(::chmod(path.c_str(), f.mode), 0); // after chown, which clears the set-ID bits
    }
}

void expectOwnedFilesKept(const std::string& folder, const std::string& code, bool head) {
    for (const auto& f : kFiles) {
        SCOPED_TRACE(f.name);
        const std::string path = folder + f.name;
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, f.uid);
        EXPECT_EQ(st.st_gid, f.gid);
        EXPECT_EQ(st.st_mode & 07777, f.mode) << std::oct << (st.st_mode & 07777);
        const std::string old = std::string("old ") + f.name + "\r\n";
        EXPECT_EQ(crash::snapshot(folder).at(f.name),
                  head ? crash::headOf(old, code) : crash::footOf(old, code));
    }
}

// Every chmod comes right after a chown of the same new file (no write between them), and
// no data is written after it.
std::string orderProblems(const std::vector<std::string>& calls) {
    std::string problems;
    int chmods = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i] != "chmod")
            continue;
        ++chmods;
        std::string before;
        for (std::size_t b = i; b-- > 0;) {
            if (calls[b] == "chown" || calls[b] == "chmod" || calls[b] == "write" ||
                calls[b] == "copyRange") {
                before = calls[b];
                break;
            }
        }
        if (before != "chown")
            problems +=
                "call " + std::to_string(i) + ": chmod after " + (before.empty() ? "nothing" : before) + "\n";
        for (std::size_t a = i + 1; a < calls.size(); ++a) {
            if (calls[a] == "write" || calls[a] == "copyRange") {
                problems += "call " + std::to_string(a) + ": data written after the mode was set\n";
                break;
            }
            if (calls[a] == "openUnnamed" || calls[a] == "openAt" || calls[a] == "fsSync" ||
                calls[a] == "dataSync")
                break;
        }
    }
    if (chmods == 0)
        problems += "no chmod at all\n";
    return problems;
}

class NullSink final : public BatchSink {
  public:
    void appendLog(std::string_view) override {}
};

} // namespace

TEST(OwnerBeforeMode, CommandLineHeadAndFootKeepOwnerGroupAndSetIdBits) {
    ScratchDir dir(std::filesystem::temp_directory_path().string());
    makeOwnedFiles(dir.path());
    crash::CliRun head = crash::runCli({"--head", "--code", "HEAD", dir.path()}, {"LC_ALL=C.UTF-8"});
    EXPECT_EQ(head.exitCode, 0) << head.err;
    expectOwnedFilesKept(dir.path(), "HEAD", true);

    ScratchDir dir2(std::filesystem::temp_directory_path().string());
    makeOwnedFiles(dir2.path());
    crash::CliRun foot = crash::runCli({"--foot", "--code", "FOOT", dir2.path()}, {"LC_ALL=C.UTF-8"});
    EXPECT_EQ(foot.exitCode, 0) << foot.err;
    expectOwnedFilesKept(dir2.path(), "FOOT", false);
}

TEST(OwnerBeforeMode, TheNewFileGetsItsOwnerAfterItsDataAndItsModeLast) {
    {
        SCOPED_TRACE("one file");
        ScratchDir dir(std::filesystem::temp_directory_path().string());
        makeOwnedFiles(dir.path());
        platform::RecordingFileSystem fs;
        InsertCode("HEAD", dir / "suid.txt", "head", fs);
        const auto& c = fs.calls();
        EXPECT_EQ(orderProblems(c), "");
        auto chmodAt = std::find(c.begin(), c.end(), "chmod");
        EXPECT_LT(chmodAt, std::find(c.begin(), c.end(), "renameAt"))
            << "the mode is set before the file counts";
        struct stat st {};
        ASSERT_EQ(::stat((dir / "suid.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 04755u);
    }
    {
        SCOPED_TRACE("a batch");
        ScratchDir dir(std::filesystem::temp_directory_path().string());
        makeOwnedFiles(dir.path());
        platform::RecordingFileSystem fs;
        Mod mod;
        loadDefaults(mod);
        confirmFolder(mod, dir.path());
        NullSink sink;
        BatchResult r =
            runBatch(mod, BatchInput{"txt", "head", [] { return std::string("HEAD"); }}, sink, fs);
        EXPECT_EQ(r.changed, std::size(kFiles));
        const auto& c = fs.calls();
        EXPECT_EQ(std::count(c.begin(), c.end(), "chmod"), static_cast<long>(std::size(kFiles)));
        EXPECT_EQ(orderProblems(c), "");
        expectOwnedFilesKept(dir.path(), "HEAD", true);
    }
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::geteuid() != 0) {
        std::printf("Skipped: files owned by another user can only be made by root; this runs as uid %u.\n",
                    static_cast<unsigned>(::geteuid()));
        return 77;
    }
    return RUN_ALL_TESTS();
}
