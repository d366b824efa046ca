#include "presets/PresetSafety.h"

#include "presets/DevicePreset.h"

#include <gtest/gtest.h>

#include <string>

namespace keyglass {
namespace {

DevicePreset presetWithLayers(std::vector<PresetLayer> layers)
{
    DevicePreset preset;
    preset.id = "p";
    preset.layers = std::move(layers);
    return preset;
}

TEST(ValidatePreset, ReportsEveryProblemInLayerRowColumnOrder)
{
    PresetLayer first;
    first.index = 0;
    first.keys = {{"KC_A", "", "  "}, {"KC_B", "KC_C", "0x7000"}};
    PresetLayer second;
    second.index = 2;
    second.keys = {{"QK_BOOT"}, {}, {"KC_D", "nonsense"}};
    const auto problems = validatePreset(presetWithLayers({first, second}), false);
    EXPECT_EQ(problems,
              (std::vector<std::string>{"L0 (1,2): Blocked QMK magic/EEPROM keycode 0x7000",
                                        "L2 (0,0): Blocked bootloader/reset token \"QK_BOOT\"",
                                        "L2 (2,1): Unrecognized QMK expression \"nonsense\""}));
}

TEST(ValidatePreset, OnlyTheFirstTwoEncoderEntriesAreChecked)
{
    PresetLayer layer;
    layer.index = 1;
    layer.keys = {};
    layer.encoders =
        std::vector<std::vector<std::string>>{{"KC_VOLD", "0xF1", "QK_BOOT", "garbage"}, {}, {"0x7E01"}, {"", ""}};
    EXPECT_EQ(validatePreset(presetWithLayers({layer}), false),
              (std::vector<std::string>{"L1 enc 0: Blocked hardware-reserved keycode 0x00F1",
                                        "L1 enc 2: Blocked firmware-custom QK_KB/QK_USER keycode 0x7E01"}));
}

TEST(ValidatePreset, TapDanceSlotsAfterAllLayers)
{
    PresetLayer layer;
    layer.index = 0;
    layer.keys = {{"0x5C00"}};
    PresetTapDance dance;
    dance.index = 4;
    dance.onTap = "KC_A";
    dance.onHold = "";
    dance.onDoubleTap = "EE_CLR";
    dance.onTapHold = "0x7E41";
    DevicePreset preset = presetWithLayers({layer});
    preset.tapDances = std::vector<PresetTapDance>{dance};
    EXPECT_EQ(validatePreset(preset, false),
              (std::vector<std::string>{"L0 (0,0): Blocked bootloader/reset keycode 0x5C00 (\"0x5C00\")",
                                        "TD(4) slot 2: Blocked bootloader/reset token \"EE_CLR\"",
                                        "TD(4) slot 3: Blocked firmware-custom QK_KB/QK_USER keycode 0x7E41"}));
}

TEST(ValidatePreset, UsesTheTargetDevicesNumberingAndStoredIndices)
{
    PresetLayer layer;
    layer.index = -3;
    layer.keys = {{"KC_WH_U", "0xF1"}};
    EXPECT_EQ(validatePreset(presetWithLayers({layer}), true),
              (std::vector<std::string>{"L-3 (0,1): Blocked hardware-reserved keycode 0x00F1"}));
    EXPECT_TRUE(validatePreset(presetWithLayers({}), false).empty());
}

} // namespace
} // namespace keyglass
