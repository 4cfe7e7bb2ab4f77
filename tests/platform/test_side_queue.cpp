// Side work: the pool of threads and the queue over it, on Linux and (under wine) on Windows.
#include "platform/SideQueue.h"
#include "platform/SideThreads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
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
// most one thread in the order pushed, without threads at once on the pushing thread; more items
// than threads are no trouble, and the queue serves again after finish().
TEST(SideQueue, HandlesEveryItemOnceAndInOrderWithOneThread) {
    SideThreads threads;
    constexpr int kItems = 300;
    for (const auto& [useThreads, most, together] : std::vector<std::tuple<bool, std::size_t, std::size_t>>{
             {false, 4, 1}, {true, 1, 1}, {true, 1, 8}, {true, 4, 1}, {true, 16, 8}}) {
        SCOPED_TRACE(std::to_string(useThreads) + " threads at most " + std::to_string(most) + ", together " +
                     std::to_string(together));
        Seen seen;
        SideQueue<int> queue(useThreads ? &threads : nullptr, most, together, [&](int& i) { seen.add(i); });
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
        if (!useThreads) {
            for (const auto& id : seen.threads)
                ASSERT_EQ(id, std::this_thread::get_id());
        }
    }
}

// The owner of an in-order stage learns that its first k items are done, and no sooner.
TEST(SideQueue, WaitHandledReturnsOnceTheFirstItemsAreDone) {
    SideThreads threads;
    std::mutex mutex;
    std::condition_variable opened;
    int open = 0; // items below this may be handled
    Seen seen;
    SideQueue<int> queue(&threads, 1, 1, [&](int& i) {
        std::unique_lock<std::mutex> lock(mutex);
        opened.wait(lock, [&] { return i < open; });
        lock.unlock();
        seen.add(i);
    });
    // Opens every item before the queue goes, so that a failed check ends the test, not hangs it.
    struct OpenAll {
        std::function<void()> open;
        ~OpenAll() { open(); }
    } openAll{[&] {
        std::lock_guard<std::mutex> lock(mutex);
        open = 10;
        opened.notify_all();
    }};
    for (int i = 0; i < 10; ++i)
        queue.push(i);
    for (int upTo : {3, 4, 10}) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            open = upTo;
        }
        opened.notify_all();
        queue.waitHandled(std::size_t(upTo));
        std::lock_guard<std::mutex> lock(seen.mutex);
        ASSERT_EQ(seen.items.size(), std::size_t(upTo));
        for (int i = 0; i < upTo; ++i)
            EXPECT_EQ(seen.items[std::size_t(i)], i);
    }
    queue.finish();
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

// Side work never waits for a thread, however many tasks wait on each other; a thread whose task
// is done takes the next one, and no more than asked stay waiting; a task's failure reaches whoever
// asks for its result, and letting go of a task waits for its end.
TEST(SideThreads, TakeEveryTaskAtOnceAndAreReused) {
    SideThreads threads(2);
    constexpr int kTasks = 20;
    std::atomic<int> arrived{0};
    std::vector<platform::SideTask<bool>> tasks;
    for (int i = 0; i < kTasks; ++i)
        tasks.push_back(threads.start([&] {
            ++arrived;
            return settles([&] { return arrived == kTasks; });
        }));
    for (auto& task : tasks)
        EXPECT_TRUE(task.get()) << "a task waited for another's thread";
    ASSERT_TRUE(settles([&] { return threads.idle() == 2; })) << threads.idle() << " threads wait";
    const std::size_t started = threads.started();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(threads.start([] { return 7; }).get(), 7);
        ASSERT_TRUE(settles([&] { return threads.idle() == 2; }));
    }
    EXPECT_EQ(threads.started(), started) << "a waiting thread was not given the task";
    EXPECT_THROW(threads.start([]() -> int { throw std::runtime_error("x"); }).get(), std::runtime_error);
    std::atomic<bool> ended{false};
    threads.start([&] {
        std::this_thread::sleep_for(50ms);
        ended = true;
    });
    EXPECT_TRUE(ended) << "letting go of a task did not wait for its end";
}
