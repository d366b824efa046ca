#include "support/StoreFixture.h"

#include "input/HIDInputWatcher.h"
#include "platform/Paths.h"
#include "sim/VirtualInputSource.h"

#include <filesystem>

using namespace keyglass;
using namespace keyglass::test;
using namespace std::chrono_literals;

namespace {
/// The store over virtual pads whose key presses reach it through the virtual input source.
class LiveStoreTest : public ::testing::Test
{
protected:
    std::shared_ptr<VirtualPad> addPad(std::string_view padArgument)
    {
        auto pad = *makeVirtualPad(padArgument);
        hid.addPad(pad);
        input.addPad(pad);
        return pad;
    }

    PadStore& makeStore()
    {
        store = std::make_unique<PadStore>(PadStoreServices{scheduler, hid, input, settings, desktop});
        scheduler.runUntilIdle();
        return *store;
    }

    const DeviceModel& device(const std::string& id) { return *store->device(id); }

    TempHome home;
    LogCapture log;
    ManualScheduler scheduler;
    VirtualHidBackend hid;
    VirtualInputSource input{scheduler};
    InMemorySettingsStore settings;
    ScriptedDesktop desktop;
    std::unique_ptr<PadStore> store;
};
} // namespace

TEST_F(LiveStoreTest, APressSelectsThePadSwitchesToTheBindingsLayerAndLightsTheKey)
{
    addPad("quadgrid");
    auto solo = addPad("solodial");
    // A key bound only on layer 2 of the first pad.
    auto quad = hid.pads().front()->identifier() == QuadgridID ? hid.pads().front() : hid.pads().back();
    quad->setKeycode(2, 1, 3, 0x0440); // Alt+F7, nowhere else on the pad
    quad->setActiveLayer(2);
    PadStore& s = makeStore();
    ASSERT_TRUE(s.autoDetectEnabled());
    s.selectDevice(SolodialID);
    ASSERT_EQ(device(QuadgridID).activeLayer, 0);

    std::vector<std::string> focused;
    s.onFocusApp = [&](const std::string& path) { focused.push_back(path); };
    quad->press(1, 3);
    scheduler.advance(15ms); // the key debounce
    EXPECT_EQ(s.selectedDeviceID(), QuadgridID);
    EXPECT_EQ(device(QuadgridID).activeLayer, 2);
    EXPECT_EQ(device(QuadgridID).flashTarget, "k-1-3");
    EXPECT_TRUE(focused.empty());

    scheduler.advance(449ms);
    EXPECT_EQ(device(QuadgridID).flashTarget, "k-1-3");
    scheduler.advance(1ms);
    EXPECT_FALSE(device(QuadgridID).flashTarget.has_value());
    (void)solo;
}

TEST_F(LiveStoreTest, ANewerFlashIsNotCutShort)
{
    auto solo = addPad("solodial");
    PadStore& s = makeStore();
    s.handleLiveKeycode(SolodialID, device(SolodialID).encoderKeycodeAt(1, 0, true));
    const auto first = device(SolodialID).flashTarget;
    ASSERT_TRUE(first.has_value());
    scheduler.advance(300ms);
    s.handleLiveKeycode(SolodialID, device(SolodialID).encoderKeycodeAt(1, 0, false));
    const auto second = device(SolodialID).flashTarget;
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(first, second);
    scheduler.advance(200ms); // the first flash's expiry passes
    EXPECT_EQ(device(SolodialID).flashTarget, second);
    scheduler.advance(250ms);
    EXPECT_FALSE(device(SolodialID).flashTarget.has_value());
    (void)solo;
}

TEST_F(LiveStoreTest, AFocusTriggerFiresEvenWhenNothingIsBoundToIt)
{
    addPad("solodial");
    test::writeText(
        paths::focusConfigFile(),
        R"({"hotkeys":[{"key":"F20","mods":["ctrl"],"app":"/usr/share/applications/org.gnome.Terminal.desktop"}]})");
    PadStore& s = makeStore();
    std::vector<std::string> focused;
    s.onFocusApp = [&](const std::string& path) { focused.push_back(path); };
    s.handleLiveKeycode(SolodialID, 0x016F);
    EXPECT_EQ(focused, std::vector<std::string>{"/usr/share/applications/org.gnome.Terminal.desktop"});
    EXPECT_TRUE(
        log.contains("Focus trigger from 5831:4249: qmk=0x016F -> /usr/share/applications/org.gnome.Terminal.desktop"));
    EXPECT_TRUE(log.contains("Live input unmatched on 5831:4249: 1 key so far"));
    s.handleLiveKeycode("0000:0000", 0x016F); // not a listed pad: dropped
    EXPECT_EQ(focused.size(), 1u);
}

TEST_F(LiveStoreTest, WhatTheUserTypesOnUnmappedKeysStaysOutOfTheLog)
{
    addPad("solodial");
    PadStore& s = makeStore();
    for (int i = 0; i < 120; ++i)
        s.handleLiveKeycode(SolodialID, 0x0004 + (i % 26));
    EXPECT_FALSE(log.contains("qmk=0x00")) << "no key code without KEYGLASS_DEBUG_INPUT=1";
    EXPECT_TRUE(log.contains("Live input unmatched on 5831:4249: 10 keys so far"));
    EXPECT_TRUE(log.contains("Live input unmatched on 5831:4249: 100 keys so far"));
    EXPECT_FALSE(log.contains("120 keys"));

    ::setenv("KEYGLASS_DEBUG_INPUT", "1", 1);
    s.handleLiveKeycode(SolodialID, 0x0005);
    ::unsetenv("KEYGLASS_DEBUG_INPUT");
    EXPECT_TRUE(log.contains("Live input unmatched on 5831:4249: qmk=0x0005"));
}

TEST_F(LiveStoreTest, TouchingTheFocusFileReloadsTheMapsWithinOnePeriod)
{
    addPad("solodial");
    PadStore& s = makeStore();
    EXPECT_TRUE(s.focusMap().empty());
    int refreshes = 0;
    for (const auto& line : log.lines())
        refreshes += line.find("Refreshed") != std::string::npos;

    test::writeText(paths::focusConfigFile(), R"({"hotkeys":[{"key":"F13","app":"/opt/figma/figma"}]})");
    scheduler.advance(3500ms);
    ASSERT_EQ(s.focusMap().size(), 1u);
    EXPECT_EQ(s.focusMap().at(0x0068).name, "figma");

    int refreshesAfter = 0;
    for (const auto& line : log.lines())
        refreshesAfter += line.find("Refreshed") != std::string::npos;
    EXPECT_EQ(refreshesAfter, refreshes); // no device refresh without an endpoint change

    std::filesystem::remove(paths::focusConfigFile());
    scheduler.advance(3500ms);
    EXPECT_TRUE(s.focusMap().empty());
}

TEST_F(LiveStoreTest, AccessGrantedLaterStartsTheWatcherFromThePeriodicCheck)
{
    addPad("quadgrid");
    input.setAccessGranted(false);
    PadStore& s = makeStore();
    EXPECT_FALSE(s.autoDetectEnabled());
    input.setAccessGranted(true);
    scheduler.advance(3500ms);
    EXPECT_TRUE(s.autoDetectEnabled());
}

TEST_F(LiveStoreTest, BindingANewAppStagesTheTriggerOnTheSlot)
{
    addPad("quadgrid");
    PadStore& s = makeStore();
    s.chooseKey(QuadgridID, 0, 0, 1);
    s.bindNewFocusApp("/usr/share/applications/firefox-esr.desktop");
    EXPECT_EQ(device(QuadgridID).keycodeAt(0, 0, 1), 0x0068);
    EXPECT_TRUE(device(QuadgridID).dirty);
    EXPECT_FALSE(s.editingTarget().has_value());
    ASSERT_EQ(s.focusMap().count(0x0068), 1u);
    EXPECT_FALSE(s.toastIsError());
    EXPECT_NE(s.toastMessage()->find("to Focus config"), std::string::npos);

    // The focus file cannot be written: the user is told so instead of being told it worked.
    std::filesystem::remove(paths::focusConfigFile());
    std::filesystem::create_directories(paths::focusConfigFile()); // a folder where the file should be
    s.chooseKey(QuadgridID, 0, 0, 2);
    s.bindNewFocusApp("/usr/bin/gimp");
    EXPECT_TRUE(s.toastIsError());
    EXPECT_NE(s.toastMessage()->find("quadgrid-focus.json"), std::string::npos);
}

TEST_F(LiveStoreTest, TheAppChooserStartsInTheApplicationsFolder)
{
    addPad("quadgrid");
    PadStore& s = makeStore();
    s.chooseKey(QuadgridID, 1, 2, 0);
    desktop.openAnswers = {std::filesystem::path("/usr/share/applications/org.kde.krita.desktop")};
    s.chooseFocusApp();
    ASSERT_EQ(desktop.openPanelsShown.size(), 1u);
    EXPECT_EQ(desktop.openPanelsShown[0].directory, std::filesystem::path("/usr/share/applications"));
    EXPECT_EQ(device(QuadgridID).keycodeAt(1, 2, 0), 0x0068);
    EXPECT_EQ(s.focusMap().at(0x0068).path, "/usr/share/applications/org.kde.krita.desktop");

    // Cancelled: nothing is bound or staged.
    s.chooseKey(QuadgridID, 1, 2, 1);
    const Keycode before = device(QuadgridID).keycodeAt(1, 2, 1);
    s.chooseFocusApp();
    EXPECT_EQ(device(QuadgridID).keycodeAt(1, 2, 1), before);
    EXPECT_EQ(s.focusMap().size(), 1u);
}
