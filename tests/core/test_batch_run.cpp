#include "TestFiles.h"

#include "core/FolderEditor.h"
#include "forms/ReasonText.h"
#include "forms/RunOutcome.h"
#include "platform/FileSystemDecorator.h"
#ifdef _WIN32
#include "platform/win32/Win32Error.h"
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testfiles;

TEST(BatchRun, MatchesRegularVisibleFilesByExtensionIgnoringCase) {
    TempDir dir, outside;
    for (const char* name :
         {"a.cgi", "B.CGI", "c.Cgi", "d.cgi.bak", "e.cg", "noext", "x.html", "x.htm", "y.h[t]m",
          ".hidden.cgi", "z.c1i", "z.c1ix", "x.HTMLX", "x.ht", "z.c中i", "u.中文本s"})
        writeFile(dir / name, "x");
    writeFile(outside / "target.cgi", "x");
    (void)makeLink(outside / "target.cgi", dir / "link.cgi"); // wine makes none
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir / "fifo.cgi").c_str(), 0644), 0);
#endif
    ASSERT_TRUE(std::filesystem::create_directory(dir / "folder.cgi"));
    ASSERT_TRUE(std::filesystem::create_directory(dir / "folder"));

    using V = std::vector<std::string>;
    // The files a run over the type would change, in its order; none where the folder cannot be read.
    auto matchingFiles = [&dir](const std::string& type, const platform::System& system) {
        V files;
        const BatchResult r = previewBatch(at(dir, input(type, "foot", "C")), files, system);
        return r.outcome == BatchResult::Outcome::Completed ? files : V{"<unreadable>"};
    };
    // Where the file system keeps no entry types, each entry's own type still decides. (The rules of
    // a type by themselves, letter case, stars and whole alphabets: fuzz_names and its seeds.)
    for (bool typed : {true, false}) {
        SCOPED_TRACE(typed ? "entry types listed" : "DT_UNKNOWN");
        platform::RecordingFileSystem fs;
        if (!typed)
            fs.hideEntryTypes();
        EXPECT_EQ(matchingFiles("CGI", systemWith(fs)), (V{"a.cgi", "B.CGI", "c.Cgi"}));
        // Three characters without wildcards also take longer extensions that begin with them.
        EXPECT_EQ(matchingFiles("htm", systemWith(fs)), (V{"x.htm", "x.html", "x.HTMLX"}));
        EXPECT_EQ(matchingFiles("html", systemWith(fs)), (V{"x.html"}));
        EXPECT_EQ(matchingFiles("", systemWith(fs)), (V{"noext"}));
        EXPECT_EQ(matchingFiles("c?i", systemWith(fs)), (V{"a.cgi", "B.CGI", "c.Cgi", "z.c1i", "z.c中i"}))
            << "with a wildcard, three characters take no longer extensions";
        EXPECT_EQ(matchingFiles("中文本", systemWith(fs)), (V{"u.中文本s"})) << "characters, not bytes";
        EXPECT_EQ(matchingFiles("h[t]m", systemWith(fs)), (V{"y.h[t]m"})) << "brackets are plain characters";
        EXPECT_EQ(run(dir, input("cgi", "foot", "C"), fs).log,
                  "被处理的文件\r\na.cgi\r\nB.CGI\r\nc.Cgi\r\n\r\n处理了3个文件。\r\n感谢您使用本软件！");
        EXPECT_EQ(readFile(outside / "target.cgi"), "x");
    }
    // A name gone before it could be looked at is passed over; one that cannot be looked at fails the scan.
    platform::RecordingFileSystem failing;
    failing.hideEntryTypes(), failing.failEvery("statAt", std::errc::no_such_file_or_directory);
    EXPECT_EQ(matchingFiles("cgi", systemWith(failing)), V{});
    failing.failEvery("statAt", std::errc::io_error);
    EXPECT_EQ(matchingFiles("cgi", systemWith(failing)), V{"<unreadable>"});
}

// Each type of a list by the rules of one, and exclusions by name or by path: an excluded
// subfolder is not entered at all.
TEST(BatchRun, RunTakesEachTypeOfItsListAndLeavesOutWhatItsExclusionsName) {
    TempDir dir;
    for (const char* name :
         {"a.html", "b.shtml", "c.php", "d.txt", "e.min.php", "admin/f.php", "vendor/g.php",
          "vendor/deep/h.php", "site/admin", "site/i.HTM", "site/vendor/j.php"}) {
        std::filesystem::create_directories(std::filesystem::path(dir / name).parent_path());
        writeFile(dir / name, "x");
    }
    BatchInput in = input("htm", "foot", "C");
    in.types = {"htm", "shtml", "php"};
    in.recursive = true;
    in.exclude = {"*.min.php", "admin", "vendor/*", "site\\vendor\\j.php"};
    platform::RecordingFileSystem fs;
    const std::string sep(1, systemWith().paths.separator);
    EXPECT_EQ(run(dir, in, fs).log, "被处理的文件\r\na.html\r\nb.shtml\r\nc.php\r\nsite" + sep +
                                        "i.HTM\r\n\r\n处理了4个文件。\r\n感谢您使用本软件！");
    in.exclude = {};
    in.types = {"php"};
    platform::RecordingFileSystem every;
    EXPECT_THAT(run(dir, in, every).log, HasSubstr("vendor" + sep + "deep" + sep + "h.php"));
    const auto listings = [](const platform::RecordingFileSystem& f) {
        return std::count(f.calls().begin(), f.calls().end(), "readDir");
    };
    EXPECT_EQ(listings(fs) + 3, listings(every)) << "admin, vendor and vendor/deep are not entered";
}

// A file swapped after the scan, before its turn or between the check of its type and its opening,
// fails alone with its reason; nothing outside the folder changes, nothing hangs.
TEST(BatchRun, FileSwappedAfterTheScanFailsAloneAndNothingOutsideChanges) {
    using Swap = std::function<void(const std::string& target, const std::string& outside)>;
    // What b.txt becomes, how, and the reason when swapped before its turn and at its opening.
    const Rows<std::string, Swap, std::string, std::string> cases{
#ifndef _WIN32 // wine makes no links, Windows no FIFOs
        {"link to a file outside",
         [](auto& t, auto& o) { EXPECT_EQ((::unlink(t.c_str()), ::symlink(o.c_str(), t.c_str())), 0); },
         "symbolic link, not followed", "symbolic link, not followed"},
        {"FIFO", [](auto& t, auto&) { ::unlink(t.c_str()), ::mkfifo(t.c_str(), 0644); }, "not a regular file",
         "changed during the run"},
        {"a read-only file",
         [](auto& t, auto&) { std::filesystem::remove(t), writeFile(t, "new b\r\n", 0444); },
         "read-only file", "changed during the run"},
#endif
        {"removed", [](auto& t, auto&) { std::filesystem::remove(t); }, kNoSuchFile, kNoSuchFile},
        {"another file", [](auto& t, auto&) { std::filesystem::remove(t), writeFile(t, "new b\r\n"); },
         "changed during the run", "changed during the run"},
    };
    for (const char* position : {"head", "foot"})
        for (bool atOpening : {false, true})
            for (const auto& [what, swap, reasonBefore, reasonAtOpening] : cases) {
                SCOPED_TRACE(std::string(position) + ", b.txt " +
                             (atOpening ? "at its opening" : "before its turn") + ": " + what);
                TempDir dir, outside;
                writeAll(dir.path(), {{"a.txt", "a\r\n"}, {"b.txt", "b\r\n"}, {"c.txt", "c\r\n"}});
                writeFile(outside / "secret.txt", "secret\r\n");
                platform::RecordingFileSystem fs;
                auto doSwap = [&, swap = swap] { swap(dir / "b.txt", outside / "secret.txt"); };
                // Hooks run once, and a hook may set the next: the first statAt is a.txt's check
                // (after the scan), the second b.txt's, and the opening right after it is b.txt's.
                if (atOpening)
                    fs.beforeCall("statAt",
                                  [&] { fs.beforeCall("statAt", [&] { fs.beforeCall("openAt", doSwap); }); });
                else
                    fs.beforeCall("statAt", doSwap);
                const Ran r = run(dir, input("txt", position, "X"), fs);

                const bool head = std::string(position) == "head";
                const Contents now = snapshot(dir.path());
                EXPECT_EQ(now.at("a.txt"), inserted("a\r\n", "X", head));
                EXPECT_EQ(now.at("c.txt"), inserted("c\r\n", "X", head));
                EXPECT_EQ(readFile(outside / "secret.txt"), "secret\r\n");
                const bool removed = what == "removed", other = what.ends_with(" file");
                EXPECT_EQ(now.size(), removed ? 2u : 3u);
                if (what == "another file" && r.result.failures.empty()) {
                    // Taking the file that now holds the name is sound too, as long as it is whole.
                    EXPECT_EQ(now.at("b.txt"), inserted("new b\r\n", "X", head));
                    continue;
                }
                ASSERT_EQ(r.result.failures.size(), 1u) << r.log;
                EXPECT_EQ(r.result.changed, 2u);
                EXPECT_EQ(r.result.failures[0].reason, atOpening ? reasonAtOpening : reasonBefore);
                EXPECT_THAT(r.log, HasSubstr("b.txt（未能处理：" + r.result.failures[0].reason + "）\r\n"));
                // Not re-created; a link or FIFO not replaced by a regular file; a new file unchanged.
                EXPECT_EQ(now.count("b.txt") ? now.at("b.txt") : "", removed ? ""
                                                                     : other ? "new b\r\n"
                                                                             : "<not a regular file>");
            }
}

// A subfolder that cannot be entered, at the scan or at its turn, or whose listing breaks off, fails
// as a folder (none of its files taken from half a list) and the run goes on; where ".." does not
// lead back up, the walk comes down again from the run's folder.
TEST(BatchRun, FolderThatFailsCountsAsAFolderAndTheWalkGoesOn) {
    struct Failing : platform::FileSystemDecorator {
        using FileSystemDecorator::FileSystemDecorator;
        // Its opening number `at` (0: every one) fails with EIO, or opens `instead`.
        std::string name, instead;
        int at = 0, seen = 0;
        std::error_code openAt(platform::FileHandle dir, const std::string& n, platform::OpenMode mode,
                               std::uint32_t permissions, platform::FileHandle& out) override {
            const bool hit = n == name && (++seen == at || at == 0);
            if (hit && instead.empty())
                return std::make_error_code(std::errc::io_error);
            return FileSystemDecorator::openAt(dir, hit ? instead : n, mode, permissions, out);
        }
    };
    const std::string all = native("b/b.txt\r\nb/c/c.txt\r\nb/e/e.txt\r\nd/d.txt\r\n\r\n处理了5个文件。\r\n");
    const std::string folderFailed = "有1个文件未能处理。\r\n有1个文件夹未能处理。\r\n";
    const std::string eio = "（未能处理：Input/output error）\r\n";
    const std::string bFailed =
        native("b/") + eio + native("d/d.txt\r\n\r\n处理了2个文件。\r\n") + folderFailed;
    const Rows<std::string, std::string, int, std::string, std::string> cases{
        {"the scan cannot open b", "b", 1, "", bFailed},
        {"b's listing breaks off", "listing", 0, "", bFailed},
        {"its turn cannot open b/c", "c", 2, "",
         native("b/b.txt\r\nb/c/") + eio + native("b/e/e.txt\r\nd/d.txt\r\n\r\n处理了4个文件。\r\n") +
             folderFailed},
        {"its turn finds another folder at d", "d", 2, "b",
         native("b/b.txt\r\nb/c/c.txt\r\nb/e/e.txt\r\nd/") +
             "（未能处理：changed during the run）\r\n\r\n处理了4个文件。\r\n" + folderFailed},
        {"going up fails", "..", 0, "", all + "有1个文件未能处理。\r\n"},
        {"going up leads elsewhere", "..", 0, ".", all + "有1个文件未能处理。\r\n"},
    };
    for (const auto& [what, name, at, instead, log] : cases) {
        SCOPED_TRACE(what);
        TempDir dir;
        for (const char* sub : {"b/c", "b/e", "d"})
            std::filesystem::create_directories(dir / sub);
        writeAll(
            dir.path(),
            {{"a.txt", "o"}, {"b/b.txt", "o"}, {"b/c/c.txt", "o"}, {"b/e/e.txt", "o"}, {"d/d.txt", "o"}});
        writeFile(dir / "r.txt", "o", 0464);   // its owner may not write it: read-only
        platform::RecordingFileSystem listing; // the second listing, b's, breaks off; the next ones do not
        if (name == "listing")
            listing.beforeCall("readDir", [&] {
                listing.beforeCall("readDir", [&] {
                    listing.breakOffListing(1);
                    listing.beforeCall("readDir", [&] { listing.breakOffListing(0, std::errc{}); });
                });
            });
        Failing fs(listing);
        fs.name = name, fs.at = at, fs.instead = instead;
        BatchInput in = input("txt", "foot", "X");
        in.recursive = true;
        const Ran r = run(dir, in, fs);
        EXPECT_EQ(r.log, "被处理的文件\r\na.txt\r\nr.txt（未能处理：read-only file）\r\n" + log +
                             "感谢您使用本软件！");
        EXPECT_EQ(readFile(dir / "d/d.txt"), instead == "b" ? "o" : "oX\r\n");
        for (const char* inB : {"b/b.txt", "b/e/e.txt"})
            EXPECT_EQ(readFile(dir / inB), log == bFailed ? "o" : "oX\r\n") << inB;
    }
}

// A large head's rest is copied in slices, each reported, up to the end; where the system cannot
// copy between two files itself, it goes through a buffer: whole, or, when a write of it fails, the
// file left as it was with the reason.
TEST(BatchRun, LargeHeadIsCopiedInReportedSlicesWholeOrFailsTheFileUntouched) {
    const std::string big(std::size_t(20) << 20, 'b');
    struct Recording : LogSink {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> steps;
        void fileProgress(std::uint64_t done, std::uint64_t n) override { steps.emplace_back(done, n); }
    };
    for (const auto& [copies, writeFails] : Rows<bool, bool>{{true, false}, {false, false}, {false, true}}) {
        SCOPED_TRACE(copies ? "copied by the system" : writeFails ? "its write failing" : "through a buffer");
        TempDir dir;
        writeAll(dir.path(), {{"a.txt", "a\r\n"}, {"big.txt", big}});
        platform::RecordingFileSystem fs;
        if (!copies)
            fs.failEvery("copyRange", std::errc::operation_not_supported);
        if (writeFails)
            fs.beforeCall("copyRange", [&] { fs.failEvery("write", std::errc::io_error); });
        Recording sink;
        // The system's own copy on the real file system, which runs side threads as a run has them.
        runBatch(at(dir, input("txt", "head", "H")), sink, systemWith(copies ? realFs() : fs));
        EXPECT_EQ(sink.log,
                  std::string("被处理的文件\r\na.txt\r\nbig.txt") +
                      (writeFails
                           ? "（未能处理：Input/output error）\r\n\r\n处理了1个文件。\r\n有1个文件未能处理。"
                           : "\r\n\r\n处理了2个文件。") +
                      "\r\n感谢您使用本软件！");
        EXPECT_EQ(snapshot(dir.path()), (Contents{{"a.txt", "H\r\na\r\n"},
                                                  {"big.txt", writeFails ? big : "H\r\n" + big + "\r\n"}}));
        if (writeFails)
            continue;
        ASSERT_GE(sink.steps.size(), 2u) << "in slices, not only once at the end";
        EXPECT_TRUE(std::is_sorted(sink.steps.begin(), sink.steps.end()));
        EXPECT_EQ(sink.steps.back(), std::make_pair(std::uint64_t(big.size()), std::uint64_t(big.size())));
    }
}

// A folder bound into the tree a second time is entered once also where the system tells no mounts
// (with mount ids: tree_test.sh). Without them only the device tells, and a folder bound in from
// outside has the same, so that one is entered then.
#ifndef _WIN32
TEST(BatchRun, RecursiveRunEntersEachFolderOnceWithoutMountIds) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "binding folders needs root";
    TempDir dir;
    for (const char* sub : {"again", "b"})
        std::filesystem::create_directories(dir / sub);
    writeAll(dir.path(), {{"b/b.txt", "o"}});
    if (std::system(("mount --bind " + dir / "b" + " " + dir / "again" + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "mount --bind is not allowed here";
    platform::RecordingFileSystem fs;
    fs.failEvery("mountId", std::errc::function_not_supported);
    BatchInput in = input("txt", "foot", "X");
    in.recursive = true;
    const Ran r = run(dir, in, fs);
    EXPECT_EQ(std::system(("umount " + dir / "again").c_str()), 0);
    EXPECT_EQ(readFile(dir / "b/b.txt"), "oX\r\n");
    EXPECT_EQ(r.result.changed, 1u) << r.log;
}
#endif

TEST(BatchRun, NothingHappensWithUnusableInput) {
    TempDir dir;
    writeFile(dir / "a.txt", "a");
    LogSink sink;
    using O = BatchResult::Outcome;
    // The type, the code, the encoding named, what else spoils the input, and what the run says: a
    // marker, an old code, a list of types or an exclusion that the windows could hand over and
    // cannot be followed, or no folder. (Empty codes and control characters, and what the command
    // line refuses before it reaches the core: the command line's table.)
    for (const auto& [ext, code, encoding, spoil, outcome] :
         Rows<const char*, std::string, const char*, std::function<void(BatchInput&)>, O>{
             {"txt", "bad\xC3", "", nullptr, O::CodeNotEncodable},
             {"txt", "x", "NOPE", nullptr, O::CodeNotEncodable},
             {"txt", "x", "UTF-32LE", nullptr, O::CodeNotEncodable},
             {"txt", "\xF0\x9F\x98\x80", "GBK", nullptr, O::CodeNotEncodable},
             {"../txt", "x", "", nullptr, O::BadExtension},
             {"..\\txt", "x", "", nullptr, O::BadExtension},
             {"txt", "x", "", [](auto& in) { in.types.emplace_back("a/b"); }, O::BadExtension},
             {"txt", "x", "", [](auto& in) { in.place = CodeAt::BeforeMarker; }, O::BadRequest},
             {"txt", "x", "", [](auto& in) { in.action = RunAction::Replace; }, O::BadRequest},
             {"txt", "x", "", [](auto& in) { in.action = RunAction::Replace, in.oldCode = "x\n"; },
              O::BadRequest},
             {"txt", "x", "", [](auto& in) { in.types.emplace_back(""); }, O::BadRequest},
             {"txt", "x", "", [](auto& in) { in.exclude = {"../x"}; }, O::BadRequest},
             {"txt", "x", "", [](auto& in) { in.exclude = {"sub\\..\\..\\x"}; }, O::BadRequest},
             {"txt", "x", "", [](auto& in) { in.exclude = {"C:x"}; }, O::BadRequest},
             {"txt", "x", "", [](auto& in) { in.exclude = {""}; }, O::BadRequest},
             {"txt", "x", "", [](auto& in) { in.folder.clear(); }, O::NoFolder}}) {
        BatchInput in = at(dir, input(ext, "foot", code));
        in.encoding = encoding;
        if (spoil)
            spoil(in);
        const BatchResult refused = runBatch(in, sink, systemWith());
        EXPECT_EQ(refused.outcome, outcome) << ext << " " << code << " " << encoding << ": " << refused.error;
    }
    EXPECT_EQ(readFile(dir / "a.txt"), "a");
    BatchResult gone = runBatch(at(dir / "missing", input("txt", "foot", "x")), sink, systemWith());
    EXPECT_EQ(gone.outcome, O::FolderUnreadable);
    EXPECT_THAT(gone.error, HasSubstr(kNoSuchFile));
    EXPECT_EQ(sink.log, std::string(kLogHeader));
    // The run's own folder that cannot be looked at, or whose listing breaks off part-way: refused.
    for (bool listing : {false, true}) {
        platform::RecordingFileSystem fs;
        listing ? fs.breakOffListing(0) : fs.failOnOpenedFolder("stat");
        const Ran refused = run(dir, input("txt", "foot", "x"), fs);
        EXPECT_EQ(refused.result.outcome, O::FolderUnreadable) << refused.log;
        EXPECT_EQ(refused.result.error, at(dir, {}).folder + ": Input/output error");
    }
    platform::RecordingFileSystem full; // out of descriptors from a batch's first file on: each fails alone
    full.failEvery("openAt", std::errc::too_many_files_open);
    EXPECT_EQ(run(dir, input("txt", "foot", "x"), full).result.failures.size(), 1u);
    EXPECT_EQ(readFile(dir / "a.txt"), "a");
    // Tabs and line breaks are a code's own; its last line break is the one every code gets.
    EXPECT_EQ(run(dir, input("txt", "foot", "\t<p>\r\n\r\n")).result.changed, 1u);
    EXPECT_EQ(readFile(dir / "a.txt"), "a\t<p>\r\n\r\n");
}

// Each system error the window's log names, in the system's own numbers, has its own words: on
// Windows every error the conditions table maps to one of them.
TEST(BatchRun, WindowsNameEachSystemErrorInItsOwnWords) {
    const std::pair<std::vector<int>, const char*> reasons[] = {
#ifdef _WIN32
        {{2, 3, 15, 53, 67, 161}, "没有那个文件或目录"},
        {{5, 12, 82}, "权限不够"},
        {{1314, 1307}, "不允许的操作"},
        {{32, 170, 1224}, "文件正被其他程序使用"},
        {{112, 39, 1295}, "磁盘空间不足"},
        {{19}, "只读文件系统"},
        {{4}, "打开的文件过多"},
        {{23, 30, 29, 1117}, "输入/输出错误"},
#else // errno values are their own conditions; the quota has none and goes by its number
        {{EIO}, "输入/输出错误"},
        {{EDQUOT}, "超出磁盘配额"},
#endif
    };
#ifdef _WIN32
    const std::error_category& system = platform::win32::win32Category();
#else
    const std::error_category& system = std::system_category();
#endif
    for (const auto& [codes, reason] : reasons)
        for (int code : codes) {
            FileFailure failure;
            failure.error = std::error_code(code, system);
            EXPECT_EQ(chineseReason(failure), reason) << "error " << code;
        }
}

// The log as each window's box takes it, piece by piece: a CR that ends a piece waits for the next,
// so that a CR LF a run's pieces split reaches the box as one line break; a lone CR stays.
TEST(BatchRun, WindowsJoinTheLogPiecesWithoutBreakingALineBreak) {
    using Pieces = std::vector<std::string>;
    const Pieces pieces{"a\r", "\nb\r\n", "c\r", "d\r", "", "\n"};
    for (const auto& [breaks, shown] : Rows<layout::LogText::Breaks, Pieces>{
             {layout::LogText::Breaks::CrLf, {"a", "\r\nb\r\n", "c", "\rd", "", "\r\n"}},
             {layout::LogText::Breaks::Lf, {"a", "\nb\n", "c", "\rd", "", "\n"}}}) {
        layout::LogText log(breaks);
        Pieces box;
        for (const std::string& piece : pieces)
            box.push_back(log.append(piece));
        EXPECT_EQ(box, shown);
    }
}

// A dry run looks whether another run holds the folder but keeps no lock: a run meanwhile goes on.
TEST(BatchRun, DryRunHoldsNoLockWhileItReads) {
    TempDir dir;
    writeFile(dir / "a.txt", "a");
    platform::RecordingFileSystem fs;
    BatchResult during;
    LogSink sink;
    fs.beforeCall("read", [&] { during = runBatch(at(dir, input("txt", "foot", "X")), sink, systemWith()); });
    BatchInput in = input("txt", "foot", "X");
    in.action = RunAction::AddOnce;
    std::vector<std::string> files;
    EXPECT_EQ(previewBatch(at(dir, in), files, systemWith(fs)).outcome, BatchResult::Outcome::Completed);
    EXPECT_EQ(during.outcome, BatchResult::Outcome::Completed) << during.error;
    EXPECT_EQ(readFile(dir / "a.txt"), "aX\r\n");
}

// Stopped by the window after a report or by a signal mid-file: that file is finished, no other started.
TEST(BatchRun, StopLetsTheFileUnderWayFinishAndLeavesTheRestUntouched) {
    auto name = [](int i) { return "f" + std::to_string(10000 + i) + ".txt"; };
    const int total = 1200;
    for (bool bySignal : {false, true}) {
        SCOPED_TRACE(bySignal ? "stop flag" : "progress");
        TempDir dir;
        for (int i = 0; i < total; ++i)
            writeFile(dir / name(i), "o");
        platform::RecordingFileSystem fs;
        std::atomic<bool> stop{false};
        if (bySignal)
            fs.beforeCall("write", [&] { stop = true; });
        LogSink sink(nullptr, bySignal ? 0 : 1);
        int reads = 0;
        BatchInput in = input("txt", "foot", "");
        in.code = [&] { return ++reads, std::string("n"); };
        in.stop = &stop;
        BatchResult r = runBatch(at(dir, in), sink, systemWith(fs));
        EXPECT_EQ(r.outcome, BatchResult::Outcome::Cancelled);
        ASSERT_GT(r.changed, 0u);
        ASSERT_LT(r.changed, bySignal ? 2u : static_cast<std::size_t>(total));
        // Exactly the logged files are changed, and they are the first ones in order.
        std::string expected = "被处理的文件\r\n";
        for (std::size_t i = 0; i < r.changed; ++i)
            expected += name(static_cast<int>(i)) + "\r\n";
        EXPECT_EQ(sink.log, expected + "\r\n处理了" + std::to_string(r.changed) +
                                "个文件。\r\n已取消，其余文件未作改动。\r\n感谢您使用本软件！");
        for (int i = 0; i < total; ++i)
            ASSERT_EQ(readFile(dir / name(i)), static_cast<std::size_t>(i) < r.changed ? "on\r\n" : "o")
                << name(i);
        EXPECT_EQ(reads, 1) << "the code is read once per run";
    }
}

// Quiet: one flush of the whole file system (a single file: its own). Busy (other programs'
// unwritten data), or no such flush (Windows): each file alone. A flush that fails fails its files,
// without a retry.
TEST(BatchRun, DataIsOnDiskBeforeRenameAndFolderBeforeTheLog) {
    for (const char* position : {"head", "foot"})
        for (const auto& [files, busy, diskFlush] :
             {std::tuple{1u, false, true}, {6u, false, true}, {6u, true, true}, {6u, false, false}})
            for (bool failing : {false, true}) {
                if (failing && !diskFlush)
                    continue; // the stand-in fails one kind of call: here the whole-disk flush
                SCOPED_TRACE(std::string(position) + ", " + std::to_string(files) + " files" +
                             (busy ? " busy" : "") + (diskFlush ? "" : ", no whole-disk flush") +
                             (failing ? ", the flush failing" : ""));
                const bool perFile = busy || files == 1 || !diskFlush, head = std::string(position) == "head";
                TempDir dir;
                for (unsigned i = 0; i < files; ++i)
                    writeFile(dir / ("f" + std::to_string(i) + ".txt"), "old\r\n");
                platform::RecordingFileSystem fs;
                fs.setUnwrittenBytes(busy ? 1LL << 30 : 0);
                if (failing || !diskFlush)
                    fs.failEvery(perFile && diskFlush ? "dataSync" : "fsSync",
                                 failing ? std::errc::io_error : std::errc::function_not_supported);
                LogSink sink(&fs);
                const BatchResult r = runBatch(at(dir, input("txt", position, "c")), sink, systemWith(fs));
                const auto& c = fs.calls();
                auto first = [&](const char* n) { return std::find(c.begin(), c.end(), n) - c.begin(); };
                auto last = [&](const char* n) { return c.rend() - std::find(c.rbegin(), c.rend(), n) - 1; };
                const long flush = perFile ? std::find_if(c.begin() + first("dataSync"), c.end(),
                                                          [](auto& n) { return n != "dataSync"; }) -
                                                 c.begin() - 1
                                           : first("fsSync");
                EXPECT_GT(flush, last("write")) << "every write is flushed before anything counts";
                EXPECT_EQ(r.changed, failing ? 0u : files);
                EXPECT_EQ(r.failures.size(), failing ? files : 0u);
                if (failing) {
                    EXPECT_EQ(std::count(c.begin(), c.end(), perFile ? "dataSync" : "fsSync"), 1)
                        << "no retry";
                    EXPECT_THAT(sink.log, HasSubstr("f0.txt（未能处理：Input/output error）"));
                    EXPECT_THAT(sink.log, HasSubstr("有" + std::to_string(files) + "个文件未能处理。"));
                    EXPECT_EQ(snapshot(dir.path()).size(), files);
                    for (unsigned i = 0; i < files; ++i)
                        EXPECT_EQ(readFile(dir / ("f" + std::to_string(i) + ".txt")), "old\r\n");
                    continue;
                }
                EXPECT_EQ(std::count(c.begin(), c.begin() + flush + 1, "dataSync"), perFile ? files : 0);
                EXPECT_EQ(std::count(c.begin(), c.end(), "fsSync"), busy || files == 1 ? 0 : 1);
                EXPECT_LT(flush, first("appendLog")) << "no file counts before its data is on disk";
                if (head) { // the folder's flush after the renames: see the next test
                    EXPECT_EQ(std::count(c.begin(), c.end(), "renameAt"), files);
                    EXPECT_LT(flush, first("renameAt"));
                }
            }
}

// With threads, the folder is flushed beside the renames of later batches; still each file is
// renamed, and then the folder flushed, before its line is logged. The old file is let go only
// after the line: closing it frees its blocks, which the folder must no longer name on the disk.
TEST(BatchRun, EachFileIsRenamedAndItsFolderFlushedBeforeItsLineAndTheOldFileClosedAfter) {
    struct Order : platform::FileSystemDecorator, LogSink {
        using FileSystemDecorator::FileSystemDecorator;
        std::mutex mutex;
        std::vector<std::string>
            events; // "rename NAME", "folder flushing", "folder flushed", "log NAME", ...
        std::map<platform::FileHandle, std::string> oldFiles; // open handles of the files as they were
        void add(std::string event) {
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back(std::move(event));
        }
        std::error_code openAt(platform::FileHandle dir, const std::string& name, platform::OpenMode mode,
                               std::uint32_t permissions, platform::FileHandle& out) override {
            const std::error_code ec = FileSystemDecorator::openAt(dir, name, mode, permissions, out);
            std::lock_guard<std::mutex> lock(mutex);
            if (!ec && name.ends_with(".txt"))
                oldFiles[out] = name;
            return ec;
        }
        std::error_code close(platform::FileHandle file) override {
            std::unique_lock<std::mutex> lock(mutex);
            if (auto old = oldFiles.extract(file))
                events.push_back("close " + old.mapped());
            lock.unlock();
            return FileSystemDecorator::close(file);
        }
        std::error_code renameAt(platform::FileHandle dir, const std::string& from,
                                 const std::string& to) override {
            const std::error_code ec = FileSystemDecorator::renameAt(dir, from, to);
            add("rename " + to);
            return ec;
        }
        std::error_code dataSync(platform::FileHandle file) override {
            platform::FileInfo info;
            const bool folder = !stat(file, info) && info.kind == platform::FileKind::Folder;
            if (folder)
                add("folder flushing");
            const std::error_code ec = FileSystemDecorator::dataSync(file);
            if (folder)
                add("folder flushed");
            return ec;
        }
        void appendLog(std::string_view text) override {
            LogSink::appendLog(text);
            for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string_view::npos;
                 at = end + 2)
                add("log " + std::string(text.substr(at, end - at)));
        }
    };
    TempDir dir;
    constexpr int kFiles = 2000;
    for (int i = 0; i < kFiles; ++i)
        writeFile(dir / ("f" + std::to_string(i) + ".txt"), "x\r\n");
    Order order(realFs());
    ASSERT_TRUE(order.concurrent());
    ASSERT_EQ(runBatch(at(dir, input("txt", "head", "C")), order, systemWith(order)).changed,
              std::size_t(kFiles));

    std::map<std::string, std::size_t> renamedAt;
    std::set<std::string> loggedNames;
    std::size_t flushingSince = 0, flushedSince = 0; // the events after which the last flush began, ended
    int logged = 0, closed = 0;
    for (std::size_t i = 0; i < order.events.size(); ++i) {
        const std::string& e = order.events[i];
        if (e.starts_with("rename "))
            renamedAt[e.substr(7)] = i;
        else if (e == "folder flushing")
            flushingSince = i;
        else if (e == "folder flushed")
            flushedSince = flushingSince;
        else if (e.starts_with("log f")) {
            ++logged;
            const auto it = renamedAt.find(e.substr(4));
            ASSERT_NE(it, renamedAt.end()) << e << ": logged before it was renamed";
            ASSERT_GT(flushedSince, it->second)
                << e << ": logged before a flush of the folder after its rename";
            loggedNames.insert(e.substr(4));
        } else if (e.starts_with("close ")) {
            ++closed;
            // Where the system cannot rename over an open file, it is closed before (Windows).
            ASSERT_TRUE(loggedNames.contains(e.substr(6)) || !realFs().replacesOpenFiles())
                << e << ": the old file closed before its line";
        }
    }
    EXPECT_EQ(logged, kFiles);
    EXPECT_EQ(closed, kFiles);
}

// On a busy disk each file is flushed alone, several side by side, and a failure names its file;
// making room for descriptors touches none in use.
TEST(BatchRun, FlushOfEachFileRunsSideBySideAndNamesTheFailedOne) {
    struct Busy : platform::FileSystemDecorator {
        using FileSystemDecorator::FileSystemDecorator;
        std::mutex mutex;
        std::condition_variable more;
        int inFlight = 0, most = 0, flushed = 0;
        platform::FileHandle failing = platform::kNoFile;
        long long unwrittenBytes() override { return 1LL << 40; }
        std::error_code dataSync(platform::FileHandle file) override {
            std::unique_lock<std::mutex> lock(mutex);
            most = std::max(most, ++inFlight);
            more.notify_all();
            more.wait_for(lock, std::chrono::seconds(5), [&] { return most > 1; });
            --inFlight, ++flushed;
            lock.unlock();
            return file == failing ? std::make_error_code(std::errc::io_error)
                                   : FileSystemDecorator::dataSync(file);
        }
    } fs(realFs());
    TempDir dir;
    platform::FileHandle handle = platform::kNoFile;
    ASSERT_FALSE(fs.openFolder(dir.path(), handle));
    platform::UniqueFile folder(fs, handle);
    FolderEditor editor(systemWith(fs), folder.get(), dir.path());
    std::vector<FolderEditor::Pending> pending(40);
    std::error_code ec;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        pending[i].path = dir / ("f" + std::to_string(i));
        pending[i].file = platform::openAt(fs, folder.get(), "f" + std::to_string(i),
                                           platform::OpenMode::CreateTemporary, ec, 0644);
    }
    editor.flush(pending);
    EXPECT_EQ(fs.flushed, 40);
    EXPECT_GT(fs.most, 1) << "one file at a time";
    fs.failing = pending[29].file.get();
    try {
        editor.flush(pending);
        ADD_FAILURE() << "a failed flush went unreported";
    } catch (const FileError& e) {
        EXPECT_EQ(e.path(), pending[29].path);
        EXPECT_EQ(e.code(), std::errc::io_error);
    }
#ifndef _WIN32
    EXPECT_GE(realFs().unwrittenBytes(), 0) << "the system tells how much is unwritten";

    // Making room for descriptors leaves every open one as it was, one at the far end included.
    platform::ProcessServices& process = systemWith().process;
    const int far = ::fcntl(static_cast<int>(pending[0].file.get()), F_DUPFD, 300);
    ASSERT_GE(far, 300);
    const long before = process.freeDescriptors();
    process.reserveDescriptors(far + 1);
    process.reserveDescriptors(far + 100);
    struct stat a {};
    struct stat b {};
    ASSERT_EQ(::fstat(far, &a), 0) << "a descriptor in use was closed";
    ASSERT_EQ(::fstat(static_cast<int>(pending[0].file.get()), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(process.freeDescriptors(), before) << "no descriptor is left open";
    ::close(far);
#endif
}

// A killed run's temporary file is removed by the next run; a live process's, and names that
// merely look similar, are left alone.
TEST(BatchRun, NextRunRemovesOnlyWhatAKilledRunLeft) {
    TempDir dir;
    writeFile(dir / ".stepwick-999999999-1-1.tmp", "new content of a killed run"); // beyond any pid_max
    writeFile(dir / (".stepwick-" + std::to_string(systemWith().process.processId()) + "-1-1.tmp"), "ours");
    std::set<std::string> kept{"a.txt"};
#ifndef _WIN32
    kept.insert(".stepwick-" + std::to_string(::getppid()) + "-1-1.tmp"); // a live process's
#endif
    for (const char* own :
         {".stepwick-notes.txt", ".stepwick-notes.tmp", ".stepwick-2024.tmp", ".stepwick-1-2.tmp",
          ".stepwick-1-2-x.tmp", ".stepwick--1-2.tmp", ".stepwick-1-2-3.tmp.bak"})
        kept.insert(own);
    for (const std::string& name : kept)
        writeFile(dir / name, "mine");
    platform::RecordingFileSystem fs;
    fs.hideEntryTypes(); // what the folder does not say is asked of each file
    EXPECT_EQ(run(dir, input("txt", "foot", "x"), fs).result.changed, 1u);
    EXPECT_EQ(listDir(dir.path()), kept);
}

// Large (sparse) files are flushed a few at a time: each handled once, in order, past 4 GiB whole.
TEST(BatchRun, ManyBigFilesAreEachChangedOnceInOrder) {
    TempDir dir;
    const std::int64_t sizes[] = {40 << 20, 40 << 20, (std::int64_t(4) << 30) + 3, 40 << 20, 7};
    const std::string names[] = {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"};
    // Text for their first 64 KiB, by which they are judged; NUL bytes (holes) behind.
    const auto start = [&](int i) { return std::string(std::min<std::int64_t>(sizes[i], 64 << 10), 'x'); };
    for (int i = 0; i < 5; ++i)
        std::filesystem::resize_file((writeFile(dir / names[i], start(i)), dir / names[i]), sizes[i]);
    const Ran r = run(dir, input("txt", "foot", "END"));
    EXPECT_EQ(r.log, "被处理的文件\r\na.txt\r\nb.txt\r\nc.txt\r\nd.txt\r\ne."
                     "txt\r\n\r\n处理了5个文件。\r\n感谢您使用本软件！");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(std::filesystem::file_size(dir / names[i]), std::uintmax_t(sizes[i] + 5)) << names[i];
        EXPECT_EQ(bytesAt(dir / names[i], sizes[i] - 1, 6), std::string(1, i == 4 ? 'x' : '\0') + "END\r\n")
            << names[i];
    }
    BatchInput again = input("txt", "foot", "END");
    again.action = RunAction::AddOnce;
    EXPECT_EQ(run(dir, again).result.changed, 0u); // each one's end found, past 4 GiB too
}
