// Kills stepwick-cli from outside at random moments of a run over 2,000 files.
#include "CrashSupport.h"
#include "KillChecks.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <random>

namespace {

// STEPWICK_CRASH_SEED repeats an earlier round of kills; the seed is in every failure's trace.
unsigned seed() {
    if (const char* s = std::getenv("STEPWICK_CRASH_SEED"); s && *s)
        return static_cast<unsigned>(std::strtoul(s, nullptr, 10));
    return std::random_device{}();
}

} // namespace

TEST(RandomKill, HeadRunOver2000FilesKilledAt100Moments) {
    crash::checkRandomKills(crash::ScratchDir::defaultBase(), /*head=*/true, 2000, 100, seed());
}

TEST(RandomKill, FootRunOver2000FilesKilledAt100Moments) {
    crash::checkRandomKills(crash::ScratchDir::defaultBase(), /*head=*/false, 2000, 100, seed());
}
