#pragma once

#include <string>
#include <string_view>

// Standard output and standard error of stepwick-cli: UTF-8 text in, the locale's character set
// and plain LF line breaks out.
class LogOutput {
public:
    // closedAtStart: standard output was closed when the program started (and now leads to
    // /dev/null): nothing reaches a reader, which close() reports.
    explicit LogOutput(bool closedAtStart = false) : m_closedAtStart(closedAtStart) {}
    // Writes to standard output. The first failure is reported once on standard error and ends
    // all further output; failed() tells.
    void write(std::string_view utf8);
    // Closes standard output, which may fail too.
    void close();
    bool failed() const { return m_error != 0; }
    // The failure was a pipe whose reader has gone.
    bool readerGone() const;

    // One line "stepwick-cli: MESSAGE" on standard error.
    static void complain(std::string_view utf8Message);

private:
    void failWith(int error);

    bool m_closedAtStart;
    int m_error = 0;
};
