#include "KillChecks.h"

#include "CrashSupport.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <signal.h>
#include <thread>
#include <unistd.h>

namespace crash {
namespace {

const std::string kBom = "\xEF\xBB\xBF";
const std::string kCrlf = "\r\n";
const std::vector<std::string> kLocale{"LC_ALL=C.UTF-8"};

// What a folder looks like at some moment, judged against the run that was interrupted.
struct Judgement {
    std::string problems;                // empty when the folder is sound
    std::map<std::string, bool> changed; // per target: holds its new content
    int leftovers = 0;
    int changedCount = 0;
};

void note(std::string& problems, const std::string& what) {
    // Keep the report readable when a whole folder is wrong.
    if (std::count(problems.begin(), problems.end(), '\n') < 8)
        problems += what + "\n";
}

Judgement judge(const std::string& folder, const Contents& old, const Contents& fresh,
                const std::set<std::string>& targets) {
    Judgement j;
    const Contents now = snapshot(folder);
    for (const auto& [name, bytes] : old) {
        auto it = now.find(name);
        if (it == now.end()) {
            note(j.problems, name + " is missing");
            continue;
        }
        if (!targets.count(name)) {
            if (it->second != bytes)
                note(j.problems, name + " is not ours to change but changed");
            continue;
        }
        if (it->second == bytes) {
            j.changed[name] = false;
        } else if (it->second == fresh.at(name)) {
            j.changed[name] = true;
            ++j.changedCount;
        } else {
            note(j.problems, name + " holds neither its old nor its new content (" +
                                 std::to_string(it->second.size()) + " bytes)");
        }
    }
    // Without unnamed files the new content is written under its hidden name from the start,
    // so a kill can leave any number of them, whole or not; the next run sweeps them.
    const bool unnamed = hasUnnamedFiles(folder);
    std::set<std::string> claimed;
    for (const auto& [name, bytes] : now) {
        if (old.count(name))
            continue;
        if (!isTemporaryName(name)) {
            note(j.problems, "unexpected name left in the folder: " + name);
            continue;
        }
        ++j.leftovers;
        if (!unnamed)
            continue;
        // The one window: the new content was named but not yet renamed over its file.
        bool matched = false;
        for (const auto& t : targets) {
            if (!claimed.count(t) && j.changed.count(t) && !j.changed[t] && fresh.at(t) == bytes) {
                claimed.insert(t);
                matched = true;
                break;
            }
        }
        if (!matched)
            note(j.problems, "temporary file " + name + " is not the whole new content of a file still old");
    }
    if (j.leftovers > 1 && unnamed)
        note(j.problems, std::to_string(j.leftovers) + " temporary files left behind");
    return j;
}

// After a second, uninterrupted run: files that were old are new, files that were new got
// the code once more, and nothing else is in the folder.
std::string judgeSecondRun(const std::string& folder, const Contents& old, const Contents& fresh,
                           const Contents& twice, const Judgement& afterKill) {
    std::string problems;
    const Contents now = snapshot(folder);
    for (const auto& [name, bytes] : now)
        if (!old.count(name))
            note(problems, "left after the second run: " + name);
    for (const auto& [name, bytes] : old) {
        auto it = now.find(name);
        if (it == now.end()) {
            note(problems, name + " is missing after the second run");
            continue;
        }
        auto c = afterKill.changed.find(name);
        const std::string& want =
            c == afterKill.changed.end() ? bytes : (c->second ? twice.at(name) : fresh.at(name));
        if (it->second != want)
            note(problems,
                 name + " is wrong after the second run" +
                     std::string(c != afterKill.changed.end() && c->second ? " (was new)" : " (was old)"));
    }
    return problems;
}

std::string expectedLog(const std::vector<std::string>& order) {
    std::string log = "被处理的文件\n";
    for (const auto& n : order)
        log += n + "\n";
    return log + "\n处理了" + std::to_string(order.size()) + "个文件。\n感谢您使用本软件！\n";
}

std::vector<std::string> cliArgs(bool head, const std::string& code, const std::string& folder) {
    return {head ? "--head" : "--foot", "--ext", "txt", "--code", code, folder};
}

} // namespace

void checkEveryKillPoint(const std::string& base, bool head) {
    // "CODE 代码" in UTF-8 and in UTF-16LE.
    const std::string code = "CODE \xE4\xBB\xA3\xE7\xA0\x81";
    const std::string code16("C\0O\0D\0E\0 \0\xE3\x4E\x01\x78", 14);
    const std::string crlf16("\r\0\n\0", 4);
    const std::string body16("h\0i\0\r\0\n\0", 8);
    const std::string bom16 = "\xFF\xFE";

    const Contents old{
        {"a.txt", "line 1\r\nline 2\r\n"}, {"B.txt", "no final break"},
        {"c.txt", kBom + "bom text\r\n"},  {"d.txt", ""},
        {"e.txt", "lf 1\nlf 2\n"},         {"f.TXT", bom16 + body16},
        {"keep.dat", "not a target\r\n"},  {".hidden.txt", "hidden\r\n"},
    };
    const std::vector<std::string> order{"a.txt", "B.txt", "c.txt", "d.txt", "e.txt", "f.TXT"};
    const std::set<std::string> targets(order.begin(), order.end());
    Contents fresh, twice;
    if (head) {
        fresh = {
            {"a.txt", code + kCrlf + "line 1\r\nline 2\r\n"}, {"B.txt", code + kCrlf + "no final break\r\n"},
            {"c.txt", kBom + code + kCrlf + "bom text\r\n"},  {"d.txt", code + kCrlf},
            {"e.txt", code + kCrlf + "lf 1\nlf 2\n"},         {"f.TXT", bom16 + code16 + crlf16 + body16}};
        twice = {{"a.txt", code + kCrlf + fresh["a.txt"]},
                 {"B.txt", code + kCrlf + fresh["B.txt"]},
                 {"c.txt", kBom + code + kCrlf + code + kCrlf + "bom text\r\n"},
                 {"d.txt", code + kCrlf + code + kCrlf},
                 {"e.txt", code + kCrlf + fresh["e.txt"]},
                 {"f.TXT", bom16 + code16 + crlf16 + code16 + crlf16 + body16}};
    } else {
        for (const auto& n : order) {
            const bool wide = n == "f.TXT";
            fresh[n] = old.at(n) + (wide ? code16 + crlf16 : code + kCrlf);
            twice[n] = fresh[n] + (wide ? code16 + crlf16 : code + kCrlf);
        }
    }

    long total = 0;
    int leftoverKills = 0, mixedKills = 0;
    bool unnamed = false;
    for (long k = 1; k < 5000; ++k) {
        SCOPED_TRACE(std::string(head ? "head" : "foot") + " killed before file-system call " +
                     std::to_string(k));
        ScratchDir dir(base);
        unnamed = hasUnnamedFiles(dir.path());
        writeAll(dir.path(), old);
        std::vector<std::string> env = kLocale;
        env.push_back("STEPWICK_KILL_AT=" + std::to_string(k));
        CliRun run = runCli(cliArgs(head, code, dir.path()), env);
        if (!run.killed()) {
            // The run got through: k - 1 calls in all.
            total = k - 1;
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(run.out, expectedLog(order));
            Judgement j = judge(dir.path(), old, fresh, targets);
            EXPECT_EQ(j.problems, "");
            EXPECT_EQ(j.changedCount, static_cast<int>(order.size()));
            EXPECT_EQ(j.leftovers, 0);
            break;
        }
        ASSERT_EQ(run.signal, SIGKILL);
        Judgement j = judge(dir.path(), old, fresh, targets);
        EXPECT_EQ(j.problems, "");
        if (!j.problems.empty())
            continue;
        leftoverKills += j.leftovers > 0;
        mixedKills += j.changedCount > 0 && j.changedCount < static_cast<int>(order.size());

        CliRun second = runCli(cliArgs(head, code, dir.path()), kLocale);
        EXPECT_EQ(second.exitCode, 0) << second.err;
        EXPECT_EQ(second.out, expectedLog(order));
        EXPECT_EQ(judgeSecondRun(dir.path(), old, fresh, twice, j), "");
    }
    ASSERT_GT(total, 0) << "the run never got through";
    std::cout << (head ? "head" : "foot") << ": " << total << " file-system calls, " << mixedKills
              << " kills left some files new and some old, " << leftoverKills << " left a temporary file\n";
    EXPECT_GT(mixedKills, 0);
    if (head && unnamed) {
        // Exactly one moment per file: after its new content got a name, before the rename.
        EXPECT_EQ(leftoverKills, static_cast<int>(order.size()));
    } else if (!head) {
        EXPECT_EQ(leftoverKills, 0);
    }
}

void checkRandomKills(const std::string& base, bool head, int files, int rounds, unsigned seed) {
    const std::string code = "<!-- added by the crash test: 40 bytes -->";
    Contents old, fresh, twice;
    std::vector<std::string> order;
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "n%05d.txt", i);
        std::string line = "line of file " + std::to_string(i) + ", with a comma and \"quotes\"";
        std::string text;
        for (int l = 0; l <= i % 5; ++l)
            text += line + (i % 4 == 2 ? "\n" : "\r\n");
        if (i % 4 == 1)
            text += "no final break";
        if (i % 4 == 3)
            text = kBom + text;
        if (i % 500 == 7)
            text += std::string(512 * 1024, 'x') + "\r\n"; // a few big ones keep the copies busy
        old[name] = text;
        order.push_back(name);
    }
    const std::set<std::string> targets(order.begin(), order.end());
    for (const auto& n : order) {
        fresh[n] = head ? headOf(old[n], code) : footOf(old[n], code);
        twice[n] = head ? headOf(fresh[n], code) : footOf(fresh[n], code);
    }
    old["other.dat"] = "not a target\r\n";

    ScratchDir dir(base);
    ScratchDir out(std::filesystem::temp_directory_path().string());
    writeAll(dir.path(), old);

    // A clean run first: it must do the whole job, and it tells how long a run lasts here.
    auto t0 = std::chrono::steady_clock::now();
    CliRun clean = runCli(cliArgs(head, code, dir.path()), kLocale);
    const auto cleanTime = std::chrono::steady_clock::now() - t0;
    ASSERT_EQ(clean.exitCode, 0) << clean.err;
    ASSERT_EQ(clean.out, expectedLog(order));
    Judgement j0 = judge(dir.path(), old, fresh, targets);
    ASSERT_EQ(j0.problems, "");
    ASSERT_EQ(j0.changedCount, files);

    std::mt19937 rng(seed);
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(cleanTime).count();
    std::uniform_int_distribution<long> delay(0, span);
    int untouched = 0, mixed = 0, finished = 0, leftovers = 0;
    for (int r = 0; r < rounds; ++r) {
        resetTo(dir.path(), old);
        const long us = delay(rng);
        SCOPED_TRACE(std::string(head ? "head" : "foot") + " round " + std::to_string(r) + ", killed after " +
                     std::to_string(us) + " us (seed " + std::to_string(seed) + ")");
        pid_t pid = startCli(cliArgs(head, code, dir.path()), kLocale, out.path());
        std::this_thread::sleep_for(std::chrono::microseconds(us));
        ::kill(pid, SIGKILL);
        CliRun run = finishCli(pid, out.path());
        if (!run.killed()) {
            EXPECT_EQ(run.exitCode, 0) << run.err;
        }
        Judgement j = judge(dir.path(), old, fresh, targets);
        ASSERT_EQ(j.problems, "");
        if (j.changedCount == 0)
            ++untouched;
        else if (j.changedCount == files)
            ++finished;
        else
            ++mixed;
        leftovers += j.leftovers > 0;

        CliRun second = runCli(cliArgs(head, code, dir.path()), kLocale);
        EXPECT_EQ(second.exitCode, 0) << second.err;
        ASSERT_EQ(judgeSecondRun(dir.path(), old, fresh, twice, j), "");
    }
    std::cout << (head ? "head" : "foot") << " over " << files << " files, clean run "
              << std::chrono::duration_cast<std::chrono::milliseconds>(cleanTime).count() << " ms; " << rounds
              << " kills: " << untouched << " before any change, " << mixed << " part-way, " << finished
              << " after the last change, " << leftovers << " with a temporary file left\n";
    // Enough kills must land in the middle of the work, or the test proves little.
    EXPECT_GE(mixed, std::max(1, rounds / 10));
}

} // namespace crash
