#pragma once
// A scripted HID backend for device tests: a responder function answers each request, answers arrive
// after a configurable latency on a virtual clock, and every request is logged. Reads never sleep.

#include "device/HidBackend.h"
#include "model/DeviceModel.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace keyglass::test {

using Bytes = std::vector<std::uint8_t>;

class ScriptedBackend : public HidBackend
{
public:
    /// Returns the answer to a request, or none for silence.
    using Responder = std::function<std::optional<Bytes>(const RawHidReport&)>;

    ScriptedBackend();

    std::vector<HidInterfaceInfo> interfaces;
    Responder respond;
    std::vector<RawHidReport> requests;
    Duration latency{100};
    bool refuseOpen = false;
    bool failWrites = false;
    std::optional<int> disconnectAfter; // requests answered before the device vanishes
    int opened = 0;
    int closed = 0;
    std::vector<Duration> readTimeouts;

    /// Queues an input report as if a late answer had arrived before the next request.
    void queueStale(Bytes report);
    std::vector<Bytes> requestsStartingWith(std::initializer_list<std::uint8_t> prefix) const;
    int countStartingWith(std::initializer_list<std::uint8_t> prefix) const;

    std::vector<HidInterfaceInfo> enumerate(std::uint16_t usagePage, std::uint16_t usage) override;
    Expected<std::unique_ptr<HidDevice>> open(const HidInterfaceInfo& info) override;
    TimePoint now() const override { return m_now; }

    void advance(Duration d) { m_now += d; }
    void advance(std::chrono::milliseconds d) { m_now += d; }
    std::deque<std::pair<TimePoint, Bytes>>& pending() { return m_pending; }
    bool disconnected() const { return disconnectAfter && static_cast<int>(requests.size()) > *disconnectAfter; }

private:
    TimePoint m_now;
    std::deque<std::pair<TimePoint, Bytes>> m_pending;
};

/// A small VIA/Vial firmware for loader and writer tests: answers the commands Keyglass uses the way
/// firmware does (echo the request, overwrite only the value bytes, 0xFF for unknown commands).
struct MiniFirmware
{
    int viaVersion = 12;
    int layers = 4;
    bool vial = false;
    int vialVersion = 6;
    std::uint64_t uid = 0x1122334455667788ull;
    Bytes definition; // compressed, served through FE 01 / FE 02
    int rows = 4;
    int cols = 4;
    std::map<std::tuple<int, int, int>, Keycode> keymap;
    std::map<std::tuple<int, int, int>, Keycode> encoders; // layer, index, direction
    int encoderCount = 0;
    std::vector<TapDanceData> tapDances;
    int tapDanceCount = -1; // reported count; -1 = tapDances.size()
    bool rgblight = false;
    bool channel1 = false;
    std::uint8_t brightness = 120, effect = 9, speed = 3, hue = 10, sat = 200;

    std::optional<Bytes> answer(const RawHidReport& request);
};

/// xz-compresses text the way the firmware build does.
Bytes compressXz(const std::string& text);

Bytes bytesOf(std::initializer_list<int> values, std::size_t size = 32);

} // namespace keyglass::test
