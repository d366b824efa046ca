#include "platform/ManualScheduler.h"

#include <algorithm>

namespace keyglass {

void ManualScheduler::postMain(Task task)
{
    schedule(m_now, false, std::move(task));
}

CancelToken ManualScheduler::postMainAfter(Duration delay, Task task)
{
    return schedule(m_now + delay, false, std::move(task));
}

void ManualScheduler::postIO(Task task)
{
    schedule(m_now, true, std::move(task));
}

CancelToken ManualScheduler::postIOAfter(Duration delay, Task task)
{
    return schedule(m_now + delay, true, std::move(task));
}

CancelToken ManualScheduler::schedule(TimePoint due, bool io, Task task)
{
    auto token = CancelToken::make();
    m_entries.push_back(Entry{due, m_sequence++, io, token, std::move(task)});
    return token;
}

bool ManualScheduler::runOneDue()
{
    auto earliest = m_entries.end();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->due > m_now)
            continue;
        if (earliest == m_entries.end() ||
            std::tie(it->due, it->sequence) < std::tie(earliest->due, earliest->sequence))
            earliest = it;
    }
    if (earliest == m_entries.end())
        return false;
    Entry entry = std::move(*earliest);
    m_entries.erase(earliest);
    if (!entry.token.isCancelled())
        entry.task();
    return true;
}

int ManualScheduler::runUntilIdle()
{
    int count = 0;
    while (runOneDue())
        ++count;
    return count;
}

int ManualScheduler::advance(Duration delta)
{
    const TimePoint target = m_now + delta;
    int count = runUntilIdle();
    for (;;) {
        auto next = m_entries.end();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->due <= target && (next == m_entries.end() || it->due < next->due))
                next = it;
        }
        if (next == m_entries.end())
            break;
        m_now = std::max(m_now, next->due);
        count += runUntilIdle();
    }
    m_now = target;
    return count + runUntilIdle();
}

int ManualScheduler::pendingDelayedTasks() const
{
    return static_cast<int>(
        std::count_if(m_entries.begin(), m_entries.end(), [](const Entry& e) { return !e.token.isCancelled(); }));
}

} // namespace keyglass
