// Runs stepwick-cli on small file systems that fill up (tmpfs, loop-mounted ext4), and repeats
// the kill tests on ext4 mounted with noauto_da_alloc, where ext4 gives no implicit flush on
// rename. Needs root; every mount lives in this process's own mount namespace, so it
// disappears with the process however the process ends.
#include "CrashSupport.h"
#include "KillChecks.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using crash::Contents;
using crash::ScratchDir;

namespace {

const std::string kNoSpace = "No space left on device";
const std::vector<std::string> kLocale{"LC_ALL=C.UTF-8"};

std::uint64_t freeBytes(const std::string& path) {
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0)
        return 0;
    return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

// A mounted file system for one test, taken down at the end.
class Mounted {
  public:
    enum class Kind { Tmpfs, Ext4, Ext4NoAutoDaAlloc };
    explicit Mounted(Kind kind) : m_kind(kind) {
        std::filesystem::create_directory(m_holder / "mnt");
        m_dir = m_holder / "mnt";
        if (kind == Kind::Tmpfs)
            m_ok = crash::mountTmpfs(m_dir, "4m", m_why);
        else
            m_ok = crash::mountExt4(m_holder.path(), m_dir, 24, kind == Kind::Ext4 ? "" : "noauto_da_alloc",
                                    m_why);
    }
    ~Mounted() {
        if (m_ok)
            crash::unmount(m_dir);
    }
    bool ok() const { return m_ok; }
    const std::string& why() const { return m_why; }
    std::string path() const { return m_dir + "/"; }

  private:
    Kind m_kind;
    ScratchDir m_holder{std::filesystem::temp_directory_path().string()};
    std::string m_dir;
    bool m_ok = false;
    std::string m_why;
};

#define REQUIRE_MOUNT(m)                                                                                     \
    if (!(m).ok())                                                                                           \
    GTEST_SKIP() << "cannot mount the test file system: " << (m).why()

// The log of a run, split into its file lines: name -> failure reason ("" when changed).
struct ParsedLog {
    std::map<std::string, std::string> lines;
    std::string problems;
    std::string countLine;
    std::string failedLine;
};

ParsedLog parseLog(const std::string& out) {
    ParsedLog p;
    std::istringstream in(out);
    std::string line;
    std::getline(in, line);
    if (line != "被处理的文件")
        p.problems += "log starts with \"" + line + "\"\n";
    while (std::getline(in, line) && !line.empty()) {
        const std::string mark = "（未能处理：";
        auto at = line.find(mark);
        if (at == std::string::npos) {
            p.lines[line] = "";
        } else {
            const std::string close = "）";
            std::string reason = line.substr(at + mark.size());
            if (reason.size() < close.size() ||
                reason.compare(reason.size() - close.size(), close.size(), close) != 0)
                p.problems += "unclosed failure line: " + line + "\n";
            else
                reason.resize(reason.size() - close.size());
            p.lines[line.substr(0, at)] = reason;
        }
    }
    std::getline(in, p.countLine);
    std::getline(in, line);
    if (line != "感谢您使用本软件！") {
        p.failedLine = line;
        std::getline(in, line);
    }
    if (line != "感谢您使用本软件！")
        p.problems += "log does not close with the thanks line\n";
    return p;
}

// Runs stepwick-cli on a folder whose files cannot all be changed for lack of room and checks
// that the log, the standard error, the exit status and the bytes on disk all agree.
void checkFullRun(const std::string& folder, bool head, const std::string& code, const Contents& old) {
    SCOPED_TRACE(std::string(head ? "head" : "foot") + " in " + folder);
    crash::CliRun run = crash::runCli({head ? "--head" : "--foot", "--code", code, folder}, kLocale);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    ParsedLog log = parseLog(run.out);
    EXPECT_EQ(log.problems, "") << run.out;
    ASSERT_EQ(log.lines.size(), old.size()) << run.out;

    std::size_t changed = 0, failed = 0;
    const Contents now = crash::snapshot(folder);
    for (const auto& [name, bytes] : old) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(now.count(name)) << "missing";
        auto it = log.lines.find(name);
        ASSERT_NE(it, log.lines.end()) << "not in the log";
        if (it->second.empty()) {
            ++changed;
            EXPECT_TRUE(now.at(name) == (head ? crash::headOf(bytes, code) : crash::footOf(bytes, code)))
                << "logged as changed but does not hold the new content";
        } else {
            ++failed;
            EXPECT_EQ(it->second, kNoSpace);
            EXPECT_TRUE(now.at(name) == bytes) << "failed but not whole and old (" << now.at(name).size()
                                               << " bytes instead of " << bytes.size() << ")";
            EXPECT_NE(run.err.find("stepwick-cli: " + folder + name + ": " + kNoSpace + "\n"),
                      std::string::npos)
                << run.err;
        }
    }
    EXPECT_EQ(now.size(), old.size()) << "a temporary file or another name was left behind";
    EXPECT_GT(changed, 0u) << "the test should leave room for some files";
    EXPECT_GT(failed, 0u) << "the test should not leave room for all files";
    EXPECT_EQ(log.countLine, "处理了" + std::to_string(changed) + "个文件。");
    EXPECT_EQ(log.failedLine, "有" + std::to_string(failed) + "个文件未能处理。");
}

std::string textOfSize(int index, std::size_t size) {
    std::string line = "file " + std::to_string(index) + " line\r\n";
    std::string text;
    while (text.size() + line.size() <= size)
        text += line;
    text.append(size - text.size(), '.');
    return text;
}

// Head needs room for a whole new copy of each file next to the old one; foot needs a block or
// two per file. Both are run over files that together need more than the file system holds.
void checkDiskFull(const std::string& root) {
    const std::uint64_t room = freeBytes(root);
    ASSERT_GT(room, 1u << 20) << root;
    {
        const std::string folder = root + "head/";
        std::filesystem::create_directory(folder);
        // The files take 70% of the room, so about a third of the new copies fit.
        const int files = 24;
        const std::size_t size = room * 7 / 10 / files / 4096 * 4096 - 100;
        Contents old;
        for (int i = 0; i < files; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "h%02d.txt", i);
            old[name] = textOfSize(i, size);
        }
        crash::writeAll(folder, old);
        checkFullRun(folder, true, "<!-- head code -->", old);
        std::filesystem::remove_all(folder);
    }
    {
        const std::string folder = root + "foot/";
        std::filesystem::create_directory(folder);
        // Files of exactly one block: each append needs new blocks. The code is longer than
        // a block, so a file can get part of it written before the room runs out.
        Contents old;
        for (int i = 0; i < 16; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "f%02d.txt", i);
            old[name] = textOfSize(i, 4096);
        }
        crash::writeAll(folder, old);
        // Fill what is left, then give back room for a little more than one appended code.
        const std::string filler = root + "filler";
        int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        off_t size = 0;
        while (::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()))
            size += static_cast<off_t>(block.size());
        ASSERT_EQ(errno, ENOSPC);
        ASSERT_EQ(::ftruncate(fd, size - 3 * 4096), 0);
        ASSERT_EQ(::fsync(fd), 0);
        ::close(fd);
        const std::string code = "<!-- " + std::string(6000, 'x') + " -->";
        checkFullRun(folder, false, code, old);
        std::filesystem::remove_all(folder);
        std::filesystem::remove(filler);
    }
}

unsigned seed() {
    if (const char* s = std::getenv("STEPWICK_CRASH_SEED"); s && *s)
        return static_cast<unsigned>(std::strtoul(s, nullptr, 10));
    return std::random_device{}();
}

} // namespace

TEST(DiskFull, HeadAndFootOnTmpfsFailTheFilesThatDoNotFitAndLeaveThemOld) {
    Mounted m(Mounted::Kind::Tmpfs);
    REQUIRE_MOUNT(m);
    checkDiskFull(m.path());
}

TEST(DiskFull, HeadAndFootOnExt4FailTheFilesThatDoNotFitAndLeaveThemOld) {
    Mounted m(Mounted::Kind::Ext4);
    REQUIRE_MOUNT(m);
    checkDiskFull(m.path());
}

TEST(NoAutoDaAlloc, KillsAtEveryCallAndAtRandomMomentsAndAFullDisk) {
    Mounted m(Mounted::Kind::Ext4NoAutoDaAlloc);
    REQUIRE_MOUNT(m);
    crash::checkEveryKillPoint(m.path(), /*head=*/true);
    crash::checkEveryKillPoint(m.path(), /*head=*/false);
    const unsigned s = seed();
    crash::checkRandomKills(m.path(), /*head=*/true, 500, 20, s);
    crash::checkRandomKills(m.path(), /*head=*/false, 500, 20, s);
    checkDiskFull(m.path());
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::geteuid() != 0) {
        std::printf("Skipped: mounting small file systems needs root, and this runs as uid %u.\n",
                    static_cast<unsigned>(::geteuid()));
        return 77;
    }
    std::string why;
    if (!crash::enterPrivateMounts(why)) {
        std::printf("Skipped: %s\n", why.c_str());
        return 77;
    }
    return RUN_ALL_TESTS();
}
