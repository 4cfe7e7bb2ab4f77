#include "cli/LogOutput.h"
#include "platform/System.h"

#include "core/CodeText.h"
#include "core/Encoding.h"
#include "core/ShownNames.h"
#include "platform/Console.h"
#include "platform/Process.h"

#include <cerrno>
#include <system_error>

namespace {

// A console is given the text itself; a file, a pipe or a POSIX terminal gets it in the system's
// charset (the locale's, or the ANSI code page), always with LF line breaks.
int writeText(int fd, std::string_view utf8) {
    if (platform::isConsole(fd))
        return platform::writeConsole(fd, toLf(utf8));
    return platform::writeAll(fd, utf8ToSystem(toLf(utf8), platform::systemCharsets()));
}

} // namespace

void LogOutput::write(std::string_view utf8) {
    if (m_error != 0 || m_closedAtStart || utf8.empty())
        return;
    failWith(writeText(platform::kStandardOutput, utf8));
}

bool LogOutput::readerGone() const { return m_error == EPIPE; }

void LogOutput::close() {
    if (m_error == 0)
        failWith(m_closedAtStart ? EBADF : platform::closeStream(platform::kStandardOutput));
}

void LogOutput::failWith(int error) {
    m_error = error;
    if (m_error != 0)
        complain("write error: " +
                 shownText(std::generic_category().message(m_error), platform::systemCharsets()));
}

void LogOutput::complain(std::string_view utf8Message) {
    std::string line = "stepwick-cli: ";
    line += utf8Message;
    line += '\n';
    (void)writeText(platform::kStandardError, line);
}
