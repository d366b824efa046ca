#include "sim/Eeprom.h"

#include "sim/DemoPads.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>

namespace keyglass {
namespace {

using nlohmann::json;
using sim::Eeprom;

// An EEPROM with something other than the factory contents in every part the state file keeps.
void scribble(Eeprom& eeprom)
{
    eeprom.setKeycode(1, 2, 3, 0x1234);
    eeprom.setEncoder(0, 1, true, 0x00E9);
    eeprom.setTapDance(0, TapDanceData{0x04, 0x05, 0x06, 0x07, 300});
    eeprom.setMacroByte(0, 'x');
    VirtualLighting light;
    light.hue = 12;
    eeprom.saveLighting(light);
    eeprom.setLayoutOptions(0x01020304);
}

struct Corruption
{
    std::string name;
    std::function<void(json&)> apply;
};

class HalfGoodStateFile : public ::testing::TestWithParam<Corruption>
{
};

TEST_P(HalfGoodStateFile, ChangesNothing)
{
    // The keymap comes first in the file, so a bad field further down must not leave it half loaded.
    VirtualPadConfig config = quadgridConfig();
    config.tapDances.assign(2, sim::defaultTapDance());
    Eeprom written(config);
    scribble(written);
    auto doc = json::parse(written.stateJson());
    GetParam().apply(doc);

    Eeprom eeprom(config);
    const std::string before = eeprom.stateJson();
    EXPECT_FALSE(eeprom.loadStateJson(doc.dump()).has_value());
    EXPECT_EQ(eeprom.stateJson(), before);
}

INSTANTIATE_TEST_SUITE_P(LastFields,
                         HalfGoodStateFile,
                         ::testing::Values(Corruption{"encoderKeycode",
                                                      [](json& d) { d["encoderMap"][0][1][1] = 0x10000; }},
                                           Corruption{"tapDanceCount", [](json& d) { d["tapDances"].erase(0); }},
                                           Corruption{"tapDanceField", [](json& d) { d["tapDances"][1][4] = -1; }},
                                           Corruption{"lightingHue", [](json& d) { d["lighting"]["hue"] = 256; }},
                                           Corruption{"lightingEnabled", [](json& d) { d["lighting"]["enabled"] = 1; }},
                                           Corruption{"macrosLength", [](json& d) { d["macros"] = "00"; }},
                                           Corruption{"macrosHex",
                                                      [](json& d) {
                                                          auto m = d["macros"].get<std::string>();
                                                          m[m.size() - 1] = 'g';
                                                          d["macros"] = m;
                                                      }},
                                           Corruption{"layoutOptions", [](json& d) { d["layoutOptions"] = -1; }}),
                         [](const auto& info) { return info.param.name; });

TEST(Eeprom, StateFileCarriesEveryPersistedPart)
{
    VirtualPadConfig config = quadgridConfig();
    config.tapDances.assign(2, sim::defaultTapDance());
    Eeprom written(config);
    scribble(written);

    Eeprom read(config);
    ASSERT_TRUE(read.loadStateJson(written.stateJson()).has_value());
    EXPECT_EQ(read.stateJson(), written.stateJson());
    EXPECT_EQ(read.keycode(1, 2, 3), 0x1234);
    EXPECT_EQ(read.encoder(0, 1, true), 0x00E9);
    EXPECT_EQ(read.tapDance(0), (TapDanceData{0x04, 0x05, 0x06, 0x07, 300}));
    EXPECT_EQ(read.macroByte(0), 'x');
    EXPECT_EQ(read.savedLighting().hue, 12);
    EXPECT_EQ(read.layoutOptions(), 0x01020304u);
}

TEST(Eeprom, KeymapResetKeepsMacrosLightAndLayoutOptions)
{
    for (const bool vial : {false, true}) {
        VirtualPadConfig config = quadgridConfig();
        config.vial = vial;
        config.tapDances.assign(2, TapDanceData{0x04, 0, 0, 0, 150});
        config.keyOverrideCount = 1;
        Eeprom eeprom(config);
        const Keycode factory = eeprom.keycode(1, 2, 3);
        scribble(eeprom);
        (void)eeprom.takeChanged();

        eeprom.resetDynamicKeymap();
        EXPECT_TRUE(eeprom.takeChanged()) << vial;
        EXPECT_EQ(eeprom.keycode(1, 2, 3), factory) << vial;
        EXPECT_EQ(eeprom.macroByte(0), 'x') << vial;
        EXPECT_EQ(eeprom.savedLighting().hue, 12) << vial;
        EXPECT_EQ(eeprom.layoutOptions(), 0x01020304u) << vial;
        // Only a Vial build wipes its tap dances and key overrides to the firmware defaults.
        EXPECT_EQ(eeprom.tapDance(0), vial ? sim::defaultTapDance() : config.tapDances[0]) << vial;
        EXPECT_EQ(eeprom.entry(sim::EntryTable::keyOverrides, 0)[9], vial ? 0x07 : 0x00) << vial;
    }
}

} // namespace
} // namespace keyglass
