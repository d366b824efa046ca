#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "platform/AtomicFile.h"
#include "presets/PresetLibrary.h"
#include "presets/PresetSafety.h"
#include "presets/PresetStaging.h"
#include "support/TestPads.h"

#include <gtest/gtest.h>

#include <set>

using namespace keyglass;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> shippedFiles()
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(KG_SOURCE_DIR) / "resources" / "Presets"))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

DevicePreset readShipped(const fs::path& file)
{
    const auto text = readFileCapped(file, MaxPresetDocumentBytes);
    EXPECT_TRUE(text) << file;
    auto preset = decodePreset(text.value_or(""));
    EXPECT_TRUE(preset) << file << ": " << (preset ? "" : preset.error().message);
    return preset.value_or(DevicePreset{});
}

DeviceModel padFor(const std::string& profile)
{
    if (profile == "quadgrid")
        return keyglass::test::quadgridModel();
    if (profile == "solodial")
        return keyglass::test::solodialModel();
    DeviceModel pad = keyglass::test::gridModel(4, 3, 4, 2, 2);
    for (auto& layer : pad.encoderMap)
        for (auto& entry : layer)
            entry = {0x0004, 0x0005};
    return pad;
}

template <class Grid, class F> void forEachCell(const Grid& grid, F f)
{
    for (size_t a = 0; a < grid.size(); ++a)
        for (size_t b = 0; b < grid[a].size(); ++b)
            f(a, b, grid[a][b]);
}

} // namespace

TEST(BuiltInPresets, AreUsefulValidAndUnique)
{
    const auto files = shippedFiles();
    ASSERT_GE(files.size(), 8u);
    std::set<std::string> ids;
    std::map<std::string, int> perProfile;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        EXPECT_EQ(file.extension(), ".json");
        const DevicePreset preset = readShipped(file);
        EXPECT_TRUE(ids.insert(preset.id).second) << "duplicate id " << preset.id;
        EXPECT_EQ(file.filename().string(), slug(preset.id) + ".json");
        EXPECT_TRUE(preset.builtIn);
        EXPECT_TRUE(preset.os == "macos" || preset.os == "windows") << preset.os;
        ++perProfile[preset.deviceProfile];
        EXPECT_FALSE(preset.name.empty());
        EXPECT_FALSE(preset.description.empty());
        EXPECT_FALSE(preset.appName.empty());
        for (bool legacy : {false, true}) {
            const auto problems = validatePreset(preset, legacy);
            EXPECT_TRUE(problems.empty()) << problems.front();
        }
        // Every non-empty expression parses (nothing is silently dropped on a real pad) and every layer
        // is named.
        for (const auto& layer : preset.layers) {
            EXPECT_FALSE(layer.name.empty());
            forEachCell(layer.keys, [&](size_t r, size_t c, const std::string& e) {
                EXPECT_TRUE(e.empty() || parseKeycodeExpression(e, false))
                    << layer.index << ":" << r << "," << c << " " << e;
            });
            if (layer.encoders)
                forEachCell(*layer.encoders, [&](size_t, size_t, const std::string& e) {
                    EXPECT_TRUE(e.empty() || parseKeycodeExpression(e, false)) << e;
                });
        }
        // The library sees it as a built-in preset.
        const auto loaded = loadPresets();
        EXPECT_TRUE(std::any_of(loaded.begin(), loaded.end(), [&](const DevicePreset& p) { return p == preset; }));
    }
    EXPECT_GE(perProfile["quadgrid"], 4);
    EXPECT_GE(perProfile["solodial"], 2);
    EXPECT_GE(perProfile["generic"], 1);
}

TEST(BuiltInPresets, FitTheirPadAndStageCompletely)
{
    for (const auto& file : shippedFiles()) {
        SCOPED_TRACE(file.filename().string());
        const DevicePreset preset = readShipped(file);
        DeviceModel pad = padFor(preset.deviceProfile);
        const DeviceModel before = pad;
        ASSERT_TRUE(presetFitsDevice(preset, pad));

        if (preset.deviceProfile == "quadgrid") {
            EXPECT_EQ(preset.layers.size(), 4u);
            for (const auto& layer : preset.layers) {
                ASSERT_LE(layer.keys.size(), 5u);
                for (const auto& row : layer.keys)
                    EXPECT_LE(row.size(), 4u);
                if (layer.keys.size() == 5 && layer.keys[4].size() == 4) {
                    EXPECT_EQ(layer.keys[4][2], "") << "hardware layer keys stay";
                    EXPECT_EQ(layer.keys[4][3], "");
                }
                ASSERT_TRUE(layer.encoders);
                EXPECT_EQ(layer.encoders->size(), 3u);
            }
        } else if (preset.deviceProfile == "solodial") {
            EXPECT_EQ(preset.layers.size(), 4u);
            for (const auto& layer : preset.layers) {
                ASSERT_FALSE(layer.keys.empty());
                EXPECT_EQ(layer.keys[0].size(), 1u);
                EXPECT_EQ(layer.keys[0][0], "") << "the knob's own switch is never remapped";
                ASSERT_TRUE(layer.encoders);
                EXPECT_EQ(layer.encoders->size(), 1u);
            }
            EXPECT_TRUE(preset.tapDances && !preset.tapDances->empty());
        }

        const StageSummary summary = stagePreset(preset, pad);
        EXPECT_EQ(summary.skippedSlots, 0);
        EXPECT_TRUE(pad.dirty);
        EXPECT_NE(pad.encoderMap, before.encoderMap);
        if (preset.deviceProfile == "solodial")
            EXPECT_NE(pad.tapDances, before.tapDances);
        else
            EXPECT_NE(pad.keymap, before.keymap);
        EXPECT_EQ(pad.keymap.size(), before.keymap.size());
        if (preset.deviceProfile == "quadgrid") {
            for (int l = 0; l < 4; ++l) {
                EXPECT_EQ(pad.keymap[static_cast<size_t>(l)][4][2], 0x00F1);
                // Every key and knob direction of the pad got a caption.
                for (int r = 0; r < 4; ++r)
                    for (int c = 0; c < 4; ++c)
                        EXPECT_TRUE(slotCaption(pad, CaptionSlot::key, keyLabelKey(l, r, c), l, pad.keycodeAt(l, r, c)))
                            << l << ":" << r << "," << c;
                for (int e = 0; e < 3; ++e)
                    for (bool cw : {false, true})
                        EXPECT_TRUE(slotCaption(
                            pad, CaptionSlot::encoder, encoderLabelKey(l, e, cw), l, pad.encoderKeycodeAt(l, e, cw)));
            }
        }
        ASSERT_TRUE(pad.presetOverlay);
        for (const auto& [layer, os] : pad.presetOverlay->layerOS)
            EXPECT_TRUE(os == "macos" || os == "windows") << layer;
    }
}

TEST(BuiltInPresets, T3CodePresetsFollowThePickerCatalogue)
{
    for (const char* id : {"quadgrid-t3-code-macos", "quadgrid-t3-code-windows"}) {
        const DevicePreset preset =
            readShipped(fs::path(KG_SOURCE_DIR) / "resources" / "Presets" / (std::string(id) + ".json"));
        auto pad = keyglass::test::quadgridModel();
        stagePreset(preset, pad);
        const bool windows = preset.os == "windows";
        EXPECT_EQ(pad.keycodeAt(0, 0, 0), windows ? 0x0312 : 0x0A12);
        EXPECT_EQ(labelledKeyAction(pad, 0, 0, 0, {}, {}).title, "New Thread");
        EXPECT_EQ(labelledKeyAction(pad, 0, 0, 0, {}, {}).shortcut, windows ? "Ctrl+⇧O" : "⇧⌘O");
        EXPECT_EQ(isWindowsStyleLayer(pad, 0), windows);
    }
}
