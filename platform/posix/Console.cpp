#include "platform/Console.h"

#include "platform/Process.h"

// A terminal takes bytes in the locale's charset, as a file does; the arguments come in it too.
namespace platform {

bool isConsole(int) { return false; }

// Never a console here (isConsole): the bytes go as they are.
int writeConsole(int fd, std::string_view utf8) { return writeAll(fd, utf8); }

bool argumentsAreUtf8() { return false; }

} // namespace platform
