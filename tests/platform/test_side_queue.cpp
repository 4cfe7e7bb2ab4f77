// Side work: the pool of threads and the queue over it, on Linux and (under wine) on Windows.
#include "platform/SideQueue.h"
#include "platform/SideThreads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::SideQueue;
using platform::SideThreads;

bool settles(const std::function<bool()>& done) {
    for (auto until = std::chrono::steady_clock::now() + 20s; !done();) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// What a queue's handler saw: the items in the order handled, and on which threads.
struct Seen {
    std::mutex mutex;
    std::vector<int> items;
    std::vector<std::thread::id> threads;
    void add(int item) {
        std::lock_guard<std::mutex> lock(mutex);
        items.push_back(item);
        threads.push_back(std::this_thread::get_id());
    }
};

} // namespace

// Every item is handled exactly once by the time finish() returns, whatever the threads; with at
// most one thread in the order pushed and one at a time, without threads at once on the pushing
// thread; more items than threads are no trouble, and the queue serves again after finish().
TEST(SideQueue, HandlesEveryItemOnceAndInOrderWithOneThread) {
    SideThreads threads;
    constexpr int kItems = 300;
    for (const auto& [useThreads, most, together] : std::vector<std::tuple<bool, std::size_t, std::size_t>>{
             {false, 4, 1}, {true, 1, 1}, {true, 1, 8}, {true, 4, 1}, {true, 16, 8}}) {
        SCOPED_TRACE(std::to_string(useThreads) + " threads at most " + std::to_string(most) + ", together " +
                     std::to_string(together));
        Seen seen;
        std::atomic<int> inside{0}, overlaps{0}; // with one thread, the owner and a side thread take turns
        SideQueue<int> queue(useThreads ? &threads : nullptr, most, together, [&](int& i) {
            overlaps += inside++ > 0;
            if (most == 1)
                std::this_thread::sleep_for(20us);
            seen.add(i);
            --inside;
        });
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < kItems; i += 3) {
                queue.push(i);
                std::vector<int> two{i + 1, i + 2};
                queue.push(two);
                if (!useThreads) {
                    EXPECT_EQ(queue.handled(), std::size_t(round * kItems + i + 3)) << "not at once";
                }
            }
            queue.finish();
            ASSERT_EQ(seen.items.size(), std::size_t((round + 1) * kItems)) << "not all handled by finish()";
            EXPECT_EQ(queue.handled(), seen.items.size());
            std::vector<int> sorted(seen.items.begin() + round * kItems, seen.items.end());
            if (most > 1)
                std::sort(sorted.begin(), sorted.end());
            for (int i = 0; i < kItems; ++i)
                ASSERT_EQ(sorted[std::size_t(i)], i) << (most > 1 ? "lost or twice" : "out of order");
        }
        if (most == 1) {
            EXPECT_EQ(overlaps, 0) << "two items handled at once";
        }
        if (!useThreads) {
            for (const auto& id : seen.threads)
                ASSERT_EQ(id, std::this_thread::get_id());
        }
    }
}

// A handler's exception ends its own item only: the rest are handled, and the owner gets the first
// exception once, from waitHandled() or finish() (or, without threads, from the push that met it).
TEST(SideQueue, HandlerFailureReachesTheOwnerOnceAndTheRestAreHandled) {
    SideThreads threads;
    for (bool useThreads : {false, true}) {
        SCOPED_TRACE(useThreads ? "threads" : "no threads");
        Seen seen;
        SideQueue<int> queue(useThreads ? &threads : nullptr, 1, 1, [&](int& i) {
            if (i == 3 || i == 5)
                throw std::runtime_error("item " + std::to_string(i));
            seen.add(i);
        });
        int thrown = 0;
        for (int i = 0; i < 8; ++i) {
            try {
                queue.push(i);
            } catch (const std::runtime_error& e) {
                ++thrown;
                EXPECT_FALSE(useThreads) << "a side thread's failure thrown by push";
                EXPECT_EQ(e.what(), "item " + std::to_string(i));
            }
        }
        if (useThreads) {
            try {
                queue.waitHandled(8);
            } catch (const std::runtime_error& e) {
                ++thrown;
                EXPECT_STREQ(e.what(), "item 3") << "not the first failure";
            }
        }
        EXPECT_NO_THROW(queue.finish()) << "a failure reported twice";
        EXPECT_EQ(thrown, useThreads ? 1 : 2);
        EXPECT_EQ(queue.handled(), 8u);
        EXPECT_EQ(seen.items, (std::vector<int>{0, 1, 2, 4, 6, 7}));
    }
}

// An owner that waits for its in-order stage while every thread of the pool is busy handles the
// items itself, in order: its wait never depends on a free thread.
TEST(SideQueue, WaitingOwnerHandlesItemsWhileEveryThreadIsBusy) {
    SideThreads threads(1);
    std::atomic<bool> running{false}, released{false};
    auto busy = threads.start([&] {
        running = true;
        return settles([&] { return released.load(); });
    });
    ASSERT_TRUE(settles([&] { return running.load(); }));
    Seen seen;
    SideQueue<int> queue(&threads, 1, 1, [&](int& i) { seen.add(i); });
    for (int i = 0; i < 5; ++i)
        queue.push(i);
    queue.waitHandled(5);
    released = true;
    EXPECT_TRUE(busy.get()) << "the owner waited for the busy thread";
    EXPECT_EQ(seen.items, (std::vector<int>{0, 1, 2, 3, 4}));
    queue.finish();
}

namespace {
// Counts the threads that have ended, at a thread's own end, late.
struct CountsItsEnd {
    std::atomic<int>* ended = nullptr;
    CountsItsEnd() = default;
    CountsItsEnd(const CountsItsEnd&) = delete;
    CountsItsEnd& operator=(const CountsItsEnd&) = delete;
    ~CountsItsEnd() {
        if (!ended)
            return;
        std::this_thread::sleep_for(20ms); // an end not waited for comes too late
        ++*ended;
    }
};
thread_local CountsItsEnd t_end;
} // namespace

// Tasks that wait on each other, many more than threads, all end: whoever waits for a task no
// thread has taken runs it. No more threads start than the pool's size, a task's failure reaches
// whoever asks for its result, letting go of a task waits for its end, and the pool's threads have
// all ended once it is gone.
TEST(SideThreads, TasksWaitingOnEachOtherEndOnABoundedPool) {
    std::atomic<int> ended{0};
    std::size_t started = 0;
    const std::thread::id test = std::this_thread::get_id();
    std::mutex seenMutex;
    std::set<std::thread::id> ran; // side threads that took a task: one the asker beat may not
    const auto counted = [&] {     // a side thread's end, never this one's
        if (std::this_thread::get_id() == test)
            return;
        t_end.ended = &ended;
        std::lock_guard<std::mutex> lock(seenMutex);
        ran.insert(std::this_thread::get_id());
    };
    {
        SideThreads threads(2);
        std::function<int(int)> chain = [&](int k) {
            counted();
            if (k == 20)
                return 0;
            auto next = threads.start([&chain, k] { return chain(k + 1); });
            std::this_thread::sleep_for(1ms); // for a thread to take it, if one is free
            return next.get() + 1;
        };
        std::vector<platform::SideTask<int>> chains;
        for (int i = 0; i < 3; ++i)
            chains.push_back(threads.start([&] { return chain(0); }));
        for (auto& c : chains)
            EXPECT_EQ(c.get(), 20);
        EXPECT_THROW(threads
                         .start([&]() -> int {
                             counted();
                             throw std::runtime_error("x");
                         })
                         .get(),
                     std::runtime_error);
        std::atomic<bool> done{false};
        threads.start([&] {
            counted();
            std::this_thread::sleep_for(50ms);
            done = true;
        });
        EXPECT_TRUE(done) << "letting go of a task did not wait for its end";
        started = threads.started();
        EXPECT_LE(started, 2u) << "more threads than the pool's size";
    }
    EXPECT_LE(ran.size(), started);
    EXPECT_EQ(ended, static_cast<int>(ran.size())) << "a thread of the pool outlived it";
}
