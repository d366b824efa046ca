// The staging rules on a bare model, without a store: slot ranges, captions, and the lighting arithmetic
// the store's lighting operations are built on.

#include "store/Staging.h"
#include "store/LightingWrites.h"

#include <gtest/gtest.h>

namespace keyglass {
namespace {

DeviceModel twoLayerModel()
{
    DeviceModel model;
    model.id = "1A86:FE16";
    model.keymap = {{{0x04, 0x05}}, {{0x06, 0x07}}};
    model.encoderMap = {{{0x80, 0x81}, {0x10}}, {{0, 0}, {0, 0}}};
    model.tapDances = {TapDanceData{0x04, 0x05, 0x06, 0x07, 200}};
    return model;
}

TEST(Staging, OutOfRangeTargetsChangeNothing)
{
    DeviceModel model = twoLayerModel();
    const DeviceModel before = model;
    EXPECT_FALSE(stageKeycode(model, EditingTarget(EditingTarget::Key{model.id, 2, 0, 0}), 0x1E, std::nullopt));
    EXPECT_FALSE(stageKeycode(model, EditingTarget(EditingTarget::Key{model.id, 0, 0, 2}), 0x1E, std::nullopt));
    // A knob entry holding one keycode has no second direction to write.
    EXPECT_FALSE(stageKeycode(model, EditingTarget(EditingTarget::Encoder{model.id, 0, 1, false}), 0x1E, "Vol"));
    EXPECT_FALSE(stageKeycode(model, EditingTarget(EditingTarget::TapDance{model.id, 0, 4}), 0x1E, std::nullopt));
    EXPECT_FALSE(stageKeycode(model, EditingTarget(EditingTarget::TapDance{model.id, 1, 0}), 0x1E, std::nullopt));
    EXPECT_EQ(model, before);
}

TEST(Staging, CaptionsFollowTheStagedCode)
{
    DeviceModel model = twoLayerModel();
    const EditingTarget knob(EditingTarget::Encoder{model.id, 1, 0, true});
    ASSERT_TRUE(stageKeycode(model, knob, 0x00A9, std::string("  Louder \n")));
    EXPECT_TRUE(model.dirty);
    EXPECT_EQ(stagedKeycode(model, knob), 0x00A9);
    ASSERT_TRUE(model.presetOverlay);
    EXPECT_EQ(model.presetOverlay->presetName, "Custom");
    EXPECT_EQ(model.presetOverlay->encoderLabels.begin()->second, (PresetSlotLabel{0x00A9, "Louder"}));

    ASSERT_TRUE(stageKeycode(model, knob, 0x00AA, std::string(" ")));
    EXPECT_TRUE(model.presetOverlay->encoderLabels.empty());

    const EditingTarget hold(EditingTarget::TapDance{model.id, 0, 1});
    ASSERT_TRUE(stageKeycode(model, hold, 0x0029, std::nullopt));
    EXPECT_EQ(model.tapDances[0].onHold, 0x0029);
    EXPECT_TRUE(model.presetOverlay->tapDanceLabels.empty());
}

TEST(Staging, TappingTermIsStagedWithoutZero)
{
    DeviceModel model = twoLayerModel();
    EXPECT_FALSE(stageTappingTerm(model, 1, 250));
    EXPECT_TRUE(stageTappingTerm(model, 0, 200));
    EXPECT_FALSE(model.dirty) << "an unchanged term is no edit";
    EXPECT_TRUE(stageTappingTerm(model, 0, 175));
    EXPECT_EQ(model.tapDances[0].tappingTerm, 175);
    EXPECT_TRUE(model.dirty);
    EXPECT_TRUE(stageTappingTerm(model, 0, 0));
    EXPECT_EQ(model.tapDances[0].tappingTerm, 200);
}

TEST(Staging, TypedExpressionsPassTheSafetyRules)
{
    EXPECT_EQ(safeExpressionKeycode("LCTL(KC_K)", false).value(), 0x010E);
    EXPECT_EQ(safeExpressionKeycode("QK_BOOT", false).error().message, "Blocked bootloader/reset token \"QK_BOOT\"");
    EXPECT_EQ(safeExpressionKeycode(" xyz ", false).error().message, "Unrecognized QMK expression \"xyz\"");
}

TEST(LightingArithmetic, ToggleRestoresTheLastEffect)
{
    RGBState on;
    on.kind = RGBProtocolKind::qmkRgblight;
    on.effect = 9;
    on.lastOnEffect = 9; // as the pad was read
    on.brightness = 120;
    const LightingToggle off = lightingToggle(on);
    EXPECT_EQ(off.effect, 0);
    EXPECT_FALSE(off.brightness);

    const RGBState dark = lightingWith(on, std::nullopt, off.effect, std::nullopt, std::nullopt);
    EXPECT_EQ(dark.lastOnEffect, 9);
    const LightingToggle back = lightingToggle(dark);
    EXPECT_EQ(back.effect, 9);
    EXPECT_EQ(back.brightness, 120);

    RGBState blank = dark;
    blank.brightness = 0;
    blank.lastOnEffect = 1;
    EXPECT_EQ(lightingToggle(blank).brightness, 180);
    EXPECT_EQ(lightingToggle(blank).effect, 1);
}

} // namespace
} // namespace keyglass
