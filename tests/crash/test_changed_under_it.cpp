// A file swapped for something else in the short moment between the check of its type and
// its opening: a link to a file outside the folder, a FIFO, or nothing at all. The run must
// fail that file, change nothing outside the folder, never hang, and go on with the rest.
#include "CrashSupport.h"
#include "core/BatchRun.h"
#include "platform/RecordingFileSystem.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using crash::ScratchDir;

namespace {

class LogSink final : public BatchSink {
  public:
    void appendLog(std::string_view text) override { log += text; }
    std::string log;
};

} // namespace

TEST(ChangedUnderIt, FileSwappedBetweenItsCheckAndItsOpeningFailsAlone) {
    struct Swap {
        const char* what;
        std::function<void(const std::string& target, const std::string& outside)> make;
        const char* reason;
    };
    const Swap swaps[] = {
        {"link to a file outside",
         [](const std::string& t, const std::string& o) {
             ::unlink(t.c_str());
             ::symlink(o.c_str(), t.c_str());
         },
         "Too many levels of symbolic links"},
        {"FIFO",
         [](const std::string& t, const std::string&) {
             ::unlink(t.c_str());
             ::mkfifo(t.c_str(), 0644);
         },
         nullptr},
        {"removed", [](const std::string& t, const std::string&) { ::unlink(t.c_str()); },
         "No such file or directory"},
        {"another file",
         [](const std::string& t, const std::string&) {
             ::unlink(t.c_str());
             crash::writeAll(std::filesystem::path(t).parent_path().string(),
                             {{"b.txt", "someone else's\r\n"}});
         },
         nullptr},
    };
    for (const char* position : {"head", "foot"}) {
        for (const auto& swap : swaps) {
            SCOPED_TRACE(std::string(position) + ", b.txt swapped for: " + swap.what);
            ScratchDir dir(std::filesystem::temp_directory_path().string());
            ScratchDir outside(std::filesystem::temp_directory_path().string());
            crash::writeAll(dir.path(), {{"a.txt", "a\r\n"}, {"b.txt", "b\r\n"}, {"c.txt", "c\r\n"}});
            crash::writeAll(outside.path(), {{"secret.txt", "secret\r\n"}});

            platform::RecordingFileSystem fs;
            // The stand-in runs one hook at a time, and a hook may set the next: the first statAt
            // is a.txt's check, the second b.txt's; the opening right after it is b.txt's.
            fs.beforeCall("statAt", [&] {
                fs.beforeCall("statAt", [&] {
                    fs.beforeCall("openAt", [&] { swap.make(dir / "b.txt", outside / "secret.txt"); });
                });
            });
            Mod mod;
            loadDefaults(mod);
            confirmFolder(mod, dir.path());
            LogSink sink;
            BatchResult r =
                runBatch(mod, BatchInput{"txt", position, [] { return std::string("X"); }}, sink, fs);

            const bool head = std::string(position) == "head";
            auto changed = [&](const std::string& old) {
                return head ? crash::headOf(old, "X") : crash::footOf(old, "X");
            };
            const crash::Contents now = crash::snapshot(dir.path());
            EXPECT_EQ(now.at("a.txt"), changed("a\r\n"));
            EXPECT_EQ(now.at("c.txt"), changed("c\r\n"));
            EXPECT_EQ(crash::snapshot(outside.path()), (crash::Contents{{"secret.txt", "secret\r\n"}}));

            const std::string what = swap.what;
            if (what == "another file" && r.failures.empty()) {
                // Taking the file that now holds the name is sound too, as long as it is whole.
                EXPECT_EQ(now.at("b.txt"), changed("someone else's\r\n"));
                continue;
            }
            ASSERT_EQ(r.failures.size(), 1u) << sink.log;
            std::cout << position << ", " << what << ": " << r.failures[0].reason << "\n";
            EXPECT_EQ(r.failures[0].name, "b.txt");
            EXPECT_EQ(r.changed, 2u);
            if (swap.reason) {
                EXPECT_EQ(r.failures[0].reason, swap.reason);
            }
            EXPECT_NE(sink.log.find("b.txt（未能处理：" + r.failures[0].reason + "）\r\n"), std::string::npos)
                << sink.log;

            std::set<std::string> names;
            for (const auto& [n, bytes] : now)
                names.insert(n);
            if (what == "removed") {
                EXPECT_EQ(names, (std::set<std::string>{"a.txt", "c.txt"}))
                    << "a vanished file is not re-created";
                continue;
            }
            EXPECT_EQ(names, (std::set<std::string>{"a.txt", "b.txt", "c.txt"})) << "nothing left behind";
            struct stat st {};
            ASSERT_EQ(::lstat((dir / "b.txt").c_str(), &st), 0);
            if (what == "link to a file outside") {
                EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link itself is not replaced";
                char target[4096] = {};
                ASSERT_GT(::readlink((dir / "b.txt").c_str(), target, sizeof target - 1), 0);
                EXPECT_EQ(std::string(target), outside / "secret.txt");
            } else if (what == "FIFO") {
                EXPECT_TRUE(S_ISFIFO(st.st_mode));
            } else {
                EXPECT_EQ(now.at("b.txt"), "someone else's\r\n");
            }
        }
    }
}
