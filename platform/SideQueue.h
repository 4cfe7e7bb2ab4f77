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

// Items handed to side threads of `threads` (at most `threadsAtMost`, started as items come), which
// take them in the order they come; without threads, or where no thread can be had, each item is
// handled as it comes, on the thread that pushes it. The threads are woken once `together` items
// wait: waking one for each item would cost a switch of threads each time. Every item handed over
// has been handled when finish() returns.
// With at most one thread (or none) the items are also handled one at a time, in order, so that
// handled() >= k says the first k items are done: an in-order stage whose owner waits for its
// results with waitHandled().
// A handler that throws ends only its own item, which counts as handled; the queue goes on with
// the next ones, and the first exception is thrown again on the owner's thread, by the next
// waitHandled() or finish() (without threads, by the push that met it), so that nothing is lost
// quietly and no side thread ends with an exception nobody sees.
template <class Item> class SideQueue {
public:
    using Handle = std::function<void(Item&)>;
    SideQueue(SideThreads* threads, std::size_t threadsAtMost, std::size_t together, Handle handle)
        : m_threads(threads), m_threadsAtMost(threadsAtMost), m_together(together),
          m_handle(std::move(handle)) {}
    SideQueue(const SideQueue&) = delete;
    SideQueue& operator=(const SideQueue&) = delete;
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
        m_handledMore.wait(lock, [&] { return m_handled >= count; });
        rethrow(lock);
    }

    void finish() {
        drain();
        std::unique_lock<std::mutex> lock(m_mutex);
        rethrow(lock);
    }

private:
    template <class It> void push(It first, It last) {
        std::size_t waiting = 0;
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const bool asleep = m_queue.size() < m_together;
            for (; first != last; ++first)
                m_queue.push_back(std::move(*first));
            waiting = m_queue.size();
            wake = asleep && waiting >= m_together;
        }
        if (!m_threads)
            return handleHere();
        if (wake)
            m_ready.notify_all();
        while (m_side.size() < std::min(m_threadsAtMost, waiting)) {
            SideTask<void> side = m_threads->start([this] { run(); });
            if (side.deferred()) {
                // No thread to be had: with none at work either, this thread handles what waits.
                if (m_side.empty())
                    handleHere();
                return;
            }
            m_side.push_back(std::move(side));
        }
    }

    void handleHere() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_queue.empty())
            handleFront(lock);
        rethrow(lock);
    }

    // Takes the oldest item and handles it with the lock let go.
    void handleFront(std::unique_lock<std::mutex>& lock) {
        Item item = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        std::exception_ptr failure;
        try {
            m_handle(item);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        if (failure && !m_failure)
            m_failure = failure;
        ++m_handled;
        m_handledMore.notify_all();
    }

    void rethrow(std::unique_lock<std::mutex>& /*held*/) {
        if (m_failure)
            std::rethrow_exception(std::exchange(m_failure, nullptr));
    }

    // Handles what is left and lets the threads go; never throws what a handler threw. A queue of
    // one thread leaves the rest to it, so that its items stay one at a time and in order.
    void drain() noexcept {
        if (m_side.empty() || m_threadsAtMost > 1)
            handleDownTo(0);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_ready.notify_all();
        for (auto& thread : m_side)
            thread.get(); // with no thread to be had, finds nothing left
        m_side.clear();
        m_done = false;
    }

    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_ready.wait(lock, [this] { return m_done || m_queue.size() >= m_together; });
            if (m_queue.empty())
                return;
            while (!m_queue.empty())
                handleFront(lock);
        }
    }

    SideThreads* const m_threads;
    const std::size_t m_threadsAtMost;
    const std::size_t m_together;
    const Handle m_handle;
    std::vector<SideTask<void>> m_side;
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_handledMore;
    std::deque<Item> m_queue;
    std::size_t m_handled = 0;
    std::exception_ptr m_failure;
    bool m_done = false;
};

} // namespace platform
