// The file system and charsets of the running system, held to what the seam promises: the same
// tests for every system, run on Linux and (under wine) on Windows.
#include "platform/Retry.h"
#include "platform/System.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/Win32Paths.h"
#include <aclapi.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using namespace platform;
namespace fsys = std::filesystem;

std::string utf8Of(const fsys::path& p) {
    const std::u8string s = p.u8string();
    return {reinterpret_cast<const char*>(s.data()), s.size()};
}
fsys::path pathOf(std::string_view utf8) {
    return fsys::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

#ifdef _WIN32
bool underWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }
#endif

// Runs this test program again as a lock probe on folder; its exit status.
int runProbe(const std::string& folder, const char* kind) {
#ifdef _WIN32
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    // cmd.exe takes off the outer quotes.
    return ::_wsystem((L"\"\"" + std::wstring(self) + L"\" --lock-probe \"" + pathOf(folder).wstring() +
                       L"\" " + pathOf(kind).wstring() + L"\"")
                          .c_str());
#else
    const int status = std::system(
        ("'" + fsys::read_symlink("/proc/self/exe").string() + "' --lock-probe '" + folder + "' " + kind)
            .c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

// 0: locked; 1: another process holds it; 2: any other failure.
int lockProbe(const std::string& folder, std::string_view kind) {
    FileSystem& fs = systemFileSystem();
    FileHandle dir = kNoFile;
    if (fs.openFolder(folder, dir))
        return 2;
    const std::error_code ec =
        fs.lockFolder(dir, kind == "shared" ? FileSystem::Lock::Shared : FileSystem::Lock::Exclusive);
    fs.close(dir);
    return !ec ? 0 : ec == std::errc::operation_would_block ? 1 : 2;
}

// A fresh folder of the system's temporary folder, open through the seam.
class Seam : public testing::Test {
public:
    Seam() {
        static std::atomic<int> count{0};
        m_path = fsys::temp_directory_path() /
                 ("stepwick-seam-" + std::to_string(hostSystem(fs).process.processId()) + "-" +
                  std::to_string(++count));
        fsys::create_directories(m_path);
        EXPECT_FALSE(fs.openFolder(path(), m_dir));
    }
    ~Seam() {
        fs.close(m_dir);
        std::error_code ignored;
        fsys::remove_all(m_path, ignored);
    }
    std::string path() const { return utf8Of(m_path); }
    FileHandle dir() const { return m_dir; }

    UniqueFile open(const std::string& name, OpenMode mode, FileHandle in = kNoFile) {
        std::error_code ec;
        UniqueFile f = openAt(fs, in == kNoFile ? m_dir : in, name, mode, ec, 0600); // POSIX: the owner's
        EXPECT_FALSE(ec) << name << ": " << ec.message();
        return f;
    }
    std::string get(FileHandle f, std::int64_t offset = 0) {
        std::string all;
        char buf[4096];
        for (std::size_t got = 1; got > 0; offset += static_cast<std::int64_t>(got)) {
            EXPECT_FALSE(fs.read(f, buf, sizeof buf, offset, got));
            all.append(buf, got);
        }
        return all;
    }
    void create(const std::string& name, std::string_view bytes, FileHandle in = kNoFile) {
        std::size_t n = 0;
        ASSERT_FALSE(
            fs.write(open(name, OpenMode::CreateTemporary, in).get(), bytes.data(), bytes.size(), n));
        ASSERT_EQ(n, bytes.size());
    }
    std::string content(const std::string& name, FileHandle in = kNoFile) {
        return get(open(name, OpenMode::Read, in).get());
    }
    FileInfo info(const std::string& name, FileHandle in = kNoFile) {
        FileInfo fi;
        EXPECT_FALSE(fs.statAt(in == kNoFile ? m_dir : in, name, fi)) << name;
        return fi;
    }

    FileSystem& fs = systemFileSystem();

private:
    fsys::path m_path;
    FileHandle m_dir = kNoFile;
};

TEST_F(Seam, CreatingFailsOnATakenNameAndLeavesItsFile) {
    create("taken", "kept");
    for (OpenMode mode : {OpenMode::CreateTemporary, OpenMode::CreateAppend}) {
        std::error_code ec;
        EXPECT_FALSE(openAt(fs, dir(), "taken", mode, ec));
        EXPECT_EQ(ec, std::errc::file_exists) << ec.message();
    }
    EXPECT_EQ(content("taken"), "kept");
    std::error_code ec;
    openAt(fs, dir(), "missing", OpenMode::Read, ec);
    EXPECT_EQ(ec, std::errc::no_such_file_or_directory) << ec.message();
#ifndef _WIN32 // a FIFO without a writer holds up no opening
    ASSERT_EQ(::mkfifo((path() + "/fifo").c_str(), 0600), 0);
    EXPECT_TRUE(openAt(fs, dir(), "fifo", OpenMode::Read, ec)) << ec.message();
#endif
}

TEST_F(Seam, ALinkIsSeenAsALinkAndFollowedOnlyByStatPath) {
    create("target", "behind the link");
    const fsys::path link = pathOf(path()) / "link";
#ifdef _WIN32
    if (!::CreateSymbolicLinkW(link.c_str(), L"target", SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        GTEST_SKIP() << "this system makes no symbolic links for this user (error " << ::GetLastError()
                     << ")";
    if (::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "CreateSymbolicLinkW says yes and makes nothing (wine)";
#else
    ASSERT_EQ(::symlink("target", link.c_str()), 0);
#endif
    EXPECT_EQ(info("link").kind, FileKind::Link);
    std::vector<DirEntry> entries;
    ASSERT_FALSE(fs.readDir(dir(), entries));
    auto found = std::find_if(entries.begin(), entries.end(), [](auto& e) { return e.name == "link"; });
    ASSERT_NE(found, entries.end());
    EXPECT_TRUE(found->kind == FileKind::Link || found->kind == FileKind::Unknown);
    std::error_code ec;
    EXPECT_FALSE(openAt(fs, dir(), "link", OpenMode::Read, ec));
    EXPECT_TRUE(ec);
    // Only the picker's statPath looks through it.
    FileInfo target;
    ASSERT_FALSE(fs.statPath(utf8Of(link), target));
    EXPECT_EQ(target.kind, FileKind::Regular);
    EXPECT_EQ(target.size, 15);
}

TEST_F(Seam, RenameReplacesAnOpenTargetOnlyWhereItsOpenersShareItsDeletion) {
    create("old", "old");
    create("new", "new");
#ifdef _WIN32
    const std::wstring old = (pathOf(path()) / "old").wstring();
    HANDLE h = ::CreateFileW(old.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::error_code ec = fs.renameAt(dir(), "new", "old");
    ::CloseHandle(h);
    EXPECT_TRUE(ec == std::errc::device_or_resource_busy || ec == std::errc::permission_denied)
        << ec.message();
    EXPECT_EQ(content("old"), "old");
    EXPECT_EQ(content("new"), "new");
#endif
    UniqueFile held = open("old", OpenMode::Read); // as another run's reader would
    const std::error_code replaced = fs.renameAt(dir(), "new", "old");
#ifdef _WIN32
    if (replaced == std::errc::permission_denied && underWine())
        GTEST_SKIP() << "wine replaces no file that a handle holds open, whatever it shares";
#endif
    ASSERT_FALSE(replaced) << replaced.message();
    EXPECT_EQ(content("old"), "new");
    EXPECT_EQ(get(held.get()), "old");
}

TEST_F(Seam, AFolderLockKeepsOtherProcessesOut) {
    auto lockedFolder = [&](FileSystem::Lock kind, std::error_code& ec) {
        FileHandle dir = kNoFile;
        EXPECT_FALSE(fs.openFolder(path(), dir));
        ec = fs.lockFolder(dir, kind);
        return UniqueFile(fs, dir);
    };
    std::error_code ec;
    UniqueFile held = lockedFolder(FileSystem::Lock::Exclusive, ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_EQ(runProbe(path(), "exclusive"), 1);
    EXPECT_EQ(runProbe(path(), "shared"), 1);
    held.reset();
    EXPECT_EQ(runProbe(path(), "exclusive"), 0);
    held = lockedFolder(FileSystem::Lock::Shared, ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_EQ(runProbe(path(), "shared"), 0);
    EXPECT_EQ(runProbe(path(), "exclusive"), 1);
    lockedFolder(FileSystem::Lock::Exclusive, ec);
    EXPECT_EQ(ec, std::errc::operation_would_block) << ec.message();
    lockedFolder(FileSystem::Lock::Shared, ec);
    EXPECT_FALSE(ec) << ec.message();
}

TEST_F(Seam, NamesFarBeyond260CharactersWork) {
    const std::string folder(200, 'd'), name(200, 'f'), renamed(200, 'r');
    fsys::create_directory(pathOf(path()) / folder);
    UniqueFile sub = open(folder, OpenMode::Folder);
    create(name, "deep", sub.get());
    ASSERT_FALSE(fs.renameAt(sub.get(), name, renamed));
    EXPECT_EQ(content(renamed, sub.get()), "deep");
    std::vector<DirEntry> entries;
    ASSERT_FALSE(fs.readDir(sub.get(), entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, renamed);
    UniqueFile up = open("..", OpenMode::Folder, sub.get());
    FileInfo upInfo, dirInfo;
    ASSERT_FALSE(fs.stat(up.get(), upInfo));
    ASSERT_FALSE(fs.stat(dir(), dirInfo));
    EXPECT_EQ(upInfo.id, dirInfo.id);
    EXPECT_FALSE(fs.unlinkAt(sub.get(), renamed));
    FileInfo gone;
    EXPECT_EQ(fs.statAt(sub.get(), renamed, gone), std::errc::no_such_file_or_directory);
}

TEST_F(Seam, PermissionsCarryHiddenAndReadOnlyOver) {
#ifdef _WIN32
    const std::pair<std::uint32_t, bool> kinds[] = {{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, true},
                                                    {0, false}};
    const std::uint32_t writable = 0;
#else
    const std::pair<std::uint32_t, bool> kinds[] = {{0444, true}, {0640, false}};
    const std::uint32_t writable = 0600;
#endif
    create("source", "s");
    UniqueFile source = open("source", OpenMode::ReadWrite);
    UniqueFile target = open("target", OpenMode::CreateTemporary);
#ifdef _WIN32
    EXPECT_NE(info("target").permissions & FILE_ATTRIBUTE_HIDDEN, 0u);
#endif
    for (auto [kept, readOnly] : kinds) {
        ASSERT_FALSE(fs.setPermissions(source.get(), kept));
        FileInfo from;
        ASSERT_FALSE(fs.stat(source.get(), from));
        ASSERT_FALSE(fs.setPermissions(target.get(), from.permissions));
        EXPECT_FALSE(fs.copyAccess(source.get(), target.get()));
        EXPECT_EQ(info("target").permissions, from.permissions);
        EXPECT_EQ(info("target").readOnly, readOnly) << kept;
    }
    for (FileHandle f : {source.get(), target.get()}) // so that the folder can go
        fs.setPermissions(f, writable);
}

TEST_F(Seam, CopyAccessGivesTheTargetTheSourcesDacl) {
#ifdef _WIN32
    UniqueFile source = open("source", OpenMode::CreateTemporary);
    UniqueFile target = open("target", OpenMode::CreateTemporary);
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;WD)", SDDL_REVISION_1,
                                                                       &sd, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
    ASSERT_EQ(::SetSecurityInfo(reinterpret_cast<HANDLE>(source.get()), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, dacl, nullptr),
              DWORD{ERROR_SUCCESS});
    ::LocalFree(sd);
    auto daclOf = [](FileHandle f) {
        PSECURITY_DESCRIPTOR got = nullptr;
        wchar_t* text = nullptr;
        ::GetSecurityInfo(reinterpret_cast<HANDLE>(f), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, nullptr, nullptr, &got);
        ::ConvertSecurityDescriptorToStringSecurityDescriptorW(got, SDDL_REVISION_1,
                                                               DACL_SECURITY_INFORMATION, &text, nullptr);
        std::wstring dacl = text ? text : L"";
        ::LocalFree(text);
        ::LocalFree(got);
        return dacl;
    };
    const std::wstring wanted = daclOf(source.get());
    if (wanted != L"D:P(A;;FA;;;WD)" && underWine())
        GTEST_SKIP() << "wine keeps no DACL that it is given";
    ASSERT_FALSE(fs.copyAccess(source.get(), target.get()));
    EXPECT_EQ(daclOf(target.get()), wanted);
#else
    GTEST_SKIP() << "POSIX keeps who may do what in the mode bits and extended attributes";
#endif
}

struct CharsetCase {
    const char* name;
    const char* to;
    const char* from;
    std::string_view in;
    std::size_t room;
    std::string_view out;
    CharsetConversion::Stop stop;
    std::size_t used; // bytes of in taken
};

using Stop = CharsetConversion::Stop;
using enum CharsetConversion::Stop;
using namespace std::string_view_literals;

const CharsetCase kCharsetCases[] = {
    {"ChineseIntoCP936", "CP936", "UTF-8", "\xE4\xB8\xAD\xE6\x96\x87"sv, 16, "\xD6\xD0\xCE\xC4"sv, Done, 6},
    {"GBKIntoUtf8", "UTF-8", "gbk", "a\xD6\xD0\xCE\xC4"sv, 16, "a\xE4\xB8\xAD\xE6\x96\x87"sv, Done, 5},
    {"GBKLeadByteAtTheEndIsIncomplete", "UTF-8", "GBK", "a\xD6\xD0\xCE"sv, 16, "a\xE4\xB8\xAD"sv, Incomplete,
     3},
    {"AGBKLeadByteBeforeASpaceIsInvalid", "UTF-8", "GBK", "a\x81 "sv, 16, "a"sv, Invalid, 1},
    {"AnEmojiIsNoCP936Character", "CP936", "UTF-8", "a\xF0\x9F\x98\x80"sv, 16, "a"sv, Invalid, 1},
    {"TheEuroIsNoLatin1Character", "ISO-8859-1", "UTF-8", "\xC3\xA9\xE2\x82\xAC"sv, 16, "\xE9"sv, Invalid, 2},
    {"BadUtf8IsInvalid", "UTF-16LE", "UTF-8", "ok\xFF"sv, 16, "o\0k\0"sv, Invalid, 2},
    {"Utf16LeSurrogatePair", "UTF-16LE", "UTF-8", "\xE2\x82\xAC\xF0\x9F\x98\x80"sv, 16,
     "\xAC\x20\x3D\xD8\x00\xDE"sv, Done, 7},
    {"Utf16BigEndianBack", "UTF-8", "UTF-16BE", "\x20\xAC\xD8\x3D\xDE\x00"sv, 16,
     "\xE2\x82\xAC\xF0\x9F\x98\x80"sv, Done, 6},
    {"ALoneLowSurrogateIsInvalid", "UTF-8", "UTF-16LE", "a\0\x00\xDC\x00\xDC"sv, 16, "a"sv, Invalid, 2},
    {"AHalfSurrogatePairIsIncomplete", "UTF-8", "UTF-16LE", "a\0\x3D\xD8"sv, 16, "a"sv, Incomplete, 2},
    {"FullOutputStopsAtACharacter", "GBK", "UTF-8", "\xE4\xB8\xAD\xE6\x96\x87"sv, 3, "\xD6\xD0"sv, NoRoom, 3},
    {"GB18030HoldsAnEmoji", "GB18030", "UTF-8", "\xF0\x9F\x98\x80"sv, 16, "\x94\x39\xFC\x36"sv, Done, 4},
};

class CharsetTest : public testing::TestWithParam<CharsetCase> {};

TEST_P(CharsetTest, ConvertsAsIconvDoes) {
    const CharsetCase& c = GetParam();
    auto conversion = hostSystem(systemFileSystem()).charsets.open(c.to, c.from);
#ifdef _WIN32
    if (!conversion && std::string_view(c.to) == "GB18030" && underWine())
        GTEST_SKIP() << "wine has no GB18030 code page";
#endif
    ASSERT_TRUE(conversion) << c.from << " -> " << c.to;
    std::string out(c.room, '\0');
    const char* in = c.in.data();
    std::size_t inLeft = c.in.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    EXPECT_EQ(conversion->convert(in, inLeft, to, outLeft), c.stop);
    EXPECT_EQ(static_cast<std::size_t>(in - c.in.data()), c.used);
    EXPECT_EQ(inLeft, c.in.size() - c.used);
    EXPECT_EQ(out.substr(0, static_cast<std::size_t>(to - out.data())), c.out);
}

INSTANTIATE_TEST_SUITE_P(Charsets, CharsetTest, testing::ValuesIn(kCharsetCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Only an interruption is worth another call: any other failure, and a success, end the loop.
TEST(RetryOnInterrupt, RepeatsOnlyAnInterruptedCall) {
    const std::error_code answers[] = {std::make_error_code(std::errc::interrupted),
                                       std::make_error_code(std::errc::interrupted),
                                       std::make_error_code(std::errc::no_space_on_device),
                                       {}};
    std::size_t calls = 0;
    EXPECT_EQ(retryOnInterrupt([&] { return answers[calls++]; }), std::errc::no_space_on_device);
    EXPECT_EQ(calls, 3u);
    const int errnos[] = {EINTR, EINTR, EIO, 0};
    calls = 0;
    EXPECT_EQ(retryOnInterrupt([&] {
                  errno = errnos[calls++];
                  return -1;
              }),
              -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(calls, 3u);
}

} // namespace

#ifdef _WIN32
// Network shares and their long form, as the file system writes them: converted as strings, so
// they hold without a share (wine has none). ".." stops at the share, as at a drive's root.
TEST(Win32Paths, NetworkSharesAndTheirLongFormConvertExactly) {
    for (const auto& [given, wanted] : std::initializer_list<std::pair<const char*, const wchar_t*>>{
             {"\\\\server\\share\\folder", L"\\\\?\\UNC\\server\\share\\folder"},
             {"//server/share/a/../folder", L"\\\\?\\UNC\\server\\share\\folder"},
             {"\\\\?\\UNC\\server\\share\\folder", L"\\\\?\\UNC\\server\\share\\folder"},
             {"C:\\a\\..\\folder", L"\\\\?\\C:\\folder"}}) {
        std::wstring got;
        EXPECT_FALSE(platform::win32::longPath(given, got)) << given;
        EXPECT_EQ(got, wanted) << given;
    }
    EXPECT_EQ(platform::win32::rootLength(L"\\\\?\\UNC\\server\\share\\folder"), 21u);
    EXPECT_EQ(platform::win32::rootLength(L"\\\\?\\C:\\folder"), 7u);
    for (const auto& [folder, name, wanted] :
         std::initializer_list<std::tuple<const wchar_t*, const char*, const wchar_t*>>{
             {L"\\\\?\\UNC\\server\\share\\folder\\", "a.txt", L"\\\\?\\UNC\\server\\share\\folder\\a.txt"},
             {L"\\\\?\\UNC\\server\\share\\folder", "..", L"\\\\?\\UNC\\server\\share\\"},
             {L"\\\\?\\UNC\\server\\share\\", "..", L"\\\\?\\UNC\\server\\share\\"},
             {L"\\\\?\\UNC\\server\\share\\", ".", L"\\\\?\\UNC\\server\\share\\"}}) {
        std::wstring path = folder;
        EXPECT_FALSE(platform::win32::childOf(path, name));
        EXPECT_EQ(path, wanted) << name;
    }
}
#endif

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--lock-probe") == 0) {
#ifdef _WIN32
        // The folder as it was given, not through the ANSI code page.
        int n = 0;
        wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &n);
        return n == 4 ? lockProbe(utf8Of(fsys::path(args[2])), argv[3]) : 2;
#else
        return lockProbe(argv[2], argv[3]);
#endif
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
