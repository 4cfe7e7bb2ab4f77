#include "platform/SideThreads.h"

#include <system_error>
#include <thread>

namespace platform {

SideThreads::~SideThreads() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_closing = true;
    m_work.notify_all();
    m_gone.wait(lock, [this] { return m_live == 0; });
}

std::size_t SideThreads::started() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_started;
}

std::size_t SideThreads::idle() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_idle;
}

bool SideThreads::hand(std::function<void()> job) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_idle > m_jobs.size()) {
        m_jobs.push_back(std::move(job));
        lock.unlock();
        m_work.notify_one();
        return true;
    }
    try {
        std::thread(&SideThreads::serve, this, std::move(job)).detach();
    } catch (const std::system_error&) {
        return false;
    }
    ++m_live;
    ++m_started;
    return true;
}

// Runs its first task, then waits for more while fewer than m_keptIdle others do.
void SideThreads::serve(std::function<void()> job) {
    for (;;) {
        job();
        job = nullptr; // what the task held goes before this thread waits
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_closing || m_idle >= m_keptIdle)
            break;
        ++m_idle;
        m_work.wait(lock, [this] { return m_closing || !m_jobs.empty(); });
        --m_idle;
        if (m_jobs.empty())
            break;
        job = std::move(m_jobs.front());
        m_jobs.pop_front();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_live == 0)
        m_gone.notify_all();
}

SideThreads& sideThreads() {
    // Never destroyed: a thread still busy when the process ends must not hold up its exit.
    static SideThreads* const threads = new SideThreads;
    return *threads;
}

} // namespace platform
