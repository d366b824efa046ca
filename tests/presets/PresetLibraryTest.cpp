#include "presets/PresetLibrary.h"

#include "keycodes/KeycodeSafety.h"
#include "platform/Paths.h"
#include "presets/PresetSafety.h"
#include "presets/PresetStaging.h"
#include "support/TempHome.h"
#include "support/TestPads.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

using namespace keyglass;
using keyglass::test::TempHome;
namespace fs = std::filesystem;

namespace {

DevicePreset samplePreset(std::string id = "custom-sample")
{
    DevicePreset preset;
    preset.id = std::move(id);
    preset.name = "Sample";
    preset.appId = "photoshop";
    preset.appName = "Photoshop";
    preset.category = "Photo";
    preset.os = "macos";
    preset.deviceProfile = "quadgrid";
    preset.description = "A sample";
    PresetLayer layer;
    layer.index = 0;
    layer.name = "Tools";
    layer.keys = {std::vector<std::string>{"KC_B", "LGUI(KC_Z)"}};
    layer.keyLabels = std::vector<std::vector<std::string>>{std::vector<std::string>{"Brush", ""}};
    preset.layers = {layer};
    PresetTapDance td;
    td.onTap = "KC_A";
    td.labels = std::vector<std::string>{"Tap A"};
    preset.tapDances = std::vector<PresetTapDance>(1, td);
    return preset;
}

const DevicePreset* findId(const std::vector<DevicePreset>& presets, const std::string& id)
{
    const auto it = std::find_if(presets.begin(), presets.end(), [&](const DevicePreset& p) { return p.id == id; });
    return it == presets.end() ? nullptr : &*it;
}

} // namespace

struct SlugCase
{
    const char* text;
    const char* expected;
};

class SlugTest : public ::testing::TestWithParam<SlugCase>
{
};

TEST_P(SlugTest, LowerCasesAndHyphenatesEverythingElse)
{
    EXPECT_EQ(slug(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         SlugTest,
                         ::testing::Values(SlugCase{"My Photoshop Set!", "my-photoshop-set"},
                                           SlugCase{"!!!", "preset"},
                                           SlugCase{"", "preset"},
                                           SlugCase{"  A--B  ", "a-b"},
                                           SlugCase{"Pad/Mini 2", "pad-mini-2"},
                                           SlugCase{"custom-quadgrid-x", "custom-quadgrid-x"},
                                           SlugCase{"../../etc/passwd", "etc-passwd"},
                                           SlugCase{"Caf\xC3\xA9 Bar", "caf-bar"}));

TEST(DeviceProfile, FollowsIdThenNameThenShape)
{
    auto quad = keyglass::test::gridModel(1, 1, 1);
    quad.id = "1a86:fe16";
    EXPECT_EQ(deviceProfile(quad), "quadgrid");

    auto solo = keyglass::test::gridModel(1, 4, 4, 3);
    solo.id = "5831:4249";
    solo.product = "QuadGrid"; // the id rule comes first
    EXPECT_EQ(deviceProfile(solo), "solodial");

    auto named = keyglass::test::gridModel(1, 4, 4);
    named.product = "My SOLODIAL";
    EXPECT_EQ(deviceProfile(named), "solodial");
    named.product = "Quadrant";
    EXPECT_EQ(deviceProfile(named), "quadgrid");

    auto oneKnobTwoKeys = keyglass::test::gridModel(1, 1, 2, 1);
    EXPECT_EQ(deviceProfile(oneKnobTwoKeys), "solodial");
    auto oneKnobThreeKeys = keyglass::test::gridModel(1, 1, 3, 1);
    EXPECT_EQ(deviceProfile(oneKnobThreeKeys), std::nullopt);
    EXPECT_EQ(deviceProfileOrGeneric(oneKnobThreeKeys), "generic");
    oneKnobThreeKeys.keys[2].decal = true; // decals are not keys
    EXPECT_EQ(deviceProfile(oneKnobThreeKeys), "solodial");

    EXPECT_EQ(deviceProfile(keyglass::test::gridModel(1, 4, 5, 3)), "quadgrid");
    EXPECT_EQ(deviceProfile(keyglass::test::gridModel(1, 3, 7, 3)), std::nullopt);
    EXPECT_EQ(deviceProfile(keyglass::test::gridModel(1, 2, 2, 2)), std::nullopt);
}

TEST(DeviceProfile, PresetsFitTheirProfileOrGeneric)
{
    DevicePreset preset = samplePreset();
    const auto quad = keyglass::test::quadgridModel();
    const auto solo = keyglass::test::solodialModel();
    const auto other = keyglass::test::gridModel(1, 6, 6);

    preset.deviceProfile = "QuadGrid";
    EXPECT_TRUE(presetFitsDevice(preset, quad));
    EXPECT_FALSE(presetFitsDevice(preset, solo));
    EXPECT_FALSE(presetFitsDevice(preset, other));
    preset.deviceProfile = "generic";
    EXPECT_TRUE(presetFitsDevice(preset, quad));
    EXPECT_TRUE(presetFitsDevice(preset, solo));
    EXPECT_TRUE(presetFitsDevice(preset, other));
    preset.deviceProfile = "";
    EXPECT_FALSE(presetFitsDevice(preset, other)); // "no profile" is not a profile to match
}

TEST(PresetLibrary, LoadsJsonFilesOfAnyCaseAndSkipsEverythingElse)
{
    TempHome home;
    const fs::path dir = paths::customPresetsDir();
    fs::create_directories(dir / "nested");
    keyglass::test::writeText(dir / "A.JSON", encodePreset(samplePreset("custom-upper")));
    keyglass::test::writeText(dir / "nested" / "deep.json", encodePreset(samplePreset("custom-nested")));
    keyglass::test::writeText(dir / "notes.txt", encodePreset(samplePreset("custom-notes")));
    keyglass::test::writeText(dir / "broken.json", "{ not json");
    nlohmann::json missing = presetToJson(samplePreset("custom-missing"));
    missing.erase("builtIn");
    keyglass::test::writeText(dir / "missing.json", missing.dump());
    nlohmann::json lying = presetToJson(samplePreset("custom-lying"));
    lying["builtIn"] = true;
    keyglass::test::writeText(dir / "lying.json", lying.dump());

    const auto presets = loadPresets();
    ASSERT_NE(findId(presets, "custom-upper"), nullptr);
    EXPECT_NE(findId(presets, "custom-nested"), nullptr);
    EXPECT_EQ(findId(presets, "custom-notes"), nullptr);
    EXPECT_EQ(findId(presets, "custom-missing"), nullptr);
    ASSERT_NE(findId(presets, "custom-lying"), nullptr);
    EXPECT_FALSE(findId(presets, "custom-lying")->builtIn) << "a file in the user's folder is always custom";

    // Built-in presets come first and are built in; every id appears once.
    ASSERT_FALSE(presets.empty());
    EXPECT_TRUE(presets.front().builtIn);
    std::vector<std::string> ids;
    for (const auto& p : presets)
        ids.push_back(p.id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}

TEST(PresetLibrary, CustomPresetsAreReadOnlyUpToTheLibrarysBudget)
{
    TempHome home;
    const fs::path dir = paths::customPresetsDir();
    fs::create_directories(dir);
    // Three files of 3 MiB each (whitespace after the document): two fit the 8 MiB, the third does not.
    const std::string padding(3 * 1024 * 1024, ' ');
    for (const char* id : {"custom-a", "custom-b", "custom-c"})
        keyglass::test::writeText(dir / (std::string(id) + ".json"), encodePreset(samplePreset(id)) + padding);
    keyglass::test::writeText(dir / "custom-d.json", encodePreset(samplePreset("custom-d")));

    const auto presets = loadPresets();
    EXPECT_NE(findId(presets, "custom-a"), nullptr);
    EXPECT_NE(findId(presets, "custom-b"), nullptr);
    EXPECT_EQ(findId(presets, "custom-c"), nullptr);
    EXPECT_NE(findId(presets, "custom-d"), nullptr) << "a small file still fits after a big one is left out";
}

TEST(PresetLibrary, CustomFileWithABuiltInIdReplacesItInPlace)
{
    TempHome home;
    const auto before = loadPresets();
    ASSERT_FALSE(before.empty());
    DevicePreset edited = before.front();
    edited.name = "Edited by me";
    ASSERT_TRUE(savePreset(edited));

    const auto after = loadPresets();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.front().id, edited.id);
    EXPECT_EQ(after.front().name, "Edited by me");
    EXPECT_FALSE(after.front().builtIn);

    ASSERT_TRUE(deleteCustomPreset(after.front()));
    EXPECT_EQ(loadPresets().front().name, before.front().name) << "deleting the copy brings the shipped one back";
}

TEST(PresetLibrary, SaveWritesSlugNamedFileThatReadsBack)
{
    TempHome home;
    DevicePreset preset = samplePreset("custom-My Set/../x");
    const auto file = savePreset(preset);
    ASSERT_TRUE(file) << file.error().message;
    EXPECT_EQ(*file, paths::customPresetsDir() / "custom-my-set-x.json");
    const auto decoded = decodePreset(keyglass::test::readText(*file));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, preset);
    // Saving again replaces the file and leaves no temporary files behind.
    preset.name = "Renamed";
    ASSERT_TRUE(savePreset(preset));
    EXPECT_EQ(std::distance(fs::directory_iterator(paths::customPresetsDir()), fs::directory_iterator()), 1);
}

TEST(PresetLibrary, SaveReportsFileSystemErrors)
{
    TempHome home;
    fs::create_directories(paths::customPresetsDir().parent_path());
    keyglass::test::writeText(paths::customPresetsDir(), "a file where the folder should be");
    const auto file = savePreset(samplePreset());
    ASSERT_FALSE(file);
    EXPECT_FALSE(file.error().message.empty());
}

TEST(PresetLibrary, CloneMakesASavedCustomCopy)
{
    TempHome home;
    DevicePreset source = samplePreset("quadgrid-photoshop-macos");
    source.builtIn = true;
    source.community = true;
    source.verifiedSafe = true;

    const auto clone = clonePreset(source, "  ", "  ", "Windows");
    ASSERT_TRUE(clone) << clone.error().message;
    EXPECT_EQ(clone->name, "Sample (Custom)");
    EXPECT_EQ(clone->appName, "Photoshop");
    EXPECT_EQ(clone->os, "windows");
    EXPECT_TRUE(std::regex_match(clone->id, std::regex("custom-quadgrid-photoshop-windows-[0-9a-f]{8}"))) << clone->id;
    EXPECT_EQ(clone->description, "Custom preset cloned from Sample");
    EXPECT_FALSE(clone->builtIn);
    EXPECT_FALSE(clone->community.value_or(false));
    EXPECT_EQ(clone->layers, source.layers);
    EXPECT_EQ(clone->tapDances, source.tapDances);
    EXPECT_TRUE(fs::exists(customPresetFile(*clone)));

    const auto named = clonePreset(source, " Retouch ", " Affinity Photo ", "linux");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->name, "Retouch");
    EXPECT_EQ(named->appName, "Affinity Photo");
    EXPECT_EQ(named->appId, "affinity-photo");
    EXPECT_EQ(named->os, "macos") << "an unknown OS keeps the source's";
    EXPECT_NE(named->id, clone->id);
    EXPECT_TRUE(named->id.starts_with("custom-quadgrid-affinity-photo-macos-"));
}

TEST(PresetLibrary, DeleteRemovesEveryCustomFileOfThatId)
{
    TempHome home;
    const DevicePreset preset = samplePreset("custom-doomed");
    ASSERT_TRUE(savePreset(preset));
    keyglass::test::writeText(paths::customPresetsDir() / "hand-copied.json", encodePreset(preset));
    ASSERT_TRUE(savePreset(samplePreset("custom-kept")));

    ASSERT_TRUE(deleteCustomPreset(preset));
    const auto presets = loadPresets();
    EXPECT_EQ(findId(presets, "custom-doomed"), nullptr);
    EXPECT_NE(findId(presets, "custom-kept"), nullptr);

    EXPECT_FALSE(deleteCustomPreset(preset)) << "nothing left to delete is a failure";
    DevicePreset shipped = samplePreset("custom-kept");
    shipped.builtIn = true;
    EXPECT_FALSE(deleteCustomPreset(shipped));
    EXPECT_NE(findId(loadPresets(), "custom-kept"), nullptr);
}

TEST(PresetLibrary, SaveCurrentLayoutDescribesTheDevice)
{
    auto device = keyglass::test::quadgridModel();
    device.keymap[1][0][0] = 0x7E00; // a firmware-custom Bluetooth key
    device.keymap[1][0][1] = 0x010E; // Control+K
    device.protectedLayerCells = {"2,0,0"};

    const DevicePreset preset = presetFromDevice(device, " Mine ", " Blender ", "", "");
    EXPECT_TRUE(std::regex_match(preset.id, std::regex("custom-quadgrid-blender-macos-[0-9a-f]{8}"))) << preset.id;
    EXPECT_EQ(preset.name, "Mine");
    EXPECT_EQ(preset.appName, "Blender");
    EXPECT_EQ(preset.description, "Saved from Keyglass QuadGrid");
    EXPECT_EQ(preset.deviceProfile, "quadgrid");
    EXPECT_FALSE(preset.builtIn);
    ASSERT_EQ(preset.layers.size(), 4u);
    EXPECT_EQ(preset.layers[0].keys[0][0], "KC_A");
    EXPECT_EQ(preset.layers[1].keys[0][1], "LCTL(KC_K)");
    EXPECT_EQ(preset.layers[1].keys[0][0], "") << "blocked codes are left out";
    EXPECT_EQ(preset.layers[2].keys[0][0], "") << "locked cells are left out";
    EXPECT_EQ(preset.layers[0].keys[4][2], "") << "hardware layer keys are left out";
    EXPECT_EQ(preset.layers[0].encoders->at(2), (std::vector<std::string>{"KC_VOLD", "KC_VOLU"}));
    EXPECT_TRUE(validatePreset(preset, false).empty());

    auto generic = keyglass::test::gridModel(1, 2, 8);
    for (int c = 0; c < 4; ++c)
        generic.keymap[0][0][static_cast<size_t>(c)] = static_cast<Keycode>(0x0104 + c); // Control shortcuts
    const DevicePreset guessed = presetFromDevice(generic, "", "", "any", "Work");
    EXPECT_EQ(guessed.deviceProfile, "generic");
    EXPECT_EQ(guessed.os, "windows");
    EXPECT_EQ(guessed.layers[0].os, "windows");
    EXPECT_EQ(guessed.name, "Acme Test Pad Layout");
    EXPECT_EQ(guessed.category, "Work");
    EXPECT_TRUE(guessed.id.starts_with("custom-generic-custom-windows-"));
    EXPECT_EQ(presetFromDevice(generic, "", "", "MacOS", "").os, "macos");
}

TEST(PresetLibrary, SaveCurrentThenApplyReproducesLayoutAndCaptions)
{
    auto source = keyglass::test::quadgridModel();
    source.keymap[0][1][1] = 0x0A12;
    source.encoderMap[3][1] = {0x0150, 0x014F};
    DevicePreset base;
    base.id = "x";
    base.name = "Base";
    base.os = "windows";
    PresetLayer layer;
    layer.index = 0;
    layer.name = "Threads";
    layer.keys = {{}, std::vector<std::string>{"", "SGUI(KC_O)"}};
    layer.keyLabels = std::vector<std::vector<std::string>>{{}, std::vector<std::string>{"", "New Thread"}};
    PresetLayer desktop;
    desktop.index = 3;
    desktop.name = "Desktop";
    desktop.os = "macos";
    desktop.encoders = std::vector<std::vector<std::string>>{{"", ""}, {"LCTL(KC_LEFT)", "LCTL(KC_RGHT)"}};
    desktop.encoderLabels = std::vector<std::vector<std::string>>{{"", ""}, {"Left", "Right"}};
    base.layers = {layer, desktop};
    stagePreset(base, source);

    const DevicePreset saved = presetFromDevice(source, "Copy", "T3", "", "");
    EXPECT_EQ(saved.os, "windows") << "the applied preset's os when the form leaves it open";
    auto target = keyglass::test::quadgridModel();
    for (auto& l : target.keymap)
        for (auto& row : l)
            std::fill(row.begin(), row.end(), Keycode(0x2C));
    for (auto& l : target.keymap) {
        l[4][2] = 0x00F1;
        l[4][3] = 0x00F2;
    }
    stagePreset(saved, target);
    EXPECT_EQ(target.keymap, source.keymap);
    EXPECT_EQ(target.encoderMap, source.encoderMap);
    const T3Map t3;
    const FocusMap focus;
    for (int l = 0; l < 4; ++l) {
        EXPECT_EQ(target.presetOverlay->layerNames[l],
                  source.presetOverlay->layerNames.count(l) ? source.presetOverlay->layerNames[l]
                                                            : "Layer " + std::to_string(l));
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(labelledKeyAction(target, l, r, c, t3, focus), labelledKeyAction(source, l, r, c, t3, focus))
                    << l << "," << r << "," << c;
        for (int e = 0; e < 3; ++e)
            for (bool cw : {false, true})
                EXPECT_EQ(labelledEncoderAction(target, l, e, cw, t3, focus),
                          labelledEncoderAction(source, l, e, cw, t3, focus));
    }
    EXPECT_EQ(labelledKeyAction(target, 0, 1, 1, t3, focus).title, "New Thread");
    EXPECT_EQ(labelledEncoderAction(target, 3, 1, true, t3, focus).title, "Right");
}
