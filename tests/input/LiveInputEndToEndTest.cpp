#include "device/Discovery.h"
#include "input/HIDInputWatcher.h"
#include "input/LiveMatch.h"
#include "platform/ManualScheduler.h"
#include "sim/DemoPads.h"
#include "sim/VirtualHidBackend.h"
#include "sim/VirtualInputSource.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

using namespace keyglass;
using namespace std::chrono_literals;

namespace {

class LiveInputTest : public ::testing::Test
{
protected:
    LiveInputTest()
    {
        backend.addPad(quadgrid);
        input.addPad(quadgrid);
        input.addPad(solodial);
        watcher.onDeviceKeycode = [this](const std::string& id, Keycode code) { reports.emplace_back(id, code); };
    }

    DeviceModel load(const std::shared_ptr<VirtualPad>& pad)
    {
        for (const auto& endpoint : enumerateEndpoints(backend)) {
            if (endpoint.vid == pad->config().vid && endpoint.pid == pad->config().pid) {
                if (auto model = loadDevice(backend, endpoint))
                    return *model;
            }
        }
        ADD_FAILURE() << "pad did not load";
        return {};
    }

    keyglass::test::TempHome home;
    keyglass::test::LogCapture log;
    ManualScheduler scheduler;
    VirtualHidBackend backend;
    std::shared_ptr<VirtualPad> quadgrid = makeQuadgrid();
    std::shared_ptr<VirtualPad> solodial = makeSolodial();
    VirtualInputSource input{scheduler};
    HIDInputWatcher watcher{scheduler, input};
    std::vector<std::pair<std::string, Keycode>> reports;
};

} // namespace

TEST_F(LiveInputTest, KeyOnAnotherLayerIsFoundThere)
{
    const DeviceModel device = load(quadgrid);
    ASSERT_EQ(device.activeLayer, 0);
    ASSERT_TRUE(watcher.watch({device}));

    quadgrid->setActiveLayer(2);
    quadgrid->press(3, 0); // Ctrl+F13 on layer 2 only
    quadgrid->press(1, 0); // F17, within the same burst: only this one counts
    scheduler.advance(15ms);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], (std::pair<std::string, Keycode>{"1A86:FE16", 0x016C})) << "Control seen during the burst";

    reports.clear();
    quadgrid->press(3, 0);
    scheduler.advance(15ms);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].second, 0x0168);
    EXPECT_EQ(findLiveMatch(device, reports[0].second), (LiveMatch{2, "k-3-0"}));

    reports.clear();
    quadgrid->press(1, 0);
    scheduler.advance(15ms);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(findLiveMatch(device, reports[0].second), (LiveMatch{2, "k-1-0"}));
}

TEST_F(LiveInputTest, KnobTurnsAndClicksLightTheKnob)
{
    const DeviceModel device = load(quadgrid);
    ASSERT_TRUE(watcher.watch({device}));

    quadgrid->turn(0, true); // KC_VOLU arrives as consumer Volume Up
    scheduler.runUntilIdle();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].second, 0x00A9);
    EXPECT_EQ(findLiveMatch(device, reports[0].second), (LiveMatch{0, "e-0-cw"}));

    quadgrid->turn(1, false); // the wheel, current numbering on VIA 12
    scheduler.runUntilIdle();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].second, 0x00DA);
    EXPECT_EQ(findLiveMatch(device, reports[1].second), (LiveMatch{0, "e-1-ccw"}));
}

TEST_F(LiveInputTest, OnlyOpenPadsDeliverAndOnlyOnTheMainLoop)
{
    const DeviceModel device = load(quadgrid);
    ASSERT_TRUE(watcher.watch({device}));
    EXPECT_EQ(input.openCount(), 1);

    solodial->turn(0, true); // not watched
    quadgrid->turn(0, true);
    EXPECT_TRUE(reports.empty()) << "delivered through the scheduler, not from the pad's thread";
    scheduler.runUntilIdle();
    EXPECT_EQ(reports.size(), 1u);

    quadgrid->turn(0, true);
    watcher.stop();
    scheduler.runUntilIdle();
    EXPECT_EQ(reports.size(), 1u) << "closed before delivery";
}

TEST_F(LiveInputTest, SourceSettingsReachTheWatcher)
{
    const DeviceModel device = load(quadgrid);
    input.setAccessGranted(false);
    EXPECT_FALSE(watcher.watch({device}));
    EXPECT_EQ(input.openCount(), 0);

    input.setAccessGranted(true);
    input.setOpenStatus(-536870174);
    EXPECT_FALSE(watcher.watch({device}));
    EXPECT_TRUE(log.contains("HIDInputWatcher watching [\"1A86:FE16\"] -> open=-536870174, interfaces=0"));

    input.setOpenStatus(0);
    EXPECT_TRUE(watcher.watch({device}));
    EXPECT_TRUE(log.contains("HIDInputWatcher watching [\"1A86:FE16\"] -> open=0, interfaces=3"));

    input.setSystemModifiers(0x08);
    quadgrid->setActiveLayer(1);
    quadgrid->press(0, 0); // keypad 7
    scheduler.advance(15ms);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].second, 0x085F);
}

TEST_F(LiveInputTest, PadOutlivingTheSourceIsHarmless)
{
    auto pad = makeSolodial();
    {
        VirtualInputSource shortLived(scheduler);
        shortLived.addPad(pad);
        shortLived.open({{pad->config().vid, pad->config().pid}});
    }
    pad->turn(0, true);
    EXPECT_EQ(scheduler.runUntilIdle(), 0);
}
