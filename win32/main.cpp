// stepwick.exe: the windows over the same core as stepwick-cli.
#include "win32/Program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
    return win32ui::runProgram(instance);
}
