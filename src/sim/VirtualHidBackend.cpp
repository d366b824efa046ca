#include "sim/VirtualHidBackend.h"

#include <algorithm>
#include <deque>
#include <thread>

namespace keyglass {

namespace {

constexpr int KeyboardUsagePage = 0x01;
constexpr int KeyboardUsage = 0x06;

// sleep_for wakes up late by up to a scheduler slice; the last stretch is waited out yielding, so a
// latency of 1 ms costs 1 ms and not 1.1.
void waitRealTime(Duration d)
{
    constexpr Duration Spin = std::chrono::microseconds(300);
    const TimePoint until = Clock::now() + d;
    if (d > Spin)
        std::this_thread::sleep_for(d - Spin);
    while (Clock::now() < until)
        std::this_thread::yield();
}

struct Slot
{
    std::shared_ptr<VirtualPad> pad;
    std::string path;
    std::uint64_t generation = 0;
};

} // namespace

struct VirtualHidBackend::Shared
{
    mutable std::mutex mutex;
    std::vector<Slot> slots;
    std::vector<std::weak_ptr<VirtualPad>> unplugged;
    std::uint64_t nextGeneration = 1;
    // Ticks since an arbitrary epoch; atomic because pads read it for their uptime while the backend
    // lock may be held.
    std::atomic<Duration::rep> clock{std::chrono::duration_cast<Duration>(std::chrono::hours(1)).count()};
    Duration latency{0};
    int openCount = 0;
    RealTime realTime{[] { return Clock::now(); }, waitRealTime};
    std::atomic<Duration::rep> realWaited{0};

    TimePoint now() const { return TimePoint(std::chrono::duration_cast<Clock::duration>(Duration(clock.load()))); }
    void advance(Duration d)
    {
        if (d.count() > 0)
            clock.fetch_add(d.count());
    }
    bool alive(const std::shared_ptr<VirtualPad>& pad, std::uint64_t generation) const
    {
        std::lock_guard lock(mutex);
        return std::any_of(
            slots.begin(), slots.end(), [&](const Slot& s) { return s.pad == pad && s.generation == generation; });
    }
};

namespace {

class VirtualHidDevice : public HidDevice
{
public:
    VirtualHidDevice(std::shared_ptr<VirtualHidBackend::Shared> shared,
                     std::shared_ptr<VirtualPad> pad,
                     std::uint64_t generation)
        : m_shared(std::move(shared)), m_pad(std::move(pad)), m_generation(generation)
    {
    }

    ~VirtualHidDevice() override
    {
        std::lock_guard lock(m_shared->mutex);
        --m_shared->openCount;
    }

    bool write(const RawHidReport& report) override
    {
        if (!m_shared->alive(m_pad, m_generation) || m_pad->isDisconnected())
            return false;
        Duration latency;
        {
            std::lock_guard lock(m_shared->mutex);
            latency = m_shared->latency;
        }
        latency += m_pad->latency();
        const auto delivery = m_pad->exchange(report);
        if (!delivery.accepted)
            return false;
        // Latency passes in real time and on the virtual clock, an injected delay on the virtual clock
        // only, so fault tests never wait.
        const TimePoint ready = m_shared->now() + latency + delivery.delay;
        const TimePoint realReady = realTime().now() + latency;
        for (int i = 0; delivery.answer && i < delivery.copies; ++i)
            m_queue.push_back({ready, realReady, *delivery.answer});
        return true;
    }

    HidReadResult read(Duration timeout) override
    {
        if (!m_shared->alive(m_pad, m_generation) || m_pad->isDisconnected())
            return {HidReadStatus::disconnected, {}};
        timeout = std::max(Duration{0}, timeout);
        if (!m_queue.empty()) {
            // Still on its way in real time: wait for it, but no longer than the timeout.
            const VirtualHidBackend::RealTime clock = realTime();
            const auto inFlight = std::chrono::duration_cast<Duration>(m_queue.front().realReady - clock.now());
            if (inFlight.count() > 0) {
                const Duration wait = std::min(inFlight, timeout);
                clock.sleep(wait);
                m_shared->advance(wait);
                m_shared->realWaited.fetch_add(wait.count());
                if (wait < inFlight)
                    return {HidReadStatus::timeout, {}};
                timeout -= wait;
            }
        }
        if (!m_queue.empty() && m_queue.front().ready <= m_shared->now() + timeout) {
            const TimePoint later = m_shared->now();
            if (m_queue.front().ready > later)
                m_shared->advance(std::chrono::duration_cast<Duration>(m_queue.front().ready - later));
            HidReadResult result{
                HidReadStatus::report,
                std::vector<std::uint8_t>(m_queue.front().report.begin(), m_queue.front().report.end())};
            m_queue.pop_front();
            return result;
        }
        m_shared->advance(timeout);
        return {HidReadStatus::timeout, {}};
    }

private:
    struct Pending
    {
        TimePoint ready;     // on the virtual clock
        TimePoint realReady; // on the real clock
        RawHidReport report;
    };

    VirtualHidBackend::RealTime realTime() const
    {
        std::lock_guard lock(m_shared->mutex);
        return m_shared->realTime;
    }

    std::shared_ptr<VirtualHidBackend::Shared> m_shared;
    std::shared_ptr<VirtualPad> m_pad;
    std::uint64_t m_generation;
    std::deque<Pending> m_queue; // like a hidraw buffer: answers nobody read stay for the next read
};

} // namespace

VirtualHidBackend::VirtualHidBackend() : m_shared(std::make_shared<Shared>()) {}

VirtualHidBackend::~VirtualHidBackend() = default;

void VirtualHidBackend::addPad(std::shared_ptr<VirtualPad> pad)
{
    if (!pad)
        return;
    std::weak_ptr<Shared> weak = m_shared;
    pad->setClock([weak] {
        if (auto shared = weak.lock())
            return shared->now();
        return Clock::now();
    });
    std::lock_guard lock(m_shared->mutex);
    auto& slots = m_shared->slots;
    if (std::any_of(slots.begin(), slots.end(), [&](const Slot& s) { return s.pad == pad; }))
        return;
    // A pad that comes back after an unplug has been without power in between.
    auto& gone = m_shared->unplugged;
    const bool replugged =
        std::any_of(gone.begin(), gone.end(), [&](const std::weak_ptr<VirtualPad>& w) { return w.lock() == pad; });
    gone.erase(std::remove_if(gone.begin(),
                              gone.end(),
                              [&](const std::weak_ptr<VirtualPad>& w) { return w.expired() || w.lock() == pad; }),
               gone.end());
    if (replugged)
        pad->powerCycle();
    const std::string base = "virtual:" + pad->identifier();
    std::string path = base;
    for (int n = 2; std::any_of(slots.begin(), slots.end(), [&](const Slot& s) { return s.path == path; }); ++n)
        path = base + "#" + std::to_string(n);
    slots.push_back({std::move(pad), std::move(path), m_shared->nextGeneration++});
}

bool VirtualHidBackend::unplug(std::string_view id)
{
    std::lock_guard lock(m_shared->mutex);
    auto& slots = m_shared->slots;
    auto it = std::find_if(slots.begin(), slots.end(), [&](const Slot& s) { return s.path == id; });
    if (it == slots.end())
        it = std::find_if(slots.begin(), slots.end(), [&](const Slot& s) { return s.pad->identifier() == id; });
    if (it == slots.end())
        return false;
    m_shared->unplugged.push_back(it->pad);
    slots.erase(it);
    return true;
}

bool VirtualHidBackend::unplug(const std::shared_ptr<VirtualPad>& pad)
{
    std::lock_guard lock(m_shared->mutex);
    auto& slots = m_shared->slots;
    const auto it = std::find_if(slots.begin(), slots.end(), [&](const Slot& s) { return s.pad == pad; });
    if (it == slots.end())
        return false;
    m_shared->unplugged.push_back(it->pad);
    slots.erase(it);
    return true;
}

std::vector<std::shared_ptr<VirtualPad>> VirtualHidBackend::pads() const
{
    std::lock_guard lock(m_shared->mutex);
    std::vector<std::shared_ptr<VirtualPad>> out;
    for (const auto& s : m_shared->slots)
        out.push_back(s.pad);
    return out;
}

std::string VirtualHidBackend::pathOf(const std::shared_ptr<VirtualPad>& pad) const
{
    std::lock_guard lock(m_shared->mutex);
    for (const auto& s : m_shared->slots)
        if (s.pad == pad)
            return s.path;
    return {};
}

std::vector<HidInterfaceInfo> VirtualHidBackend::enumerate(std::uint16_t usagePage, std::uint16_t usage)
{
    std::lock_guard lock(m_shared->mutex);
    std::vector<HidInterfaceInfo> out;
    for (const auto& s : m_shared->slots) {
        const auto& config = s.pad->config();
        HidInterfaceInfo info{s.path,
                              config.vid,
                              config.pid,
                              RawHidUsagePage,
                              RawHidUsage,
                              config.manufacturer,
                              config.product,
                              config.serial};
        if (usagePage == RawHidUsagePage && usage == RawHidUsage)
            out.push_back(info);
        if (usagePage == KeyboardUsagePage && usage == KeyboardUsage) {
            info.path += ":keyboard";
            info.usagePage = KeyboardUsagePage;
            info.usage = KeyboardUsage;
            out.push_back(info);
        }
    }
    return out;
}

Expected<std::unique_ptr<HidDevice>> VirtualHidBackend::open(const HidInterfaceInfo& info)
{
    std::lock_guard lock(m_shared->mutex);
    const auto& slots = m_shared->slots;
    const auto it = std::find_if(slots.begin(), slots.end(), [&](const Slot& s) { return s.path == info.path; });
    if (it == slots.end())
        return unexpected(Error("No such device: " + info.path, 0, "VirtualHid"));
    if (it->pad->refusesOpen())
        return unexpected(Error("Permission denied opening " + info.path, HidOpenNoPermission, "VirtualHid"));
    ++m_shared->openCount;
    return std::unique_ptr<HidDevice>(std::make_unique<VirtualHidDevice>(m_shared, it->pad, it->generation));
}

TimePoint VirtualHidBackend::now() const
{
    return m_shared->now();
}

void VirtualHidBackend::advance(Duration d)
{
    m_shared->advance(d);
}

void VirtualHidBackend::setLatency(Duration latency)
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->latency = std::max(Duration{0}, latency);
}

void VirtualHidBackend::setRealTime(RealTime realTime)
{
    if (!realTime.now || !realTime.sleep)
        return;
    std::lock_guard lock(m_shared->mutex);
    m_shared->realTime = std::move(realTime);
}

Duration VirtualHidBackend::realTimeWaited() const
{
    return Duration(m_shared->realWaited.load());
}

int VirtualHidBackend::openCount() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->openCount;
}

} // namespace keyglass
