// What a changed file keeps, and what the run does when the file, the folder or the system does
// not behave. (A low open-file limit: cli_test.sh.)
#include "TestFiles.h"
#include "core/FolderEditor.h"

#include <fstream>
#include <iostream>
#include <sys/wait.h>
#include <sys/xattr.h>

using namespace testfiles;

namespace {

// The raw value of an extended attribute, or "-" when the file has none of that name.
std::string xattr(const std::string& path, const char* name) {
    std::string value(4096, '\0');
    ssize_t n = ::getxattr(path.c_str(), name, value.data(), value.size());
    return n < 0 ? "-" : value.substr(0, static_cast<std::size_t>(n));
}

bool sh(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

const std::string kBigCode(5000, 'F'); // too long for one write: a foot goes through a new file

std::tuple<uid_t, gid_t, mode_t> ownerAndMode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {st.st_uid, st.st_gid, st.st_mode & 07777};
}

} // namespace

// Owner, group, mode (set-ID bits included), the access ACL (a folder's default ACL adds nothing)
// and attributes survive; file capabilities do not (writing content drops them). Changing the
// owner clears set-ID bits, so a new file gets its mode last. Some set-ups need root.
TEST(FileSafety, NewFileKeepsOwnerModeAclAndAttributes) {
    const bool root = ::geteuid() == 0;
    if (!root)
        std::cout << "Skipped other owners, set-ID bits, ACLs and attributes: setting them up needs root\n";
    std::vector<std::tuple<const char*, uid_t, gid_t, mode_t>> files{
        {"run.txt", ::geteuid(), ::getegid(), 0750}};
    if (root)
        files.insert(files.end(), {{"suid.txt", 1234, 5678, 04755},
                                   {"secret.txt", 1234, 5678, 0640},
                                   {"sgid.txt", 0, 5678, 02775},
                                   {"both.txt", 4321, 8765, 06750}});
    // A v2 capability set (cap_net_raw permitted and effective).
    const std::string capability(
        "\x01\x00\x00\x02\x00\x20\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 20);
    const std::pair<const char*, std::string> runs[] = {{"head", "X"}, {"foot", "X"}, {"foot", kBigCode}};
    for (const auto& [position, code] : runs) {
        SCOPED_TRACE(position + std::string(" with a code of ") + std::to_string(code.size()));
        TempDir dir;
        for (const auto& [name, uid, gid, mode] : files) {
            writeFile(dir / name, std::string("old ") + name);
            ASSERT_EQ(::chown((dir / name).c_str(), uid, gid), 0);
            ASSERT_EQ(::chmod((dir / name).c_str(), mode), 0); // after chown, which clears set-ID bits
        }
        const std::string own = dir / "run.txt";
        if (root) {
            ASSERT_TRUE(sh("setfacl -m u:nobody:---,g:nogroup:r " + dir / "secret.txt"))
                << "setfacl (package acl)";
            ASSERT_TRUE(sh("setfacl -d -m u:nobody:rwx " + dir.path()));
            ASSERT_EQ(::setxattr(own.c_str(), "user.origin", "mine", 4, 0), 0);
            ASSERT_EQ(::setxattr(own.c_str(), "trusted.t", "t", 1, 0), 0);
            ASSERT_EQ(::setxattr(own.c_str(), "security.capability", capability.data(), capability.size(), 0),
                      0);
        }
        const std::string acl = xattr(dir / "secret.txt", "system.posix_acl_access");

        platform::RecordingFileSystem fs;
        const Ran r = run(dir, input("txt", position, code), fs);
        EXPECT_EQ(r.result.changed, files.size()) << r.log;
        for (const auto& [name, uid, gid, mode] : files) {
            EXPECT_EQ(ownerAndMode(dir / name), std::make_tuple(uid, gid, mode)) << name;
            EXPECT_EQ(readFile(dir / name), inserted(std::string("old ") + name, code, position[0] == 'h'));
        }
        if (root) {
            EXPECT_EQ(xattr(dir / "secret.txt", "system.posix_acl_access"), acl);
            EXPECT_EQ(xattr(own, "system.posix_acl_access"), "-") << "nothing inherited";
            EXPECT_EQ(xattr(own, "user.origin"), "mine");
            EXPECT_EQ(xattr(own, "trusted.t"), "t");
            EXPECT_EQ(xattr(own, "security.capability"), "-");
        }
        bool modeSet = false;
        for (const std::string& call : fs.calls()) {
            if (call == "openUnnamed" || call == "openAt" || call == "fsSync" || call == "dataSync")
                modeSet = false; // the next file
            else if (call == "setPermissions")
                modeSet = true;
            else if (modeSet && (call == "setOwner" || call == "write" || call == "copyRange"))
                ADD_FAILURE() << call << " after the mode was set";
        }
    }
}

// An ACL that cannot be copied fails the file; another attribute is named in the file's line, and
// the file counts as changed. A file system without extended attributes has nothing to copy.
TEST(FileSafety, AttributeThatCannotBeCopiedFailsOnlyForTheAcl) {
    // The call that fails (with EPERM, or listing with ENOTSUP), whether the file fails, its line.
    for (const auto& [failing, fails, line] : Rows<std::string, bool, const char*>{
             {"setXattr", true, "a.txt（未能处理：Operation not permitted）\r\n"},
             {"setXattr", false, "a.txt（已添加，但未能复制扩展属性 user.x：Operation not permitted）\r\n"},
             {"listXattrs", false, "\r\na.txt\r\n"}}) {
        SCOPED_TRACE(line);
        TempDir dir;
        writeFile(dir / "a.txt", "old\r\n");
        if (fails)
            ASSERT_TRUE(sh("setfacl -m u:nobody:--- " + dir / "a.txt")) << "setfacl (package acl)";
        else
            ASSERT_EQ(::setxattr((dir / "a.txt").c_str(), "user.x", "1", 1, 0), 0);
        platform::RecordingFileSystem fs;
        const bool listing = failing == "listXattrs";
        fs.failEvery(failing, listing ? std::errc::not_supported : std::errc::operation_not_permitted);
        const Ran r = run(dir, input("txt", "head", "c"), fs);
        EXPECT_THAT(r.log, HasSubstr(line));
        EXPECT_EQ(readFile(dir / "a.txt"), fails ? "old\r\n" : "c\r\nold\r\n");
        EXPECT_EQ(r.result.changed, fails ? 0u : 1u);
        const auto& failed = fails ? r.result.failures : r.result.notes;
        EXPECT_EQ(failed.size(), listing ? 0u : 1u);
        EXPECT_TRUE(listing || failed[0].error == std::errc::operation_not_permitted);
        EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"a.txt"}));
    }
}

// Another program appends to a file before each file-system call of a run in turn. What it wrote
// is never cut away, save in the instant between the last check and the rename that replaces the
// file (it then went into the replaced file, as with any replacement). An append of the code that
// went down counts, with a word where the other program wrote too; a replacement (a head, a long
// foot, a removal) fails when the file changed since it was read, and leaves it as it is. Also
// where the handles must be closed before the rename (Windows, wine): the check comes after that.
TEST(FileSafety, WhatAnotherProgramAppendsAtAnyStepIsNeverCut) {
    const std::string old = "old\r\n", theirs = "THEIRS";
    for (const auto& [position, code, remove, closeFirst] :
         Rows<std::string, std::string, bool, bool>{{"foot", "c", false, false},
                                                    {"head", "c", false, false},
                                                    {"head", "c", false, true},
                                                    {"foot", kBigCode, false, false},
                                                    {"foot", "c", true, false},
                                                    {"head", "c", true, true}}) {
        const bool head = position == "head", append = !head && !remove && code.size() < 4096;
        const std::string line = code + "\r\n", start = remove ? (head ? line + old : old + line) : old;
        BatchInput in = input("txt", position, code);
        in.action = remove ? RunAction::Remove : RunAction::Add;
        // What a run makes of the file without, and of the file with their bytes from the start.
        auto clean = [&](const std::string& bytes, platform::RecordingFileSystem& fs) {
            TempDir dir;
            writeAll(dir.path(), {{"a.txt", bytes}, {"b.txt", "b\r\n"}});
            run(dir, in, fs);
            return readFile(dir / "a.txt");
        };
        platform::RecordingFileSystem first, other;
        if (closeFirst)
            first.refuseReplacingOpenFiles();
        const std::string done = clean(start, first), readWithTheirs = clean(start + theirs, other);
        const auto& calls = first.calls();
        const long flushAt = std::find(calls.begin(), calls.end(), "dataSync") - calls.begin() + 1;
        int noted = 0;
        for (long n = 1; n <= first.count(); ++n) {
            SCOPED_TRACE(position + (remove ? " removal" : " of ") + std::to_string(code.size()) +
                         ", they append before " + calls[n - 1] + " (call " + std::to_string(n) + ")");
            TempDir dir;
            writeAll(dir.path(), {{"a.txt", start}, {"b.txt", "b\r\n"}});
            platform::RecordingFileSystem fs;
            if (closeFirst)
                fs.refuseReplacingOpenFiles();
            fs.beforeCall(n, [&] { std::ofstream(dir / "a.txt", std::ios::app) << theirs; });
            const Ran r = run(dir, in, fs);
            const std::string now = readFile(dir / "a.txt");
            const bool failed = !r.result.failures.empty(),
                       note = r.log.find("a.txt（已添加；") != r.log.npos;
            noted += note;
            EXPECT_EQ(readFile(dir / "b.txt"), remove ? "b\r\n" : head ? line + "b\r\n" : "b\r\n" + line);
            EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"a.txt", "b.txt"}));
            if (failed) {
                EXPECT_FALSE(append) << r.log;
                EXPECT_EQ(r.result.failures[0].refusal, Refusal::ChangedDuringRun);
                EXPECT_THAT(r.log, HasSubstr("a.txt（未能处理：changed during the run）"));
                EXPECT_EQ(now, start + theirs);
            } else if (now != readWithTheirs && now != done + theirs) {
                EXPECT_TRUE(calls[n - 1] == "renameAt" && now == done) << now;
            }
            if (append && n <= flushAt && now == done + theirs) {
                EXPECT_THAT(r.log, HasSubstr("a.txt（已添加；changed during the run）\r\n"));
            }
        }
        EXPECT_EQ(noted > 0, append);
    }
    // A change of mode alone fails a replacement too.
    TempDir dir;
    writeAll(dir.path(), {{"a.txt", old}, {"b.txt", "b\r\n"}});
    platform::RecordingFileSystem fs;
    fs.beforeCall("dataSync", [&] { ::chmod((dir / "a.txt").c_str(), 0600); });
    const Ran r = run(dir, input("txt", "head", "c"), fs);
    ASSERT_EQ(r.result.failures.size(), 1u) << r.log;
    EXPECT_EQ(r.result.failures[0].refusal, Refusal::ChangedDuringRun);
    EXPECT_EQ(readFile(dir / "a.txt"), old);
}

// One file under three names: a foot goes on once and every name counts; a head or a removal
// replaces each name on its own (a removal taking one copy of the foot off each), and our own
// renames do not make the other names look changed.
TEST(FileSafety, HardLinksGetTheFootOnceAndTheHeadPerName) {
    for (const auto& [position, remove, old, expected] : Rows<const char*, bool, std::string, std::string>{
             {"head", false, "old\r\n", "X\r\nold\r\n"},
             {"foot", false, "old\r\n", "old\r\nX\r\n"},
             {"foot", true, "old\r\nX\r\nX\r\n", "old\r\nX\r\n"}}) {
        SCOPED_TRACE(std::string(position) + (remove ? " removal" : ""));
        TempDir dir;
        ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
        writeFile(dir / "a.txt", old);
        for (const char* other : {"b.txt", "sub/c.txt"})
            ASSERT_EQ(::link((dir / "a.txt").c_str(), (dir / other).c_str()), 0);
        // Renames a clock tick apart, so that each changes the file's change time.
        platform::RecordingFileSystem fs;
        std::function<void()> pause = [&] { ::usleep(20000), fs.beforeCall("renameAt", pause); };
        fs.beforeCall("renameAt", pause);
        BatchInput in = input("txt", position, "X");
        in.recursive = true;
        if (remove)
            in.action = RunAction::Remove;
        const Ran r = run(dir, in, fs);
        EXPECT_EQ(r.result.changed, 3u) << r.log;
        for (const char* name : {"a.txt", "b.txt", "sub/c.txt"})
            EXPECT_EQ(readFile(dir / name), expected) << name;
    }
}

// A folder that forbids renaming over (chattr +a): every replacement fails before any temporary
// file is made; short feet still go on.
TEST(FileSafety, AppendOnlyFolderFailsEveryReplacementAndKeepsNoTemporaryFile) {
    TempDir dir;
    writeAll(dir.path(), {{"a.txt", "a\r\n"}, {"b.txt", "b\r\n"}});
    if (!sh("chattr +a " + dir.path()))
        GTEST_SKIP() << "chattr +a needs root and a file system with file attributes";
    const Ran head = run(dir, input("txt", "head", "c")), bigFoot = run(dir, input("txt", "foot", kBigCode));
    const Ran foot = run(dir, input("txt", "foot", "c"));
    sh("chattr -a " + dir.path());
    EXPECT_EQ(head.result.changed + bigFoot.result.changed, 0u);
    ASSERT_EQ(head.result.failures.size(), 2u);
    EXPECT_EQ(head.result.failures[0].refusal, Refusal::CannotReplace);
    EXPECT_THAT(head.log,
                HasSubstr("a.txt（未能处理：" + std::string(refusalText(Refusal::CannotReplace)) + "）"));
    EXPECT_EQ(foot.result.changed, 2u);
    EXPECT_EQ(snapshot(dir.path()), (Contents{{"a.txt", "a\r\nc\r\n"}, {"b.txt", "b\r\nc\r\n"}}));
}

// An append whose flush fails is cut back; where it cannot be, or must not be since another program
// wrote behind it, the line says that the file may end with part of the code, and theirs stays.
TEST(FileSafety, FailedFlushOfAnAppendCutsBackOnlyOurOwnBytes) {
    // What stops the cut back, what the file then holds.
    for (const auto& [what, after] : Rows<std::string, std::string>{
             {"truncate fails", "oldc\r\n"}, {"they append", "oldc\r\nTHEIRS"}, {"", "old"}}) {
        SCOPED_TRACE(what);
        TempDir dir;
        writeFile(dir / "a.txt", "old");
        platform::RecordingFileSystem fs;
        fs.beforeCall("dataSync", [&, append = what == "they append"] {
            fs.failCall(fs.count(), std::errc::io_error);
            if (append)
                std::ofstream(dir / "a.txt", std::ios::app) << "THEIRS";
        });
        if (what == "truncate fails")
            fs.failEvery("truncate", std::errc::read_only_file_system);
        const Ran r = run(dir, input("txt", "foot", "c"), fs);
        ASSERT_EQ(r.result.failures.size(), 1u);
        EXPECT_EQ(r.result.failures[0].refusal, what.empty() ? Refusal::None : Refusal::PartialCode);
        EXPECT_THAT(r.log, HasSubstr(what.empty() ? "a.txt（未能处理：Input/output error）"
                                                  : "a.txt（未能处理：the file may end with part of the code "
                                                    "(Input/output error)）"));
        EXPECT_EQ(readFile(dir / "a.txt"), after);
    }
}

// A leftover temporary file of a live run is kept even where that run is another user's, whom we
// may not signal; a dead run's is removed. (Run as another user where the tests run as root.)
TEST(FileSafety, LeftoverSweepKeepsAnotherUsersLiveRun) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const std::string live = ".stepwick-1-1-1.tmp", dead = ".stepwick-999999999-1-1.tmp";
    writeAll(dir.path(), {{live, "theirs"}, {dead, "garbage"}});
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            ::_exit(2);
        if (::kill(1, 0) == 0)
            ::_exit(3); // process 1 is ours: no other user's process to ask about
        auto& fs = platform::systemFileSystem();
        platform::FileHandle folder = platform::kNoFile;
        std::vector<platform::DirEntry> entries;
        if (fs.openFolder(dir.path(), folder) || fs.readDir(folder, entries))
            ::_exit(4);
        FolderEditor(systemWith(fs), folder, dir.path()).sweepLeftovers(entries);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "process 1 belongs to the user running the tests";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(listDir(dir.path()), std::set<std::string>{live});
}

// Each call of a clean insertion or removal failed in turn: the file is whole old (or whole new
// where the failure does not matter), keeps its mode, and nothing is left behind. Also a long foot,
// and a head without unnamed files or without /proc to name them (a named temporary file).
TEST(FileSafety, FailureAtAnyStepLeavesTheFileWholeAndNothingBehind) {
    // Position, code, a call that always fails and its error, removal or insertion,
    // the file's first line (one longer than the first read makes a removal that matches the file's
    // line breaks read on for its break).
    using std::errc;
    const std::string longLine(70000, 'x');
    for (const auto& [position, code, missing, err, remove, first] :
         Rows<std::string, std::string, std::string, errc, bool, std::string>{
             {"head", "code", "", errc{}, false, "line 1"},
             {"head", "code", "openUnnamed", errc::operation_not_supported, false, "line 1"},
             {"head", "code", "linkUnnamed", errc::no_such_file_or_directory, false, "line 1"},
             {"foot", "code", "", errc{}, false, "line 1"},
             {"foot", std::string(4094, 'L'), "", errc{}, false, "line 1"}, // with its break: one write
             {"foot", std::string(4095, 'L'), "", errc{}, false, "line 1"},
             {"head", "code", "", errc{}, true, "line 1"},
             {"foot", "code", "", errc{}, true, "line 1"},
             {"foot", "code", "", errc{}, true, longLine}}) {
        const std::string old = first + "\r\nline 2";
        const bool head = position == "head";
        const std::string line = code + "\r\n", withCode = head ? line + old : old + line;
        // A removal takes the code out of a file whose last line has no break, and adds none.
        const std::string before = remove ? withCode : old,
                          changed = remove ? old : inserted(old, code, head);
        long total = 0;
        // n = 0: the clean insertion, which counts the calls. Each call fails once for good, and once
        // interrupted by a signal, which a read, a write or a copy repeats.
        for (long step = 0; step <= 2 * total; ++step) {
            const long n = (step + 1) / 2;
            const bool interrupt = step % 2 == 0;
            SCOPED_TRACE(position + (remove ? " removal" : " of ") + std::to_string(code.size()) +
                         " without " + missing + ", failing call " + std::to_string(n) +
                         (interrupt ? " interrupted" : ""));
            TempDir dir;
            writeFile(dir / "a.txt", before, 0640);
            platform::RecordingFileSystem fs;
            if (!missing.empty())
                fs.failEvery(missing, err);
            fs.failCall(n, interrupt ? errc::interrupted : errc::no_space_on_device);
            BatchInput in = input("txt", position, code);
            if (remove)
                in.action = RunAction::Remove;
            if (first == longLine)
                in.eol = LineBreakMode::Match;
            const Ran r = run(dir, in, fs);
            const bool threw = r.result.changed == 0;
            for (const FileFailure& f : r.result.failures)
                EXPECT_NE(f.refusal, Refusal::PartialCode) << "the file is whole";
            const auto& c = fs.calls();
            auto last = [&](const char* name) { return c.rend() - std::find(c.rbegin(), c.rend(), name); };
            if (n == 0) {
                total = fs.count();
                ASSERT_FALSE(threw);
                ASSERT_GT(total, 5);
                // A failed flush below proves it comes before the rename; the folder's flush follows it.
                EXPECT_GT(last("dataSync"), last("renameAt"));
                EXPECT_EQ(last("renameAt") > 0, head || remove || line.size() > 4096);
            }
            const std::string& failed = c[std::max(n, 1L) - 1];
            if (interrupt && (failed == "read" || failed == "write" || failed == "copyRange")) {
                EXPECT_FALSE(threw) << failed;
            }
            EXPECT_EQ(readFile(dir / "a.txt"), threw ? before : changed) << failed;
            EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"a.txt"}));
            EXPECT_EQ(std::get<2>(ownerAndMode(dir / "a.txt")), 0640u);
        }
    }
}
