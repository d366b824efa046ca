#pragma once
// Turns the pads' ordinary key, wheel and media input into the QMK keycode the firmware must have
// produced, and reports (device identifier, keycode). Keys are held back for 15 ms per device so a
// burst (modifier taps, a macro) reports only its last key, carrying every modifier seen during it.
//
// Main thread only. Delayed reports hold the watcher weakly: destroying it drops them.

#include "input/InputEventSource.h"
#include "model/DeviceModel.h"
#include "platform/Scheduler.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace keyglass {

/// Equal after folding keyboard-page media keys onto their consumer twins (0x7F-0x81 -> 0xA8-0xAA)
/// and the legacy wheel codes onto the current ones (0xF9/0xFA -> 0xD9/0xDA).
bool keycodesMatch(Keycode a, Keycode b);

class HIDInputWatcher
{
public:
    static constexpr Duration KeyDebounce = std::chrono::milliseconds(15);

    HIDInputWatcher(Scheduler& scheduler, InputEventSource& source);
    ~HIDInputWatcher();
    HIDInputWatcher(const HIDInputWatcher&) = delete;
    HIDInputWatcher& operator=(const HIDInputWatcher&) = delete;

    /// Starts (or keeps) listening to these devices. Returns whether the watcher is now watching;
    /// false when input access is missing or the source failed to open. The source is reopened only
    /// when the set of identifiers changed or the last open failed; each (re)open writes one log line.
    bool watch(const std::vector<DeviceModel>& devices);
    void stop();
    bool accessGranted(const std::vector<DeviceModel>& devices) const;
    bool isWatching() const { return m_watching; }

    std::function<void(const std::string& deviceID, Keycode code)> onDeviceKeycode;

    /// One input value from the source (public so tests and other sources can feed it).
    void handleEvent(const InputEvent& event);

private:
    void report(const std::string& deviceID, Keycode code);
    void scheduleKey(const std::string& deviceID, std::uint16_t usage);

    Scheduler& m_scheduler;
    InputEventSource& m_source;
    bool m_watching = false;
    std::set<std::string> m_watchedIDs;
    std::map<std::string, bool> m_legacyMouseByDevice;
    std::map<std::string, std::uint8_t> m_activeModsByDevice;
    std::map<std::string, std::uint8_t> m_pendingModsByDevice;
    std::map<std::string, CancelToken> m_pendingKeyWork;
    std::shared_ptr<HIDInputWatcher*> m_self; // delayed tasks hold a weak_ptr to this
};

} // namespace keyglass
