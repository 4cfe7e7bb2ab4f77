#include "core/BatchRun.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using testfiles::TempDir;

namespace {
class LogSink : public BatchSink {
public:
    void appendLog(std::string_view text) override { log += text; }
    std::string log;
};

std::string tailOf(const std::string& path, std::size_t n) {
    int fd = ::open(path.c_str(), O_RDONLY);
    off_t size = ::lseek(fd, 0, SEEK_END);
    std::string out(n, '\0');
    out.resize(static_cast<std::size_t>(::pread(fd, out.data(), n, size - static_cast<off_t>(n))));
    ::close(fd);
    return out;
}
} // namespace

// Large files are flushed a few at a time: every file is still handled once, in order, and
// files past 4 GiB keep their full length. The files are sparse, so this costs no disk.
TEST(LargeFiles, ManyBigFilesAreEachChangedOnceInOrder) {
    TempDir dir;
    const off_t sizes[] = {off_t(40) << 20, off_t(40) << 20, (off_t(4) << 30) + 3, off_t(40) << 20, 7};
    const char* names[] = {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"};
    for (int i = 0; i < 5; ++i) {
        int fd = ::open((dir / names[i]).c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, sizes[i]), 0);
        ::close(fd);
    }
    Mod mod;
    loadDefaults(mod);
    confirmFolder(mod, dir.path());
    LogSink sink;
    BatchResult r = runBatch(mod, BatchInput{"txt", "foot", [] { return std::string("END"); }}, sink);
    EXPECT_EQ(r.changed, 5u);
    EXPECT_EQ(sink.log, "a.txt\r\nb.txt\r\nc.txt\r\nd.txt\r\ne.txt\r\n\r\n处理了5个文件。\r\n感谢您使用本软件！");
    for (int i = 0; i < 5; ++i) {
        struct stat st {};
        ASSERT_EQ(::stat((dir / names[i]).c_str(), &st), 0);
        EXPECT_EQ(st.st_size, sizes[i] + 5) << names[i];
        EXPECT_EQ(tailOf(dir / names[i], 6), std::string("\0END\r\n", 6)) << names[i];
    }
}
