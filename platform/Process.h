#pragma once

#include <atomic>
#include <string_view>

// What a program's entry point asks of the system for its own process: its standard streams, its
// signals and its limits.
namespace platform {

// Opens each of the descriptors 0, 1 and 2 that is closed on /dev/null, so that no file opened
// later takes its number (and gets the program's output). Returns a bit (1 << fd) per closed one.
unsigned openClosedStandardStreams();

// A write to a closed pipe then fails with EPIPE instead of ending the process.
void ignoreBrokenPipe();

// While it lives, SIGINT, SIGTERM and SIGHUP set stop. From its first on they are caught and
// remembered (see caughtSignal) for the rest of the process, also once it is gone, when they set
// nothing; a second signal of the same kind ends the process at once.
class StopOnInterrupt {
public:
    explicit StopOnInterrupt(std::atomic<bool>& stop);
    ~StopOnInterrupt();
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

private:
    std::atomic<bool>* m_previous;
};
// The first of those signals that arrived, or 0.
int caughtSignal();

// Writes all of bytes to fd; 0, or the errno of the failure.
int writeAll(int fd, std::string_view bytes);
// Closes fd; 0, or the errno of the failure.
int closeStream(int fd);

// Raises this process's limit of open files to the most it may have: a run keeps a few hundred
// files open at once. Returns the limit now in force, -1 for none.
long raiseOpenFileLimit();

} // namespace platform
