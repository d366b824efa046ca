#pragma once

#include "platform/Scheduler.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace keyglass {

/// A deadline-ordered task queue. Thread-safe: tasks may be added from any thread.
class TaskQueue
{
public:
    CancelToken add(TimePoint due, Scheduler::Task task);
    /// Takes the earliest task that is due at `now`, skipping cancelled ones.
    std::optional<Scheduler::Task> takeDue(TimePoint now);
    std::optional<TimePoint> nextDue() const;
    bool empty() const;

private:
    struct Entry
    {
        TimePoint due;
        std::uint64_t sequence;
        CancelToken token;
        Scheduler::Task task;
    };
    mutable std::mutex m_mutex;
    std::uint64_t m_sequence = 0;
    std::vector<Entry> m_entries; // a heap ordered by (due, sequence)
};

/// The serial I/O queue: one thread that runs tasks one at a time in deadline order. The destructor
/// finishes the task that is running, drops the rest and joins the thread.
class IoWorker
{
public:
    IoWorker();
    ~IoWorker();
    IoWorker(const IoWorker&) = delete;
    IoWorker& operator=(const IoWorker&) = delete;

    CancelToken post(Duration delay, Scheduler::Task task);
    /// Blocks until every task that is due now has run (delayed ones are not waited for).
    void waitUntilIdle();

private:
    void run();

    TaskQueue m_queue;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_stopping = false;
    bool m_busy = false;
    std::thread m_thread;
};

/// Real threads without a GUI toolkit: I/O on an IoWorker, main-thread tasks run by whoever drives
/// `runMainUntil` / `runMainPending` (the CLI's loop). Timing uses the steady clock.
class ThreadedScheduler final : public Scheduler
{
public:
    void postMain(Task task) override;
    CancelToken postMainAfter(Duration delay, Task task) override;
    void postIO(Task task) override;
    CancelToken postIOAfter(Duration delay, Task task) override;
    TimePoint now() const override { return Clock::now(); }

    /// Runs the main tasks that are due now. Returns how many ran. Call on the main thread only.
    int runMainPending();
    /// Runs main tasks as they become due until `deadline`, or until `stop` returns true.
    void runMainUntil(TimePoint deadline, const std::function<bool()>& stop = {});
    /// Waits until the I/O queue has nothing due, then runs the main tasks that are due.
    void settle();

private:
    TaskQueue m_main;
    std::mutex m_mutex;
    std::condition_variable m_mainPosted;
    IoWorker m_io; // last: its thread stops before the main queue goes away
};

} // namespace keyglass
