#pragma once
// A store over virtual pads on a virtual clock, with in-memory settings and a scripted desktop, in a
// temporary home: what the store, HUD and skin tests build on.

#include "input/InputEventSource.h"
#include "platform/Desktop.h"
#include "platform/ManualScheduler.h"
#include "platform/SettingsStore.h"
#include "sim/DemoPads.h"
#include "sim/VirtualHidBackend.h"
#include "sim/VirtualPad.h"
#include "store/PadStore.h"
#include "support/ScriptedInput.h"
#include "support/TempHome.h"

#include <memory>
#include <string>
#include <string_view>

namespace keyglass::test {

struct StoreRig
{
    TempHome home;
    ManualScheduler scheduler;
    VirtualHidBackend hid;
    ScriptedInput input;
    InMemorySettingsStore settings;
    ScriptedDesktop desktop;
    std::unique_ptr<PadStore> store;

    /// Plugs in a virtual pad (a makeVirtualPad pad description); none, with the reason in padError, when the
    /// description does not make one.
    std::shared_ptr<VirtualPad> addPad(std::string_view padArgument)
    {
        auto pad = makeVirtualPad(padArgument);
        if (!pad) {
            padError = pad.error().message;
            return nullptr;
        }
        hid.addPad(*pad);
        return *pad;
    }
    /// A new store over the pads plugged in so far, after its first refresh.
    PadStore& makeStore()
    {
        store = std::make_unique<PadStore>(PadStoreServices{scheduler, hid, input, settings, desktop});
        scheduler.runUntilIdle();
        return *store;
    }
    void settle() { scheduler.runUntilIdle(); }

    std::string padError;
};

/// How many of `requests` from index `from` on change the pad: keymap and encoder writes, lighting sets
/// and saves, Vial tap-dance writes and unlock starts.
inline int writesIn(const std::vector<RawHidReport>& requests, std::size_t from)
{
    int writes = 0;
    for (std::size_t i = from; i < requests.size(); ++i) {
        const auto& r = requests[i];
        writes += r[0] == 0x05 || r[0] == 0x15 || r[0] == 0x07 || r[0] == 0x09 ||
                  (r[0] == 0xFE && (r[1] == 0x06 || r[1] == 0x0D));
    }
    return writes;
}

inline constexpr const char* QuadgridID = "1A86:FE16";
inline constexpr const char* SolodialID = "5831:4249";

} // namespace keyglass::test
