// Kills stepwick-cli just before each of its file-system calls in turn (STEPWICK_KILL_AT).
#include "CrashSupport.h"
#include "KillChecks.h"

#include <gtest/gtest.h>

TEST(KillPoints, HeadRunKilledAtEveryCallLeavesEachFileWholeAndASecondRunFinishes) {
    crash::checkEveryKillPoint(crash::ScratchDir::defaultBase(), /*head=*/true);
}

TEST(KillPoints, FootRunKilledAtEveryCallLeavesEachFileWholeAndASecondRunFinishes) {
    crash::checkEveryKillPoint(crash::ScratchDir::defaultBase(), /*head=*/false);
}
