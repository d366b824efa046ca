#pragma once
// A store over virtual pads on a virtual clock, in a temporary home, for the HUD tests.

#include "input/InputEventSource.h"
#include "sim/DemoPads.h"
#include "sim/VirtualHidBackend.h"
#include "sim/VirtualPad.h"
#include "store/Desktop.h"
#include "store/ManualScheduler.h"
#include "store/PadStore.h"
#include "store/SettingsStore.h"
#include "support/TempHome.h"

#include <memory>

namespace keyglass::test {

class ScriptedInput final : public InputEventSource
{
public:
    bool granted = false;
    bool accessGranted(const std::vector<std::pair<int, int>>&) const override { return granted; }
    OpenResult open(const std::vector<std::pair<int, int>>& pads) override { return {0, int(pads.size())}; }
    void close() override {}
    std::uint8_t systemModifiers() const override { return 0; }
    void setListener(Listener) override {}
};

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
