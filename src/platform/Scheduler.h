#pragma once
// Where work runs. The store owns all state on the main thread; every RawHID conversation runs on one
// serial I/O queue; delayed tasks (toast expiry, flash expiry, debounces) are cancellable.
//
// Implementations: ManualScheduler (virtual clock, tests and one-shot CLI commands), ThreadedScheduler
// (a real I/O thread and a main queue driven by a simple loop) and the Qt app's adapter (main queue =
// the Qt event loop, I/O on the same IoWorker thread).

#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace keyglass {

/// Cancels one delayed task. Cancelling a task that already started does not stop it; cancelling a
/// finished task or an empty token does nothing. Copies share the same task.
class CancelToken
{
public:
    CancelToken() = default;
    static CancelToken make() { return CancelToken(std::make_shared<std::atomic<bool>>(false)); }

    void cancel() const
    {
        if (m_flag)
            m_flag->store(true);
    }
    bool isCancelled() const { return m_flag && m_flag->load(); }
    bool isValid() const { return m_flag != nullptr; }

private:
    explicit CancelToken(std::shared_ptr<std::atomic<bool>> flag) : m_flag(std::move(flag)) {}
    std::shared_ptr<std::atomic<bool>> m_flag;
};

class Scheduler
{
public:
    using Task = std::function<void()>;

    virtual ~Scheduler() = default;

    /// Runs `task` on the main thread, after the tasks already posted there. Callable from any thread.
    virtual void postMain(Task task) = 0;
    /// Runs `task` on the main thread once `delay` has passed, unless cancelled first.
    virtual CancelToken postMainAfter(Duration delay, Task task) = 0;
    /// Runs `task` on the serial I/O queue, after every I/O task posted before it.
    virtual void postIO(Task task) = 0;
    /// Runs `task` on the I/O queue once `delay` has passed, unless cancelled first.
    virtual CancelToken postIOAfter(Duration delay, Task task) = 0;
    /// The scheduler's clock (virtual under ManualScheduler).
    virtual TimePoint now() const = 0;
};

} // namespace keyglass
