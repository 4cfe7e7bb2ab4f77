#include "CrashSupport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace crash {
namespace {

constexpr long kTmpfsMagic = 0x01021994;

std::string readBytes(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "open " + path);
    struct stat st {};
    std::string bytes;
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[64 * 1024];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            int err = errno;
            ::close(fd);
            throw std::system_error(err, std::generic_category(), "read " + path);
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "create " + path);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            int err = errno;
            ::close(fd);
            throw std::system_error(err, std::generic_category(), "write " + path);
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> v;
    for (auto& a : args)
        v.push_back(a.data());
    v.push_back(nullptr);
    return v;
}

// Runs a general-purpose system tool; its output goes to why on failure.
bool runTool(std::vector<std::string> args, std::string& why) {
    std::string program = args[0];
    for (const char* dir : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        if (::access((dir + args[0]).c_str(), X_OK) == 0) {
            program = dir + args[0];
            break;
        }
    }
    char outName[] = "/tmp/stepwick-tool-XXXXXX";
    int out = ::mkstemp(outName);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out >= 0) {
        posix_spawn_file_actions_adddup2(&actions, out, 1);
        posix_spawn_file_actions_adddup2(&actions, out, 2);
    }
    auto argv = argvOf(args);
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (out >= 0)
        ::close(out);
    int status = 0;
    bool ok = rc == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok) {
        why = args[0] + " failed";
        if (rc != 0)
            why += std::string(": ") + std::strerror(rc);
        try {
            why += ": " + readBytes(outName);
        } catch (...) {
        }
    }
    ::unlink(outName);
    return ok;
}

} // namespace

std::string cliPath() {
    const char* p = std::getenv("STEPWICK_CLI");
    if (!p || !*p)
        throw std::runtime_error("STEPWICK_CLI is not set (ctest sets it to the built stepwick-cli)");
    return p;
}

std::string ScratchDir::defaultBase() {
    if (const char* e = std::getenv("STEPWICK_CRASH_DIR"); e && *e)
        return e;
    struct statfs fs {};
    if (::statfs("/dev/shm", &fs) == 0 && fs.f_type == kTmpfsMagic && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path().string();
}

ScratchDir::ScratchDir(const std::string& base) {
    std::string t = base;
    while (t.size() > 1 && t.back() == '/')
        t.pop_back();
    t += "/stepwick-crash-XXXXXX";
    if (!::mkdtemp(t.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp in " + base);
    m_path = t + "/";
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

pid_t startCli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
               const std::string& outDir) {
    std::vector<std::string> all{cliPath()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "STEPWICK_KILL_AT=", 17) != 0)
            env.emplace_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (outDir + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, (outDir + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
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
    CliRun run;
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    run.out = readBytes(outDir + "/out");
    run.err = readBytes(outDir + "/err");
    return run;
}

CliRun runCli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    // Output files live outside the folder under test, so they never show up in it.
    ScratchDir out(std::filesystem::temp_directory_path().string());
    return finishCli(startCli(args, extraEnv, out.path()), out.path());
}

Contents snapshot(const std::string& folder) {
    Contents c;
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        throw std::system_error(errno, std::generic_category(), "opendir " + folder);
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..")
            continue;
        std::string path = folder + "/" + n;
        if (e->d_type == DT_REG) {
            c[n] = readBytes(path);
            continue;
        }
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            c[n] = readBytes(path);
        else
            c[n] = "<not a regular file>";
    }
    ::closedir(d);
    return c;
}

void writeAll(const std::string& folder, const Contents& files) {
    for (const auto& [name, bytes] : files)
        writeBytes(folder + "/" + name, bytes);
}

void resetTo(const std::string& folder, const Contents& keep) {
    Contents now = snapshot(folder);
    for (const auto& [name, bytes] : now) {
        auto it = keep.find(name);
        if (it == keep.end())
            std::filesystem::remove(folder + "/" + name);
        else if (it->second != bytes)
            writeBytes(folder + "/" + name, it->second);
    }
    for (const auto& [name, bytes] : keep)
        if (!now.count(name))
            writeBytes(folder + "/" + name, bytes);
}

bool isTemporaryName(const std::string& name) {
    const std::string prefix = ".stepwick-", suffix = ".tmp";
    return name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool hasUnnamedFiles(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::string headOf(const std::string& old, const std::string& code) {
    const std::string bom = "\xEF\xBB\xBF";
    const bool marked = old.compare(0, 3, bom) == 0;
    const std::string body = marked ? old.substr(3) : old;
    std::string out = (marked ? bom : "") + code + "\r\n" + body;
    if (!body.empty() && body.back() != '\n' && body.back() != '\r')
        out += "\r\n";
    return out;
}

std::string footOf(const std::string& old, const std::string& code) {
    return old + code + "\r\n";
}

std::string lf(std::string crlf) {
    std::string out;
    for (std::size_t i = 0; i < crlf.size(); ++i)
        if (!(crlf[i] == '\r' && i + 1 < crlf.size() && crlf[i + 1] == '\n'))
            out += crlf[i];
    return out;
}

bool enterPrivateMounts(std::string& why) {
    if (::unshare(CLONE_NEWNS) != 0) {
        why = std::string("cannot make a mount namespace: ") + std::strerror(errno);
        return false;
    }
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why = std::string("cannot make the mounts private: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool mountTmpfs(const std::string& dir, const std::string& size, std::string& why) {
    std::string opts = "size=" + size + ",mode=0755";
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, opts.c_str()) != 0) {
        why = "cannot mount a tmpfs on " + dir + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool mountExt4(const std::string& imageDir, const std::string& dir, int sizeMiB, const std::string& options,
               std::string& why) {
    std::string image = imageDir + "/ext4.img";
    int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(sizeMiB) << 20) != 0) {
        why = "cannot make " + image + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    // No blocks reserved for root (the tests run as root), 4 KiB blocks, the smallest journal.
    // A failure here is the test's own fault, not a missing facility of the machine.
    if (!runTool({"mkfs.ext4", "-q", "-F", "-m", "0", "-b", "4096", "-J", "size=4", image}, why))
        throw std::runtime_error(why);
    std::string opts = "loop" + (options.empty() ? "" : "," + options);
    return runTool({"mount", "-t", "ext4", "-o", opts, image, dir}, why);
}

void unmount(const std::string& dir) {
    if (::umount2(dir.c_str(), 0) != 0)
        (void)::umount2(dir.c_str(), MNT_DETACH);
}

} // namespace crash
