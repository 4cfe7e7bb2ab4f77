#include "cli/LogOutput.h"

#include "core/CodeText.h"
#include "core/Encoding.h"
#include "platform/Process.h"

#include <unistd.h>

#include <cstring>

namespace {

std::string forTerminal(std::string_view utf8) { return utf8ToLocale(toLf(utf8)); }

} // namespace

void LogOutput::write(std::string_view utf8) {
    if (m_error != 0 || utf8.empty())
        return;
    m_error = platform::writeAll(STDOUT_FILENO, forTerminal(utf8));
    if (m_error != 0)
        complain("write error: " + shownText(std::strerror(m_error)));
}

void LogOutput::close() {
    if (m_error != 0)
        return;
    m_error = platform::closeStream(STDOUT_FILENO);
    if (m_error != 0)
        complain("write error: " + shownText(std::strerror(m_error)));
}

void LogOutput::complain(std::string_view utf8Message) {
    std::string line = "stepwick-cli: ";
    line += utf8Message;
    line += '\n';
    (void)platform::writeAll(STDERR_FILENO, forTerminal(line));
}
