// stepwick-cli on small file systems that fill up (tmpfs, loop-mounted ext4), and the kill tests
// again on ext4 mounted with noauto_da_alloc, where ext4 gives no implicit flush on rename. Needs
// root; every mount lives in this process's own mount namespace.
#include "CrashSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

using crash::Contents;

namespace {

// A file system mounted for one test, taken down at the end.
struct Mounted {
    crash::TempDir holder;
    std::string dir = holder / "mnt/", why;
    bool ok = false;
    explicit Mounted(const std::string& kind) {
        std::filesystem::create_directory(dir);
        ok = kind == "tmpfs" ? crash::mountTmpfs(dir, "4m", why)
                             : crash::mountExt4(holder.path(), dir, 24, kind == "ext4" ? "" : kind, why);
    }
    ~Mounted() {
        if (ok)
            crash::unmount(dir);
    }
};

std::string textOfSize(int index, std::size_t size) {
    const std::string line = "file " + std::to_string(index) + " line\r\n";
    std::string text;
    while (text.size() + line.size() <= size)
        text += line;
    return text.append(size - text.size(), '.');
}

// Runs over files that cannot all be changed for lack of room: each file is whole old (and logged
// as failed with the system's reason, also on standard error) or whole new (and logged as
// changed), the counts add up, the exit status is 1 and nothing else is left in the folder.
void checkFullRun(const std::string& folder, bool head, const std::string& code, const Contents& old) {
    SCOPED_TRACE(std::string(head ? "head" : "foot") + " in " + folder);
    crash::CliRun run = crash::runCli({head ? "--head" : "--foot", "--code", code, folder});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const Contents now = testfiles::snapshot(folder);
    EXPECT_EQ(now.size(), old.size()) << "a temporary file or another name was left behind";
    std::string log = "被处理的文件\n", err;
    std::size_t changed = 0, failed = 0;
    for (const auto& [name, bytes] : old) { // names of one case: already in run order
        ASSERT_TRUE(now.count(name)) << name << " is missing";
        if (now.at(name) == testfiles::inserted(bytes, code, head)) {
            log += name + "\n", ++changed;
        } else {
            EXPECT_TRUE(now.at(name) == bytes) << name << " is neither old nor new";
            log += name + "（未能处理：No space left on device）\n", ++failed;
            err += "stepwick-cli: " + folder + name + ": No space left on device\n";
        }
    }
    EXPECT_EQ(run.out, log + "\n处理了" + std::to_string(changed) + "个文件。\n有" + std::to_string(failed) +
                           "个文件未能处理。\n感谢您使用本软件！\n");
    EXPECT_EQ(run.err, err);
    EXPECT_GT(changed, 0u) << "the test should leave room for some files";
    EXPECT_GT(failed, 0u) << "the test should not leave room for all files";
}

// Head needs room for a whole new copy of each file next to the old one; foot a block or two per
// file. Both run over files that together need more than the file system holds.
void checkDiskFull(const std::string& root) {
    struct statvfs vfs {};
    ASSERT_EQ(::statvfs(root.c_str(), &vfs), 0);
    const std::uint64_t room = std::uint64_t(vfs.f_bavail) * vfs.f_frsize;
    ASSERT_GT(room, 1u << 20) << root;
    Contents old;
    // The files take 70% of the room, so about a third of the new copies fit.
    const std::size_t size = room * 7 / 10 / 24 / 4096 * 4096 - 100;
    for (int i = 0; i < 24; ++i)
        old["h" + std::to_string(100 + i) + ".txt"] = textOfSize(i, size);
    std::filesystem::create_directory(root + "head");
    testfiles::writeAll(root + "head/", old);
    checkFullRun(root + "head/", true, "<!-- head code -->", old);
    std::filesystem::remove_all(root + "head");

    // Files of exactly one block: each append needs new blocks. The code is longer than a block,
    // so a file can get part of it written before the room runs out.
    old.clear();
    for (int i = 0; i < 16; ++i)
        old["f" + std::to_string(100 + i) + ".txt"] = textOfSize(i, 4096);
    std::filesystem::create_directory(root + "foot");
    testfiles::writeAll(root + "foot/", old);
    // Fill what is left, then give back room for a little more than one appended code.
    const int fd = ::open((root + "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    off_t filled = 0;
    while (::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()))
        filled += 4096;
    ASSERT_EQ(errno, ENOSPC);
    ASSERT_EQ(::ftruncate(fd, filled - 3 * 4096), 0);
    ASSERT_EQ(::fsync(fd), 0);
    ::close(fd);
    checkFullRun(root + "foot/", false, "<!-- " + std::string(6000, 'x') + " -->", old);
    std::filesystem::remove_all(root + "foot");
    std::filesystem::remove(root + "filler");
}

#define MOUNT_OR_SKIP(m, kind)                                                                               \
    Mounted m(kind);                                                                                         \
    if (!m.ok)                                                                                               \
    GTEST_SKIP() << "cannot mount the test file system: " << m.why

} // namespace

TEST(DiskFull, Tmpfs) {
    MOUNT_OR_SKIP(m, "tmpfs");
    checkDiskFull(m.dir);
}

TEST(DiskFull, Ext4) {
    MOUNT_OR_SKIP(m, "ext4");
    checkDiskFull(m.dir);
}

TEST(NoAutoDaAlloc, KillsAtEveryCallAndAtRandomMomentsAndAFullDisk) {
    MOUNT_OR_SKIP(m, "noauto_da_alloc");
    crash::checkEveryKillPoint(m.dir, true);
    crash::checkEveryKillPoint(m.dir, false);
    crash::checkRandomKills(m.dir, true, 500, 20, crash::seed());
    crash::checkRandomKills(m.dir, false, 500, 20, crash::seed());
    checkDiskFull(m.dir);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string why = "mounting small file systems needs root";
    if (::geteuid() != 0 || !crash::enterPrivateMounts(why)) {
        std::printf("Skipped: %s.\n", why.c_str());
        return 77;
    }
    return RUN_ALL_TESTS();
}
