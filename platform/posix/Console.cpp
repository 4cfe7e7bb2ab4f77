#include "platform/Console.h"

#include "platform/Process.h"
#include "platform/Retry.h"
#include "platform/System.h"
#include "platform/posix/PosixError.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

// A terminal takes bytes in the locale's charset, as a file does; the arguments come in it too.
namespace platform {
namespace {

std::error_code lastError() { return posixError(errno); }

std::error_code readAll(int fd, std::string& out) {
    char buf[64 * 1024];
    for (;;) {
        const ssize_t n = retryOnInterrupt([&] { return ::read(fd, buf, sizeof buf); });
        if (n < 0)
            return lastError();
        if (n == 0)
            return {};
        out.append(buf, static_cast<std::size_t>(n));
    }
}

} // namespace

bool standardStreamFile(int fd, FileId& out) {
    FileInfo info;
    if (::fcntl(fd, F_GETFD) == -1 || systemFileSystem().stat(fd, info) || info.kind != FileKind::Regular)
        return false;
    out = info.id;
    return true;
}

std::error_code readStream(int fd, std::string& out) { return readAll(fd, out); }

std::error_code readFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return lastError();
    const std::error_code ec = readAll(fd, out); // a folder fails here, with EISDIR
    ::close(fd);
    return ec;
}

bool isConsole(int /*fd*/) { return false; }

// Never a console here (isConsole): the bytes go as they are.
int writeConsole(int fd, std::string_view utf8) { return writeAll(fd, utf8); }

bool argumentsAreUtf8() { return false; }

} // namespace platform
