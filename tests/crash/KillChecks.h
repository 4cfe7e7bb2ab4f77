#pragma once

#include <string>

namespace crash {

// Kills a small run (six files of different kinds) just before each of its file-system calls in
// turn, k = 1, 2, ... until a run gets through, each time in a fresh folder under base. After
// every kill each file holds its whole old or its whole new content, the only other name left is
// the hidden temporary file of the one file being renamed, and a second run finishes the job.
// A foot code longer than one write goes through a new file and a rename, as a head does.
void checkEveryKillPoint(const std::string& base, bool head, const std::string& code = "CODE 代码");

// Kills a run over `files` files at `rounds` random moments (seeded), with the same checks.
void checkRandomKills(const std::string& base, bool head, int files, int rounds, unsigned seed);

} // namespace crash
