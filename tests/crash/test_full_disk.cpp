// stepwick-cli on small file systems that fill up (tmpfs, loop-mounted ext4), and the kill tests
// on that ext4 mounted with noauto_da_alloc, where ext4 gives no implicit flush on rename. Needs
// root; every mount lives in this process's own mount namespace, so it goes however the test ends.
#include "CrashSupport.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// Runs a system tool through the shell (fixed arguments only); its output goes to why on failure.
bool runTool(const std::string& command, std::string& why) {
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    char buf[512];
    why = command + " failed: ";
    while (p && std::fgets(buf, sizeof buf, p))
        why += buf;
    return p && ::pclose(p) == 0;
}

// A file system mounted for one test ("tmpfs", or ext4 with the options named), taken down
// at the end.
struct Mounted {
    crash::TempDir holder;
    std::string dir = holder / "mnt/", why;
    bool ok = false;
    explicit Mounted(const std::string& kind) {
        std::filesystem::create_directory(dir);
        if (kind == "tmpfs") {
            ok = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=4m,mode=0755") == 0;
            why = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
            return;
        }
        const std::string image = holder / "ext4.img";
        std::filesystem::resize_file((testfiles::writeFile(image, ""), image), std::uintmax_t(24) << 20);
        // No blocks reserved for root (the tests run as root), 4 KiB blocks, the smallest journal.
        // A failure here is the test's own fault, not a missing facility of the machine.
        if (!runTool("/sbin/mkfs.ext4 -q -F -m 0 -b 4096 -J size=4 " + image, why))
            throw std::runtime_error(why);
        ok = runTool("mount -t ext4 -o loop," + kind + " " + image + " " + dir, why);
    }
    ~Mounted() {
        if (ok && ::umount2(dir.c_str(), 0) != 0)
            (void)::umount2(dir.c_str(), MNT_DETACH);
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
    if (::geteuid() != 0) {
        std::printf("Skipped: mounting small file systems needs root.\n");
        return 77;
    }
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        std::printf("Skipped: cannot make a mount namespace of our own: %s.\n", std::strerror(errno));
        return 77;
    }
    return RUN_ALL_TESTS();
}
