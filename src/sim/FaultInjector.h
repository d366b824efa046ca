#pragma once
// What can go wrong between the firmware and the host: answers lost, garbled, wrongly echoed, sent
// twice or late, a pad that refuses to open or disconnects. Requests are numbered from 1 as the pad
// receives them; a fault scheduled for request n fires once, on that request.

#include "device/HidBackend.h"

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <set>

namespace keyglass::sim {

class FaultInjector
{
public:
    /// What reaches the host for one answered request.
    struct Outcome
    {
        std::optional<RawHidReport> answer; // none: the answer was dropped
        int copies = 0;
        Duration delay{0};
    };

    /// Whether request number `received + 1` gets through at all; false once the pad is disconnected.
    bool admits(std::uint64_t received);
    /// Passes the firmware's `reply` to request `n` through the faults scheduled for it.
    Outcome deliver(std::uint64_t n, const RawHidReport& request, RawHidReport reply);

    void setRefuseOpen(bool refuse) { m_refuseOpen = refuse; }
    bool refusesOpen() const { return m_refuseOpen; }
    void dropAnswer(std::uint64_t n) { m_drop.insert(n); }
    void dropAllAnswers(bool on) { m_dropAll = on; }
    void garbleAnswer(std::uint64_t n) { m_garble.insert(n); }
    void garbleAllAnswers(bool on) { m_garbleAll = on; }
    void wrongEchoAnswer(std::uint64_t n) { m_wrongEcho.insert(n); }
    void wrongEchoAllAnswers(bool on) { m_wrongEchoAll = on; }
    void duplicateAnswer(std::uint64_t n) { m_duplicate.insert(n); }
    void delayAnswer(std::uint64_t n, Duration delay) { m_delays[n] = delay; }
    void overrideByte0(std::uint8_t command, std::uint8_t byte0) { m_byte0[command] = byte0; }
    void overrideVialByte0(std::uint8_t subCommand, std::uint8_t byte0) { m_vialByte0[subCommand] = byte0; }
    void setLatency(Duration latency);
    Duration latency() const { return m_latency; }
    /// Requests after number `n` find the pad disconnected.
    void disconnectAt(std::uint64_t n) { m_disconnectAt = n; }
    bool isDisconnected() const { return m_disconnected; }
    /// Plugged back in: an injected disconnect is over.
    void reconnect();
    /// Every fault off; the garbage generator carries on where it was.
    void clear();
    void setGarbageSeed(std::uint32_t seed) { m_rng.seed(seed); }

private:
    bool m_refuseOpen = false;
    std::set<std::uint64_t> m_drop;
    std::set<std::uint64_t> m_garble;
    std::set<std::uint64_t> m_wrongEcho;
    std::set<std::uint64_t> m_duplicate;
    std::map<std::uint64_t, Duration> m_delays;
    bool m_dropAll = false;
    bool m_garbleAll = false;
    bool m_wrongEchoAll = false;
    std::map<std::uint8_t, std::uint8_t> m_byte0;
    std::map<std::uint8_t, std::uint8_t> m_vialByte0;
    Duration m_latency{0};
    std::optional<std::uint64_t> m_disconnectAt;
    bool m_disconnected = false;
    std::mt19937 m_rng{0x6b67u};
};

} // namespace keyglass::sim
