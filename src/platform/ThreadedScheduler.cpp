#include "platform/ThreadedScheduler.h"

#include <algorithm>

namespace keyglass {

namespace {
struct Later
{
    template <class E> bool operator()(const E& a, const E& b) const
    {
        return std::tie(a.due, a.sequence) > std::tie(b.due, b.sequence);
    }
};
} // namespace

CancelToken TaskQueue::add(TimePoint due, Scheduler::Task task)
{
    auto token = CancelToken::make();
    std::lock_guard lock(m_mutex);
    m_entries.push_back(Entry{due, m_sequence++, token, std::move(task)});
    std::push_heap(m_entries.begin(), m_entries.end(), Later{});
    return token;
}

std::optional<Scheduler::Task> TaskQueue::takeDue(TimePoint now)
{
    std::lock_guard lock(m_mutex);
    while (!m_entries.empty() && m_entries.front().due <= now) {
        std::pop_heap(m_entries.begin(), m_entries.end(), Later{});
        Entry entry = std::move(m_entries.back());
        m_entries.pop_back();
        if (!entry.token.isCancelled())
            return std::move(entry.task);
    }
    return std::nullopt;
}

std::optional<TimePoint> TaskQueue::nextDue() const
{
    std::lock_guard lock(m_mutex);
    if (m_entries.empty())
        return std::nullopt;
    return m_entries.front().due;
}

bool TaskQueue::empty() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.empty();
}

IoWorker::IoWorker() : m_thread([this] { run(); }) {}

IoWorker::~IoWorker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

CancelToken IoWorker::post(Duration delay, Scheduler::Task task)
{
    auto token = m_queue.add(Clock::now() + delay, std::move(task));
    {
        std::lock_guard lock(m_mutex); // pairs with the wait in run(), so the wake-up is not lost
    }
    m_wake.notify_all();
    return token;
}

void IoWorker::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] {
        const auto next = m_queue.nextDue();
        return m_stopping || (!m_busy && (!next || *next > Clock::now()));
    });
}

void IoWorker::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (auto task = m_queue.takeDue(Clock::now())) {
            m_busy = true;
            lock.unlock();
            (*task)();
            task.reset();
            lock.lock();
            m_busy = false;
            continue;
        }
        m_idle.notify_all();
        if (const auto next = m_queue.nextDue())
            m_wake.wait_until(lock, *next);
        else
            m_wake.wait(lock);
    }
    m_idle.notify_all();
}

void ThreadedScheduler::postMain(Task task)
{
    postMainAfter(Duration::zero(), std::move(task));
}

CancelToken ThreadedScheduler::postMainAfter(Duration delay, Task task)
{
    auto token = m_main.add(Clock::now() + delay, std::move(task));
    {
        std::lock_guard lock(m_mutex);
    }
    m_mainPosted.notify_all();
    return token;
}

void ThreadedScheduler::postIO(Task task)
{
    m_io.post(Duration::zero(), std::move(task));
}

CancelToken ThreadedScheduler::postIOAfter(Duration delay, Task task)
{
    return m_io.post(delay, std::move(task));
}

int ThreadedScheduler::runMainPending()
{
    int count = 0;
    while (auto task = m_main.takeDue(Clock::now())) {
        (*task)();
        ++count;
    }
    return count;
}

void ThreadedScheduler::runMainUntil(TimePoint deadline, const std::function<bool()>& stop)
{
    for (;;) {
        runMainPending();
        if ((stop && stop()) || Clock::now() >= deadline)
            return;
        TimePoint wakeAt = deadline;
        if (const auto next = m_main.nextDue())
            wakeAt = std::min(wakeAt, *next);
        std::unique_lock lock(m_mutex);
        m_mainPosted.wait_until(lock, wakeAt, [&] {
            const auto next = m_main.nextDue();
            return next && *next <= Clock::now();
        });
    }
}

void ThreadedScheduler::settle()
{
    for (;;) {
        m_io.waitUntilIdle();
        if (runMainPending() == 0) {
            const auto next = m_main.nextDue();
            if (!next || *next > Clock::now())
                return;
        }
    }
}

} // namespace keyglass
