#pragma once

// Helpers for the crash and fault tests: running stepwick-cli as a child process,
// killing it, and judging what it left in a folder.

#include <map>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace crash {

// The program under test, from STEPWICK_CLI (set by ctest).
std::string cliPath();

// A fresh folder under base (default: a memory-backed folder where there is one, so that
// the flushes of a busy disk do not dominate many short runs), removed with its contents.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string& base = defaultBase());
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return m_path; } // ends in '/'
    std::string operator/(const std::string& name) const { return m_path + name; }

    static std::string defaultBase();

  private:
    std::string m_path;
};

struct CliRun {
    int exitCode = -1; // when it exited
    int signal = 0;    // when a signal ended it
    std::string out;
    std::string err;
    bool killed() const { return signal != 0; }
};

// Starts stepwick-cli with args; extraEnv entries ("NAME=value") are added to the environment.
// Standard output and error go to files in outDir. Returns the child's pid.
pid_t startCli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
               const std::string& outDir);
// Waits for a child started by startCli and collects its outcome and output.
CliRun finishCli(pid_t pid, const std::string& outDir);
// Runs stepwick-cli to its end.
CliRun runCli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {});

using Contents = std::map<std::string, std::string>; // name -> bytes

// Every entry of the folder with its bytes (regular files) or a marker for anything else.
Contents snapshot(const std::string& folder);
// Writes each file anew (mode 0644) into an empty or existing folder.
void writeAll(const std::string& folder, const Contents& files);
// Removes every entry of the folder that is not in keep, and rewrites every file of keep
// whose bytes differ.
void resetTo(const std::string& folder, const Contents& keep);

// The names a killed run may leave: its hidden temporary files.
bool isTemporaryName(const std::string& name);
// Does the file system holding folder give unnamed files (O_TMPFILE)?
bool hasUnnamedFiles(const std::string& folder);

// The bytes a head or a foot insertion of code (ASCII, no line break) makes of old,
// for files without a mark and with a UTF-8 mark.
std::string headOf(const std::string& old, const std::string& code);
std::string footOf(const std::string& old, const std::string& code);

std::string lf(std::string crlf); // CR LF -> LF, as the command-line tool prints the log

// Mount helpers for the tests that run as root, in a mount namespace of their own so that
// every mount disappears with the test process, however it ends.
bool enterPrivateMounts(std::string& why);
// Mounts a tmpfs of the given size (e.g. "4m") on dir.
bool mountTmpfs(const std::string& dir, const std::string& size, std::string& why);
// Makes an ext4 image of sizeMiB in imageDir and loop-mounts it on dir with options.
// Throws when the image cannot be made; returns false (with why) when it cannot be mounted.
bool mountExt4(const std::string& imageDir, const std::string& dir, int sizeMiB, const std::string& options,
               std::string& why);
void unmount(const std::string& dir);

} // namespace crash
