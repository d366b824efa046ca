#include "support/PadRig.h"

#include "backup/AutomaticBackups.h"
#include "backup/DeviceBackupFile.h"
#include "backup/LayoutImport.h"
#include "backup/PresetApplication.h"
#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/VialKeycodeNames.h"
#include "presets/PresetLibrary.h"
#include "sim/DemoPads.h"
#include "support/TempHome.h"
#include "support/TestPads.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <map>

using namespace keyglass;
using keyglass::test::PadRig;
using keyglass::test::TempHome;
namespace fs = std::filesystem;
using nlohmann::json;

TEST(RestoreOnPads, BackupChangeRestoreWriteGivesTheOriginalEeprom)
{
    TempHome home;
    for (auto make : {&makeQuadgrid, &makeSolodial}) {
        PadRig rig(make());
        SCOPED_TRACE(rig.pad->identifier());
        const Keymap originalKeys = rig.eepromKeymap();
        const EncoderMap originalKnobs = rig.eepromEncoders();
        const auto originalTapDances = rig.eepromTapDances();

        DeviceModel model = rig.load();
        const fs::path file = home.path() / "backup.json";
        ASSERT_TRUE(writeBackupFile(model, file));

        // Change keys, knobs and tap dances on the pad.
        for (auto& layer : model.keymap)
            for (int r = 0; r < 4 && r < static_cast<int>(layer.size()); ++r)
                for (auto& cell : layer[static_cast<size_t>(r)])
                    cell = 0x2C;
        for (auto& layer : model.encoderMap)
            for (auto& entry : layer)
                entry = {0x0004, 0x0005};
        for (auto& td : model.tapDances)
            td = TapDanceData{0x06, 0x07, 0x08, 0x09, 321};
        rig.write(model);
        ASSERT_NE(rig.eepromEncoders(), originalKnobs);

        DeviceModel changed = rig.load();
        const auto restored = loadLayoutFile(file, changed);
        ASSERT_TRUE(restored) << restored.error().message;
        EXPECT_EQ(restored->kind, ImportResult::Kind::backup);
        EXPECT_EQ(restored->toast, "Loaded backup.json — click Apply to flash");
        rig.write(changed);

        EXPECT_EQ(rig.eepromKeymap(), originalKeys);
        EXPECT_EQ(rig.eepromEncoders(), originalKnobs);
        EXPECT_EQ(rig.eepromTapDances(), originalTapDances);
    }
}

TEST(RestoreOnPads, EveryTapDanceBeyondTheSixteenthSurvivesBackupAndRestore)
{
    TempHome home;
    auto config = solodialConfig();
    config.tapDances.clear();
    for (int i = 0; i < 32; ++i)
        config.tapDances.push_back(
            TapDanceData{Keycode(0x04 + i), Keycode(0x0100 | (0x04 + i)), 0x29, 0, Keycode(150 + i)});
    PadRig rig(std::make_shared<VirtualPad>(config));
    const auto original = rig.eepromTapDances();

    DeviceModel model = rig.load();
    ASSERT_EQ(model.tapDances.size(), 32u);
    const fs::path file = home.path() / "backup.json";
    ASSERT_TRUE(writeBackupFile(model, file));
    for (auto& td : model.tapDances)
        td = TapDanceData{0x06, 0x07, 0x08, 0x09, 321};
    rig.write(model);
    ASSERT_NE(rig.eepromTapDances(), original);

    DeviceModel changed = rig.load();
    ASSERT_TRUE(loadLayoutFile(file, changed));
    rig.write(changed);
    EXPECT_EQ(rig.eepromTapDances(), original);
}

TEST(RestoreOnPads, ApplyingAPresetThenRestoringTheAutomaticBackupUndoesIt)
{
    TempHome home;
    PadRig rig(makeQuadgrid());
    const Keymap originalKeys = rig.eepromKeymap();
    const EncoderMap originalKnobs = rig.eepromEncoders();
    DeviceModel model = rig.load();
    const auto presets = loadPresets();
    const auto preset = std::find_if(
        presets.begin(), presets.end(), [](const DevicePreset& p) { return p.id == "quadgrid-photoshop-macos"; });
    ASSERT_NE(preset, presets.end());
    ASSERT_TRUE(applyPresetToDevice(*preset, model));
    rig.write(model);
    ASSERT_NE(rig.eepromKeymap(), originalKeys);

    DeviceModel after = rig.load();
    ASSERT_TRUE(restoreLatestAutomaticBackup(after));
    rig.write(after);
    EXPECT_EQ(rig.eepromKeymap(), originalKeys);
    EXPECT_EQ(rig.eepromEncoders(), originalKnobs);
}

namespace {

std::string fileText(const fs::path& path)
{
    return keyglass::test::readText(path);
}

// Matrix size ("rows x cols") -> a Vial definition of that size from the corpus.
std::map<std::pair<int, int>, fs::path> definitionsBySize(const fs::path& dir)
{
    std::map<std::pair<int, int>, fs::path> found;
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return found;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ec)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".json")
            continue;
        const json doc = json::parse(fileText(entry.path()), nullptr, false);
        if (!doc.is_object() || !doc.contains("matrix") || !doc["matrix"].is_object())
            continue;
        const json& m = doc["matrix"];
        if (!m.contains("rows") || !m.contains("cols") || !m["rows"].is_number_integer() ||
            !m["cols"].is_number_integer())
            continue;
        found.emplace(std::pair{m["rows"].get<int>(), m["cols"].get<int>()}, entry.path());
    }
    return found;
}

std::pair<int, int> matrixOf(const json& layout)
{
    int rows = 0, cols = 0;
    if (!layout.is_array() || layout.empty() || !layout[0].is_array())
        return {0, 0};
    rows = static_cast<int>(layout[0].size());
    for (const auto& row : layout[0])
        if (row.is_array())
            cols = std::max(cols, static_cast<int>(row.size()));
    return {rows, cols};
}

// What one slot of the file asks for: a keycode, "nothing" (-1) or "not understood".
struct Wanted
{
    bool ignore = false;
    std::optional<Keycode> code;
};

Wanted readSlot(const json& value, bool legacy)
{
    if (value.is_number_integer()) {
        const auto v = value.get<std::int64_t>();
        if (v == -1)
            return {true, std::nullopt};
        if (v >= 0 && v <= 0xFFFF && !value.is_number_float())
            return {false, static_cast<Keycode>(v)};
        return {};
    }
    if (value.is_number_unsigned() && value.get<std::uint64_t>() <= 0xFFFF)
        return {false, static_cast<Keycode>(value.get<std::uint64_t>())};
    if (value.is_string())
        return {false, resolveLayoutKeycodeText(value.get<std::string>(), legacy)};
    return {};
}

void expectSlot(Keycode before, Keycode after, const json& value, bool locked, bool legacy, const std::string& where)
{
    const Wanted wanted = readSlot(value, legacy);
    if (!wanted.code || wanted.ignore || locked || keycodeBlockReason(*wanted.code, {})) {
        EXPECT_EQ(after, before) << where << " " << value.dump();
    } else {
        EXPECT_EQ(after, *wanted.code) << where << " " << value.dump();
    }
}

// Imports every .vil file under `vilDir` onto a pad made from a definition of the same matrix size under
// `definitionsDir` (or onto a plain grid model when there is none) and checks each slot against an
// independent reading of the file: the parsed keycode, or the slot as it was.
int importEveryVialLayout(const fs::path& vilDir, const fs::path& definitionsDir)
{
    const auto definitions = definitionsBySize(definitionsDir);
    int checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(vilDir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".vil")
            continue;
        SCOPED_TRACE(entry.path().string());
        const json file = json::parse(fileText(entry.path()), nullptr, false);
        if (!file.is_object() || !file.contains("layout"))
            continue;
        const auto [rows, cols] = matrixOf(file["layout"]);

        DeviceModel before;
        std::unique_ptr<PadRig> rig;
        if (const auto it = definitions.find({rows, cols}); it != definitions.end()) {
            if (auto pad = VirtualPad::fromVialDefinitionFile(it->second)) {
                rig = std::make_unique<PadRig>(*pad);
                before = rig->load();
            }
        }
        if (!rig) {
            const int layers = file["layout"].is_array() ? static_cast<int>(file["layout"].size()) : 1;
            before = keyglass::test::gridModel(
                std::clamp(layers, 1, 16), std::clamp(rows, 1, 32), std::clamp(cols, 1, 32), 2, 4);
        }

        DeviceModel after = before;
        const auto result = loadLayoutFile(entry.path(), after);
        EXPECT_TRUE(result) << result.error().message;
        if (!result)
            continue;
        EXPECT_EQ(result->kind, ImportResult::Kind::vial);
        EXPECT_TRUE(after.dirty);
        const bool legacy = before.legacyKeycodes();

        const json& layout = file["layout"];
        for (size_t l = 0; l < after.keymap.size(); ++l)
            for (size_t r = 0; r < after.keymap[l].size(); ++r)
                for (size_t c = 0; c < after.keymap[l][r].size(); ++c) {
                    const bool inFile = l < layout.size() && layout[l].is_array() && r < layout[l].size() &&
                                        layout[l][r].is_array() && c < layout[l][r].size();
                    const std::string where = std::to_string(l) + ":" + std::to_string(r) + "," + std::to_string(c);
                    if (!inFile) {
                        EXPECT_EQ(after.keymap[l][r][c], before.keymap[l][r][c]) << where;
                        continue;
                    }
                    expectSlot(before.keymap[l][r][c],
                               after.keymap[l][r][c],
                               layout[l][r][c],
                               before.isProtected(int(l), int(r), int(c)),
                               legacy,
                               where);
                }
        if (file.contains("encoder_layout") && file["encoder_layout"].is_array()) {
            const json& enc = file["encoder_layout"];
            for (size_t l = 0; l < after.encoderMap.size() && l < enc.size(); ++l)
                for (size_t e = 0; e < after.encoderMap[l].size() && enc[l].is_array() && e < enc[l].size(); ++e) {
                    const json& pair = enc[l][e];
                    if (!pair.is_array() || pair.size() < 2 || after.encoderMap[l][e].size() < 2)
                        continue;
                    for (size_t d = 0; d < 2; ++d)
                        expectSlot(before.encoderMap[l][e][d],
                                   after.encoderMap[l][e][d],
                                   pair[d],
                                   false,
                                   legacy,
                                   "enc " + std::to_string(l) + ":" + std::to_string(e));
                }
        }
        if (rig)
            rig->write(after);
        ++checked;
    }
    return checked;
}

} // namespace

TEST(RestoreOnPads, EveryRealVialLayoutImportsSlotBySlot)
{
    const fs::path corpus = keyglass::test::sharedCorpusDir();
    if (corpus.empty() || !fs::is_directory(corpus / "vil"))
        GTEST_SKIP() << "no shared corpus of .vil files";
    EXPECT_GT(importEveryVialLayout(corpus / "vil", corpus / "vial-definitions"), 0);
}

TEST(RestoreOnPads, HandWrittenVialLayoutsImportSlotBySlot)
{
    EXPECT_EQ(importEveryVialLayout(fs::path(KG_TEST_DATA_DIR) / "backup", fs::path(KG_TEST_DATA_DIR) / "devices"), 2);
}
