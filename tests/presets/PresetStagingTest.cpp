#include "presets/PresetStaging.h"

#include "support/TestPads.h"

#include <gtest/gtest.h>

using namespace keyglass;

namespace {

PresetLayer keyLayer(int index, std::vector<std::vector<std::string>> keys)
{
    PresetLayer layer;
    layer.index = index;
    layer.name = "L" + std::to_string(index);
    layer.keys = std::move(keys);
    return layer;
}

DevicePreset presetWith(std::vector<PresetLayer> layers)
{
    DevicePreset preset;
    preset.id = "p";
    preset.name = "P";
    preset.appName = "App";
    preset.os = "macos";
    preset.deviceProfile = "generic";
    preset.layers = std::move(layers);
    return preset;
}

const T3Map NoT3;
const FocusMap NoFocus;

} // namespace

TEST(StagePreset, WritesKeysWithinTheDeviceAndMarksItDirty)
{
    auto device = keyglass::test::gridModel(4, 2, 3);
    const auto original = device;
    auto preset = presetWith({
        keyLayer(0, {{"KC_Z", "  ", "lctl(kc_k)", "KC_Y"}, {"MO(1)"}, {"KC_X"}}), // wider and taller than the pad
        keyLayer(5, {{"KC_Q"}}),                                                  // beyond the layer count
        keyLayer(-1, {{"KC_Q"}}),
        keyLayer(2, {{"KC_NOPE", "QK_BOOT", "0x7000"}}), // not understood or unsafe: left alone
    });

    const StageSummary summary = stagePreset(preset, device);
    EXPECT_TRUE(device.dirty);
    EXPECT_EQ(device.keymap[0][0], (std::vector<Keycode>{0x1D, original.keymap[0][0][1], 0x010E}));
    EXPECT_EQ(device.keymap[0][1][0], 0x5221);
    EXPECT_EQ(device.keymap[0][1][1], original.keymap[0][1][1]);
    EXPECT_EQ(device.keymap[1], original.keymap[1]);
    EXPECT_EQ(device.keymap[2], original.keymap[2]);
    EXPECT_EQ(device.keymap[3], original.keymap[3]);
    EXPECT_EQ(summary.skippedSlots, 3);
    ASSERT_TRUE(device.presetOverlay);
    EXPECT_EQ(device.presetOverlay->presetID, "p");
}

TEST(StagePreset, LeavesProtectedCellsAndTheSingleKnobSwitchAlone)
{
    auto quad = keyglass::test::quadgridModel();
    quad.protectedLayerCells = {"1,0,0"};
    auto preset =
        presetWith({keyLayer(0, {{}, {}, {}, {}, {"KC_A", "KC_B", "KC_C", "KC_D"}}), keyLayer(1, {{"KC_E", "KC_F"}})});
    stagePreset(preset, quad);
    EXPECT_EQ(quad.keymap[0][4], (std::vector<Keycode>{0x04, 0x05, 0x00F1, 0x00F2}));
    EXPECT_EQ(quad.keymap[1][0][0], keyglass::test::quadgridModel().keymap[1][0][0]);
    EXPECT_EQ(quad.keymap[1][0][1], 0x09);

    auto solo = keyglass::test::solodialModel();
    auto soloPreset = presetWith({keyLayer(0, {{"KC_A"}})});
    stagePreset(soloPreset, solo);
    EXPECT_EQ(solo.keymap[0][0][0], 0x5700) << "the knob's own switch is never remapped by a preset";
    EXPECT_TRUE(solo.dirty);

    // The same cell on a pad that is not a single-knob pad is an ordinary key.
    auto plain = keyglass::test::gridModel(1, 3, 3);
    stagePreset(soloPreset, plain);
    EXPECT_EQ(plain.keymap[0][0][0], 0x04);
}

TEST(StagePreset, KnobsAndTapDances)
{
    auto device = keyglass::test::gridModel(2, 1, 1, 2, 2);
    device.encoderMap[0][1] = {0x0004}; // a broken entry is not written into
    PresetLayer layer = keyLayer(0, {});
    layer.encoders =
        std::vector<std::vector<std::string>>{{"KC_MPRV", "KC_MNXT", "KC_A"}, {"KC_B", "KC_C"}, {"KC_D", "KC_E"}};
    PresetLayer second = keyLayer(1, {});
    second.encoders = std::vector<std::vector<std::string>>{{"", "EE_CLR"}};
    auto preset = presetWith({layer, second});
    preset.tapDances = std::vector<PresetTapDance>{
        {0, "KC_A", "LGUI(KC_C)", "", "nonsense", 0, std::nullopt},
        {1, "QK_BOOT", "0x7E00", "KC_B", "KC_C", 65535, std::nullopt},
        {7, "KC_A", "KC_A", "KC_A", "KC_A", 100, std::nullopt},
    };

    stagePreset(preset, device);
    EXPECT_EQ(device.encoderMap[0][0], (std::vector<Keycode>{0x00AC, 0x00AB}));
    EXPECT_EQ(device.encoderMap[0][1], (std::vector<Keycode>{0x0004}));
    EXPECT_EQ(device.encoderMap[1][0], (std::vector<Keycode>{0x00AA, 0x00A9}));
    EXPECT_EQ(device.tapDances[0], (TapDanceData{0x04, 0x0806, 0, 0, 200})) << "a term of 0 is staged as 200";
    EXPECT_EQ(device.tapDances[1], (TapDanceData{0, 0, 0x05, 0x06, 65535})) << "unusable slots become 0x0000";
    EXPECT_EQ(device.tapDances.size(), 2u);
}

TEST(LabelOverlay, CollectsCaptionsOfSlotsThatParse)
{
    PresetLayer layer = keyLayer(1, {{"LGUI(KC_C)", "KC_NOPE", "KC_V"}});
    layer.keyLabels = std::vector<std::vector<std::string>>{{" Copy ", "Broken", ""}};
    layer.encoders = std::vector<std::vector<std::string>>{{"KC_VOLD", "KC_VOLU"}};
    layer.encoderLabels = std::vector<std::vector<std::string>>{{"Quieter", "Louder"}};
    PresetLayer windows = keyLayer(2, {});
    windows.os = "Windows";
    windows.name = "";
    auto preset = presetWith({layer, windows});
    preset.layerNames = std::vector<std::string>{"a", "b", "From the list"};
    preset.builtIn = true;
    PresetTapDance td{3, "KC_A", "KC_B", "", "", 0, std::vector<std::string>{"Alpha", "", "Empty slot"}};
    preset.tapDances = std::vector<PresetTapDance>(1, td);

    const PresetLabelOverlay overlay = buildLabelOverlay(preset, false);
    EXPECT_EQ(overlay.presetName, "P");
    EXPECT_TRUE(overlay.builtIn);
    EXPECT_EQ(overlay.keyLabels.size(), 1u);
    EXPECT_EQ(overlay.keyLabels.at("1,0,0"), (PresetSlotLabel{0x0806, "Copy"}));
    EXPECT_EQ(overlay.encoderLabels.at("1,0,0"), (PresetSlotLabel{0x00AA, "Quieter"}));
    EXPECT_EQ(overlay.encoderLabels.at("1,0,1"), (PresetSlotLabel{0x00A9, "Louder"}));
    EXPECT_EQ(overlay.tapDanceLabels.size(), 1u);
    EXPECT_EQ(overlay.tapDanceLabels.at("3,0"), (PresetSlotLabel{0x04, "Alpha"}));
    EXPECT_EQ(overlay.layerCodeFallback.at(1).at(0x0806), "Copy");
    EXPECT_EQ(overlay.layerNames.at(1), "L1");
    EXPECT_EQ(overlay.layerNames.at(2), "From the list");
    EXPECT_EQ(overlay.layerOS.at(1), "macos");
    EXPECT_EQ(overlay.layerOS.at(2), "windows");
}

TEST(LabelOverlay, LegacyFlagDecidesTheWheelCode)
{
    PresetLayer layer = keyLayer(0, {{"KC_WH_U"}});
    layer.keyLabels = std::vector<std::vector<std::string>>{{"Up"}};
    const auto preset = presetWith({layer});
    EXPECT_EQ(buildLabelOverlay(preset, false).keyLabels.at("0,0,0").code, 0x00D9);
    EXPECT_EQ(buildLabelOverlay(preset, true).keyLabels.at("0,0,0").code, 0x00F9);
}

TEST(Captions, FollowTheSlotUntilItChanges)
{
    auto device = keyglass::test::gridModel(2, 2, 2, 1, 1);
    PresetLayer layer = keyLayer(0, {{"LGUI(KC_C)", "LGUI(KC_C)"}, {"KC_TRNS", "KC_NO"}});
    layer.keyLabels = std::vector<std::vector<std::string>>{{"Copy", ""}, {"Through", "Nothing"}};
    layer.encoders = std::vector<std::vector<std::string>>{{"KC_VOLD", "KC_VOLU"}};
    layer.encoderLabels = std::vector<std::vector<std::string>>{{"", "Louder"}};
    auto preset = presetWith({layer});
    PresetTapDance td;
    td.onTap = "KC_A";
    td.labels = std::vector<std::string>{"Alpha"};
    preset.tapDances = std::vector<PresetTapDance>(1, td);
    stagePreset(preset, device);

    EXPECT_EQ(labelledKeyAction(device, 0, 0, 0, NoT3, NoFocus).title, "Copy");
    EXPECT_EQ(labelledKeyAction(device, 0, 0, 0, NoT3, NoFocus).shortcut, "⌘C");
    EXPECT_EQ(labelledKeyAction(device, 0, 0, 1, NoT3, NoFocus).title, "Copy") << "the layer's caption for that code";
    EXPECT_EQ(labelledKeyAction(device, 0, 1, 0, NoT3, NoFocus).title, "▽") << "transparent keys keep their look";
    EXPECT_EQ(labelledKeyAction(device, 0, 1, 1, NoT3, NoFocus).title, "—");
    EXPECT_EQ(labelledKeyAction(device, 1, 0, 1, NoT3, NoFocus).title, "F") << "other layers have no caption";
    EXPECT_EQ(labelledEncoderAction(device, 0, 0, true, NoT3, NoFocus).title, "Louder");
    EXPECT_EQ(labelledEncoderAction(device, 0, 0, false, NoT3, NoFocus).title, "Vol Down");
    EXPECT_EQ(labelledTapDanceAction(device, 0, 0, 0, NoT3, NoFocus).title, "Alpha");
    EXPECT_EQ(labelledTapDanceAction(device, 0, 1, 0, NoT3, NoFocus).title, "—");

    device.keymap[0][0][0] = 0x0819; // the user remapped it to Command+V
    EXPECT_EQ(labelledKeyAction(device, 0, 0, 0, NoT3, NoFocus).title, "V");
    device.encoderMap[0][0][1] = 0x00AB;
    EXPECT_EQ(labelledEncoderAction(device, 0, 0, true, NoT3, NoFocus).title, "Next Track");
    device.tapDances[0].onTap = 0x05;
    EXPECT_EQ(labelledTapDanceAction(device, 0, 0, 0, NoT3, NoFocus).title, "B");
    EXPECT_EQ(slotCaption(device, CaptionSlot::key, keyLabelKey(0, 0, 1), 0, 0x0806), "Copy");
    EXPECT_EQ(slotCaption(keyglass::test::gridModel(1, 1, 1), CaptionSlot::key, "0,0,0", 0, 4), std::nullopt);
}

TEST(Captions, PresetLayerOsDecidesTheModifierStyle)
{
    auto device = keyglass::test::gridModel(1, 1, 1);
    PresetLayer layer = keyLayer(0, {{"LCTL(KC_C)"}});
    layer.os = "windows";
    stagePreset(presetWith({layer}), device);
    EXPECT_EQ(labelledKeyAction(device, 0, 0, 0, NoT3, NoFocus).shortcut, "Ctrl+C");
}

TEST(Captions, OverlayIsRebuiltFromThePersistedChoice)
{
    auto device = keyglass::test::gridModel(1, 1, 1);
    PresetLayer layer = keyLayer(0, {{"KC_B"}});
    layer.keyLabels = std::vector<std::vector<std::string>>{{"Brush"}};
    auto chosen = presetWith({layer});
    chosen.id = "chosen";
    auto other = presetWith({});
    other.id = "other";
    const std::vector<DevicePreset> presets{other, chosen};

    const auto overlay = overlayForActivePreset(device, {{device.id, "chosen"}}, presets);
    ASSERT_TRUE(overlay);
    EXPECT_EQ(*overlay, buildLabelOverlay(chosen, false));
    EXPECT_FALSE(overlayForActivePreset(device, {{device.id, "gone"}}, presets));
    EXPECT_FALSE(overlayForActivePreset(device, {{"FFFF:FFFF", "chosen"}}, presets));
}
