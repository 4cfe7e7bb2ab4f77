#include "app/Startup.h"
#include "platform/Process.h"

#include <cstdio>
#include <exception>

int main(int argc, char* argv[]) {
    // Before anything else is opened, so that no file takes the place of a closed stream.
    platform::openClosedStandardStreams();
    try {
        return runWindows(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "stepwick: %s\n", e.what());
    } catch (...) {
        std::fputs("stepwick: unexpected error\n", stderr);
    }
    return 2;
}
