// stepwick-cli killed just before each of its file-system calls in turn (STEPWICK_KILL_AT), and
// from outside at random moments of a run over 2,000 files.
#include "CrashSupport.h"

#include <gtest/gtest.h>

TEST(KillPoints, Head) { crash::checkEveryKillPoint(crash::scratchBase(), true); }
TEST(KillPoints, Foot) { crash::checkEveryKillPoint(crash::scratchBase(), false); }
TEST(KillPoints, LongFoot) {
    crash::checkEveryKillPoint(crash::scratchBase(), false, std::string(5000, 'L'));
}
TEST(RandomKill, Head) { crash::checkRandomKills(crash::scratchBase(), true, 2000, 100, crash::seed()); }
TEST(RandomKill, Foot) { crash::checkRandomKills(crash::scratchBase(), false, 2000, 100, crash::seed()); }
