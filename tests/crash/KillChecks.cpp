#include "CrashSupport.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <signal.h>
#include <strings.h>
#include <thread>

namespace crash {
namespace {

const std::string kBom = "\xEF\xBB\xBF";

void note(std::string& problems, const std::string& what) {
    if (std::count(problems.begin(), problems.end(), '\n') < 8) // readable when a whole folder is wrong
        problems += what + "\n";
}

// A run of stepwick-cli --ext txt over a folder: what each target holds before, after one run and
// after two.
struct Scenario {
    bool head;
    std::string code;
    Contents old, fresh, twice;
    std::vector<std::string> order; // the targets in run order

    Scenario(bool h, std::string c, Contents o) : head(h), code(std::move(c)), old(std::move(o)) {
        for (const auto& [name, bytes] : old) {
            if (name[0] == '.' || name.size() < 4 ||
                ::strcasecmp(name.c_str() + name.size() - 4, ".txt") != 0)
                continue;
            order.push_back(name);
            fresh[name] = testfiles::inserted(bytes, code, head);
            twice[name] = testfiles::inserted(fresh[name], code, head);
        }
        std::sort(order.begin(), order.end(), [](const std::string& a, const std::string& b) {
            return ::strcasecmp(a.c_str(), b.c_str()) < 0;
        });
    }
    std::vector<std::string> args(const std::string& folder) const {
        return {head ? "--head" : "--foot", "--ext", "txt", "--code", code, folder};
    }
    std::string log() const {
        std::string log = "被处理的文件\n";
        for (const auto& n : order)
            log += n + "\n";
        return log + "\n处理了" + std::to_string(order.size()) + "个文件。\n感谢您使用本软件！\n";
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
        if (s.old.count(name))
            continue;
        if (!isTemporaryName(name)) {
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

// A second, uninterrupted run: files that were old become new, files that were new get the code
// once more, and nothing else is left in the folder.
void expectSecondRunFinishes(const std::string& folder, const Scenario& s, const Judgement& afterKill) {
    CliRun second = runCli(s.args(folder));
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, s.log());
    Contents want = s.old;
    for (const auto& [name, isNew] : afterKill.changed)
        want[name] = isNew ? s.twice.at(name) : s.fresh.at(name);
    std::string problems;
    const Contents now = testfiles::snapshot(folder);
    for (const auto& [name, bytes] : now)
        if (!want.count(name) || want.at(name) != bytes)
            note(problems, name + " is wrong or left over after the second run");
    for (const auto& [name, bytes] : want)
        if (!now.count(name))
            note(problems, name + " is missing after the second run");
    EXPECT_EQ(problems, "");
}

} // namespace

void checkEveryKillPoint(const std::string& base, bool head, const std::string& code) {
    const std::string body16("h\0i\0\r\0\n\0", 8);
    const bool replaces = head || code.size() > 4096;
    const Scenario s(head, code,
                     {{"a.txt", "line 1\r\nline 2\r\n"},
                      {"B.txt", "no final break"},
                      {"c.txt", kBom + "bom text\r\n"},
                      {"d.txt", ""},
                      {"e.txt", "lf 1\nlf 2\n"},
                      {"f.TXT", "\xFF\xFE" + body16},
                      {"keep.dat", "not a target\r\n"},
                      {".hidden.txt", "hidden\r\n"}});
    const int targets = static_cast<int>(s.order.size());
    long total = 0;
    int leftoverKills = 0, mixedKills = 0;
    bool unnamed = false;
    for (long k = 1; k < 5000 && total == 0; ++k) {
        SCOPED_TRACE(std::string(head ? "head" : "foot") + " killed before file-system call " +
                     std::to_string(k));
        TempDir dir(base);
        unnamed = hasUnnamedFiles(dir.path());
        testfiles::writeAll(dir.path(), s.old);
        CliRun run = runCli(s.args(dir.path()), {"STEPWICK_KILL_AT=" + std::to_string(k)});
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
    std::cout << (head ? "head" : "foot") << ": " << total << " file-system calls, " << mixedKills
              << " kills left some files new and some old, " << leftoverKills << " left a temporary file\n";
    EXPECT_GT(mixedKills, 0);
    if (replaces && unnamed) { // exactly one moment per file: its new content named, not yet renamed
        EXPECT_EQ(leftoverKills, targets);
    } else if (!replaces) {
        EXPECT_EQ(leftoverKills, 0);
    }
}

void checkRandomKills(const std::string& base, bool head, int files, int rounds, unsigned seed) {
    Contents old{{"other.dat", "not a target\r\n"}};
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "n%05d.txt", i);
        const std::string line = "line of file " + std::to_string(i) + ", with a comma and \"quotes\"";
        std::string text;
        for (int l = 0; l <= i % 5; ++l)
            text += line + (i % 4 == 2 ? "\n" : "\r\n");
        text = (i % 4 == 3 ? kBom : "") + text + (i % 4 == 1 ? "no final break" : "");
        if (i % 500 == 7)
            text += std::string(512 * 1024, 'x') + "\r\n"; // a few big ones keep the copies busy
        old[name] = text;
    }
    const Scenario s(head, "<!-- added by the crash test: 40 bytes -->", old);
    TempDir dir(base), out;
    testfiles::writeAll(dir.path(), s.old);

    // A clean run first: it must do the whole job, and it tells how long a run lasts here.
    const auto t0 = std::chrono::steady_clock::now();
    CliRun clean = runCli(s.args(dir.path()));
    const auto cleanTime = std::chrono::steady_clock::now() - t0;
    ASSERT_EQ(clean.exitCode, 0) << clean.err;
    ASSERT_EQ(clean.out, s.log());
    ASSERT_EQ(judge(dir.path(), s).changedCount, files);

    std::mt19937 rng(seed);
    std::uniform_int_distribution<long> delay(
        0, std::chrono::duration_cast<std::chrono::microseconds>(cleanTime).count());
    int untouched = 0, mixed = 0, finished = 0, leftovers = 0;
    for (int r = 0; r < rounds; ++r) {
        resetTo(dir.path(), s.old);
        const long us = delay(rng);
        SCOPED_TRACE(std::string(head ? "head" : "foot") + " round " + std::to_string(r) + ", killed after " +
                     std::to_string(us) + " us (seed " + std::to_string(seed) + ")");
        const pid_t pid = startCli(s.args(dir.path()), out.path());
        std::this_thread::sleep_for(std::chrono::microseconds(us));
        ::kill(pid, SIGKILL);
        CliRun run = finishCli(pid, out.path());
        if (!run.killed()) {
            EXPECT_EQ(run.exitCode, 0) << run.err;
        }
        const Judgement j = judge(dir.path(), s);
        ASSERT_EQ(j.problems, "");
        (j.changedCount == 0 ? untouched : j.changedCount == files ? finished : mixed)++;
        leftovers += j.leftovers > 0;
        expectSecondRunFinishes(dir.path(), s, j);
    }
    std::cout << (head ? "head" : "foot") << " over " << files << " files, clean run "
              << std::chrono::duration_cast<std::chrono::milliseconds>(cleanTime).count() << " ms; " << rounds
              << " kills: " << untouched << " before any change, " << mixed << " part-way, " << finished
              << " after the last change, " << leftovers << " with a temporary file left\n";
    EXPECT_GE(mixed, std::max(1, rounds / 10)) << "too few kills landed in the middle of the work";
}

} // namespace crash
