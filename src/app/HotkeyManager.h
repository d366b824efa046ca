#pragma once

#include "platform/HotkeyBackend.h"

#include <functional>
#include <optional>

namespace keyglass {

class Scheduler;

/// Owns the registration of the HUD hotkey (Control+Alt+Shift+Super+/) and turns each press into a
/// call of `onToggleHUD` on the main thread. One per process.
class HotkeyManager
{
public:
    static constexpr HotkeyID ToggleID{{'K', 'G', 'L', 'S'}, 1};
    /// The status for an event this handler does not take.
    static constexpr int EventNotHandled = -9874;

    HotkeyManager(HotkeyBackend& backend, Scheduler& scheduler);

    /// What a press does; the delegate stores an action that holds it weakly.
    std::function<void()> onToggleHUD;

    /// Installs the handler and registers the chord, once; logs both statuses. Later calls do nothing.
    void registerHotkey();

    /// The handler body: takes presses carrying our signature (any number) and hands the toggle to
    /// the main thread. `manager` is the user data the backend passes back.
    static int handleEvent(const HotkeyEvent* event, void* manager);

    bool handlerInstalled() const { return m_handlerInstalled; }
    std::optional<int> installStatus() const { return m_installStatus; }
    std::optional<int> registrationStatus() const { return m_registrationStatus; }

private:
    HotkeyBackend& m_backend;
    Scheduler& m_scheduler;
    bool m_handlerInstalled = false;
    std::optional<int> m_installStatus;
    std::optional<int> m_registrationStatus; // set once registered (0) or refused
};

} // namespace keyglass
