#include "cli/LogOutput.h"
#include "platform/System.h"

#include "core/CodeText.h"
#include "core/Encoding.h"
#include "platform/Process.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string forTerminal(std::string_view utf8) {
    return utf8ToSystem(toLf(utf8), platform::systemCharsets());
}

} // namespace

void LogOutput::write(std::string_view utf8) {
    if (m_error != 0 || m_closedAtStart || utf8.empty())
        return;
    failWith(platform::writeAll(STDOUT_FILENO, forTerminal(utf8)));
}

void LogOutput::close() {
    if (m_error == 0)
        failWith(m_closedAtStart ? EBADF : platform::closeStream(STDOUT_FILENO));
}

void LogOutput::failWith(int error) {
    m_error = error;
    if (m_error != 0)
        complain("write error: " + shownText(std::strerror(m_error), platform::systemCharsets()));
}

void LogOutput::complain(std::string_view utf8Message) {
    std::string line = "stepwick-cli: ";
    line += utf8Message;
    line += '\n';
    (void)platform::writeAll(STDERR_FILENO, forTerminal(line));
}
