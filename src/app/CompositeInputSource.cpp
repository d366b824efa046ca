#include "app/CompositeInputSource.h"

#include <algorithm>

namespace keyglass {

CompositeInputSource::CompositeInputSource(InputEventSource* real, InputEventSource* virtualPads, IsVirtual isVirtual)
    : m_real(real), m_virtual(virtualPads), m_isVirtual(std::move(isVirtual))
{
}

std::pair<std::vector<std::pair<int, int>>, std::vector<std::pair<int, int>>>
CompositeInputSource::split(const std::vector<std::pair<int, int>>& vidPids) const
{
    std::vector<std::pair<int, int>> real, virtualPads;
    for (const auto& id : vidPids)
        (m_virtual && m_isVirtual && m_isVirtual(id.first, id.second) ? virtualPads : real).push_back(id);
    return {real, virtualPads};
}

bool CompositeInputSource::accessGranted(const std::vector<std::pair<int, int>>& vidPids) const
{
    const auto [real, virtualPads] = split(vidPids);
    // A source with no pads of its own has nothing to refuse.
    const bool realOk = real.empty() || (m_real && m_real->accessGranted(real));
    const bool virtualOk = virtualPads.empty() || m_virtual->accessGranted(virtualPads);
    return realOk && virtualOk;
}

InputEventSource::OpenResult CompositeInputSource::open(const std::vector<std::pair<int, int>>& vidPids)
{
    const auto [real, virtualPads] = split(vidPids);
    OpenResult result;
    if (m_real) {
        const OpenResult r = m_real->open(real);
        result.status = r.status;
        result.interfaces += r.interfaces;
    }
    if (m_virtual) {
        const OpenResult v = m_virtual->open(virtualPads);
        if (result.status == 0)
            result.status = v.status;
        result.interfaces += v.interfaces;
    }
    return result;
}

void CompositeInputSource::close()
{
    if (m_real)
        m_real->close();
    if (m_virtual)
        m_virtual->close();
}

std::uint8_t CompositeInputSource::systemModifiers() const
{
    return (m_real ? m_real->systemModifiers() : 0) | (m_virtual ? m_virtual->systemModifiers() : 0);
}

void CompositeInputSource::setListener(Listener listener)
{
    if (m_real)
        m_real->setListener(listener);
    if (m_virtual)
        m_virtual->setListener(std::move(listener));
}

std::vector<int> CompositeInputSource::fileDescriptors() const
{
    std::vector<int> fds = m_real ? m_real->fileDescriptors() : std::vector<int>{};
    if (m_virtual)
        for (int fd : m_virtual->fileDescriptors())
            fds.push_back(fd);
    return fds;
}

void CompositeInputSource::readReady(int fd)
{
    if (m_real) {
        const auto fds = m_real->fileDescriptors();
        if (std::find(fds.begin(), fds.end(), fd) != fds.end()) {
            m_real->readReady(fd);
            return;
        }
    }
    if (m_virtual)
        m_virtual->readReady(fd);
}

void CompositeInputSource::setDescriptorsChangedListener(std::function<void()> listener)
{
    if (m_real)
        m_real->setDescriptorsChangedListener(listener);
    if (m_virtual)
        m_virtual->setDescriptorsChangedListener(std::move(listener));
}

} // namespace keyglass
