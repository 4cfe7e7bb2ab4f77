#include "CrashSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sched.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace crash {
namespace {

std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> v(args.size() + 1, nullptr);
    std::transform(args.begin(), args.end(), v.begin(), [](std::string& a) { return a.data(); });
    return v;
}

// Runs a system tool through the shell (fixed arguments only); its output goes to why on failure.
bool runTool(const std::string& command, std::string& why) {
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    char buf[512];
    why = command + " failed: ";
    while (p && std::fgets(buf, sizeof buf, p))
        why += buf;
    return p && ::pclose(p) == 0;
}

} // namespace

std::string scratchBase() {
    if (const char* e = std::getenv("STEPWICK_CRASH_DIR"); e && *e)
        return e;
    struct statfs fs {};
    if (::statfs("/dev/shm", &fs) == 0 && fs.f_type == 0x01021994 /* tmpfs */ &&
        ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path().string();
}

unsigned seed() {
    if (const char* s = std::getenv("STEPWICK_CRASH_SEED"); s && *s)
        return static_cast<unsigned>(std::strtoul(s, nullptr, 10));
    return std::random_device{}();
}

pid_t startCli(const std::vector<std::string>& args, const std::string& outDir,
               const std::vector<std::string>& extraEnv) {
    const char* cli = std::getenv("STEPWICK_CLI");
    if (!cli || !*cli)
        throw std::runtime_error("STEPWICK_CLI is not set (ctest sets it to the built stepwick-cli)");
    std::vector<std::string> all{cli};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "STEPWICK_KILL_AT=", 17) != 0 && std::strncmp(*e, "LC_", 3) != 0)
            env.emplace_back(*e);
    env.emplace_back("LC_ALL=C.UTF-8");
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    for (const auto& [fd, name] : {std::pair{1, "out"}, {2, "err"}})
        posix_spawn_file_actions_addopen(&actions, fd, (outDir + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    auto argv = argvOf(all);
    auto envp = argvOf(env);
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::system_error(rc, std::generic_category(), "start " + all[0]);
    return pid;
}

CliRun finishCli(pid_t pid, const std::string& outDir) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "waitpid");
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            testfiles::readFile(outDir + "out"), testfiles::readFile(outDir + "err")};
}

CliRun runCli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    TempDir out; // outside the folder under test, so its files never show up there
    return finishCli(startCli(args, out.path(), extraEnv), out.path());
}

void resetTo(const std::string& folder, const Contents& keep) {
    const Contents now = testfiles::snapshot(folder);
    for (const auto& [name, bytes] : now)
        if (!keep.count(name))
            std::filesystem::remove(folder + name);
    for (const auto& [name, bytes] : keep)
        if (!now.count(name) || now.at(name) != bytes)
            testfiles::writeFile(folder + name, bytes);
}

bool isTemporaryName(const std::string& name) {
    return name.size() > 14 && name.rfind(".stepwick-", 0) == 0 &&
           name.compare(name.size() - 4, 4, ".tmp") == 0;
}

bool hasUnnamedFiles(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    return fd >= 0 && ::close(fd) == 0;
}

bool enterPrivateMounts(std::string& why) {
    if (::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0)
        return true;
    why = std::string("cannot make a mount namespace of our own: ") + std::strerror(errno);
    return false;
}

bool mountTmpfs(const std::string& dir, const std::string& size, std::string& why) {
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0755").c_str()) == 0)
        return true;
    why = "cannot mount a tmpfs on " + dir + ": " + std::strerror(errno);
    return false;
}

bool mountExt4(const std::string& imageDir, const std::string& dir, int sizeMiB, const std::string& options,
               std::string& why) {
    const std::string image = imageDir + "ext4.img";
    std::filesystem::resize_file((testfiles::writeFile(image, ""), image), std::uintmax_t(sizeMiB) << 20);
    // No blocks reserved for root (the tests run as root), 4 KiB blocks, the smallest journal.
    // A failure here is the test's own fault, not a missing facility of the machine.
    if (!runTool("/sbin/mkfs.ext4 -q -F -m 0 -b 4096 -J size=4 " + image, why))
        throw std::runtime_error(why);
    return runTool("mount -t ext4 -o loop" + (options.empty() ? "" : "," + options) + " " + image + " " + dir,
                   why);
}

void unmount(const std::string& dir) {
    if (::umount2(dir.c_str(), 0) != 0)
        (void)::umount2(dir.c_str(), MNT_DETACH);
}

} // namespace crash
