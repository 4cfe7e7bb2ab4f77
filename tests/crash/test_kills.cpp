// stepwick-cli killed just before each of its file-system calls in turn (STEPWICK_KILL_AT), and
// from outside at random moments of a run over 2,000 files.
#include "CrashSupport.h"

#include <gtest/gtest.h>

// On a disk busy with other programs' data each new content is also sent on to the disk as soon
// as it is written, and each file is flushed alone: a call more per file, each a kill point.
void killQuietAndBusy(bool head) {
    long quiet = 0, busy = 0;
    crash::checkEveryKillPoint(crash::scratchBase(), head, "CODE 代码", false, &quiet);
    crash::checkEveryKillPoint(crash::scratchBase(), head, "CODE 代码", true, &busy);
    EXPECT_GT(busy, quiet);
}

TEST(KillPoints, Head) { killQuietAndBusy(true); }
TEST(KillPoints, Foot) { killQuietAndBusy(false); }
TEST(KillPoints, LongFoot) {
    crash::checkEveryKillPoint(crash::scratchBase(), false, std::string(5000, 'L'));
}
// A removal, too, replaces each file whole, and leaves no bytes it did not read behind.
TEST(KillPoints, Removal) {
    for (bool head : {true, false})
        crash::checkEveryKillPoint(crash::scratchBase(), head, "CODE 代码", false, nullptr, true);
}
// A replacement and an insertion before a marker go through a new file, as a head does.
TEST(KillPoints, ReplaceAndMarker) {
    for (const crash::Kind kind : {crash::Kind::Replace, crash::Kind::BeforeMarker})
        crash::checkEveryKillPoint(crash::scratchBase(), true, "NEW 新代码", false, nullptr, false, kind);
}
// Fifty moments each: 8 s of CPU on a quiet machine, a twentieth of the limit that a busy one needs.
TEST(RandomKill, Head) { crash::checkRandomKills(crash::scratchBase(), true, 2000, 50, crash::seed()); }
TEST(RandomKill, Foot) { crash::checkRandomKills(crash::scratchBase(), false, 2000, 50, crash::seed()); }
TEST(RandomKill, HeadNamed) {
    crash::checkRandomKills(crash::scratchBase(), true, 2000, 50, crash::seed(), true);
}
// A foot too long for one write goes through a new file, named too.
TEST(RandomKill, LongFootNamed) {
    crash::checkRandomKills(crash::scratchBase(), false, 2000, 50, crash::seed(), true,
                            std::string(5000, 'L'));
}
