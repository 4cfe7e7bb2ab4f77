#pragma once

#include "platform/SideThreads.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

// Items handed to side tasks on `threads` (at most `threadsAtMost` at once), which take them in
// the order they come; without threads each item is handled as it comes, on the thread that
// pushes it. A side task is started once `together` items wait, takes what waits and ends when
// nothing does: starting one for each item would cost a switch of threads each time, and no task
// ever sits on a thread waiting for items. Every item handed over has been handled when finish()
// returns.
// With at most one thread (or none) the items are also handled one at a time, in order, so that
// handled() >= k says the first k items are done: an in-order stage whose owner waits for its
// results with waitHandled(). An owner that waits while no one handles its items (every thread of
// the pool busy) handles them itself, so that waiting never depends on a free thread.
// A handler that throws ends only its own item, which counts as handled; the queue goes on with
// the next ones, and the first exception is thrown again on the owner's thread, by the next
// waitHandled() or finish() (without threads, by the push that met it), so that nothing is lost
// quietly and no side thread ends with an exception nobody sees.
template <class Item> class SideQueue {
public:
    using Handle = std::function<void(Item&)>;
    SideQueue(SideThreads* threads, std::size_t threadsAtMost, std::size_t together, Handle handle)
        : m_threads(threads), m_threadsAtMost(std::max<std::size_t>(threadsAtMost, 1)),
          m_together(std::max<std::size_t>(together, 1)), m_handle(std::move(handle)) {}
    SideQueue(const SideQueue&) = delete;
    SideQueue& operator=(const SideQueue&) = delete;
    SideQueue(SideQueue&&) = delete;
    SideQueue& operator=(SideQueue&&) = delete;
    ~SideQueue() { drain(); }

    void push(Item item) { push(&item, &item + 1); }
    void push(std::vector<Item>& items) {
        push(items.begin(), items.end());
        items.clear();
    }

    // Handles items on this thread as well, oldest first, until no more than `left` wait; for a
    // queue whose order does not matter (more than one thread).
    void handleDownTo(std::size_t left) {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (m_queue.size() > left)
            handleFront(lock);
    }

    // Items handled so far (by any thread).
    std::size_t handled() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_handled;
    }
    // Waits until at least count items have been handled; count must not exceed those pushed.
    void waitHandled(std::size_t count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (m_handled < count) {
            if (!m_queue.empty() && mayHandle())
                handleFront(lock);
            else
                m_handledMore.wait(lock);
        }
        startTasks(lock); // what waits behind them goes on on the side
        rethrow(lock);
    }

    void finish() {
        drain();
        std::unique_lock<std::mutex> lock(m_mutex);
        rethrow(lock);
    }

private:
    template <class It> void push(It first, It last) {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (; first != last; ++first)
            m_queue.push_back(std::move(*first));
        if (!m_threads) {
            while (!m_queue.empty())
                handleFront(lock);
            rethrow(lock);
            return;
        }
        if (m_queue.size() >= m_together)
            startTasks(lock);
    }

    // Starts side tasks for what waits, up to the queue's share of threads. Once none is under way
    // those that ended go (a task past its last look at the queue has only its result left to set).
    void startTasks(std::unique_lock<std::mutex>& /*held*/) {
        if (!m_threads || m_queue.empty())
            return;
        if (m_tasks == 0)
            m_side.clear();
        while (m_tasks < std::min(m_threadsAtMost, m_queue.size())) {
            ++m_tasks;
            m_side.push_back(m_threads->start([this] { run(); }));
        }
    }

    // In order with one thread: one handler at a time, whoever it is.
    bool mayHandle() const { return m_threadsAtMost > 1 || m_handling == 0; }

    // Takes the oldest item and handles it with the lock let go.
    void handleFront(std::unique_lock<std::mutex>& lock) {
        Item item = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_handling;
        lock.unlock();
        std::exception_ptr failure;
        try {
            m_handle(item);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        --m_handling;
        if (failure && !m_failure)
            m_failure = failure;
        ++m_handled;
        m_handledMore.notify_all();
    }

    void rethrow(std::unique_lock<std::mutex>& /*held*/) {
        if (m_failure)
            std::rethrow_exception(std::exchange(m_failure, nullptr));
    }

    // Handles what is left, with the side tasks, and waits for them; never throws what a handler
    // threw. A task not yet on a thread runs here when waited for.
    void drain() noexcept {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            while (!m_queue.empty() && mayHandle())
                handleFront(lock);
            if (m_side.empty() && m_queue.empty())
                return;
            std::vector<SideTask<void>> side = std::move(m_side);
            m_side.clear();
            lock.unlock();
            side.clear(); // each ends, or runs here
            lock.lock();
        }
    }

    // A side task: handles what waits, and ends when nothing does or another handles in order.
    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_queue.empty() && mayHandle())
            handleFront(lock);
        --m_tasks;
    }

    SideThreads* const m_threads;
    const std::size_t m_threadsAtMost;
    const std::size_t m_together;
    const Handle m_handle;
    std::vector<SideTask<void>> m_side;
    mutable std::mutex m_mutex;
    std::condition_variable m_handledMore;
    std::deque<Item> m_queue;
    std::size_t m_handled = 0;
    std::size_t m_tasks = 0;    // side tasks started and not yet ended
    std::size_t m_handling = 0; // threads handling an item now
    std::exception_ptr m_failure;
};

} // namespace platform
