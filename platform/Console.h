#pragma once

#include "platform/FileSystem.h"

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// Text between a console program and its user: the arguments it is given, what it reads, the text
// it shows.
namespace platform {

// The standard streams by number, as runtimes of both systems number them.
inline constexpr int kStandardInput = 0;
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// Which regular file standard stream fd is redirected into, if it is; false for anything else (a
// terminal, a pipe, a closed stream). out.volume is 0 where the system tells the file's index but
// not its volume: any file of that index is then taken for it. Throws std::system_error for a
// file that tells neither, so that no run goes on without knowing where its output goes.
bool standardStreamFile(int fd, FileId& out);
// Reads the standard stream fd (a file, a pipe, a terminal) to its end.
std::error_code readStream(int fd, std::string& out);
// Reads the whole file at path; the error where it cannot be opened or read (a folder cannot).
std::error_code readFile(const std::string& path, std::string& out);

// Is the standard stream fd a console that takes text as such? A Windows console is: written as
// UTF-16 (WriteConsoleW) it shows Chinese whatever its code page. Anything else (a file, a pipe,
// a POSIX terminal) takes bytes in the system's charset.
bool isConsole(int fd);
// Writes UTF-8 text to such a console; 0, or the errno of the failure.
int writeConsole(int fd, std::string_view utf8);

// The charset of the arguments: the locale's on POSIX, UTF-8 on Windows (see utf8Arguments).
bool argumentsAreUtf8();
#ifdef _WIN32
// The arguments as wmain gets them (UTF-16) in UTF-8 into out; false where one is not valid
// UTF-16 (a lone surrogate), which no UTF-8 text can name.
bool utf8Arguments(int argc, const wchar_t* const* argv, std::vector<std::string>& out);
#endif

} // namespace platform
