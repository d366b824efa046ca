#include "device/RawHidSession.h"

#include <algorithm>
#include <chrono>

namespace keyglass {

namespace {
// Longest single wait, so a pad answering just after a slice started is noticed within 5 ms.
constexpr Duration ReadSlice = std::chrono::milliseconds(5);
// A pad that keeps streaming reports must not keep the drain loop busy forever.
constexpr int MaxDrainedReports = 256;
} // namespace

std::optional<RawHidSession> RawHidSession::open(HidBackend& backend, int vid, int pid)
{
    for (const auto& info : backend.enumerate(RawHidUsagePage, RawHidUsage)) {
        if (info.vid != vid || info.pid != pid || info.usagePage != RawHidUsagePage || info.usage != RawHidUsage)
            continue;
        auto device = backend.open(info);
        if (!device || !*device)
            return std::nullopt;
        return RawHidSession(backend, std::move(*device));
    }
    return std::nullopt;
}

RawHidSession::RawHidSession(HidBackend& backend, std::unique_ptr<HidDevice> device)
    : m_backend(&backend), m_device(std::move(device))
{
}

RawHidSession::RawHidSession(RawHidSession&& other) noexcept
    : m_backend(other.m_backend), m_device(std::move(other.m_device)), m_exchanges(other.m_exchanges)
{
}

RawHidSession& RawHidSession::operator=(RawHidSession&& other) noexcept
{
    if (this != &other) {
        close();
        m_backend = other.m_backend;
        m_device = std::move(other.m_device);
        m_exchanges = other.m_exchanges;
    }
    return *this;
}

RawHidSession::~RawHidSession()
{
    close();
}

void RawHidSession::close()
{
    m_device.reset();
}

std::optional<std::vector<std::uint8_t>> RawHidSession::exchange(std::span<const std::uint8_t> request, Duration timeout)
{
    if (!m_device)
        return std::nullopt;
    ++m_exchanges;

    RawHidReport report{};
    std::copy_n(request.begin(), std::min(request.size(), report.size()), report.begin());

    for (int i = 0; i < MaxDrainedReports; ++i) {
        const auto stale = m_device->read(Duration::zero());
        if (stale.status == HidReadStatus::disconnected)
            return std::nullopt;
        if (stale.status == HidReadStatus::timeout)
            break;
    }

    if (!m_device->write(report))
        return std::nullopt;

    const TimePoint deadline = m_backend->now() + std::max(timeout, Duration::zero());
    for (;;) {
        const TimePoint now = m_backend->now();
        if (now >= deadline)
            return std::nullopt;
        const Duration slice = std::min(ReadSlice, std::chrono::duration_cast<Duration>(deadline - now));
        auto answer = m_device->read(std::max(slice, Duration(1)));
        if (answer.status == HidReadStatus::report)
            return std::move(answer.data);
        if (answer.status == HidReadStatus::disconnected)
            return std::nullopt;
    }
}

} // namespace keyglass
