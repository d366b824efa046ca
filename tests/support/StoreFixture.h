#pragma once

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

#include <gtest/gtest.h>

#include <memory>

namespace keyglass::test {

/// A store over virtual pads with a virtual clock, an in-memory settings store and a scripted desktop,
/// in a temporary home.
class StoreTest : public ::testing::Test
{
protected:
    std::shared_ptr<VirtualPad> addPad(std::string_view padSpec)
    {
        auto pad = makeVirtualPad(padSpec);
        EXPECT_TRUE(pad.has_value()) << (pad ? "" : pad.error().message);
        hid.addPad(*pad);
        return *pad;
    }

    PadStore& makeStore()
    {
        store = std::make_unique<PadStore>(PadStoreServices{scheduler, hid, input, settings, desktop});
        scheduler.runUntilIdle();
        return *store;
    }

    const DeviceModel& device(const std::string& id)
    {
        const DeviceModel* model = store->device(id);
        EXPECT_NE(model, nullptr) << id;
        static const DeviceModel none;
        return model ? *model : none;
    }

    int refreshLogLines() const
    {
        int count = 0;
        for (const auto& line : log.lines())
            count += line.find("] Refreshed ") != std::string::npos;
        return count;
    }

    TempHome home;
    LogCapture log;
    ManualScheduler scheduler;
    VirtualHidBackend hid;
    ScriptedInput input;
    InMemorySettingsStore settings;
    ScriptedDesktop desktop;
    std::unique_ptr<PadStore> store;
};

inline constexpr const char* QuadgridID = "1A86:FE16";
inline constexpr const char* SolodialID = "5831:4249";

} // namespace keyglass::test
