#pragma once
// A store over virtual pads on a virtual clock, in a temporary home, for the HUD tests.

#include "input/InputEventSource.h"
#include "sim/DemoPads.h"
#include "sim/VirtualHidBackend.h"
#include "sim/VirtualPad.h"
#include "platform/Desktop.h"
#include "platform/ManualScheduler.h"
#include "store/PadStore.h"
#include "platform/SettingsStore.h"
#include "support/ScriptedInput.h"
#include "support/TempHome.h"

#include <memory>

namespace keyglass::test {

struct HudFixture
{
    TempHome home;
    ManualScheduler scheduler;
    VirtualHidBackend hid;
    ScriptedInput input;
    InMemorySettingsStore settings;
    ScriptedDesktop desktop;
    std::unique_ptr<PadStore> store;

    std::shared_ptr<VirtualPad> addPad(std::string_view padSpec)
    {
        auto pad = makeVirtualPad(padSpec);
        if (!pad)
            return nullptr;
        hid.addPad(*pad);
        return *pad;
    }
    PadStore& makeStore()
    {
        store = std::make_unique<PadStore>(PadStoreServices{scheduler, hid, input, settings, desktop});
        scheduler.runUntilIdle();
        return *store;
    }
    void settle() { scheduler.runUntilIdle(); }
};

inline constexpr const char* QuadgridID = "1A86:FE16";
inline constexpr const char* SolodialID = "5831:4249";

} // namespace keyglass::test
