#pragma once
// The seam between the live input watcher and the platform's ordinary HID input (keyboard, mouse
// wheel and consumer-control interfaces of the pads, never the RawHID channel). A source turns
// whatever the platform delivers into (vid, pid, usage page, usage, value) events.
//
// Thread affinity: every call, and every listener invocation, happens on the main thread.

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace keyglass {

struct InputEvent
{
    std::uint16_t vid = 0, pid = 0;
    std::uint16_t usagePage = 0, usage = 0;
    std::int32_t value = 0; // keys: 1 press, 0 release; wheel: signed detents

    bool operator==(const InputEvent&) const = default;
};

class InputEventSource
{
public:
    using Listener = std::function<void(const InputEvent&)>;
    /// `status` 0 is success; anything else is a platform error code, logged as is.
    struct OpenResult
    {
        int status = 0;
        int interfaces = 0;
    };

    virtual ~InputEventSource() = default;

    /// Whether the input interfaces of these pads (vid, pid) can be read at all.
    virtual bool accessGranted(const std::vector<std::pair<int, int>>& vidPids) const = 0;
    /// Starts listening to the keyboard, mouse and consumer interfaces of these pads, replacing what
    /// was open before. Never seizes them: the pads keep typing into the rest of the system.
    virtual OpenResult open(const std::vector<std::pair<int, int>>& vidPids) = 0;
    virtual void close() = 0;
    /// Modifiers held on any keyboard of the computer, in QMK bits: 0x01 Control, 0x02 Shift,
    /// 0x04 Alt, 0x08 GUI.
    virtual std::uint8_t systemModifiers() const = 0;
    virtual void setListener(Listener listener) = 0;

    /// Descriptors for an event loop to watch (sources that deliver by themselves return none).
    virtual std::vector<int> fileDescriptors() const { return {}; }
    /// Called by the event loop when `fd` is readable; the source reads and delivers.
    virtual void readReady(int fd) { (void)fd; }
    /// Called after the set of fileDescriptors() changed by itself (an interface appeared or went
    /// away; a vanished one is announced before its descriptor is closed), so the event loop can
    /// update what it watches.
    virtual void setDescriptorsChangedListener(std::function<void()> listener) { (void)listener; }
};

} // namespace keyglass
