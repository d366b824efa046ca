#include "support/FakeHid.h"

#include "device/Lighting.h"

#include <gtest/gtest.h>

namespace keyglass::test {
namespace {

using json = nlohmann::json;

struct Rig
{
    ScriptedBackend backend;
    MiniFirmware firmware;
    std::function<std::optional<Bytes>(const RawHidReport&, std::optional<Bytes>)> tamper;

    Rig()
    {
        backend.respond = [this](const RawHidReport& r) {
            auto answer = firmware.answer(r);
            return tamper ? tamper(r, answer) : answer;
        };
    }
    RGBState readVia()
    {
        auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
        return readViaLighting(*session, firmware.viaVersion).state;
    }
    RGBState readVial(const char* lighting)
    {
        auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
        json definition = {{"matrix", {{"rows", 1}, {"cols", 1}}}};
        if (lighting)
            definition["lighting"] = lighting;
        return readVialLighting(*session, definition).state;
    }
};

const RGBState Defaults{};

TEST(LightingRead, VialKindComesFromTheDefinition)
{
    for (const char* name : {"qmk_rgblight", "qmk_backlight_rgblight"}) {
        Rig rig;
        rig.firmware.rgblight = true;
        rig.firmware.effect = 1;
        EXPECT_EQ(rig.readVial(name), (RGBState{RGBProtocolKind::qmkRgblight, 120, 1, 1, 3, 10, 200})) << name;
        EXPECT_EQ(rig.backend.requests.size(), 4u);
    }
    for (const char* name : {"qmk_rgb_matrix", "none", static_cast<const char*>(nullptr)}) {
        Rig rig;
        rig.firmware.rgblight = true;
        EXPECT_EQ(rig.readVial(name), Defaults);
        EXPECT_TRUE(rig.backend.requests.empty());
    }
}

TEST(LightingRead, VialValuesThatCannotBeReadKeepTheirDefaults)
{
    Rig rig;
    rig.firmware.rgblight = true;
    rig.tamper = [](const RawHidReport& r, std::optional<Bytes> a) -> std::optional<Bytes> {
        if (r[1] == 0x80)
            return std::nullopt;
        if (r[1] == 0x83)
            return Bytes{0x08, 0x83, 1};
        return a;
    };
    EXPECT_EQ(rig.readVial("qmk_rgblight"), (RGBState{RGBProtocolKind::qmkRgblight, 180, 9, 9, 3, 170, 255}));
}

TEST(LightingRead, ViaChannelOneIsFoundFirst)
{
    Rig rig;
    rig.firmware.channel1 = true;
    rig.firmware.effect = 0;
    rig.firmware.brightness = 0;
    rig.firmware.hue = 5;
    EXPECT_EQ(rig.readVia(), (RGBState{RGBProtocolKind::viaCustomCh1, 0, 0, 1, 3, 5, 200}));
    ASSERT_EQ(rig.backend.requests.size(), 4u);
    EXPECT_EQ(Bytes(rig.backend.requests[3].begin(), rig.backend.requests[3].end()),
              bytesOf({0x08, 0x01, 0x04, 0xA5, 0xA5}));
}

TEST(LightingRead, ViaFallsBackToRgblightThenToNone)
{
    Rig zeros;
    zeros.firmware.channel1 = true;
    zeros.firmware.effect = 0;
    zeros.firmware.brightness = 0;
    zeros.firmware.hue = 0;
    EXPECT_EQ(zeros.readVia(), Defaults);
    EXPECT_EQ(zeros.backend.countStartingWith({0x08, 0x80}), 1) << "probed further with 08 80";

    Rig rgblight;
    rgblight.firmware.viaVersion = 10; // the legacy ids: before the channels
    rgblight.firmware.rgblight = true;
    rgblight.firmware.brightness = 0;
    rgblight.firmware.effect = 4;
    EXPECT_EQ(rgblight.readVia(), (RGBState{RGBProtocolKind::qmkRgblight, 0, 4, 4, 3, 10, 200}));
    // Channel 1's four values come back as sent (each asked twice to be sure), then the four legacy ids.
    EXPECT_EQ(rgblight.backend.requests.size(), 12u);

    Rig silentChannel;
    silentChannel.firmware.rgblight = true;
    silentChannel.tamper = [](const RawHidReport& r, std::optional<Bytes> a) -> std::optional<Bytes> {
        if (r[0] == 0x08 && r[1] == 0x01 && r[2] == 0x02)
            return std::nullopt;
        if (r[0] == 0x08 && (r[1] == 0x82 || r[1] == 0x83))
            return Bytes{0x08};
        return a;
    };
    EXPECT_EQ(silentChannel.readVia(), (RGBState{RGBProtocolKind::qmkRgblight, 120, 9, 9, 2, 170, 255}));
    EXPECT_EQ(silentChannel.backend.countStartingWith({0x08, 0x01}), 3) << "a missing answer ends the channel probe";

    Rig wrongEcho;
    wrongEcho.firmware.rgblight = true;
    wrongEcho.tamper = [](const RawHidReport& r, std::optional<Bytes> a) -> std::optional<Bytes> {
        if (r[0] == 0x08 && r[1] == 0x80)
            (*a)[0] = 0xFF;
        return a;
    };
    EXPECT_EQ(wrongEcho.readVia(), Defaults);
}

TEST(LightingWrite, SendsEffectBrightnessColourAndOptionallySave)
{
    const RGBState rgb{RGBProtocolKind::qmkRgblight, 120, 9, 9, 3, 170, 255};
    Rig rig;
    writeLighting(rig.backend, 0x1A86, 0xFE16, rgb, false);
    writeLighting(rig.backend, 0x1A86, 0xFE16, rgb, true);
    std::vector<Bytes> sent;
    for (const auto& r : rig.backend.requests)
        sent.emplace_back(r.begin(), r.end());
    EXPECT_EQ(sent,
              (std::vector<Bytes>{bytesOf({0x07, 0x81, 9}),
                                  bytesOf({0x07, 0x81, 9}),
                                  bytesOf({0x07, 0x80, 120}),
                                  bytesOf({0x07, 0x83, 170, 255}),
                                  bytesOf({0x07, 0x81, 9}),
                                  bytesOf({0x07, 0x81, 9}),
                                  bytesOf({0x07, 0x80, 120}),
                                  bytesOf({0x07, 0x83, 170, 255}),
                                  bytesOf({0x09})}));
    EXPECT_EQ(rig.backend.closed, 2);

    Rig channel;
    RGBState ch = rgb;
    ch.kind = RGBProtocolKind::viaCustomCh1;
    ch.effect = 0;
    writeLighting(channel.backend, 0x1A86, 0xFE16, ch, true);
    sent.clear();
    for (const auto& r : channel.backend.requests)
        sent.emplace_back(r.begin(), r.end());
    EXPECT_EQ(sent,
              (std::vector<Bytes>{bytesOf({0x07, 0x01, 0x01, 0}),
                                  bytesOf({0x07, 0x01, 0x02, 120}),
                                  bytesOf({0x07, 0x01, 0x04, 170, 255}),
                                  bytesOf({0x09, 0x01})}));
}

TEST(LightingWrite, NoneKindSilenceAndRefusalAreQuiet)
{
    Rig none;
    writeLighting(none.backend, 0x1A86, 0xFE16, RGBState{}, true);
    EXPECT_EQ(none.backend.opened, 0);

    Rig refused;
    refused.backend.refuseOpen = true;
    writeLighting(refused.backend, 0x1A86, 0xFE16, RGBState{RGBProtocolKind::qmkRgblight}, true);
    EXPECT_TRUE(refused.backend.requests.empty());

    Rig silent;
    silent.backend.respond = nullptr;
    writeLighting(silent.backend, 0x1A86, 0xFE16, RGBState{RGBProtocolKind::qmkRgblight}, true);
    EXPECT_EQ(silent.backend.requests.size(), 1u) << "nothing is written after a request the pad did not answer";
    EXPECT_EQ(silent.backend.closed, 1);
}

TEST(LightingEffects, MenusPerKind)
{
    const auto rgblight = lightingEffects(RGBProtocolKind::qmkRgblight);
    ASSERT_EQ(rgblight.size(), 8u);
    EXPECT_EQ(rgblight[3], (std::pair<std::uint8_t, std::string>{4, "Breathing 3"}));
    EXPECT_EQ(rgblight[7], (std::pair<std::uint8_t, std::string>{25, "Gradient"}));
    for (auto kind : {RGBProtocolKind::viaCustomCh1, RGBProtocolKind::none}) {
        const auto generic = lightingEffects(kind);
        ASSERT_EQ(generic.size(), 8u);
        EXPECT_EQ(generic[0].second, "Off");
        EXPECT_EQ(generic[7], (std::pair<std::uint8_t, std::string>{7, "Effect 7"}));
    }
}

} // namespace
} // namespace keyglass::test
