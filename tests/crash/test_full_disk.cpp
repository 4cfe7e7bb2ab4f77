// stepwick-cli on small file systems that fill up (tmpfs, loop-mounted ext4), and the kill tests
// again on ext4 mounted with noauto_da_alloc, where ext4 gives no implicit flush on rename. Needs
// root; every mount lives in this process's own mount namespace.
#include "CrashSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

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

#define MOUNT_OR_SKIP(m, kind)                                                                               \
    Mounted m(kind);                                                                                         \
    if (!m.ok)                                                                                               \
    GTEST_SKIP() << "cannot mount the test file system: " << m.why

} // namespace

TEST(DiskFull, Tmpfs) {
    MOUNT_OR_SKIP(m, "tmpfs");
    crash::checkDiskFull(m.dir);
}

TEST(DiskFull, Ext4) {
    MOUNT_OR_SKIP(m, "ext4");
    crash::checkDiskFull(m.dir);
}

TEST(NoAutoDaAlloc, KillsAtEveryCallAndAtRandomMomentsAndAFullDisk) {
    MOUNT_OR_SKIP(m, "noauto_da_alloc");
    crash::checkEveryKillPoint(m.dir, true);
    crash::checkEveryKillPoint(m.dir, false);
    crash::checkRandomKills(m.dir, true, 500, 20, crash::seed());
    crash::checkRandomKills(m.dir, false, 500, 20, crash::seed());
    crash::checkDiskFull(m.dir);
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
