#include "cli/CodeSource.h"

#include "core/CodeReading.h"
#include "core/Encoding.h"
#include "platform/Console.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

void dropFinalLineBreak(std::string& text) {
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
}

[[noreturn]] void cannotRead(const std::string& from, const std::string& reason) {
    throw CodeUnreadable("cannot read the code from " + from + ": " + reason);
}

[[noreturn]] void cannotRead(const std::string& from, int err) {
    cannotRead(from, shownText(std::strerror(err)));
}

// Reads fd to its end; false (errno set) on a read error.
bool readAll(int fd, std::string& out) {
    char buf[64 * 1024];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

std::string readFile(const std::string& path) {
    const std::string shown = shownText(path);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        cannotRead(shown, errno);
    std::string text;
    const bool ok = readAll(fd, text); // a folder fails here, with EISDIR
    const int err = errno;
    ::close(fd);
    if (!ok)
        cannotRead(shown, err);
    return text;
}

std::string readStandardInput(bool wasClosed) {
    if (wasClosed)
        cannotRead("standard input", "standard input is closed");
    std::string text;
    if (!readAll(STDIN_FILENO, text))
        cannotRead("standard input", errno);
    return text;
}

} // namespace

std::string readCode(const Options& options, bool stdinWasClosed) {
    // Typed, the code is in the arguments' charset; read, in the system's, unless its mark says otherwise.
    if (options.code)
        return codeAsUtf8(*options.code, platform::argumentsAreUtf8() ? "UTF-8" : systemCharset(), false);
    std::string text = options.codeFile ? readFile(*options.codeFile) : readStandardInput(stdinWasClosed);
    text = codeAsUtf8(std::move(text), systemCharset(), true);
    dropFinalLineBreak(text);
    return text;
}
