#pragma once

// A loop spinning on each core for as long as it lives, as other work on a busy machine does.
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

class BusyLoops {
public:
    BusyLoops() {
        for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i)
            m_loops.emplace_back([this] {
                while (!m_stop.load(std::memory_order_relaxed)) {
                }
            });
    }
    ~BusyLoops() {
        m_stop = true;
        for (std::thread& loop : m_loops)
            loop.join();
    }
    BusyLoops(const BusyLoops&) = delete;
    BusyLoops& operator=(const BusyLoops&) = delete;

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_loops;
};
