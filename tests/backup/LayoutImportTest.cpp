#include "backup/LayoutImport.h"
#include "backup/AutomaticBackups.h"
#include "backup/DeviceBackupFile.h"
#include "backup/PresetApplication.h"

#include "platform/Paths.h"
#include "presets/PresetStaging.h"
#include "support/TempHome.h"
#include "support/TestPads.h"

#include <gtest/gtest.h>

using namespace keyglass;
using keyglass::test::TempHome;
namespace fs = std::filesystem;

namespace {

fs::path fixture(const char* name)
{
    return fs::path(KG_TEST_DATA_DIR) / "backup" / name;
}

} // namespace

TEST(LayoutImport, VialLayoutKeepsWhatItCannotUse)
{
    auto device = keyglass::test::gridModel(2, 2, 2, 1, 2);
    device.proto = DeviceProtocol::vial(9, 6, 1);
    const auto result = loadLayoutFile(fixture("two-by-two.vil"), device);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result->kind, ImportResult::Kind::vial);
    EXPECT_EQ(device.keymap[0], (std::vector<std::vector<Keycode>>{{0x05, 0x412C}, {0x06, 0x010E}}))
        << "Vial's LT(1,KC_SPC) is understood; -1 means no key and keeps the slot's keycode";
    EXPECT_EQ(device.keymap[1], (std::vector<std::vector<Keycode>>{{0x08, 0x09}, {0x0A, 0x09}}))
        << "QK_BOOT, a firmware-custom code and 70000 are never staged";
    EXPECT_EQ(device.encoderMap[0][0], (std::vector<Keycode>{0x00AC, 0x00AB}));
    EXPECT_EQ(device.encoderMap[1][0], (std::vector<Keycode>{0x00E1, 0x00A9}));
    EXPECT_EQ(device.tapDances[0], (TapDanceData{0x04, 0x5221, 0x0000, 0x0001, 250}));
    EXPECT_EQ(device.tapDances[1], (TapDanceData{0x06, 0x5700, 0x52A2, 0x07, 175}))
        << "a tapping term of 70000 is not a tapping term";
    EXPECT_TRUE(device.dirty);
    EXPECT_EQ(result->leftUnchanged, 3);
    EXPECT_EQ(
        result->toast,
        "Loaded Vial layout two-by-two.vil — click Apply to flash (3 keys left unchanged: not understood or blocked)");
}

TEST(LayoutImport, VialTextsUseTheDeviceLegacyFlag)
{
    const std::string vil = R"({"layout": [[["KC_WH_U"]]]})";
    auto current = keyglass::test::gridModel(1, 1, 1);
    ASSERT_TRUE(loadLayoutText(vil, "a.vil", current));
    EXPECT_EQ(current.keymap[0][0][0], 0x00D9);
    auto legacy = keyglass::test::gridModel(1, 1, 1);
    legacy.proto = DeviceProtocol::vial(9, 5, 1);
    const auto result = loadLayoutText(vil, "a.vil", legacy);
    ASSERT_TRUE(result);
    EXPECT_EQ(legacy.keymap[0][0][0], 0x00F9);
    EXPECT_EQ(result->toast, "Loaded Vial layout a.vil — click Apply to flash");
}

TEST(LayoutImport, ViaSnapshotFillsWhatBothHave)
{
    auto device = keyglass::test::gridModel(2, 2, 2, 1);
    const auto result = loadLayoutFile(fixture("via-snapshot.json"), device);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result->kind, ImportResult::Kind::viaSnapshot);
    EXPECT_EQ(device.keymap[0], (std::vector<std::vector<Keycode>>{{29, 27}, {28, 2828}}));
    EXPECT_EQ(device.keymap[1], (std::vector<std::vector<Keycode>>{{1, 0}, {0x0A, 0x0B}}));
    EXPECT_EQ(device.keymap.size(), 2u) << "the third layer of the file is ignored";
    EXPECT_EQ(device.encoderMap[0][0], (std::vector<Keycode>{0x00AE, 0x00AB}));
    EXPECT_EQ(device.encoderMap[1][0], (std::vector<Keycode>{0x00AA, 0x00A9})) << "a single-value entry is skipped";
    EXPECT_EQ(result->toast,
              "Loaded via-snapshot.json — click Apply to flash (2 keys left unchanged: not understood or blocked)");
}

TEST(LayoutImport, OwnBackupBringsTapDancesAndLighting)
{
    auto device = keyglass::test::gridModel(2, 2, 2, 1, 1);
    device.rgb.kind = RGBProtocolKind::qmkRgblight;
    const auto result = loadLayoutFile(fixture("own-backup.json"), device);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result->kind, ImportResult::Kind::backup);
    EXPECT_EQ(result->leftUnchanged, 0);
    EXPECT_EQ(result->toast, "Loaded own-backup.json — click Apply to flash");
    EXPECT_EQ(device.keymap[1], (std::vector<std::vector<Keycode>>{{1, 1}, {23, 28}}));
    EXPECT_EQ(device.encoderMap[0][0], (std::vector<Keycode>{172, 171}));
    EXPECT_EQ(device.tapDances[0], (TapDanceData{4, 5, 6, 7, 180}));
    EXPECT_EQ(device.rgb, (RGBState{RGBProtocolKind::qmkRgblight, 90, 3, 3, 1, 10, 200}));

    auto otherLight = keyglass::test::gridModel(2, 2, 2, 1, 1);
    otherLight.rgb.kind = RGBProtocolKind::viaCustomCh1;
    ASSERT_TRUE(loadLayoutFile(fixture("own-backup.json"), otherLight));
    EXPECT_EQ(otherLight.rgb, (RGBState{RGBProtocolKind::viaCustomCh1})) << "lighting of another kind is not staged";
}

TEST(LayoutImport, LargerBackupFillsOnlyTheLayersThePadHas)
{
    auto big = keyglass::test::gridModel(4, 2, 2);
    for (auto& layer : big.keymap)
        for (auto& row : layer)
            for (auto& cell : row)
                cell = 0x2C;
    const std::string text = encodeBackup(backupFromDevice(big));
    auto small = keyglass::test::gridModel(2, 1, 3);
    const auto before = small;
    ASSERT_TRUE(loadLayoutText(text, "big.json", small));
    EXPECT_EQ(small.keymap[0][0], (std::vector<Keycode>{0x2C, 0x2C, before.keymap[0][0][2]}));
    EXPECT_EQ(small.keymap[1][0], (std::vector<Keycode>{0x2C, 0x2C, before.keymap[1][0][2]}));
}

TEST(LayoutImport, ProtectedCellsAndBlockedCodesAreKept)
{
    auto device = keyglass::test::quadgridModel();
    device.protectedLayerCells = {"0,0,0"};
    auto source = keyglass::test::quadgridModel();
    source.keymap[0][0][0] = 0x2C;              // on a locked cell
    source.keymap[0][4][2] = 0x2C;              // on a hardware layer key
    source.keymap[1][0][0] = 0x7E00;            // a Bluetooth key
    source.encoderMap[0][0] = {0x5C00, 0x00A9}; // bootloader
    const std::string text = encodeBackup(backupFromDevice(source));
    const auto result = loadLayoutText(text, "b.json", device);
    ASSERT_TRUE(result);
    EXPECT_EQ(device.keymap, keyglass::test::quadgridModel().keymap);
    EXPECT_EQ(device.encoderMap[0][0], (std::vector<Keycode>{0x00AA, 0x00A9}));
    EXPECT_EQ(result->leftUnchanged, 4);

    // A blocked code the pad already holds is not a change and is not counted.
    auto holding = keyglass::test::quadgridModel();
    holding.keymap[1][0][0] = 0x7E00;
    const auto same = loadLayoutText(encodeBackup(backupFromDevice(holding)), "same.json", holding);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->leftUnchanged, 0);
}

TEST(LayoutImport, FailuresLeaveTheModelAlone)
{
    TempHome home;
    const auto original = keyglass::test::gridModel(2, 2, 2, 1, 1);
    struct Case
    {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {R"({"name": "no keymap here"})", "Unsupported layout file format"},
        {R"([1, 2, 3])", "Unsupported layout file format"},
        {"{ broken", "Failed to load file: the file is not valid JSON"},
        {"", "Failed to load file: the file is not valid JSON"},
        {R"({"keymap": 5})", "Failed to load file: \"keymap\" is not a list of layers"},
        {R"({"layout": {"0": []}})", "Failed to load file: \"layout\" is not a list of layers"},
    };
    for (const auto& c : cases) {
        auto device = original;
        const auto result = loadLayoutText(c.text, "x.json", device);
        ASSERT_FALSE(result) << c.text;
        EXPECT_EQ(result.error().message, c.message);
        EXPECT_EQ(device, original);
    }

    auto device = original;
    const auto missing = loadLayoutFile(home.path() / "nope.json", device);
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().message.starts_with("Failed to load file: nope.json")) << missing.error().message;
    EXPECT_FALSE(loadLayoutFile(home.path(), device)) << "a folder is not a layout file";

    const fs::path huge = home.path() / "huge.json";
    keyglass::test::writeText(huge, std::string(MaxLayoutFileBytes + 1, ' '));
    EXPECT_TRUE(loadLayoutFile(huge, device).error().message.starts_with("Failed to load file: "));
    EXPECT_EQ(device, original);
}

TEST(LayoutImport, OddShapesAreSkippedNotFatal)
{
    auto device = keyglass::test::gridModel(2, 2, 2, 1, 1);
    const auto result = loadLayoutText(
        R"({"layout": [5, [null, ["KC_A", {"x": 1}, "KC_B"]]], "encoder_layout": "no", "tap_dance": [[], "x", ["KC_Z"]]})",
        "odd.vil",
        device);
    ASSERT_TRUE(result);
    EXPECT_EQ(device.keymap[1][1][0], 0x04);
    EXPECT_EQ(device.keymap[1][1][1], 0x0B) << "an object is not a keycode";
    EXPECT_EQ(result->leftUnchanged, 1);
    EXPECT_TRUE(device.dirty);
}

TEST(RestoreLatest, LoadsTheNewestAutomaticBackup)
{
    TempHome home;
    auto device = keyglass::test::gridModel(1, 1, 2);
    const auto none = restoreLatestAutomaticBackup(device);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().message, "No auto-backup found yet for Acme Test Pad");

    device.keymap[0][0][0] = 0x1E;
    ASSERT_TRUE(writeAutomaticBackup(device, "first"));
    device.keymap[0][0][0] = 0x1F;
    ASSERT_TRUE(writeAutomaticBackup(device, "second"));
    device.keymap[0][0][0] = 0x20;
    const auto result = restoreLatestAutomaticBackup(device);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(device.keymap[0][0][0], 0x1F);
    EXPECT_EQ(result->kind, ImportResult::Kind::backup);
    EXPECT_TRUE(result->toast.starts_with("Loaded acme-test-pad-before-second-"));
}

TEST(ApplyPreset, RefusesUnsafePresetsBeforeAnyBackup)
{
    TempHome home;
    auto device = keyglass::test::quadgridModel();
    const auto original = device;
    DevicePreset preset;
    preset.id = "bad";
    preset.name = "Bad";
    PresetLayer layer;
    layer.keys = {std::vector<std::string>{"KC_A", "QK_BOOT"}};
    preset.layers = {layer};
    const auto result = applyPresetToDevice(preset, device);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message, "Blocked unsafe preset: L0 (0,1): Blocked bootloader/reset token \"QK_BOOT\"");
    EXPECT_EQ(device, original);
    EXPECT_FALSE(device.dirty);
    EXPECT_FALSE(fs::exists(paths::autoBackupDir()));
}

TEST(ApplyPreset, BacksUpThenStages)
{
    TempHome home;
    auto device = keyglass::test::quadgridModel();
    const auto original = device;
    DevicePreset preset;
    preset.id = "quadgrid-test";
    preset.name = "Test Layout";
    PresetLayer layer;
    layer.keys = {std::vector<std::string>{"KC_Z"}};
    preset.layers = {layer};

    const auto backup = applyPresetToDevice(preset, device);
    ASSERT_TRUE(backup) << backup.error().message;
    EXPECT_TRUE(backup->filename().string().starts_with("keyglass-quadgrid-before-quadgrid-test-"));
    const auto saved = decodeBackup(keyglass::test::readText(*backup));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->keymap, original.keymap) << "the backup holds the layout from before the preset";
    EXPECT_EQ(device.keymap[0][0][0], 0x1D);
    EXPECT_TRUE(device.dirty);
    EXPECT_EQ(device.presetOverlay->presetID, "quadgrid-test");

    EXPECT_EQ(presetLoadedToast(preset, false), "Auto-backed up & loaded Test Layout — click Apply to flash");
    EXPECT_EQ(presetLoadedToast(preset, true),
              "Auto-backed up & loaded Test Layout — click Apply to flash (Edit Mode on)");
}

TEST(ApplyPreset, BackupFailureLeavesTheDeviceAlone)
{
    TempHome home;
    fs::create_directories(paths::autoBackupDir().parent_path());
    keyglass::test::writeText(paths::autoBackupDir(), "in the way");
    auto device = keyglass::test::quadgridModel();
    const auto original = device;
    DevicePreset preset;
    preset.id = "p";
    PresetLayer layer;
    layer.keys = {std::vector<std::string>{"KC_Z"}};
    preset.layers = {layer};
    const auto result = applyPresetToDevice(preset, device);
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().message.starts_with("Auto-backup failed — preset not applied: "))
        << result.error().message;
    EXPECT_EQ(device, original);
}
