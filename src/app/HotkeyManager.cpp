#include "app/HotkeyManager.h"

#include "platform/Log.h"
#include "platform/Scheduler.h"

#include <string>

namespace keyglass {

HotkeyManager::HotkeyManager(HotkeyBackend& backend, Scheduler& scheduler) : m_backend(backend), m_scheduler(scheduler)
{
}

void HotkeyManager::registerHotkey()
{
    if (m_handlerInstalled)
        return;
    m_handlerInstalled = true;
    const int handlerStatus = m_backend.installHandler(&HotkeyManager::handleEvent, this);
    const int regStatus = m_backend.registerHotkey(HotkeyChord{}, ToggleID);
    m_installStatus = handlerStatus;
    m_registrationStatus = regStatus;
    logLine("HUD toggle hotkey (Hyper+/) handler=" + std::to_string(handlerStatus) +
            " reg=" + std::to_string(regStatus));
}

int HotkeyManager::handleEvent(const HotkeyEvent* event, void* userData)
{
    auto* manager = static_cast<HotkeyManager*>(userData);
    if (!event || !manager)
        return EventNotHandled;
    if (!event->id || event->id->signature != ToggleID.signature)
        return EventNotHandled;
    // Another registration under our signature toggles too; only the signature identifies us.
    manager->m_scheduler.postMain([manager] {
        if (manager->onToggleHUD)
            manager->onToggleHUD();
    });
    return 0;
}

} // namespace keyglass
