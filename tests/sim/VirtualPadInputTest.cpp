#include "sim/DemoPads.h"
#include "sim/HidUsages.h"
#include "sim/VirtualPad.h"

#include <gtest/gtest.h>

#include <vector>

namespace keyglass {
namespace {

using Events = std::vector<HidUsageEvent>;

constexpr std::uint16_t Kb = HidPageKeyboard, Cons = HidPageConsumer, Desk = HidPageGenericDesktop;

class Recorder
{
public:
    explicit Recorder(VirtualPad& pad) : m_pad(pad)
    {
        pad.setInputSink([this](const VirtualPad& from, std::uint16_t page, std::uint16_t usage, std::int32_t value) {
            EXPECT_EQ(&from, &m_pad);
            events.push_back({page, usage, value});
        });
    }
    Events take() { return std::exchange(events, {}); }

    Events events;

private:
    VirtualPad& m_pad;
};

Events tap(std::uint16_t page, std::uint16_t usage)
{
    return {{page, usage, 1}, {page, usage, 0}};
}

struct KeyCase
{
    const char* name;
    Keycode code;
    int viaVersion;
    Events expected;
};

class BoundKeycode : public ::testing::TestWithParam<KeyCase>
{
};

TEST_P(BoundKeycode, EmitsWhatTheFirmwareSends)
{
    const auto& c = GetParam();
    auto config = quadgridConfig();
    config.viaVersion = c.viaVersion;
    VirtualPad pad(config);
    pad.setKeycode(0, 0, 0, c.code);
    Recorder rec(pad);
    pad.press(0, 0);
    EXPECT_EQ(rec.events, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys,
    BoundKeycode,
    ::testing::Values(KeyCase{"Letter", 0x0004, 12, tap(Kb, 0x04)},
                      KeyCase{"CtrlZ", 0x011D, 12, {{Kb, 0xE0, 1}, {Kb, 0x1D, 1}, {Kb, 0x1D, 0}, {Kb, 0xE0, 0}}},
                      KeyCase{"CtrlShiftGuiAlt",
                              0x0F04,
                              12,
                              {{Kb, 0xE0, 1},
                               {Kb, 0xE1, 1},
                               {Kb, 0xE2, 1},
                               {Kb, 0xE3, 1},
                               {Kb, 0x04, 1},
                               {Kb, 0x04, 0},
                               {Kb, 0xE0, 0},
                               {Kb, 0xE1, 0},
                               {Kb, 0xE2, 0},
                               {Kb, 0xE3, 0}}},
                      KeyCase{"RightAlt", 0x1404, 12, {{Kb, 0xE6, 1}, {Kb, 0x04, 1}, {Kb, 0x04, 0}, {Kb, 0xE6, 0}}},
                      KeyCase{"ModifierKey", 0x00E1, 12, tap(Kb, 0xE1)},
                      KeyCase{"KeyboardMute", 0x007F, 12, tap(Kb, 0x7F)},
                      KeyCase{"KeyboardVolumeUp", 0x0080, 12, tap(Kb, 0x80)},
                      KeyCase{"KeyboardVolumeDown", 0x0081, 12, tap(Kb, 0x81)},
                      KeyCase{"Mute", 0x00A8, 12, tap(Cons, 0xE2)},
                      KeyCase{"VolumeUp", 0x00A9, 12, tap(Cons, 0xE9)},
                      KeyCase{"VolumeDown", 0x00AA, 12, tap(Cons, 0xEA)},
                      KeyCase{"NextTrack", 0x00AB, 12, tap(Cons, 0xB5)},
                      KeyCase{"PreviousTrack", 0x00AC, 12, tap(Cons, 0xB6)},
                      KeyCase{"PlayPause", 0x00AE, 12, tap(Cons, 0xCD)},
                      KeyCase{
                          "CtrlVolumeUp", 0x01A9, 12, {{Kb, 0xE0, 1}, {Cons, 0xE9, 1}, {Cons, 0xE9, 0}, {Kb, 0xE0, 0}}},
                      KeyCase{"WheelUpModern", 0x00D9, 12, {{Desk, 0x38, 1}}},
                      KeyCase{"WheelDownModern", 0x00DA, 12, {{Desk, 0x38, -1}}},
                      KeyCase{"WheelUpLegacy", 0x00F9, 9, {{Desk, 0x38, 1}}},
                      KeyCase{"WheelDownLegacy", 0x00FA, 9, {{Desk, 0x38, -1}}},
                      KeyCase{"LegacyWheelOnModernPad", 0x00F9, 12, {{Desk, 0x38, 1}}},
                      KeyCase{"MiddleButtonModern", 0x00D3, 12, tap(HidPageButton, 3)},
                      KeyCase{"FirstButtonLegacy", 0x00F4, 9, tap(HidPageButton, 1)},
                      KeyCase{"ModTapSendsItsKey", 0x2204, 12, tap(Kb, 0x04)},
                      KeyCase{"LegacyModTapSendsItsKey", 0x6204, 9, tap(Kb, 0x04)},
                      KeyCase{"LayerTapSendsItsKey", 0x412C, 12, tap(Kb, 0x2C)},
                      KeyCase{"NoKey", 0x0000, 12, {}},
                      KeyCase{"BootloaderSendsNothing", 0x7C00, 12, {}},
                      KeyCase{"LayerKeySendsNothing", 0x5221, 12, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LiveInput, TransparentFallsThroughToTheNextActiveLayer)
{
    auto pad = makeQuadgrid();
    Recorder rec(*pad);
    pad->setKeycode(1, 0, 0, 0x0001);
    pad->setActiveLayer(1);
    pad->press(0, 0);
    EXPECT_EQ(rec.take(), tap(Cons, 0xB6)); // layer 0's previous-track key

    // TO() leaves only its own layer and the default one active: layer 1 is skipped.
    pad->setKeycode(2, 0, 0, 0x0001);
    pad->setKeycode(0, 0, 1, 0x5202); // TO(2)
    pad->setActiveLayer(0);
    pad->press(0, 1);
    EXPECT_EQ(pad->activeLayer(), 2);
    pad->press(0, 0);
    EXPECT_EQ(rec.take(), tap(Cons, 0xB6));
}

TEST(LiveInput, MomentaryLayerLastsForTheNextKey)
{
    auto pad = makeQuadgrid();
    Recorder rec(*pad);
    pad->setKeycode(0, 3, 0, 0x5221); // MO(1)
    pad->press(3, 0);
    EXPECT_TRUE(rec.take().empty());
    EXPECT_EQ(pad->activeLayer(), 1);
    pad->press(0, 0);
    EXPECT_EQ(rec.take(), tap(Kb, 0x5F)); // keypad 7 on layer 1
    EXPECT_EQ(pad->activeLayer(), 0);
    pad->press(0, 0);
    EXPECT_EQ(rec.take(), tap(Cons, 0xB6));
}

TEST(LiveInput, ToggleAndDefaultLayers)
{
    auto pad = makeQuadgrid();
    pad->setKeycode(0, 3, 0, 0x5263); // TG(3)
    pad->setKeycode(3, 3, 0, 0x5263);
    pad->press(3, 0);
    EXPECT_EQ(pad->activeLayer(), 3);
    pad->press(3, 0);
    EXPECT_EQ(pad->activeLayer(), 0);

    auto legacy = quadgridConfig();
    legacy.viaVersion = 9;
    VirtualPad old(legacy);
    old.setKeycode(0, 3, 0, 0x5302); // legacy TG(2)
    old.press(3, 0);
    EXPECT_EQ(old.activeLayer(), 2);
    old.setKeycode(2, 3, 1, 0x5011); // legacy TO(1)
    old.press(3, 1);
    EXPECT_EQ(old.activeLayer(), 1);
}

TEST(LiveInput, HardwareLayerKeysStepLayersAndSendNothing)
{
    auto pad = makeQuadgrid();
    Recorder rec(*pad);
    pad->press(4, 3);
    EXPECT_EQ(pad->activeLayer(), 1);
    pad->press(4, 3);
    pad->press(4, 3);
    pad->press(4, 3);
    EXPECT_EQ(pad->activeLayer(), 0);
    pad->press(4, 2);
    EXPECT_EQ(pad->activeLayer(), 3);
    EXPECT_TRUE(rec.events.empty());
    // Even when the keymap cell was overwritten, the firmware handles the cell itself.
    pad->setKeycode(3, 4, 2, 0x0004);
    pad->press(4, 2);
    EXPECT_EQ(pad->activeLayer(), 2);
    EXPECT_TRUE(rec.events.empty());
}

TEST(LiveInput, TapDanceSendsItsOnTap)
{
    auto pad = makeSolodial();
    Recorder rec(*pad);
    pad->press(0, 0);
    EXPECT_EQ(rec.take(), tap(Cons, 0xCD));
    EXPECT_TRUE(pad->click(0));
    EXPECT_EQ(rec.take(), tap(Cons, 0xCD));

    pad->setKeycode(0, 0, 0, 0x5701);
    pad->press(0, 0);
    EXPECT_EQ(rec.take(), tap(Kb, 0x68));

    pad->setKeycode(0, 0, 0, 0x5708); // beyond the table
    pad->press(0, 0);
    pad->setTapDance(3, {0x5703, 0, 0, 0, 200}); // refers to itself
    pad->setKeycode(0, 0, 0, 0x5703);
    pad->press(0, 0);
    EXPECT_TRUE(rec.events.empty());
}

TEST(LiveInput, KnobsTurnAndClick)
{
    auto pad = makeQuadgrid();
    Recorder rec(*pad);
    pad->turn(0, true);
    EXPECT_EQ(rec.take(), tap(Cons, 0xE9));
    pad->turn(0, false);
    EXPECT_EQ(rec.take(), tap(Cons, 0xEA));
    pad->turn(1, true);
    EXPECT_EQ(rec.take(), (Events{{Desk, 0x38, 1}}));
    pad->turn(2, false);
    EXPECT_EQ(rec.take(), (Events{{Kb, 0xE0, 1}, {Kb, 0x2D, 1}, {Kb, 0x2D, 0}, {Kb, 0xE0, 0}}));
    EXPECT_TRUE(pad->click(0));
    EXPECT_EQ(rec.take(), tap(Cons, 0xE2));
    EXPECT_TRUE(pad->click(1));
    EXPECT_EQ(rec.take(), tap(HidPageButton, 3));
    EXPECT_FALSE(pad->click(2));
    pad->turn(3, true);
    EXPECT_TRUE(rec.events.empty());

    pad->setEncoder(1, 0, true, 0x0001);
    pad->setActiveLayer(1);
    pad->turn(0, true);
    EXPECT_EQ(rec.take(), tap(Cons, 0xE9));
}

TEST(LiveInput, SinkMayReadThePadWhileItIsCalled)
{
    auto pad = makeQuadgrid();
    int layerSeen = -1;
    pad->setInputSink(
        [&](const VirtualPad& from, std::uint16_t, std::uint16_t, std::int32_t) { layerSeen = from.activeLayer(); });
    pad->press(0, 0);
    EXPECT_EQ(layerSeen, 0);
}

} // namespace
} // namespace keyglass

namespace keyglass {
namespace {

struct UsageCase
{
    std::uint8_t code;
    bool modern;
    Events expected;
};

class BasicKeyTap : public ::testing::TestWithParam<UsageCase>
{
};

TEST_P(BasicKeyTap, MatchesQmkUsageTables)
{
    EXPECT_EQ(basicKeyTap(GetParam().code, GetParam().modern), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         BasicKeyTap,
                         ::testing::Values(UsageCase{0xA5, true, tap(Desk, 0x81)},
                                           UsageCase{0xA7, true, tap(Desk, 0x83)},
                                           UsageCase{0xAD, true, tap(Cons, 0xB7)},
                                           UsageCase{0xB0, true, tap(Cons, 0xB8)},
                                           UsageCase{0xB2, true, tap(Cons, 0x192)},
                                           UsageCase{0xBB, true, tap(Cons, 0xB3)},
                                           UsageCase{0xBD, true, tap(Cons, 0x6F)},
                                           UsageCase{0xBE, true, tap(Cons, 0x70)},
                                           UsageCase{0xCD, true, {{Desk, 0x31, -8}}},
                                           UsageCase{0xD0, true, {{Desk, 0x30, 8}}},
                                           UsageCase{0xD8, true, tap(HidPageButton, 8)},
                                           UsageCase{0xDB, true, {{Cons, 0x238, -1}}},
                                           UsageCase{0xF0, false, {{Desk, 0x31, -8}}},
                                           UsageCase{0xF8, false, tap(HidPageButton, 5)},
                                           UsageCase{0xFC, false, {{Cons, 0x238, 1}}},
                                           UsageCase{0xF1, true, {}},
                                           UsageCase{0xDD, true, {}},
                                           UsageCase{0x03, true, {}}));

} // namespace
} // namespace keyglass
