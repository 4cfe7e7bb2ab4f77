#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

namespace side {

// A task handed to the threads: run exactly once, by whichever comes first, a side thread or the
// thread that waits for it or lets it go.
class Job {
public:
    Job() = default;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;
    Job(Job&&) = delete;
    Job& operator=(Job&&) = delete;
    virtual ~Job() = default;
    // True for the one caller that is to run it.
    bool claim() { return !m_taken.exchange(true, std::memory_order_acq_rel); }
    bool taken() const { return m_taken.load(std::memory_order_acquire); }
    virtual void run() = 0;

private:
    std::atomic<bool> m_taken{false};
};

template <class Result> class TypedJob final : public Job {
public:
    template <class Task> explicit TypedJob(Task task) : m_task(std::move(task)) {}
    std::future<Result> result() { return m_task.get_future(); }
    void run() override { m_task(); }

private:
    std::packaged_task<Result()> m_task;
};

} // namespace side

// What a side task hands back. Asking for its result, or letting go of it, runs the task on the
// asking thread if no side thread has taken it yet, and otherwise waits for its end: so a task
// that waits for another never waits for a free thread, and nothing a task uses goes away under it.
template <class Result> class SideTask {
public:
    SideTask() = default;
    SideTask(std::shared_ptr<side::Job> job, std::future<Result> result)
        : m_job(std::move(job)), m_result(std::move(result)) {}
    SideTask(const SideTask&) = delete;
    SideTask& operator=(const SideTask&) = delete;
    SideTask(SideTask&&) noexcept = default;
    SideTask& operator=(SideTask&& other) noexcept {
        awaitEnd();
        m_job = std::move(other.m_job);
        m_result = std::move(other.m_result);
        return *this;
    }
    ~SideTask() { awaitEnd(); }

    bool valid() const { return m_result.valid(); }
    // A side thread has taken the task (it may have ended): its end comes without the asker.
    bool underWay() const { return m_job && m_job->taken(); }
    Result get() {
        runHere();
        return m_result.get();
    }

private:
    void runHere() {
        if (m_job && m_job->claim())
            m_job->run(); // its exception, if any, waits in the result
        m_job.reset();
    }
    void awaitEnd() noexcept {
        if (!m_result.valid())
            return;
        runHere();
        m_result.wait();
    }

    std::shared_ptr<side::Job> m_job;
    std::future<Result> m_result;
};

// A fixed number of threads for a run's side work (preparing, flushing, closing), started as work
// comes and kept waiting between tasks: on this machine starting a thread costs about as much CPU
// as rewriting a small file. Tasks wait in the order handed over; where every thread is busy, or
// none can be had, a task waits until a thread is free or until someone asks for its result, who
// then runs it. The threads are joined when the pool goes, once every task handed over has run.
class SideThreads {
public:
    // Much of the side work waits for the disk rather than the processor, so a few more threads
    // than cores pay; a handful is enough to keep a flush and several closes going.
    static std::size_t defaultSize() {
        return std::max<std::size_t>(kHandful, std::thread::hardware_concurrency());
    }
    explicit SideThreads(std::size_t most = defaultSize()) : m_most(std::max<std::size_t>(most, 1)) {}
    SideThreads(const SideThreads&) = delete;
    SideThreads& operator=(const SideThreads&) = delete;
    SideThreads(SideThreads&&) = delete;
    SideThreads& operator=(SideThreads&&) = delete;
    ~SideThreads() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closing = true;
        }
        m_work.notify_all();
        for (auto& thread : m_threads)
            thread.join();
    }

    template <class Task> auto start(Task task) -> SideTask<decltype(task())> {
        using Result = decltype(task());
        auto job = std::make_shared<side::TypedJob<Result>>(std::move(task));
        std::future<Result> result = job->result();
        hand(job);
        return SideTask<Result>(std::move(job), std::move(result));
    }

    // Threads started so far: never more than the pool's size.
    std::size_t started() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads.size();
    }
    std::size_t size() const { return m_most; }

private:
    static constexpr std::size_t kHandful = 8;

    void hand(std::shared_ptr<side::Job> job) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (m_jobs.size() > m_idle && m_threads.size() < m_most && !m_closing) {
            try {
                m_threads.emplace_back(&SideThreads::serve, this);
            } catch (const std::system_error&) {
                // None to be had: the task waits for a thread that is, or for its asker.
            }
        }
        const bool wake = m_idle > 0;
        lock.unlock();
        if (wake)
            m_work.notify_one();
    }

    void serve() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            ++m_idle;
            m_work.wait(lock, [this] { return m_closing || !m_jobs.empty(); });
            --m_idle;
            if (m_jobs.empty())
                return; // closing, and nothing left
            std::shared_ptr<side::Job> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            if (job->claim())
                job->run();
            job.reset(); // what the task held goes before this thread waits
            lock.lock();
        }
    }

    const std::size_t m_most;
    mutable std::mutex m_mutex;
    std::condition_variable m_work;
    std::deque<std::shared_ptr<side::Job>> m_jobs;
    std::vector<std::thread> m_threads;
    std::size_t m_idle = 0;
    bool m_closing = false;
};

} // namespace platform
