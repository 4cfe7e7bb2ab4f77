#pragma once

// The crash and fault tests: stepwick-cli killed or short of room, and the checks of the folder it
// leaves.
#include "TestFiles.h"

#include <string>

namespace crash {

using testfiles::Contents;
using testfiles::TempDir;

// A memory-backed folder where there is one (or STEPWICK_CRASH_DIR), so that the flushes of a
// busy disk do not dominate many short runs.
std::string scratchBase();
// STEPWICK_CRASH_SEED repeats an earlier round of random kills; else a fresh seed.
unsigned seed();

// Kills a run over six files of different kinds just before each of its file-system calls in turn,
// until one gets through. After every kill each file is whole old or whole new, the only other name
// left is the temporary file of the one being renamed, and a second run finishes the job. Other
// programs are said to have much unwritten data with busyDisk; calls, if given, receives the number
// of file-system calls of a whole run. With remove, the files start with the code and lose it.
// kind: a plain run (head or foot, or with remove a removal), a replacement of an old code at the
// head, or the code in front of each file's last </body>, once.
enum class Kind { Add, Replace, BeforeMarker };
void checkEveryKillPoint(const std::string& base, bool head, const std::string& code = "CODE 代码",
                         bool busyDisk = false, long* calls = nullptr, bool remove = false,
                         Kind kind = Kind::Add);

// Kills a run over `files` files at `rounds` random moments (seeded), with the same checks, and
// those of the manual: at most one batch of changed files missing from the log, and (named: no
// unnamed files) at most a handful of temporary files left.
void checkRandomKills(const std::string& base, bool head, int files, int rounds, unsigned seed,
                      bool named = false,
                      const std::string& code = "<!-- added by the crash test: 40 bytes -->");

// Head and foot over files needing more room than root's file system has: each file whole old
// (logged as failed with the system's reason) or whole new, nothing else left behind.
void checkDiskFull(const std::string& root);

} // namespace crash
