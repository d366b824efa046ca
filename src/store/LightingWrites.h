#pragma once
// Lighting changes reach the pad shortly after the user stops changing them: per device one pending write
// (40 ms after the last change) and one pending save (0.5 s after it), each replaced by the next change.

#include "model/DeviceModel.h"
#include "platform/Scheduler.h"

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace keyglass {

class HidBackend;

/// `state` with the given values replaced; a non-zero effect also becomes the one restored when the
/// lights are switched back on.
RGBState lightingWith(RGBState state,
                      std::optional<std::uint8_t> brightness,
                      std::optional<std::uint8_t> effect,
                      std::optional<std::uint8_t> hue,
                      std::optional<std::uint8_t> sat);

/// What the bulb button changes: switching off sets effect 0 only; switching on brings back the last
/// effect (1 when none) at the current brightness (180 when it is 0).
struct LightingToggle
{
    std::optional<std::uint8_t> brightness;
    std::uint8_t effect = 0;
};
LightingToggle lightingToggle(const RGBState& state);

/// Picking a colour switches the lights on: the current brightness (180 when it is 0) and the current
/// effect when it is above 1, else 1, go with the colour.
struct LightingColorPick
{
    std::uint8_t brightness = 180;
    std::uint8_t effect = 1;
};
LightingColorPick lightingColorPick(const RGBState& state);

/// The debounced writes of every device. Main thread; the writes themselves run on the I/O queue.
class LightingWrites
{
public:
    LightingWrites(Scheduler& scheduler, HidBackend& hid) : m_scheduler(scheduler), m_hid(hid) {}
    ~LightingWrites() { cancelAll(); }
    LightingWrites(const LightingWrites&) = delete;
    LightingWrites& operator=(const LightingWrites&) = delete;

    /// Replaces the device's pending write and save with ones carrying `state`.
    void schedule(const std::string& deviceID, int vid, int pid, const RGBState& state);
    void cancelAll();
    /// Sends every pending change and save now instead of after its delay (before the pads are let go).
    void flushAll();

private:
    struct Pending
    {
        int vid = 0;
        int pid = 0;
        RGBState state;
        std::shared_ptr<std::atomic<bool>> saved; // set on the I/O queue once the save has run
    };
    Scheduler& m_scheduler;
    HidBackend& m_hid;
    std::map<std::string, Pending> m_pending;
    std::map<std::string, CancelToken> m_writeWorks;
    std::map<std::string, CancelToken> m_saveWorks;
};

} // namespace keyglass
