// stepwick.exe: the windows over the same core as stepwick-cli.
#include "win32/Program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return win32ui::runProgram(instance); }
