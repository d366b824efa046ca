#pragma once

#include "platform/Scheduler.h"
#include "platform/ThreadedScheduler.h"

#include <memory>

class QObject;

namespace keyglass {

/// The store's scheduler in the Qt app: main-thread tasks run on the Qt event loop, I/O tasks on the
/// core's serial IoWorker thread. Delayed main tasks check their cancel token right before running.
/// Tasks still pending when the scheduler is destroyed are dropped.
class QtScheduler final : public Scheduler
{
public:
    QtScheduler();
    ~QtScheduler() override;

    void postMain(Task task) override;
    CancelToken postMainAfter(Duration delay, Task task) override;
    void postIO(Task task) override;
    CancelToken postIOAfter(Duration delay, Task task) override;
    TimePoint now() const override { return Clock::now(); }

private:
    std::unique_ptr<QObject> m_context; // main-thread receiver; its death drops pending tasks
    IoWorker m_io;                      // last: joined before the context goes away
};

} // namespace keyglass
