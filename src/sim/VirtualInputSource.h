#pragma once
// Live input from VirtualPads: what press(), turn() and click() emit reaches the watcher as if a real
// pad had typed it. Demo mode and the tests use it in place of the evdev source.
//
// Delivery: a pad may be driven from any thread, so every event is handed to the main thread with
// Scheduler::postMain and delivered there (under ManualScheduler: on the next runUntilIdle/advance).
// Only pads whose vid/pid are open deliver; events of the others are dropped, as the platform would.

#include "input/InputEventSource.h"
#include "platform/Scheduler.h"
#include "sim/VirtualPad.h"

#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace keyglass {

class VirtualInputSource final : public InputEventSource
{
public:
    explicit VirtualInputSource(Scheduler& scheduler);
    ~VirtualInputSource() override;
    VirtualInputSource(const VirtualInputSource&) = delete;
    VirtualInputSource& operator=(const VirtualInputSource&) = delete;

    /// Takes over the pad's input sink.
    void addPad(std::shared_ptr<VirtualPad> pad);
    void removePad(const std::shared_ptr<VirtualPad>& pad);

    void setAccessGranted(bool granted) { m_access = granted; }
    void setSystemModifiers(std::uint8_t mods) { m_mods = mods; }
    /// The status the next open() reports (0 = success); a failed open opens nothing.
    void setOpenStatus(int status) { m_openStatus = status; }
    int openCount() const { return m_opens; }

    bool accessGranted(const std::vector<std::pair<int, int>>& vidPids) const override;
    /// Three interfaces (keyboard, mouse, consumer) per matching pad.
    OpenResult open(const std::vector<std::pair<int, int>>& vidPids) override;
    void close() override;
    std::uint8_t systemModifiers() const override { return m_mods; }
    void setListener(Listener listener) override;

private:
    struct Shared
    {
        std::mutex mutex;
        std::set<std::pair<int, int>> open; // vid/pid pairs being listened to
        Listener listener;                  // main thread only
    };

    Scheduler& m_scheduler;
    std::shared_ptr<Shared> m_shared;
    std::vector<std::shared_ptr<VirtualPad>> m_pads;
    bool m_access = true;
    std::uint8_t m_mods = 0;
    int m_openStatus = 0;
    int m_opens = 0;
};

} // namespace keyglass
