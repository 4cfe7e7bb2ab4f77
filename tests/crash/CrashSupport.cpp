#include "CrashSupport.h"

#include "platform/Retry.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <strings.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace crash {
namespace {

std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> v(args.size() + 1, nullptr);
    std::transform(args.begin(), args.end(), v.begin(), [](std::string& a) { return a.data(); });
    return v;
}

struct CliRun {
    int exitCode = -1; // when it exited
    int signal = 0;    // when a signal ended it
    std::string out, err;
    bool killed() const { return signal != 0; }
};

// Starts stepwick-cli (STEPWICK_CLI, set by ctest) with args in a UTF-8 locale, plus the extra
// environment entries; its output goes to files in outDir.
pid_t startCli(std::vector<std::string> all, const std::string& outDir, std::vector<std::string> env = {}) {
    const char* cli = std::getenv("STEPWICK_CLI");
    if (!cli || !*cli)
        throw std::runtime_error("STEPWICK_CLI is not set (ctest sets it to the built stepwick-cli)");
    all.insert(all.begin(), cli);
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "STEPWICK_KILL_AT=", 17) != 0 && std::strncmp(*e, "LC_", 3) != 0)
            env.emplace_back(*e);
    env.emplace_back("LC_ALL=C.UTF-8");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    for (const auto& [fd, name] : {std::pair{1, "out"}, {2, "err"}})
        posix_spawn_file_actions_addopen(&actions, fd, (outDir + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    auto argv = argvOf(all), envp = argvOf(env);
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::system_error(rc, std::generic_category(), "start " + all[0]);
    return pid;
}

CliRun finishCli(pid_t pid, const std::string& outDir) {
    int status = 0;
    if (platform::retryOnInterrupt([&] { return ::waitpid(pid, &status, 0); }) < 0)
        throw std::system_error(errno, std::generic_category(), "waitpid");
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            testfiles::readFile(outDir + "out"), testfiles::readFile(outDir + "err")};
}

CliRun runCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    TempDir out; // outside the folder under test, so its files never show up there
    return finishCli(startCli(args, out.path(), env), out.path());
}

// None where the kill switch makes every new content named from the start, as on Windows.
bool hasUnnamedFiles(const std::string& folder) {
    if (std::getenv("STEPWICK_KILL_NAMED"))
        return false;
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    return fd >= 0 && ::close(fd) == 0;
}

const std::string kBom = "\xEF\xBB\xBF";

void note(std::string& problems, const std::string& what) {
    if (std::count(problems.begin(), problems.end(), '\n') < 8) // readable when a whole folder is wrong
        problems += what + "\n";
}

// A run of stepwick-cli --ext txt over a folder: what each target holds before, after one run and
// after two. A removal starts from the files with the code inserted; a second one changes nothing.
// A replacement starts from the files with the old code at their head and leaves them with the
// new one; a second changes nothing. Before a marker, once: each target is given with '|' where
// the code goes on its own line, '~' where it goes inline; a second run changes nothing.
struct Scenario {
    bool head;
    std::string code;
    Contents old, fresh, twice;
    std::vector<std::string> order; // the targets in run order
    bool remove = false;
    Kind kind = Kind::Add;
    static constexpr const char* kOldCode = "OLD 旧代码";

    Scenario(bool h, std::string c, Contents o, bool r = false, Kind k = Kind::Add)
        : head(h), code(std::move(c)), old(std::move(o)), remove(r), kind(k) {
        for (auto& [name, bytes] : old) {
            if (name[0] == '.' || name.size() < 4 ||
                ::strcasecmp(name.c_str() + name.size() - 4, ".txt") != 0)
                continue;
            order.push_back(name);
            if (kind == Kind::BeforeMarker) {
                const std::size_t at = bytes.find_first_of("|~");
                fresh[name] = twice[name] =
                    std::string(bytes).replace(at, 1, bytes[at] == '|' ? code + "\r\n" : code);
                bytes.erase(at, 1);
                continue;
            }
            if (kind == Kind::Replace) {
                fresh[name] = twice[name] = testfiles::inserted(bytes, code, true);
                bytes = testfiles::inserted(bytes, kOldCode, true);
                continue;
            }
            fresh[name] = testfiles::inserted(bytes, code, head);
            twice[name] = testfiles::inserted(fresh[name], code, head);
            if (!remove)
                continue;
            const std::size_t mark = testfiles::markOf(bytes).first.size();
            const std::size_t line = testfiles::inserted(bytes.substr(0, mark), code, true).size() - mark;
            twice[name] = head ? fresh[name].substr(0, mark) + fresh[name].substr(mark + line) : bytes;
            std::swap(bytes, fresh[name]);
            fresh[name] = twice[name];
        }
        std::sort(order.begin(), order.end(),
                  [](auto& a, auto& b) { return ::strcasecmp(a.c_str(), b.c_str()) < 0; });
    }
    std::vector<std::string> args(const std::string& folder) const {
        if (kind == Kind::Replace)
            return {"--head", "--replace", kOldCode, "--ext", "txt", "--code", code, folder};
        if (kind == Kind::BeforeMarker)
            return {"--before", "</body>", "--once", "--ext", "txt", "--code", code, folder};
        std::vector<std::string> a{head ? "--head" : "--foot", "--ext", "txt", "--code", code, folder};
        if (remove)
            a.insert(a.begin() + 1, "--remove");
        return a;
    }
    // The log of a run that changed every target but the failed ones, each with its reason, and
    // (a removal) those that no longer held the code.
    std::string log(const std::map<std::string, std::string>& failed = {},
                    const std::set<std::string>& notHeld = {}) const {
        std::string log = "被处理的文件\n";
        const std::string skipped = kind == Kind::Replace        ? "（already holds the new code）\n"
                                    : kind == Kind::BeforeMarker ? "（已含此代码，未再添加）\n"
                                                                 : "（未含此代码）\n";
        for (const auto& n : order)
            log += n + (failed.count(n)    ? "（未能处理：" + failed.at(n) + "）\n"
                        : notHeld.count(n) ? skipped
                                           : "\n");
        log += "\n处理了" + std::to_string(order.size() - failed.size() - notHeld.size()) + "个文件。\n";
        if (kind != Kind::Add && !notHeld.empty())
            log += "有" + std::to_string(notHeld.size()) + "个文件已含此代码，未再添加。\n";
        if (!failed.empty())
            log += "有" + std::to_string(failed.size()) + "个文件未能处理。\n";
        return log + "感谢您使用本软件！\n";
    }
};

struct Judgement {
    std::string problems;                // empty when the folder is sound
    std::map<std::string, bool> changed; // per target: holds its new content
    int leftovers = 0, changedCount = 0;
};

Judgement judge(const std::string& folder, const Scenario& s) {
    Judgement j;
    const Contents now = testfiles::snapshot(folder);
    for (const auto& [name, bytes] : s.old) {
        const bool target = s.fresh.count(name);
        if (!now.count(name))
            note(j.problems, name + " is missing");
        else if (now.at(name) == bytes && target)
            j.changed[name] = false;
        else if (target && now.at(name) == s.fresh.at(name))
            j.changed[name] = true, ++j.changedCount;
        else if (now.at(name) != bytes)
            note(j.problems, name + " holds neither its old nor its new content");
    }
    // Without unnamed files the new content is written under its hidden name from the start, so a
    // kill can leave several, whole or not; the next run sweeps them. With unnamed files only one
    // window is left: the whole new content named, not yet renamed over its still old file.
    const bool unnamed = hasUnnamedFiles(folder);
    for (const auto& [name, bytes] : now) {
        // The folder's lock, which the next run takes and removes; it never holds anything.
        if (s.old.count(name) || (name == ".stepwick.lock" && bytes.empty()))
            continue;
        if (!name.starts_with(".stepwick-") || !name.ends_with(".tmp")) { // a new content's hidden name
            note(j.problems, "unexpected name left in the folder: " + name);
            continue;
        }
        ++j.leftovers;
        if (unnamed && std::none_of(j.changed.begin(), j.changed.end(),
                                    [&](const auto& c) { return !c.second && s.fresh.at(c.first) == bytes; }))
            note(j.problems, "temporary file " + name + " is not the whole new content of a file still old");
    }
    if (unnamed && j.leftovers > 1)
        note(j.problems, std::to_string(j.leftovers) + " temporary files left behind");
    return j;
}

// A second run makes old files new, gives new ones the code once more (a removal: leaves them as
// they are) and leaves nothing else.
void expectSecondRunFinishes(const std::string& folder, const Scenario& s, const Judgement& afterKill) {
    CliRun second = runCli(s.args(folder));
    EXPECT_EQ(second.exitCode, 0) << second.err;
    std::set<std::string> notHeld;
    for (const auto& [name, isNew] : afterKill.changed)
        if (isNew && (s.remove || s.kind != Kind::Add))
            notHeld.insert(name);
    EXPECT_EQ(second.out, s.log({}, notHeld));
    Contents want = s.old;
    for (const auto& [name, isNew] : afterKill.changed)
        want[name] = isNew ? s.twice.at(name) : s.fresh.at(name);
    EXPECT_TRUE(testfiles::snapshot(folder) == want)
        << "a file wrong, missing or left over after the second run";
}

// A run short of room over s's files in a folder under root (squeezed: the rest of the room then
// filled but for a little more than one appended code): the failed files on standard error too, exit 1.
void checkFullRun(const std::string& root, const Scenario& s, bool squeeze) {
    const TempDir dir(root);
    const std::string& folder = dir.path();
    SCOPED_TRACE(std::string(s.head ? "head" : "foot") + " in " + folder);
    testfiles::writeAll(folder, s.old);
    if (squeeze) {
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
    }
    const CliRun run = runCli(s.args(folder));
    std::filesystem::remove(root + "filler");
    const Judgement j = judge(folder, s);
    EXPECT_EQ(j.problems, "");
    EXPECT_EQ(j.leftovers, 0);
    std::map<std::string, std::string> failed;
    std::string err;
    for (const auto& [name, isNew] : j.changed)
        if (!isNew)
            failed[name] = "No space left on device",
            err += "stepwick-cli: " + folder + name + ": No space left on device\n";
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, s.log(failed));
    EXPECT_EQ(run.err, err);
    EXPECT_GT(j.changedCount, 0) << "the test should leave room for some files";
    EXPECT_FALSE(failed.empty()) << "the test should not leave room for all files";
}

Contents filesOfSize(const char* prefix, int count, std::size_t size) {
    Contents files;
    for (int i = 0; i < count; ++i)
        files[prefix + std::to_string(100 + i) + ".txt"] = std::string(size - 2, char('a' + i)) + "\r\n";
    return files;
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

void checkEveryKillPoint(const std::string& base, bool head, const std::string& code, bool busyDisk,
                         long* calls, bool remove, Kind kind) {
    const std::string body16("h\0i\0\r\0\n\0", 8);
    const bool replaces = head || remove || code.size() > 4096 || kind != Kind::Add;
    // Beside a marker: pages that end in it, with it inline, and one that holds it twice.
    const Contents pages{{"a.txt", "<p>\r\n|</body>\r\n"},
                         {"B.txt", "|</body>"},
                         {"c.txt", kBom + "<p>\r\n|</body>\r\n</html>\r\n"},
                         {"d.txt", "</body>\r\n<p>\r\n|</body>\r\n"},
                         {"e.txt", "<p>x~</body></html>"},
                         {"keep.dat", "not a target </body>\r\n"}};
    const Scenario s(head, code,
                     kind == Kind::BeforeMarker ? pages
                                                : Contents{{"a.txt", "line 1\r\nline 2\r\n"},
                                                           {"B.txt", "no final break"},
                                                           {"c.txt", kBom + "bom text\r\n"},
                                                           {"d.txt", ""},
                                                           {"e.txt", "lf 1\nlf 2\n"},
                                                           {"f.TXT", "\xFF\xFE" + body16},
                                                           {"keep.dat", "not a target\r\n"},
                                                           {".hidden.txt", "hidden\r\n"}},
                     remove, kind);
    const int targets = static_cast<int>(s.order.size());
    long total = 0;
    int leftoverKills = 0, mixedKills = 0;
    bool unnamed = false;
    for (long k = 1; k < 5000 && total == 0; ++k) {
        SCOPED_TRACE(std::string(head ? "head" : "foot") + (remove ? " removal" : "") +
                     (kind == Kind::Replace        ? " replacement"
                      : kind == Kind::BeforeMarker ? " before </body>"
                                                   : "") +
                     (busyDisk ? " on a busy disk" : "") + " killed before file-system call " +
                     std::to_string(k));
        TempDir dir(base);
        unnamed = hasUnnamedFiles(dir.path());
        testfiles::writeAll(dir.path(), s.old);
        const long long unwritten = busyDisk ? 1LL << 40 : 0; // the machine's own may be either
        CliRun run = runCli(s.args(dir.path()), {"STEPWICK_KILL_AT=" + std::to_string(k),
                                                 "STEPWICK_KILL_UNWRITTEN=" + std::to_string(unwritten)});
        const Judgement j = judge(dir.path(), s);
        ASSERT_EQ(j.problems, "");
        if (!run.killed()) { // the run got through: k - 1 calls in all
            total = k - 1;
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(run.out, s.log());
            EXPECT_EQ(j.changedCount, targets);
            EXPECT_EQ(j.leftovers, 0);
            break;
        }
        ASSERT_EQ(run.signal, SIGKILL);
        leftoverKills += j.leftovers > 0;
        mixedKills += j.changedCount > 0 && j.changedCount < targets;
        expectSecondRunFinishes(dir.path(), s, j);
    }
    ASSERT_GT(total, 0) << "the run never got through";
    if (calls)
        *calls = total;
    EXPECT_GT(mixedKills, 0) << "no kill of " << total << " left some files new and some old";
    // With unnamed files two kills per file leave its new content named, not yet renamed: before
    // the last check of the old file and before the rename.
    EXPECT_TRUE((replaces && !unnamed) || leftoverKills == (replaces ? 2 * targets : 0)) << leftoverKills;
}

// What the manual promises of a killed run.
constexpr int kUnloggedAtMost = 256; // changed files left out of the log: one batch's
constexpr int kNamedLeftAtMost = 8;  // temporary files left, where new contents are named

void checkRandomKills(const std::string& base, bool head, int files, int rounds, unsigned seed, bool named,
                      const std::string& code) {
    if (named)
        ::setenv("STEPWICK_KILL_NAMED", "1", 1);
    struct Unset {
        ~Unset() { ::unsetenv("STEPWICK_KILL_NAMED"); }
    } unset;
    Contents old{{"other.dat", "not a target\r\n"}};
    const std::string ends[] = {"\r\n", "\r\nno final break", "\n", "\r\n"};
    for (int i = 0; i < files; ++i) { // a few big ones keep the copies busy
        const std::string line = "line of file " + std::to_string(i) + ", with a comma and \"quotes\"";
        old["n" + std::to_string(10000 + i) + ".txt"] = (i % 4 == 3 ? kBom : "") + line + ends[i % 4] +
                                                        (i % 500 == 7 ? std::string(512 * 1024, 'x') : "");
    }
    const Scenario s(head, code, old);
    TempDir clean(base), out;
    testfiles::writeAll(clean.path(), s.old);

    // A clean run first: it must do the whole job, and it tells how long a run lasts here.
    const auto t0 = std::chrono::steady_clock::now();
    CliRun whole = runCli(s.args(clean.path()));
    const auto cleanTime = std::chrono::steady_clock::now() - t0;
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    ASSERT_EQ(whole.out, s.log());
    ASSERT_EQ(judge(clean.path(), s).changedCount, files);

    std::mt19937 rng(seed);
    const long length = std::chrono::duration_cast<std::chrono::microseconds>(cleanTime).count();
    // A kill with no file changed yet raises `early`, one with every file changed lowers `late`.
    // Where the planned rounds missed the middle (a slow start under a sanitizer, a busy machine),
    // a few more aim between the two.
    long early = 0, late = length;
    int mixed = 0; // kills that left some files new and some old
    rounds = testfiles::roundsHere(rounds);
    const int needed = std::max(1, rounds / 10);
    for (int r = 0; r < rounds || (mixed < needed && r < 3 * rounds); ++r) {
        const long lo = std::min(early, late) * 3 / 4, hi = std::max(early, late) * 5 / 4 + 1;
        TempDir dir(base);
        testfiles::writeAll(dir.path(), s.old);
        const long us = r < rounds ? std::uniform_int_distribution<long>(0, length)(rng)
                                   : std::uniform_int_distribution<long>(lo, hi)(rng);
        SCOPED_TRACE(std::string(head ? "head" : "foot") + " round " + std::to_string(r) + ", killed after " +
                     std::to_string(us) + " us (seed " + std::to_string(seed) + ")");
        const pid_t pid = startCli(s.args(dir.path()), out.path());
        std::this_thread::sleep_for(std::chrono::microseconds(us));
        ::kill(pid, SIGKILL);
        CliRun run = finishCli(pid, out.path());
        EXPECT_TRUE(run.killed() || run.exitCode == 0) << run.err;
        const Judgement j = judge(dir.path(), s);
        ASSERT_EQ(j.problems, "");
        const auto unlogged = std::count_if(j.changed.begin(), j.changed.end(), [&run](const auto& c) {
            return c.second && run.out.find("\n" + c.first + "\n") == std::string::npos;
        });
        EXPECT_LE(unlogged, kUnloggedAtMost);
        EXPECT_LE(j.leftovers, kNamedLeftAtMost);
        mixed += j.changedCount > 0 && j.changedCount < files;
        if (j.changedCount == 0)
            early = std::max(early, us);
        else if (j.changedCount == files)
            late = std::min(late, us);
        expectSecondRunFinishes(dir.path(), s, j);
    }
    EXPECT_GE(mixed, needed) << "too few kills landed in the middle of the work";
}

// Head needs room for a whole new copy of each file next to the old one; foot a block or two per
// file. Both run over files that together need more than the file system holds.
void checkDiskFull(const std::string& root) {
    struct statvfs vfs {};
    ASSERT_EQ(::statvfs(root.c_str(), &vfs), 0);
    const std::uint64_t room = std::uint64_t(vfs.f_bavail) * vfs.f_frsize;
    ASSERT_GT(room, 1u << 20) << root;
    // The files take 70% of the room, so about a third of the new copies fit.
    checkFullRun(
        root,
        Scenario(true, "<!-- head code -->", filesOfSize("h", 24, room * 7 / 10 / 24 / 4096 * 4096 - 100)),
        false);
    // A foot appended across the end of each file's last block: a file can get part of it written
    // before the room runs out. One longer than a block goes through a new file.
    for (const auto& [length, size] : {std::pair{3000, 3096}, {6000, 4096}})
        checkFullRun(root,
                     Scenario(false, "<!-- " + std::string(length, 'x') + " -->", filesOfSize("f", 16, size)),
                     true);
}

} // namespace crash
