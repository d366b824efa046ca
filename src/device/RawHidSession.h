#pragma once
// One conversation with a pad's RawHID interface: opened for a burst of request/answer exchanges and
// closed again. Nothing survives from one operation to the next.

#include "device/HidBackend.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace keyglass {

/// The timeout every caller uses for one exchange.
constexpr Duration DefaultExchangeTimeout = std::chrono::milliseconds(250);

class RawHidSession
{
public:
    /// Opens the first interface that enumerates with usage page 0xFF60 / usage 0x61 for vid/pid. None
    /// when there is no such interface or it cannot be opened; nothing stays open then.
    static std::optional<RawHidSession> open(HidBackend& backend, int vid, int pid);

    RawHidSession(RawHidSession&& other) noexcept;
    RawHidSession& operator=(RawHidSession&& other) noexcept;
    RawHidSession(const RawHidSession&) = delete;
    RawHidSession& operator=(const RawHidSession&) = delete;
    ~RawHidSession();

    /// Sends one request (cut or zero-padded to 32 bytes) and returns the first input report that
    /// arrives after it, or none when the write fails, the device goes away or nothing arrives before
    /// the deadline. Reports that were already queued before the send are dropped first, so a late
    /// answer to an earlier request is never taken for this one. No retries.
    std::optional<std::vector<std::uint8_t>> exchange(std::span<const std::uint8_t> request,
                                                      Duration timeout = DefaultExchangeTimeout);
    std::optional<std::vector<std::uint8_t>> exchange(std::initializer_list<std::uint8_t> request,
                                                      Duration timeout = DefaultExchangeTimeout)
    {
        return exchange(std::span<const std::uint8_t>(request.begin(), request.size()), timeout);
    }

    /// Releases the device. Safe to call more than once; only the first call does anything.
    void close();
    bool isOpen() const { return m_device != nullptr; }
    /// Requests sent through this session so far.
    int exchangeCount() const { return m_exchanges; }

private:
    RawHidSession(HidBackend& backend, std::unique_ptr<HidDevice> device);

    HidBackend* m_backend = nullptr;
    std::unique_ptr<HidDevice> m_device;
    int m_exchanges = 0;
};

} // namespace keyglass
