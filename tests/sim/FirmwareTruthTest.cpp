// The emulator answers like real QMK and vial-qmk builds where a looser model would hide host bugs:
// latency counted once against the exchange deadline, the lighting channels and their rules while the
// light is off, and the Vial lock.
#include "support/SimTestHelpers.h"

#include "device/RawHidSession.h"
#include "sim/DemoPads.h"
#include "sim/VirtualHidBackend.h"

#include <gtest/gtest.h>

namespace keyglass {
namespace {

using namespace std::chrono_literals;
using test::report;

/// A real clock that only pretends to sleep, so latency tests cost no time.
struct PretendRealTime
{
    TimePoint now{};
    Duration slept{0};

    VirtualHidBackend::RealTime hooks()
    {
        return {[this] { return now; },
                [this](Duration d) {
                    slept += d;
                    now += d;
                }};
    }
};

class Latency : public ::testing::Test
{
protected:
    void SetUp() override
    {
        backend.setRealTime(realTime.hooks());
        backend.addPad(pad);
    }

    RawHidSession open() { return *RawHidSession::open(backend, 0x1A86, 0xFE16); }

    PretendRealTime realTime;
    VirtualHidBackend backend;
    std::shared_ptr<VirtualPad> pad = makeQuadgrid();
};

TEST_F(Latency, IsWaitedOnceInRealTimeAndOnceOnTheBackendClock)
{
    pad->setLatency(1ms);
    auto session = open();
    const TimePoint started = backend.now();
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(session.exchange({0x01})) << i;
    EXPECT_EQ(realTime.slept, 10ms);
    EXPECT_EQ(backend.now() - started, 10ms);
}

TEST_F(Latency, BackendAndPadLatencyAddUp)
{
    backend.setLatency(2ms);
    pad->setLatency(1ms);
    auto session = open();
    const TimePoint started = backend.now();
    ASSERT_TRUE(session.exchange({0x11}));
    EXPECT_EQ(realTime.slept, 3ms);
    EXPECT_EQ(backend.now() - started, 3ms);
}

TEST_F(Latency, BeyondTheDeadlineTheAnswerIsLostAfterTheDeadline)
{
    pad->setLatency(300ms);
    auto session = open();
    const TimePoint started = backend.now();
    EXPECT_FALSE(session.exchange({0x01}));
    EXPECT_EQ(backend.now() - started, DefaultExchangeTimeout);
    EXPECT_EQ(realTime.slept, DefaultExchangeTimeout);
}

TEST_F(Latency, AnAnswerStillInFlightIsNotDrainedAsStale)
{
    pad->setLatency(1ms);
    auto device = *backend.open(backend.enumerate(RawHidUsagePage, RawHidUsage).front());
    ASSERT_TRUE(device->write(report({0x11})));
    EXPECT_EQ(device->read(Duration::zero()).status, HidReadStatus::timeout);
    const auto answer = device->read(5ms);
    ASSERT_EQ(answer.status, HidReadStatus::report);
    EXPECT_EQ(answer.data.at(0), 0x11);
}

// --- lighting channels ---

VirtualPadConfig channelPad(LightingFeature feature)
{
    auto s = quadgridConfig();
    s.keyboardLightingChannel = -1;
    s.lightingFeature = feature;
    s.lightingValues = VirtualLighting{true, 3, 100, 2, 40, 50};
    return s;
}

struct ChannelCase
{
    const char* name;
    LightingFeature feature;
    RawHidReport request;
    std::vector<std::pair<int, int>> writes;
};

class ChannelAnswers : public ::testing::TestWithParam<ChannelCase>
{
};

TEST_P(ChannelAnswers, AsQmkAnswersThem)
{
    const auto& c = GetParam();
    VirtualPad pad(channelPad(c.feature));
    auto expected = c.request;
    for (auto [at, value] : c.writes)
        expected[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(value);
    EXPECT_EQ(pad.answer(c.request), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Qmk,
    ChannelAnswers,
    ::testing::Values(
        ChannelCase{"CustomChannelIsUnhandled", LightingFeature::rgblight, report({0x08, 0x00, 0x01}), {{0, 0xFF}}},
        ChannelCase{"RgblightBrightness", LightingFeature::rgblight, report({0x08, 0x02, 0x01}), {{3, 100}}},
        ChannelCase{"RgblightEffect", LightingFeature::rgblight, report({0x08, 0x02, 0x02}), {{3, 3}}},
        ChannelCase{"RgblightColor", LightingFeature::rgblight, report({0x08, 0x02, 0x04}), {{3, 40}, {4, 50}}},
        ChannelCase{"RgblightWithoutBacklight", LightingFeature::rgblight, report({0x08, 0x01, 0x01}), {{0, 0xFF}}},
        ChannelCase{"BacklightBrightness", LightingFeature::backlight, report({0x08, 0x01, 0x01}), {{3, 100}}},
        ChannelCase{"BacklightBreathing", LightingFeature::backlight, report({0x08, 0x01, 0x02}), {{3, 1}}},
        ChannelCase{"BacklightHasNoColor", LightingFeature::backlight, report({0x08, 0x01, 0x04, 9}), {}},
        ChannelCase{"RgbMatrixEffect", LightingFeature::rgbMatrix, report({0x08, 0x03, 0x02}), {{3, 3}}},
        ChannelCase{"RgbMatrixSpeed", LightingFeature::rgbMatrix, report({0x08, 0x03, 0x03}), {{3, 2}}},
        ChannelCase{"RgbMatrixNotRgblight", LightingFeature::rgbMatrix, report({0x08, 0x02, 0x02}), {{0, 0xFF}}},
        ChannelCase{"LedMatrixBrightness", LightingFeature::ledMatrix, report({0x08, 0x05, 0x01}), {{3, 100}}},
        ChannelCase{"LedMatrixHasNoColor", LightingFeature::ledMatrix, report({0x08, 0x05, 0x04, 9}), {}},
        ChannelCase{"AudioIsNotCompiled", LightingFeature::rgblight, report({0x08, 0x04, 0x01}), {{0, 0xFF}}},
        ChannelCase{"SaveOfUncompiledChannel", LightingFeature::rgblight, report({0x09, 0x03}), {{0, 0xFF}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RgblightWhileOff, ReadsEffectZeroAndDropsModeAndColourWrites)
{
    for (const bool legacy : {true, false}) {
        SCOPED_TRACE(legacy ? "legacy ids" : "channel 2");
        auto s = legacy ? solodialConfig() : channelPad(LightingFeature::rgblight);
        VirtualPad pad(s);
        const auto before = pad.lighting();
        auto set = [&](std::initializer_list<int> legacyBytes, std::initializer_list<int> channelBytes) {
            pad.answer(report(legacy ? legacyBytes : channelBytes));
        };
        auto effect = [&] {
            return legacy ? pad.answer(report({0x08, 0x81}))[2] : pad.answer(report({0x08, 2, 2}))[3];
        };

        set({0x07, 0x81, 0}, {0x07, 2, 2, 0});
        EXPECT_EQ(effect(), 0);
        set({0x07, 0x80, 33}, {0x07, 2, 1, 33});
        set({0x07, 0x83, 1, 2}, {0x07, 2, 4, 1, 2});
        set({0x07, 0x81, 15}, {0x07, 2, 2, 15}); // switches on, but the mode sent while off is lost
        const auto after = pad.lighting();
        EXPECT_TRUE(after.enabled);
        EXPECT_EQ(after.mode, before.mode);
        EXPECT_EQ(after.brightness, before.brightness);
        EXPECT_EQ(after.hue, before.hue);
        EXPECT_EQ(effect(), before.mode);
        set({0x07, 0x81, 15}, {0x07, 2, 2, 15}); // now it takes
        EXPECT_EQ(effect(), 15);
    }
}

TEST(RgblightWhileOff, TheKeyboardsOwnChannelKeepsWhatItIsSent)
{
    auto pad = makeQuadgrid();
    pad->answer(report({0x07, 0x01, 0x01, 0}));
    pad->answer(report({0x07, 0x01, 0x02, 33}));
    pad->answer(report({0x07, 0x01, 0x01, 7}));
    EXPECT_EQ(pad->lighting().mode, 7);
    EXPECT_EQ(pad->lighting().brightness, 33);
}

TEST(VialRgb, ReportsInfoModeAndSupportedEffectsInPages)
{
    auto s = solodialConfig();
    s.lightingFeature = LightingFeature::vialRgb;
    for (std::uint16_t id = 1; id <= 20; ++id)
        s.vialRgbEffects.push_back(id);
    VirtualPad pad(s);
    const auto info = pad.answer(report({0x08, 0x40}));
    EXPECT_EQ(info[2], 1);
    EXPECT_EQ(info[3], 0);
    EXPECT_EQ(info[4], 255);
    const auto page1 = pad.answer(report({0x08, 0x42, 0, 0}));
    EXPECT_EQ(page1[2], 1);
    EXPECT_EQ(page1[30], 15);
    const auto page2 = pad.answer(report({0x08, 0x42, 15, 0}));
    EXPECT_EQ(page2[2], 16);
    EXPECT_EQ(page2[10], 20);
    EXPECT_EQ(page2[12], 0xFF);
    EXPECT_EQ(page2[13], 0xFF);

    pad.answer(report({0x07, 0x41, 12, 0, 3, 4, 5, 6}));
    const auto mode = pad.answer(report({0x08, 0x41}));
    EXPECT_EQ(mode, report({0x08, 0x41, 12, 0, 3, 4, 5, 6}));
    // An effect the firmware does not have is ignored.
    pad.answer(report({0x07, 0x41, 99, 0, 3, 4, 5, 6}));
    EXPECT_EQ(pad.answer(report({0x08, 0x41}))[2], 12);
    // Legacy rgblight ids are not VialRGB's: plain echo.
    EXPECT_EQ(pad.answer(report({0x08, 0x80, 0x5A})), report({0x08, 0x80, 0x5A}));
}

// --- the Vial lock ---

class VialLockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        pad->setClock([this] { return now; });
    }

    RawHidReport poll()
    {
        now += 150ms;
        return pad->answer(report({0xFE, 0x07}));
    }

    TimePoint now{};
    std::shared_ptr<VirtualPad> pad = makeSolodial();
};

TEST_F(VialLockTest, SecureBuildBootsLockedAndCountsDownOnlyWhileTheKeysAreHeld)
{
    EXPECT_FALSE(pad->vialUnlocked());
    const auto status = pad->answer(report({0xFE, 0x05}));
    EXPECT_EQ(status[0], 0);
    EXPECT_EQ(status[2], 0); // unlock key row 0, col 0
    EXPECT_EQ(status[3], 0);
    EXPECT_EQ(status[4], 0xFF);

    pad->answer(report({0xFE, 0x06}));
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(poll()[2], 50) << "not held, poll " << i;
    EXPECT_FALSE(pad->vialUnlocked());

    pad->hold(0, 0);
    for (int i = 0; i < 10; ++i)
        poll();
    EXPECT_EQ(poll()[2], 39);
    // Polls closer together than 100 ms count once.
    now += 10ms;
    EXPECT_EQ(pad->answer(report({0xFE, 0x07}))[2], 39);
    pad->release(0, 0);
    EXPECT_EQ(poll()[2], 50); // letting go starts over
    pad->hold(0, 0);
    RawHidReport last{};
    for (int i = 0; i < 50; ++i)
        last = poll();
    EXPECT_EQ(last[0], 1);
    EXPECT_EQ(last[1], 0);
    EXPECT_TRUE(pad->vialUnlocked());
}

TEST_F(VialLockTest, LockedBuildRefusesTheBootloaderAndItsKeycode)
{
    EXPECT_EQ(pad->answer(report({0x0B})), report({0x0B}));
    EXPECT_EQ(pad->bootloaderJumpCount(), 0);
    pad->answer(report({0xFE, 0x04, 0, 0, 1, 0x7C, 0x00}));
    EXPECT_EQ(pad->encoder(0, 0, true), 0);
    pad->answer(report({0x13, 0, 0, 2, 0x7C, 0x00}));
    EXPECT_EQ(pad->keycode(0, 0, 0), 0xFFFF);
}

TEST(VialInsecure, IsUnlockedWithoutKeysAndHasNoBootloaderCommand)
{
    auto s = solodialConfig();
    s.vialInsecure = true;
    VirtualPad pad(s);
    EXPECT_TRUE(pad.vialUnlocked());
    EXPECT_EQ(pad.answer(report({0x0B}))[0], 0xFF);
    const auto status = pad.answer(report({0xFE, 0x05}));
    EXPECT_EQ(status[0], 1);
    EXPECT_EQ(status[2], 0xFF);
    pad.answer(report({0xFE, 0x08}));
    EXPECT_TRUE(pad.vialUnlocked());
}

TEST(DefinitionPads, AreLockedWithTheirFirstLayoutKeyAsUnlockKey)
{
    const auto pad = VirtualPad::fromVialDefinitionText(
        R"({"matrix": {"rows": 2, "cols": 3}, "layouts": {"keymap": [["1,2", "0,0"]]}})");
    ASSERT_TRUE(pad);
    EXPECT_FALSE((*pad)->vialUnlocked());
    ASSERT_EQ((*pad)->config().unlockKeys.size(), 1u);
    EXPECT_EQ((*pad)->config().unlockKeys[0], (MatrixCell{1, 2}));
}

} // namespace
} // namespace keyglass
