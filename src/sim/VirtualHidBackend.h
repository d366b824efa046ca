#pragma once
// A HID stack made of VirtualPads. Each plugged pad shows its RawHID interface (and a keyboard
// interface, so callers have something to filter out). Reads run on a virtual clock: a read that
// waits for nothing moves the clock on by its timeout instead of sleeping.
//
// Latency (the backend's and each pad's own) is real time: an answer becomes readable that long after
// its write, and a read waits for it, up to its timeout, by sleeping on the real clock while moving the
// virtual clock on by the same amount. So a load's time on the backend's clock counts every latency
// once, and a latency beyond an exchange's deadline loses the answer like a slow pad would.
//
// Safe to use from one I/O thread while another thread plugs and unplugs pads.

#include "device/HidBackend.h"
#include "sim/VirtualPad.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

class VirtualHidBackend : public HidBackend
{
public:
    VirtualHidBackend();
    ~VirtualHidBackend() override;

    /// Plugs a pad in. Its RawHID path is "virtual:VVVV:PPPP" (a second pad with the same ids gets
    /// "#2" appended, and so on).
    void addPad(std::shared_ptr<VirtualPad> pad);
    void plug(std::shared_ptr<VirtualPad> pad) { addPad(std::move(pad)); }
    /// Unplugs by RawHID path or by "VVVV:PPPP" identifier (the first pad that matches). Open
    /// devices of that pad stop working; plugging it in again needs a new open.
    bool unplug(std::string_view id);
    bool unplug(const std::shared_ptr<VirtualPad>& pad);
    std::vector<std::shared_ptr<VirtualPad>> pads() const;
    /// The RawHID path of a plugged pad, or empty.
    std::string pathOf(const std::shared_ptr<VirtualPad>& pad) const;

    std::vector<HidInterfaceInfo> enumerate(std::uint16_t usagePage, std::uint16_t usage) override;
    Expected<std::unique_ptr<HidDevice>> open(const HidInterfaceInfo& info) override;
    TimePoint now() const override;

    /// Moves the virtual clock forward.
    void advance(Duration d);
    /// Real time to spend on every exchange of every pad, on top of each pad's own latency.
    void setLatency(Duration latency);

    /// The real clock latency is waited on; tests give one that only pretends to sleep.
    struct RealTime
    {
        std::function<TimePoint()> now;
        std::function<void(Duration)> sleep;
    };
    void setRealTime(RealTime realTime);
    /// How far the virtual clock moved while reads waited for latency in real time.
    Duration realTimeWaited() const;
    int openCount() const;

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace keyglass
