#pragma once

#include "platform/Scheduler.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace keyglass {

/// A virtual clock for tests (and one-shot CLI commands): nothing runs until the owner asks. I/O tasks
/// run on the calling thread, in submission order, like the real serial queue. No test ever sleeps:
/// time moves only through `advance`.
class ManualScheduler final : public Scheduler
{
public:
    void postMain(Task task) override;
    CancelToken postMainAfter(Duration delay, Task task) override;
    void postIO(Task task) override;
    CancelToken postIOAfter(Duration delay, Task task) override;
    TimePoint now() const override { return m_now; }

    /// Runs every task that is due at the current virtual time, including tasks those tasks post,
    /// until none is left. Returns the number of tasks run.
    int runUntilIdle();
    /// Moves the clock forward by `delta`, running due tasks in deadline order as time passes.
    int advance(Duration delta);
    /// Delayed tasks not yet run and not cancelled.
    int pendingDelayedTasks() const;

private:
    struct Entry
    {
        TimePoint due;
        std::uint64_t sequence;
        bool io;
        CancelToken token;
        Task task;
    };
    CancelToken schedule(TimePoint due, bool io, Task task);
    bool runOneDue();

    TimePoint m_now{};
    std::uint64_t m_sequence = 0;
    std::vector<Entry> m_entries;
};

} // namespace keyglass
