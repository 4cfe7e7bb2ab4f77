// The interrupt handler sets only a stop flag that is still in use: the guard that named it puts
// back the one before, and once none is left a signal is remembered and sets nothing.
#include "platform/Process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <memory>

TEST(StopOnInterrupt, SetsOnlyTheFlagOfTheLivingGuard) {
    // On the heap, so that what the handler wrote is still there to be seen once its guard is gone.
    auto gone = std::make_unique<std::atomic<bool>>(false);
    { const platform::StopOnInterrupt guard(*gone); }
    ::raise(SIGINT);
    EXPECT_FALSE(*gone);
    EXPECT_EQ(platform::caughtSignal(), SIGINT);

    std::atomic<bool> outer{false};
    auto inner = std::make_unique<std::atomic<bool>>(false);
    {
        const platform::StopOnInterrupt outerGuard(outer);
        { const platform::StopOnInterrupt innerGuard(*inner); }
        ::raise(SIGTERM);
    }
    EXPECT_TRUE(outer);
    EXPECT_FALSE(*inner);
}
