#include "sim/FaultInjector.h"

#include "sim/WireFormat.h"

#include <algorithm>

namespace keyglass::sim {

bool FaultInjector::admits(std::uint64_t received)
{
    if (m_disconnected)
        return false;
    if (m_disconnectAt && received >= *m_disconnectAt) {
        m_disconnected = true;
        return false;
    }
    return true;
}

FaultInjector::Outcome FaultInjector::deliver(std::uint64_t n, const RawHidReport& request, RawHidReport reply)
{
    Outcome out;
    if (m_dropAll || m_drop.erase(n))
        return out;
    if (m_garbleAll || m_garble.erase(n)) {
        for (auto& b : reply)
            b = static_cast<std::uint8_t>(m_rng());
    }
    if (m_wrongEchoAll || m_wrongEcho.erase(n)) {
        reply[0] = static_cast<std::uint8_t>(request[0] + 1);
        if (reply[0] == IdUnhandled || reply[0] == request[0])
            reply[0] = 0x7E;
    }
    if (isCommand(request[0], ViaCommand::VialPrefix)) {
        if (auto it = m_vialByte0.find(request[1]); it != m_vialByte0.end())
            reply[0] = it->second;
    } else if (auto it = m_byte0.find(request[0]); it != m_byte0.end()) {
        reply[0] = it->second;
    }
    if (auto it = m_delays.find(n); it != m_delays.end()) {
        out.delay = it->second;
        m_delays.erase(it);
    }
    out.copies = m_duplicate.erase(n) ? 2 : 1;
    out.answer = reply;
    return out;
}

void FaultInjector::setLatency(Duration latency)
{
    m_latency = std::max(Duration{0}, latency);
}

void FaultInjector::reconnect()
{
    m_disconnected = false;
    m_disconnectAt.reset();
}

void FaultInjector::clear()
{
    const auto rng = m_rng;
    *this = FaultInjector{};
    m_rng = rng;
}

} // namespace keyglass::sim
