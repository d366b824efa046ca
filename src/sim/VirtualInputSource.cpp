#include "sim/VirtualInputSource.h"

#include <algorithm>

namespace keyglass {

VirtualInputSource::VirtualInputSource(Scheduler& scheduler)
    : m_scheduler(scheduler), m_shared(std::make_shared<Shared>())
{
}

VirtualInputSource::~VirtualInputSource()
{
    for (const auto& pad : m_pads)
        pad->setInputSink({});
}

void VirtualInputSource::addPad(std::shared_ptr<VirtualPad> pad)
{
    if (!pad)
        return;
    std::weak_ptr<Shared> weak = m_shared;
    Scheduler* scheduler = &m_scheduler;
    pad->setInputSink(
        [weak, scheduler](const VirtualPad& from, std::uint16_t page, std::uint16_t usage, std::int32_t value) {
            const auto shared = weak.lock();
            if (!shared)
                return;
            const auto vid = static_cast<std::uint16_t>(from.config().vid);
            const auto pid = static_cast<std::uint16_t>(from.config().pid);
            {
                std::lock_guard lock(shared->mutex);
                if (!shared->open.contains({vid, pid}))
                    return;
            }
            const InputEvent event{vid, pid, page, usage, value};
            scheduler->postMain([weak, event] {
                const auto shared = weak.lock();
                if (!shared)
                    return;
                {
                    // Closed between the press and its delivery: the platform would not deliver it either.
                    std::lock_guard lock(shared->mutex);
                    if (!shared->open.contains({event.vid, event.pid}))
                        return;
                }
                if (shared->listener)
                    shared->listener(event);
            });
        });
    m_pads.push_back(std::move(pad));
}

void VirtualInputSource::removePad(const std::shared_ptr<VirtualPad>& pad)
{
    const auto it = std::find(m_pads.begin(), m_pads.end(), pad);
    if (it == m_pads.end())
        return;
    (*it)->setInputSink({});
    m_pads.erase(it);
}

bool VirtualInputSource::accessGranted(const std::vector<std::pair<int, int>>&) const
{
    return m_access;
}

InputEventSource::OpenResult VirtualInputSource::open(const std::vector<std::pair<int, int>>& vidPids)
{
    close();
    ++m_opens;
    if (m_openStatus != 0)
        return {m_openStatus, 0};
    std::set<std::pair<int, int>> wanted(vidPids.begin(), vidPids.end());
    int interfaces = 0;
    std::lock_guard lock(m_shared->mutex);
    for (const auto& pad : m_pads) {
        const std::pair<int, int> id{pad->config().vid, pad->config().pid};
        if (wanted.contains(id)) {
            m_shared->open.insert(id);
            interfaces += 3;
        }
    }
    return {0, interfaces};
}

void VirtualInputSource::close()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->open.clear();
}

void VirtualInputSource::setListener(Listener listener)
{
    m_shared->listener = std::move(listener);
}

} // namespace keyglass
