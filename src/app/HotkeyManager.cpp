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
    m_installStatus = handlerStatus;
    const int regStatus = m_backend.registerHotkey(HotkeyChord{}, ToggleID);
    if (regStatus == HotkeyBackend::RegistrationPending) {
        // The line reports the outcome, so it waits for it.
        m_backend.whenRegistered([this, handlerStatus](int status) {
            m_registrationStatus = status;
            logRegistration(handlerStatus, status);
        });
        return;
    }
    m_registrationStatus = regStatus;
    logRegistration(handlerStatus, regStatus);
}

void HotkeyManager::logRegistration(int handlerStatus, int registrationStatus)
{
    logLine("HUD toggle hotkey (Hyper+/) handler=" + std::to_string(handlerStatus) +
            " reg=" + std::to_string(registrationStatus));
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
