#include "support/StoreFixture.h"

#include "keycodes/KeycodeExpression.h"
#include "platform/DeviceAccess.h"

using namespace keyglass;
using namespace keyglass::test;
using namespace std::chrono_literals;

namespace {
EditingTarget keyTarget(const std::string& id, int layer, int row, int col)
{
    return EditingTarget(EditingTarget::Key{id, layer, row, col});
}

int countRequests(const VirtualPad& pad, std::initializer_list<std::uint8_t> prefix)
{
    int count = 0;
    for (const auto& request : pad.requests())
        count += std::equal(prefix.begin(), prefix.end(), request.begin());
    return count;
}
} // namespace

TEST_F(StoreTest, StartsEmptyWithTheSmallSize)
{
    PadStore& s = makeStore();
    EXPECT_TRUE(s.devices().empty());
    EXPECT_FALSE(s.selectedDeviceID().has_value());
    EXPECT_EQ(s.preferredSize(), (PreferredSize{440, 320}));
    EXPECT_FALSE(s.autoDetectEnabled());
    EXPECT_TRUE(log.contains("Refreshed 0 device(s): []"));
}

TEST_F(StoreTest, RefreshListsPadsInIdentifierOrderAndLogsThem)
{
    addPad("solodial");
    addPad("quadgrid");
    PadStore& s = makeStore();
    ASSERT_EQ(s.devices().size(), 2u);
    EXPECT_EQ(s.devices()[0].id, QuadgridID);
    EXPECT_EQ(s.devices()[1].id, SolodialID);
    EXPECT_EQ(s.selectedDeviceID(), QuadgridID);
    EXPECT_FALSE(s.lastRefreshText().empty());
    const std::string expected = "Refreshed 2 device(s): [\"" + s.devices()[0].displayName() + " [VIA v12]\", \"" +
                                 s.devices()[1].displayName() + " [Vial v6]\"]";
    EXPECT_TRUE(log.contains(expected)) << expected;
}

TEST_F(StoreTest, SelectionMovesToTheFirstPadWhenTheSelectedOneLeavesAndStaysThere)
{
    addPad("quadgrid");
    auto solo = addPad("solodial");
    PadStore& s = makeStore();
    s.selectDevice(SolodialID);
    EXPECT_TRUE(s.editingTarget() == std::nullopt);

    hid.unplug(SolodialID);
    scheduler.advance(3500ms); // the periodic check sees the endpoint set change
    EXPECT_EQ(s.devices().size(), 1u);
    EXPECT_EQ(s.selectedDeviceID(), QuadgridID);

    hid.addPad(solo);
    scheduler.advance(3500ms);
    EXPECT_EQ(s.devices().size(), 2u);
    EXPECT_EQ(s.selectedDeviceID(), QuadgridID);
}

TEST_F(StoreTest, PeriodicCheckRefreshesOnlyWhenTheEndpointsChange)
{
    addPad("quadgrid");
    makeStore();
    EXPECT_EQ(refreshLogLines(), 1);
    scheduler.advance(3500ms * 3);
    EXPECT_EQ(refreshLogLines(), 1);
    addPad("solodial");
    scheduler.advance(3500ms);
    EXPECT_EQ(refreshLogLines(), 2);
    EXPECT_EQ(store->devices().size(), 2u);
}

TEST_F(StoreTest, StagedEditsSurviveARefreshAndTheLayerIsClamped)
{
    addPad("quadgrid");
    PadStore& s = makeStore();
    const Keycode original = device(QuadgridID).keycodeAt(0, 0, 0);
    s.assign(keyTarget(QuadgridID, 0, 0, 0), 0x0029);
    s.setActiveLayer(3, QuadgridID);
    ASSERT_TRUE(device(QuadgridID).dirty);

    s.refresh();
    scheduler.runUntilIdle();
    EXPECT_TRUE(device(QuadgridID).dirty);
    EXPECT_EQ(device(QuadgridID).keycodeAt(0, 0, 0), 0x0029);
    EXPECT_EQ(device(QuadgridID).activeLayer, 3);

    // The same pad comes back reporting two layers: the staged keymap stays, the layer is clamped.
    hid.unplug(QuadgridID);
    auto config = (*makeVirtualPad("quadgrid"))->config();
    config.layers = 2;
    config.keymap.resize(2);
    config.encoderMap.resize(2);
    hid.addPad(std::make_shared<VirtualPad>(config));
    s.refresh();
    scheduler.runUntilIdle();
    EXPECT_EQ(device(QuadgridID).activeLayer, 1);
    EXPECT_TRUE(device(QuadgridID).dirty);
    EXPECT_EQ(device(QuadgridID).keycodeAt(0, 0, 0), 0x0029);
    EXPECT_NE(original, 0x0029);
}

TEST_F(StoreTest, APadThatStopsAnsweringKeepsItsLastModel)
{
    auto pad = addPad("quadgrid");
    PadStore& s = makeStore();
    const DeviceModel before = device(QuadgridID);
    pad->dropAllAnswers(true);
    s.refresh();
    scheduler.runUntilIdle();
    ASSERT_EQ(s.devices().size(), 1u);
    EXPECT_EQ(device(QuadgridID).keymap, before.keymap);
    EXPECT_TRUE(device(QuadgridID).connected);
}

TEST_F(StoreTest, ANewerToastIsNeverCutShort)
{
    PadStore& s = makeStore();
    s.showToast("first", false);
    scheduler.advance(1000ms);
    s.showToast("second", true);
    scheduler.advance(2300ms); // the first toast's expiry passes
    EXPECT_EQ(s.toastMessage(), "second");
    EXPECT_TRUE(s.toastIsError());
    scheduler.advance(900ms);
    EXPECT_FALSE(s.toastMessage().has_value());
}

TEST_F(StoreTest, ObserversHearEveryChange)
{
    PadStore& s = makeStore();
    int calls = 0;
    const int token = s.addObserver([&] { ++calls; });
    s.showToast("x", false);
    s.setEditMode(true);
    EXPECT_EQ(calls, 2);
    s.removeObserver(token);
    s.setEditMode(false);
    EXPECT_EQ(calls, 2);
}

TEST_F(StoreTest, CallbacksReportStatusAndSize)
{
    addPad("quadgrid");
    PadStore& s = makeStore();
    int statusChanges = 0;
    std::vector<PreferredSize> sizes;
    s.onStatusChange = [&] { ++statusChanges; };
    s.onPreferredSizeChange = [&](PreferredSize size) { sizes.push_back(size); };
    s.refresh();
    scheduler.runUntilIdle();
    EXPECT_EQ(statusChanges, 1);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0], (PreferredSize{760, 635})); // 4 columns, 3 knobs
    s.setActiveLayer(2, QuadgridID);
    EXPECT_EQ(statusChanges, 2);
    s.setActiveLayer(1, "0000:0000");
    EXPECT_EQ(statusChanges, 2);
}

TEST(PreferredSize, FollowsKeysKnobsAndTheSwitcher)
{
    auto grid = [](int rows, int cols, int encoders) {
        DeviceModel model;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                model.keys.push_back(PhysicalKey{
                    "r" + std::to_string(r) + "c" + std::to_string(c), r, c, double(c), double(r), 1, 1, false});
        model.encoders.resize(static_cast<size_t>(encoders));
        return model;
    };
    const auto pad4x4 = grid(4, 4, 0);
    EXPECT_EQ(preferredSizeFor(&pad4x4, false), (PreferredSize{620, 635}));
    EXPECT_EQ(preferredSizeFor(&pad4x4, true), (PreferredSize{620, 669}));
    const auto board = grid(4, 12, 0);
    EXPECT_EQ(preferredSizeFor(&board, false), (PreferredSize{840, 635}));
    const auto wide = grid(1, 20, 0);
    EXPECT_EQ(preferredSizeFor(&wide, false), (PreferredSize{840, 635}));
    const auto knob = grid(1, 1, 1);
    EXPECT_EQ(preferredSizeFor(&knob, false), (PreferredSize{460, 630}));
    EXPECT_EQ(preferredSizeFor(&knob, true), (PreferredSize{460, 664}));
    const auto quad = grid(4, 4, 3);
    EXPECT_EQ(preferredSizeFor(&quad, false), (PreferredSize{760, 635}));
    auto decalsOnly = grid(2, 2, 1);
    for (auto& key : decalsOnly.keys)
        key.decal = true;
    EXPECT_EQ(preferredSizeFor(&decalsOnly, false), (PreferredSize{460, 630}));
    EXPECT_EQ(preferredSizeFor(nullptr, true), (PreferredSize{440, 320}));
}

TEST_F(StoreTest, HardwareReservedKeysCannotBeChosenOnAnyLayer)
{
    addPad("quadgrid");
    PadStore& s = makeStore();
    ASSERT_FALSE(device(QuadgridID).protectedCells.empty());
    const std::string cell = *device(QuadgridID).protectedCells.begin();
    const int row = std::stoi(cell.substr(0, cell.find(',')));
    const int col = std::stoi(cell.substr(cell.find(',') + 1));
    for (int layer = 0; layer < 4; ++layer) {
        s.chooseKey(QuadgridID, layer, row, col);
        EXPECT_FALSE(s.editingTarget().has_value());
        EXPECT_EQ(s.toastMessage(),
                  "Hardware-reserved slot (r" + std::to_string(row) + ",c" + std::to_string(col) +
                      ") cannot be remapped.");
        EXPECT_TRUE(s.toastIsError());
    }
    s.chooseKey(QuadgridID, 0, 0, 0);
    EXPECT_EQ(s.editingTarget(), keyTarget(QuadgridID, 0, 0, 0));
}

TEST_F(StoreTest, FirmwareCustomKeysAskBeforeUnlocking)
{
    auto pad = addPad("quadgrid");
    pad->setKeycode(1, 0, 2, 0x7E01);
    PadStore& s = makeStore();
    ASSERT_TRUE(device(QuadgridID).protectedLayerCells.contains("1,0,2"));

    desktop.alertAnswers = {0};
    s.chooseKey(QuadgridID, 1, 0, 2);
    ASSERT_EQ(desktop.alertsShown.size(), 1u);
    const AlertRequest& alert = desktop.alertsShown[0];
    EXPECT_EQ(alert.style, AlertStyle::warning);
    EXPECT_EQ(alert.message, "Unlock Firmware-Custom Key?");
    EXPECT_EQ(alert.informativeText,
              "Layer 1 (r0,c2) currently holds BT 2 (0x7E01), a QMK QK_KB/QK_USER firmware keycode commonly used for "
              "Bluetooth pairing or hardware modes.\n\nUnlock this slot for editing?");
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Keep Locked", "Unlock & Edit"}));
    EXPECT_FALSE(s.editingTarget().has_value());
    EXPECT_TRUE(device(QuadgridID).protectedLayerCells.contains("1,0,2"));

    desktop.alertAnswers = {1};
    s.chooseKey(QuadgridID, 1, 0, 2);
    EXPECT_EQ(s.editingTarget(), keyTarget(QuadgridID, 1, 0, 2));
    EXPECT_FALSE(device(QuadgridID).protectedLayerCells.contains("1,0,2"));

    // The unlock is a staged edit: it survives a refresh while the model is dirty.
    s.assign(*s.editingTarget(), 0x0004);
    s.refresh();
    scheduler.runUntilIdle();
    EXPECT_FALSE(device(QuadgridID).protectedLayerCells.contains("1,0,2"));
    EXPECT_EQ(device(QuadgridID).keycodeAt(1, 0, 2), 0x0004);
}

TEST_F(StoreTest, AssignStagesKeysKnobsAndTapDancesWithinRange)
{
    addPad("solodial");
    PadStore& s = makeStore();
    const DeviceModel& solo = device(SolodialID);
    ASSERT_FALSE(solo.tapDances.empty());

    s.assign(EditingTarget(EditingTarget::Encoder{SolodialID, 0, 0, true}), 0x00AB);
    EXPECT_EQ(device(SolodialID).encoderKeycodeAt(0, 0, true), 0x00AB);
    s.assign(EditingTarget(EditingTarget::TapDance{SolodialID, 0, 2}), 0x0005);
    EXPECT_EQ(device(SolodialID).tapDances[0].onDoubleTap, 0x0005);
    EXPECT_EQ(s.currentKeycode(EditingTarget(EditingTarget::TapDance{SolodialID, 0, 2})), 0x0005);
    EXPECT_TRUE(device(SolodialID).dirty);

    const DeviceModel before = device(SolodialID);
    s.assign(keyTarget(SolodialID, 9, 0, 0), 0x0004);
    s.assign(keyTarget(SolodialID, 0, 5, 0), 0x0004);
    s.assign(EditingTarget(EditingTarget::Encoder{SolodialID, 0, 7, true}), 0x0004);
    s.assign(EditingTarget(EditingTarget::TapDance{SolodialID, 99, 0}), 0x0004);
    s.assign(EditingTarget(EditingTarget::TapDance{SolodialID, 0, 4}), 0x0004);
    EXPECT_EQ(device(SolodialID), before);
}

TEST_F(StoreTest, AKnobEntryWithASingleKeycodeIsNotEdited)
{
    addPad("solodial");
    PadStore& s = makeStore();
    s.revert(SolodialID); // clean model
    scheduler.runUntilIdle();
    DeviceModel* model = const_cast<DeviceModel*>(s.device(SolodialID));
    model->encoderMap[0][0] = {0x00AA};
    s.assign(EditingTarget(EditingTarget::Encoder{SolodialID, 0, 0, false}), 0x0004);
    EXPECT_FALSE(device(SolodialID).dirty);
    EXPECT_EQ(device(SolodialID).encoderMap[0][0], std::vector<Keycode>{0x00AA});
}

TEST_F(StoreTest, CustomLabelsFollowTheirKeycode)
{
    addPad("quadgrid");
    PadStore& s = makeStore();
    const auto target = keyTarget(QuadgridID, 0, 1, 1);
    s.assign(target, 0x00A8, std::string("  Mute  "));
    const auto& overlay = device(QuadgridID).presetOverlay;
    ASSERT_TRUE(overlay.has_value());
    EXPECT_EQ(overlay->presetName, "Custom");
    EXPECT_EQ(overlay->os, "macos");
    EXPECT_EQ(overlay->keyLabels.at("0,1,1"), (PresetSlotLabel{0x00A8, "Mute"}));
    EXPECT_EQ(s.keyAction(device(QuadgridID), 0, 1, 1).title, "Mute");

    s.assign(target, 0x00A9); // no label given: the old caption no longer matches the keycode
    EXPECT_EQ(s.keyAction(device(QuadgridID), 0, 1, 1).title, "Vol Up");
    s.assign(target, 0x00A8);
    EXPECT_EQ(s.keyAction(device(QuadgridID), 0, 1, 1).title, "Mute");
    s.assign(target, 0x00A8, std::string(" "));
    EXPECT_FALSE(device(QuadgridID).presetOverlay->keyLabels.contains("0,1,1"));
}

TEST_F(StoreTest, TypedExpressionsPassTheSafetyRules)
{
    auto pad = addPad("quadgrid");
    PadStore& s = makeStore();
    const auto target = keyTarget(QuadgridID, 0, 0, 0);
    EXPECT_EQ(s.assignExpression(target, " QK_BOOT "), "Blocked bootloader/reset token \"QK_BOOT\"");
    EXPECT_EQ(s.assignExpression(target, "0x7C00"), "Blocked bootloader/reset keycode 0x7C00 (\"0x7C00\")");
    EXPECT_EQ(s.assignExpression(target, "LCTL("), "Unrecognized QMK expression \"LCTL(\"");
    EXPECT_FALSE(device(QuadgridID).dirty);
    EXPECT_EQ(s.assignExpression(target, "LCTL(KC_K)"), std::nullopt);
    EXPECT_EQ(device(QuadgridID).keycodeAt(0, 0, 0), 0x010E);
    EXPECT_TRUE(device(QuadgridID).dirty);
}

TEST_F(StoreTest, ApplyWritesTheStagedModelAndReportsTheCount)
{
    auto pad = addPad("quadgrid");
    PadStore& s = makeStore();
    s.assign(keyTarget(QuadgridID, 2, 3, 1), 0x0A12);
    s.apply(QuadgridID);
    EXPECT_EQ(s.isApplyingDeviceID(), QuadgridID);
    scheduler.runUntilIdle();
    EXPECT_FALSE(s.isApplyingDeviceID().has_value());
    EXPECT_EQ(pad->keycode(2, 3, 1), 0x0A12);
    EXPECT_FALSE(device(QuadgridID).dirty);
    ASSERT_TRUE(s.toastMessage().has_value());
    EXPECT_FALSE(s.toastIsError());
    // 4 layers x (16 keys + 2 knob switches) + 4 layers x 3 knobs x 2 directions.
    EXPECT_EQ(*s.toastMessage(), "Applied 96 mappings to " + device(QuadgridID).displayName());
    EXPECT_EQ(device(QuadgridID).keycodeAt(2, 3, 1), 0x0A12); // refreshed from the pad
}

TEST_F(StoreTest, AFailedApplyKeepsTheEditsAndStopsAtTheFailure)
{
    auto pad = addPad("quadgrid");
    PadStore& s = makeStore();
    s.assign(keyTarget(QuadgridID, 0, 0, 0), 0x0029);
    pad->clearRequests();
    pad->wrongEchoAllAnswers(true);
    s.apply(QuadgridID);
    scheduler.runUntilIdle();
    EXPECT_EQ(s.toastMessage(), "Failed writing L0 (0,0)");
    EXPECT_TRUE(s.toastIsError());
    EXPECT_TRUE(device(QuadgridID).dirty);
    EXPECT_EQ(countRequests(*pad, {0x05}), 1);
    EXPECT_EQ(countRequests(*pad, {0x15}), 0);
}

TEST_F(StoreTest, AnUnopenablePadReportsTheOpenFailure)
{
    auto pad = addPad("quadgrid");
    PadStore& s = makeStore();
    s.assign(keyTarget(QuadgridID, 0, 0, 0), 0x0029);
    pad->setRefuseOpen(true);
    s.apply(QuadgridID);
    scheduler.runUntilIdle();
    EXPECT_EQ(s.toastMessage(),
              "Could not open " + device(QuadgridID).displayName() + " over RawHID (close Vial.app if open).");
    EXPECT_TRUE(device(QuadgridID).dirty);
}

TEST_F(StoreTest, RevertReadsThePadAgainEvenWhenItIsGone)
{
    auto pad = addPad("quadgrid");
    PadStore& s = makeStore();
    const Keycode original = pad->keycode(0, 0, 0);
    s.assign(keyTarget(QuadgridID, 0, 0, 0), 0x0029);
    s.revert(QuadgridID);
    scheduler.runUntilIdle();
    EXPECT_EQ(device(QuadgridID).keycodeAt(0, 0, 0), original);
    EXPECT_FALSE(device(QuadgridID).dirty);
    EXPECT_EQ(s.toastMessage(), "Reverted unsaved edits from hardware");

    hid.unplug(QuadgridID);
    s.revert(QuadgridID);
    scheduler.runUntilIdle();
    EXPECT_TRUE(s.devices().empty());
    EXPECT_EQ(s.toastMessage(), "Reverted unsaved edits from hardware");
}

TEST_F(StoreTest, LightingWritesAreDebouncedAndSavedOnce)
{
    auto pad = addPad("quadgrid");
    PadStore& s = makeStore();
    ASSERT_EQ(device(QuadgridID).rgb.kind, RGBProtocolKind::viaCustomCh1);
    pad->clearRequests();
    for (int i = 0; i < 10; ++i) {
        s.setLighting(QuadgridID, static_cast<std::uint8_t>(100 + i), std::nullopt, std::nullopt, std::nullopt);
        scheduler.advance(30ms);
    }
    EXPECT_EQ(countRequests(*pad, {0x07, 0x01, 0x02}), 0);
    scheduler.advance(10ms); // 40 ms after the last change
    EXPECT_EQ(countRequests(*pad, {0x07, 0x01, 0x02}), 1);
    EXPECT_EQ(countRequests(*pad, {0x09, 0x01}), 0);
    scheduler.advance(459ms);
    EXPECT_EQ(countRequests(*pad, {0x09, 0x01}), 0);
    scheduler.advance(1ms);                                // 500 ms after the last change
    EXPECT_EQ(countRequests(*pad, {0x07, 0x01, 0x02}), 2); // the save rewrites the values first
    EXPECT_EQ(countRequests(*pad, {0x09, 0x01}), 1);
    EXPECT_EQ(pad->lighting().brightness, 109);
    EXPECT_TRUE(pad->lightingPersisted());
}

TEST_F(StoreTest, ToggleRemembersTheLastEffect)
{
    addPad("solodial");
    PadStore& s = makeStore();
    s.setLighting(SolodialID, 120, 9, std::nullopt, std::nullopt);
    s.toggleLighting(SolodialID);
    EXPECT_EQ(device(SolodialID).rgb.effect, 0);
    EXPECT_EQ(device(SolodialID).rgb.brightness, 120);
    s.toggleLighting(SolodialID);
    EXPECT_EQ(device(SolodialID).rgb.effect, 9);
    EXPECT_EQ(device(SolodialID).rgb.brightness, 120);

    s.setLighting(SolodialID, 0, 0, std::nullopt, std::nullopt);
    const_cast<DeviceModel*>(s.device(SolodialID))->rgb.lastOnEffect = 1;
    s.toggleLighting(SolodialID);
    EXPECT_EQ(device(SolodialID).rgb.effect, 1);
    EXPECT_EQ(device(SolodialID).rgb.brightness, 180);
    s.toggleLighting("0000:0000");
}

TEST_F(StoreTest, PickingAColourWhileOffSwitchesThePadOnWithThatColour)
{
    auto pad = addPad("solodial");
    PadStore& s = makeStore();
    s.setLighting(SolodialID, 0, 0, std::nullopt, std::nullopt);
    scheduler.advance(600ms);
    ASSERT_FALSE(pad->lighting().enabled);

    s.chooseLightingColor(SolodialID, 85, 200);
    EXPECT_EQ(device(SolodialID).rgb.effect, 1);
    EXPECT_EQ(device(SolodialID).rgb.brightness, 180);
    scheduler.advance(600ms);
    // rgblight drops a mode or colour sent while it is off: the pad must still end up as shown.
    const auto light = pad->lighting();
    EXPECT_TRUE(light.enabled);
    EXPECT_EQ(light.mode, 1);
    EXPECT_EQ(light.brightness, 180);
    EXPECT_EQ(light.hue, 85);
    EXPECT_EQ(light.sat, 200);
    EXPECT_TRUE(pad->lightingPersisted());

    s.setLighting(SolodialID, 50, 9, std::nullopt, std::nullopt);
    s.chooseLightingColor(SolodialID, 10, 20);
    EXPECT_EQ(device(SolodialID).rgb.effect, 9); // an effect above 1 stays
    EXPECT_EQ(device(SolodialID).rgb.brightness, 50);
}

TEST_F(StoreTest, SpeedReachesLightingThatHasOneAndLeavesTheOthersAlone)
{
    auto config = quadgridConfig();
    config.viaVersion = 12;
    config.lighting = LightingDialect::channel;
    config.lightingFeature = LightingFeature::rgbMatrix;
    config.keyboardLightingChannel = -1;
    auto matrix = std::make_shared<VirtualPad>(config);
    hid.addPad(matrix);
    auto custom = addPad("solodial");
    PadStore& s = makeStore();
    ASSERT_EQ(device(QuadgridID).rgb.kind, RGBProtocolKind::viaRgbMatrix);

    s.setLightingSpeed(QuadgridID, 200);
    EXPECT_EQ(device(QuadgridID).rgb.speed, 200);
    scheduler.advance(600ms);
    EXPECT_EQ(matrix->lighting().speed, 200);
    EXPECT_TRUE(matrix->lightingPersisted());

    const auto before = device(SolodialID).rgb;
    s.setLightingSpeed(SolodialID, 9);
    scheduler.advance(600ms);
    EXPECT_EQ(device(SolodialID).rgb, before);
    EXPECT_EQ(custom->lighting().speed, before.speed);
}

TEST_F(StoreTest, ThePresetChoiceIsPersistedAcrossStores)
{
    addPad("quadgrid");
    PadStore& s = makeStore();
    const DevicePreset* preset = nullptr;
    for (const auto& candidate : s.availablePresets())
        if (candidate.deviceProfile == "quadgrid" && !preset)
            preset = &candidate;
    ASSERT_NE(preset, nullptr) << "no built-in quadgrid preset";
    const std::string presetID = preset->id;
    s.applyPreset(*preset, QuadgridID, false);
    EXPECT_TRUE(device(QuadgridID).dirty);
    EXPECT_EQ(device(QuadgridID).presetOverlay->presetID, presetID);
    EXPECT_EQ(s.toastMessage(), "Auto-backed up & loaded " + preset->name + " — click Apply to flash");
    const auto saved = settings.value(PadStore::ActivePresetSettingsKey);
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ((*saved)[QuadgridID], presetID);

    store.reset();
    PadStore& again = makeStore();
    EXPECT_EQ(again.activePresetIDByDevice().at(QuadgridID), presetID);
    ASSERT_TRUE(device(QuadgridID).presetOverlay.has_value());
    EXPECT_EQ(device(QuadgridID).presetOverlay->presetID, presetID);
}

TEST_F(StoreTest, SettingsWithWrongTypesAreDropped)
{
    settings.setValue(PadStore::ActivePresetSettingsKey, nlohmann::json{{"A", "p1"}, {"B", 3}, {"C", nullptr}});
    PadStore& s = makeStore();
    EXPECT_EQ(s.activePresetIDByDevice(), (std::map<std::string, std::string>{{"A", "p1"}}));
}

TEST_F(StoreTest, ReleasedPadsAreLeftAloneUntilTakenBack)
{
    auto pad = addPad("quadgrid");
    PadStore& s = makeStore();
    ASSERT_NE(s.device(QuadgridID), nullptr);

    // A lighting change still waiting for its save is sent before the pads are let go.
    s.setLighting(QuadgridID, 77, std::nullopt, std::nullopt, std::nullopt);
    pad->clearRequests();
    s.setPadsReleased(true);
    scheduler.runUntilIdle();
    EXPECT_EQ(countRequests(*pad, {0x09, 0x01}), 1);
    EXPECT_TRUE(pad->lightingPersisted());
    EXPECT_EQ(s.lastRefreshText(), PadStore::PadsReleasedText);

    pad->clearRequests();
    s.setLighting(QuadgridID, 10, std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(s.toastMessage(), std::string(PadStore::PadsReleasedToast));
    EXPECT_TRUE(s.toastIsError());
    EXPECT_EQ(device(QuadgridID).rgb.brightness, 77);
    s.assign(keyTarget(QuadgridID, 0, 0, 0), 0x0029);
    s.apply(QuadgridID);
    s.revert(QuadgridID);
    s.refresh();
    s.periodicCheck();
    scheduler.advance(std::chrono::seconds(10));
    EXPECT_TRUE(pad->requests().empty());
    EXPECT_FALSE(s.isApplyingDeviceID().has_value());
    EXPECT_TRUE(device(QuadgridID).dirty) << "staged edits stay staged while the pads are away";

    s.setPadsReleased(false);
    scheduler.runUntilIdle();
    EXPECT_FALSE(pad->requests().empty());
    EXPECT_NE(s.lastRefreshText(), PadStore::PadsReleasedText);
    s.apply(QuadgridID);
    scheduler.runUntilIdle();
    EXPECT_EQ(pad->keycode(0, 0, 0), 0x0029);
}

TEST_F(StoreTest, AStoreStartedReleasedReadsNothing)
{
    auto pad = addPad("quadgrid");
    store = std::make_unique<PadStore>(PadStoreServices{scheduler, hid, input, settings, desktop, true});
    scheduler.runUntilIdle();
    EXPECT_TRUE(store->devices().empty());
    EXPECT_TRUE(pad->requests().empty());
    store->setPadsReleased(false);
    scheduler.runUntilIdle();
    EXPECT_NE(store->device(QuadgridID), nullptr);
}

TEST_F(StoreTest, APadClosedToTheUserIsNamedAndTheAccessFixRunsOnlyWhenAgreed)
{
    auto pad = addPad("quadgrid");
    pad->setRefuseOpen(true);
    PadStore& s = makeStore();
    EXPECT_TRUE(s.devices().empty());
    ASSERT_EQ(s.inaccessiblePads().size(), 1u);
    EXPECT_EQ(s.inaccessiblePads().front().id, QuadgridID);

    desktop.alertAnswers = {0}; // Cancel
    s.fixDeviceAccess();
    ASSERT_EQ(desktop.alertsShown.size(), 1u);
    const auto& asked = desktop.alertsShown.front();
    EXPECT_EQ(asked.buttons, (std::vector<std::string>{"Cancel", "Install Rule"}));
    EXPECT_NE(asked.informativeText.find(InstalledAccessRule), std::string::npos) << "the commands are shown";
    EXPECT_TRUE(desktop.administratorRuns.empty());

    desktop.alertAnswers = {1};
    desktop.administratorFailure = Error("Not authorised");
    s.fixDeviceAccess();
    EXPECT_EQ(s.toastMessage(), "Could not install the access rule: Not authorised");
    EXPECT_TRUE(s.toastIsError());

    desktop.alertAnswers = {1};
    desktop.administratorFailure.reset();
    pad->setRefuseOpen(false); // as if the rule had taken effect
    s.fixDeviceAccess();
    ASSERT_EQ(desktop.administratorRuns.size(), 2u);
    EXPECT_EQ(desktop.administratorRuns.back().front(), "pkexec");
    EXPECT_FALSE(s.toastIsError());
    scheduler.runUntilIdle();
    EXPECT_TRUE(s.inaccessiblePads().empty());
    EXPECT_NE(s.device(QuadgridID), nullptr);
}
