#include "support/PadRig.h"

#include "platform/AtomicFile.h"
#include "presets/PresetLibrary.h"
#include "presets/PresetStaging.h"
#include "sim/DemoPads.h"

#include <gtest/gtest.h>

using namespace keyglass;
using keyglass::test::PadRig;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<VirtualPad> virtualPadFor(const std::string& profile)
{
    return profile == "solodial" ? makeSolodial() : makeQuadgrid();
}

} // namespace

TEST(PresetsOnPads, EveryBuiltInPresetReachesItsPadExactly)
{
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(KG_SOURCE_DIR) / "resources" / "Presets")) {
        SCOPED_TRACE(entry.path().filename().string());
        const auto preset = decodePreset(readFileCapped(entry.path(), MaxPresetDocumentBytes).value_or(""));
        ASSERT_TRUE(preset);
        PadRig rig(virtualPadFor(preset->deviceProfile));
        DeviceModel model = rig.load();
        ASSERT_TRUE(presetFitsDevice(*preset, model));
        const auto stagedBefore = model;
        EXPECT_EQ(stagePreset(*preset, model).skippedSlots, 0);
        rig.write(model);
        EXPECT_EQ(rig.eepromKeymap(), model.keymap);
        EXPECT_EQ(rig.eepromEncoders(), model.encoderMap);
        if (model.proto.isVial()) {
            EXPECT_EQ(rig.eepromTapDances(), model.tapDances);
        }
        // The pad's own fixed cells are untouched.
        if (preset->deviceProfile == "solodial") {
            EXPECT_EQ(rig.pad->keycode(0, 0, 0), stagedBefore.keycodeAt(0, 0, 0));
        } else {
            for (int l = 0; l < 4; ++l) {
                EXPECT_EQ(rig.pad->keycode(l, 4, 2), 0x00F1);
                EXPECT_EQ(rig.pad->keycode(l, 4, 3), 0x00F2);
            }
        }
        ++checked;
    }
    EXPECT_GE(checked, 8);
}

TEST(PresetsOnPads, SavedCurrentLayoutReproducesOnASecondPad)
{
    for (const std::string profile : {"quadgrid", "solodial"}) {
        SCOPED_TRACE(profile);
        // The first pad gets a built-in layout plus a few hand edits with custom captions.
        PadRig first(virtualPadFor(profile));
        DeviceModel source = first.load();
        const auto builtIn = loadPresets();
        const auto chosen = std::find_if(builtIn.begin(), builtIn.end(), [&](const DevicePreset& p) {
            return p.deviceProfile == profile && p.id.find("t3-code-macos") != std::string::npos;
        });
        ASSERT_NE(chosen, builtIn.end());
        stagePreset(*chosen, source);
        source.encoderMap[1][0] = {0x0050, 0x004F};
        source.presetOverlay->encoderLabels[encoderLabelKey(1, 0, true)] = PresetSlotLabel{0x004F, "Onwards"};
        first.write(source);
        DeviceModel reloaded = first.load();
        reloaded.presetOverlay = source.presetOverlay; // what the store carries across a refresh

        const DevicePreset saved = presetFromDevice(reloaded, "Mine", "T3 Code", "", "AI");
        EXPECT_EQ(saved.deviceProfile, profile);

        PadRig second(virtualPadFor(profile));
        DeviceModel target = second.load();
        stagePreset(saved, target);
        second.write(target);
        DeviceModel shown = second.load();
        shown.presetOverlay = target.presetOverlay;

        EXPECT_EQ(second.eepromKeymap(), first.eepromKeymap());
        EXPECT_EQ(second.eepromEncoders(), first.eepromEncoders());
        EXPECT_EQ(second.eepromTapDances(), first.eepromTapDances());
        const T3Map t3;
        const FocusMap focus;
        for (int l = 0; l < reloaded.layerCount; ++l) {
            EXPECT_EQ(shown.presetOverlay->layerNames[l], reloaded.presetOverlay->layerNames[l]);
            for (int r = 0; r < reloaded.rows; ++r)
                for (int c = 0; c < reloaded.cols; ++c)
                    EXPECT_EQ(labelledKeyAction(shown, l, r, c, t3, focus),
                              labelledKeyAction(reloaded, l, r, c, t3, focus))
                        << l << ":" << r << "," << c;
            for (int e = 0; e < static_cast<int>(reloaded.encoders.size()); ++e)
                for (bool cw : {false, true})
                    EXPECT_EQ(labelledEncoderAction(shown, l, e, cw, t3, focus),
                              labelledEncoderAction(reloaded, l, e, cw, t3, focus));
        }
        for (int i = 0; i < static_cast<int>(reloaded.tapDances.size()); ++i)
            for (int s = 0; s < 4; ++s)
                EXPECT_EQ(labelledTapDanceAction(shown, i, s, 0, t3, focus),
                          labelledTapDanceAction(reloaded, i, s, 0, t3, focus));
        EXPECT_EQ(labelledEncoderAction(shown, 1, 0, true, t3, focus).title, "Onwards");
    }
}
