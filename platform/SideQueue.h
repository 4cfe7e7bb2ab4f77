#pragma once

#include "platform/SideThreads.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

// Items handed to side threads of `threads` (at most `threadsAtMost`, started as items come), which
// handle them in the order they come; without threads, or where no thread can be had, each item is
// handled as it comes. The
// threads are woken once `together` items wait: waking one for each item would cost a switch of
// threads each time. Every item handed over has been handled when finish() returns.
template <class Item> class SideQueue {
public:
    using Handle = std::function<void(Item&)>;
    SideQueue(SideThreads* threads, std::size_t threadsAtMost, std::size_t together, Handle handle)
        : m_threads(threads), m_threadsAtMost(threadsAtMost), m_together(together),
          m_handle(std::move(handle)) {}
    SideQueue(const SideQueue&) = delete;
    SideQueue& operator=(const SideQueue&) = delete;
    ~SideQueue() { finish(); }

    void push(Item item) { push(&item, &item + 1); }
    void push(std::vector<Item>& items) {
        push(items.begin(), items.end());
        items.clear();
    }

    // Handles items on this thread as well, oldest first, until no more than `left` wait.
    void handleDownTo(std::size_t left) {
        for (;;) {
            Item item;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_queue.size() <= left)
                    return;
                item = std::move(m_queue.front());
                m_queue.pop_front();
            }
            m_handle(item);
        }
    }

    void finish() {
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

private:
    template <class It> void push(It first, It last) {
        if (!m_threads) {
            for (; first != last; ++first)
                m_handle(*first);
            return;
        }
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
        if (wake)
            m_ready.notify_all();
        while (m_side.size() < std::min(m_threadsAtMost, waiting))
            m_side.push_back(m_threads->start([this] { run(); }));
    }

    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_ready.wait(lock, [this] { return m_done || m_queue.size() >= m_together; });
            if (m_queue.empty())
                return;
            while (!m_queue.empty()) {
                Item item = std::move(m_queue.front());
                m_queue.pop_front();
                lock.unlock();
                m_handle(item);
                lock.lock();
            }
        }
    }

    SideThreads* const m_threads;
    const std::size_t m_threadsAtMost;
    const std::size_t m_together;
    const Handle m_handle;
    std::vector<SideTask<void>> m_side;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Item> m_queue;
    bool m_done = false;
};

} // namespace platform
