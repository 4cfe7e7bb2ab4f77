#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace platform {

// What a side task hands back. As with std::async's own thread, letting go of it waits for the task
// to end, so that nothing the task uses goes away under it; a task left to run on the asking thread
// (none could be had) is then dropped without running.
template <class Result> class SideTask {
public:
    SideTask() = default;
    explicit SideTask(std::future<Result> result) : m_result(std::move(result)) {}
    SideTask(const SideTask&) = delete;
    SideTask& operator=(const SideTask&) = delete;
    SideTask(SideTask&&) noexcept = default;
    SideTask& operator=(SideTask&& other) noexcept {
        awaitEnd();
        m_result = std::move(other.m_result);
        return *this;
    }
    ~SideTask() { awaitEnd(); }

    bool valid() const { return m_result.valid(); }
    // Done, its result waiting; never for a task left to the asking thread.
    bool ready() const {
        return m_result.valid() && m_result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }
    Result get() { return m_result.get(); }
    // Left to the asking thread: no thread could be had.
    bool deferred() const {
        return m_result.valid() && m_result.wait_for(std::chrono::seconds(0)) == std::future_status::deferred;
    }

private:
    void awaitEnd() noexcept {
        if (m_result.valid() && m_result.wait_for(std::chrono::seconds(0)) != std::future_status::deferred)
            m_result.wait();
    }

    std::future<Result> m_result;
};

// Threads for a run's side work (preparing, flushing, closing), kept waiting between tasks: on
// this machine starting a thread costs about as much CPU as rewriting a small file. A task never
// waits for a free thread: when none is idle a new one starts, so tasks that wait on each other
// behave as with a thread each. Where no thread can be had, start() hands back a task that runs on
// the thread asking for its result.
class SideThreads {
public:
    // At most this many threads wait for work; more finish once their task is done.
    explicit SideThreads(std::size_t keptIdle = 32) : m_keptIdle(keptIdle) {}
    SideThreads(const SideThreads&) = delete;
    SideThreads& operator=(const SideThreads&) = delete;
    ~SideThreads() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_closing = true;
        m_work.notify_all();
        m_gone.wait(lock, [this] { return m_live == 0; });
    }

    template <class Task> auto start(Task task) -> SideTask<decltype(task())> {
        using Result = decltype(task());
        auto job = std::make_shared<std::packaged_task<Result()>>(std::move(task));
        std::future<Result> result = job->get_future();
        if (!hand([job] { (*job)(); }))
            return SideTask<Result>(std::async(std::launch::deferred, [job, f = std::move(result)]() mutable {
                (*job)();
                return f.get();
            }));
        return SideTask<Result>(std::move(result));
    }

    // Threads started so far, and how many wait for work now.
    std::size_t started() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_started;
    }
    std::size_t idle() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_idle;
    }

private:
    bool hand(std::function<void()> job) {
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
    void serve(std::function<void()> job) {
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

    const std::size_t m_keptIdle;
    mutable std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_gone;
    std::deque<std::function<void()>> m_jobs;
    std::size_t m_idle = 0;
    std::size_t m_live = 0;
    std::size_t m_started = 0;
    bool m_closing = false;
};

} // namespace platform
