// Every lighting dialect over an emulated pad that speaks it: the probe finds the right one (and never
// takes one channel for another), the values read are the pad's, and a write lands where it should.
#include "device/Discovery.h"
#include "device/Lighting.h"
#include "sim/DemoPads.h"
#include "sim/VirtualHidBackend.h"
#include "sim/VirtualPadFactory.h"

#include <gtest/gtest.h>

namespace keyglass::test {
namespace {

VirtualPadConfig viaPad(LightingDialect dialect, LightingFeature feature, int viaVersion = 12)
{
    auto s = quadgridConfig();
    s.viaVersion = viaVersion;
    s.lighting = dialect;
    s.lightingFeature = feature;
    s.keyboardLightingChannel = -1;
    s.lightingValues = VirtualLighting{true, 3, 90, 1, 40, 60};
    return s;
}

VirtualPadConfig vialPad(const char* lighting)
{
    std::string text = R"({"name": "Lit", "matrix": {"rows": 1, "cols": 2}, "lighting": ")";
    text += lighting;
    text += R"(", "layouts": {"keymap": [["0,0", "0,1"]]}})";
    auto s = vialDefinitionConfig(text);
    EXPECT_TRUE(s);
    s->lightingValues = VirtualLighting{true, 2, 90, 1, 40, 60};
    return *s;
}

struct DialectCase
{
    const char* name;
    VirtualPadConfig config;
    RGBProtocolKind kind;
};

class Dialects : public ::testing::TestWithParam<DialectCase>
{
protected:
    DeviceModel load()
    {
        backend.addPad(pad);
        auto model = loadDevice(backend, enumerateEndpoints(backend).front());
        EXPECT_TRUE(model);
        return model ? *model : DeviceModel{};
    }

    VirtualHidBackend backend;
    std::shared_ptr<VirtualPad> pad = std::make_shared<VirtualPad>(GetParam().config);
};

TEST_P(Dialects, AreFoundAndReadAsThePadHoldsThem)
{
    const auto model = load();
    const auto light = pad->lighting();
    EXPECT_EQ(model.rgb.kind, GetParam().kind);
    if (model.rgb.kind == RGBProtocolKind::none)
        return;
    EXPECT_EQ(model.rgb.brightness, light.brightness);
    if (model.rgb.kind == RGBProtocolKind::qmkBacklight || model.rgb.kind == RGBProtocolKind::viaBacklight) {
        EXPECT_EQ(model.rgb.effect, light.mode ? 2 : 1); // breathing or steady
    } else {
        EXPECT_EQ(model.rgb.effect, light.mode);
    }
    if (lightingHasSpeed(model.rgb.kind)) {
        EXPECT_EQ(model.rgb.speed, light.speed);
    }
    if (lightingHasColor(model.rgb.kind)) {
        EXPECT_EQ(model.rgb.hue, light.hue);
        EXPECT_EQ(model.rgb.sat, light.sat);
    }
}

TEST_P(Dialects, WritesLandAndSaveFromOff)
{
    auto model = load();
    if (model.rgb.kind == RGBProtocolKind::none)
        return;
    // Off first, then on again with other values in the same write, as picking a colour does.
    RGBState off = model.rgb;
    off.effect = 0;
    writeLighting(backend, model.vid, model.pid, off, false);
    EXPECT_FALSE(pad->lighting().enabled && pad->lighting().brightness != 0);

    RGBState on = model.rgb;
    const auto effects = lightingEffects(on.kind, model.lightingEffectIds);
    ASSERT_GE(effects.size(), 2u);
    on.effect = effects.back().first;
    on.brightness = 77;
    on.hue = 11;
    on.sat = 22;
    on.speed = 3;
    writeLighting(backend, model.vid, model.pid, on, true);
    const auto light = pad->lighting();
    EXPECT_TRUE(light.enabled);
    EXPECT_EQ(light.brightness, 77);
    if (on.kind == RGBProtocolKind::qmkBacklight || on.kind == RGBProtocolKind::viaBacklight) {
        EXPECT_EQ(light.mode, on.effect >= 2 ? 1 : 0);
    } else {
        EXPECT_EQ(light.mode, on.effect);
    }
    if (lightingHasColor(on.kind)) {
        EXPECT_EQ(light.hue, 11);
        EXPECT_EQ(light.sat, 22);
    }
    if (lightingHasSpeed(on.kind)) {
        EXPECT_EQ(light.speed, 3);
    } else if (on.kind != RGBProtocolKind::qmkBacklight && on.kind != RGBProtocolKind::viaBacklight) {
        EXPECT_EQ(light.speed, pad->config().lightingValues.speed) << "a speed the card does not offer stays";
    }
    EXPECT_TRUE(pad->lightingPersisted());
}

INSTANTIATE_TEST_SUITE_P(
    Pads,
    Dialects,
    ::testing::Values(
        DialectCase{"KeyboardChannel1", quadgridConfig(), RGBProtocolKind::viaCustomCh1},
        DialectCase{"QmkBacklight",
                    viaPad(LightingDialect::channel, LightingFeature::backlight),
                    RGBProtocolKind::viaBacklight},
        DialectCase{
            "QmkRgblight", viaPad(LightingDialect::channel, LightingFeature::rgblight), RGBProtocolKind::viaRgblight},
        DialectCase{"QmkRgbMatrix",
                    viaPad(LightingDialect::channel, LightingFeature::rgbMatrix),
                    RGBProtocolKind::viaRgbMatrix},
        DialectCase{"QmkLedMatrix",
                    viaPad(LightingDialect::channel, LightingFeature::ledMatrix),
                    RGBProtocolKind::viaLedMatrix},
        DialectCase{"LegacyRgblight",
                    viaPad(LightingDialect::legacyRgblight, LightingFeature::rgblight, 9),
                    RGBProtocolKind::qmkRgblight},
        DialectCase{"NoLighting", viaPad(LightingDialect::none, LightingFeature::rgblight), RGBProtocolKind::none},
        DialectCase{"VialRgblight", solodialConfig(), RGBProtocolKind::qmkRgblight},
        DialectCase{"VialBacklight", vialPad("qmk_backlight"), RGBProtocolKind::qmkBacklight},
        DialectCase{"VialRgb", vialPad("vialrgb"), RGBProtocolKind::vialRgb}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VialRgbEffects, AreTheOnesThePadReportsByName)
{
    auto config = vialPad("vialrgb");
    // Ids as the firmware numbers them (the reactive "Multi" variants sit between their single ones).
    config.vialRgbEffects = {2, 6, 29, 34, 44, 200};
    VirtualHidBackend backend;
    backend.addPad(std::make_shared<VirtualPad>(config));
    const auto model = loadDevice(backend, enumerateEndpoints(backend).front());
    ASSERT_TRUE(model);
    EXPECT_EQ(model->lightingEffectIds, (std::vector<std::uint16_t>{2, 6, 29, 34, 44, 200}));
    const auto menu = lightingEffects(model->rgb.kind, model->lightingEffectIds);
    ASSERT_EQ(menu.size(), 7u);
    EXPECT_EQ(menu[0].second, "Off");
    EXPECT_EQ(menu[1].second, "Solid Color");
    EXPECT_EQ(menu[2].second, "Breathing");
    EXPECT_EQ(menu[3].second, "Typing Heatmap");
    EXPECT_EQ(menu[4].second, "Solid Reactive Multiwide");
    EXPECT_EQ(menu[5].second, "Pixel Fractal");
    EXPECT_EQ(menu[6], (std::pair<std::uint8_t, std::string>{200, "Effect 200"}));
}

TEST(CompactedModes, AreNamedOnlyWhereTheDialectFixesThem)
{
    for (auto kind : {RGBProtocolKind::viaRgblight, RGBProtocolKind::viaRgbMatrix, RGBProtocolKind::viaLedMatrix}) {
        const auto menu = lightingEffects(kind);
        EXPECT_EQ(menu[1].second, "Solid");
        EXPECT_EQ(menu[2].second, "Effect 2");
    }
    EXPECT_EQ(lightingEffects(RGBProtocolKind::viaBacklight).back().second, "Breathing");
}

} // namespace
} // namespace keyglass::test
