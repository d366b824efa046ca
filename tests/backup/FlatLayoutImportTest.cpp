#include "support/PadRig.h"

#include "backup/LayoutImport.h"
#include "keycodes/KeycodeExpression.h"
#include "support/TempHome.h"
#include "support/TestPads.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

using namespace keyglass;
using keyglass::test::PadRig;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

int vendorProductId(const DeviceModel& device)
{
    return (device.vid << 16) | device.pid;
}

// What VIA's "Save + Load" writes for a pad: flat row-major layers, encoders[encoder][layer].
json viaExportOf(const DeviceModel& device)
{
    json layers = json::array();
    for (const auto& layer : device.keymap) {
        json flat = json::array();
        for (const auto& row : layer)
            for (const Keycode code : row)
                flat.push_back(formatKeycode(code, device.legacyKeycodes()));
        layers.push_back(std::move(flat));
    }
    json encoders = json::array();
    for (size_t e = 0; e < device.encoders.size(); ++e) {
        json perLayer = json::array();
        for (const auto& layer : device.encoderMap)
            perLayer.push_back({formatKeycode(layer[e][0], device.legacyKeycodes()),
                                formatKeycode(layer[e][1], device.legacyKeycodes())});
        encoders.push_back(std::move(perLayer));
    }
    return {{"name", device.displayName()},
            {"vendorProductId", vendorProductId(device)},
            {"layers", layers},
            {"encoders", encoders},
            {"macros", json::array({"{KC_LGUI,KC_SPC}", ""})}};
}

} // namespace

TEST(FlatLayoutImport, ViaExportRoundTripOnAPadFromARealDefinition)
{
    const fs::path corpus = keyglass::test::sharedCorpusDir();
    ASSERT_FALSE(corpus.empty()) << "the shared corpus is missing";
    const fs::path definition = corpus / "vial-definitions" / "keebio__bdn9__rev2.json";
    ASSERT_TRUE(fs::is_regular_file(definition)) << definition;
    auto pad = VirtualPad::fromVialDefinitionFile(definition);
    ASSERT_TRUE(pad) << pad.error().message;
    PadRig rig(*pad);
    DeviceModel model = rig.load();
    ASSERT_GT(model.rows * model.cols, 1);
    ASSERT_FALSE(model.encoders.empty()) << "the round trip should cover knobs";

    // A layout of plain keys and media knobs that differs on every layer, written to the pad.
    Keycode next = 0x04;
    for (auto& layer : model.keymap)
        for (auto& row : layer)
            for (auto& cell : row)
                cell = next = next >= 0x27 ? 0x04 : static_cast<Keycode>(next + 1);
    for (size_t l = 0; l < model.encoderMap.size(); ++l)
        for (auto& knob : model.encoderMap[l])
            knob = {static_cast<Keycode>(0x3A + l), static_cast<Keycode>(0x45 - l)};
    rig.write(model);
    const Keymap exportedKeys = rig.eepromKeymap();
    const EncoderMap exportedKnobs = rig.eepromEncoders();
    const std::string exported = viaExportOf(rig.load()).dump();

    for (auto& layer : model.keymap)
        for (auto& row : layer)
            for (auto& cell : row)
                cell = 0x2C;
    for (auto& layer : model.encoderMap)
        for (auto& knob : layer)
            knob = {0x00AA, 0x00A9};
    rig.write(model);
    ASSERT_NE(rig.eepromKeymap(), exportedKeys);

    DeviceModel changed = rig.load();
    const auto restored = loadLayoutText(exported, "bdn9.json", changed);
    ASSERT_TRUE(restored) << restored.error().message;
    EXPECT_EQ(restored->kind, ImportResult::Kind::viaExport);
    EXPECT_EQ(restored->leftUnchanged, 0);
    EXPECT_EQ(restored->toast, "Loaded bdn9.json — click Apply to flash");
    EXPECT_TRUE(changed.dirty);
    rig.write(changed);
    EXPECT_EQ(rig.eepromKeymap(), exportedKeys);
    EXPECT_EQ(rig.eepromEncoders(), exportedKnobs);
}

TEST(FlatLayoutImport, FlatLayersFollowTheMatrixRowByRow)
{
    const DeviceModel pad = keyglass::test::gridModel(2, 2, 3, 2); // vid 0x1234, pid 0x0005
    const std::string layers = R"("layers": [["KC_A", "KC_B", "KC_C", "KC_D", "KC_E", "KC_F"],
                                             ["KC_1", "KC_2", "KC_3", "KC_4", "KC_5", "KC_6"]])";
    const struct
    {
        ImportResult::Kind kind;
        std::string text;
    } cases[] = {
        {ImportResult::Kind::viaExport,
         R"({"vendorProductId": 305397765, )" + layers +
             R"(, "encoders": [[["KC_HOME", "KC_END"], ["KC_PGUP", "KC_PGDN"]],
                                                    [["KC_LEFT", "KC_RGHT"], ["KC_UP", "KC_DOWN"]]]})"},
        {ImportResult::Kind::qmkKeymap,
         R"({"keyboard": "acme/pad", "keymap": "default", "layout": "LAYOUT_ortho_2x3", )" + layers +
             R"(, "encoders": [[{"ccw": "KC_HOME", "cw": "KC_END"}, {"ccw": "KC_LEFT", "cw": "KC_RGHT"}],
                               [["KC_PGUP", "KC_PGDN"], {"ccw": "KC_UP", "cw": "KC_DOWN"}]]})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        DeviceModel device = pad;
        const auto result = loadLayoutText(c.text, "x.json", device);
        ASSERT_TRUE(result) << result.error().message;
        EXPECT_EQ(result->kind, c.kind);
        EXPECT_EQ(device.keymap[0], (std::vector<std::vector<Keycode>>{{0x04, 0x05, 0x06}, {0x07, 0x08, 0x09}}));
        EXPECT_EQ(device.keymap[1], (std::vector<std::vector<Keycode>>{{0x1E, 0x1F, 0x20}, {0x21, 0x22, 0x23}}));
        // VIA lists knobs first, QMK layers first; both say knob 1 turns left/right on layer 0.
        EXPECT_EQ(device.encoderMap[0][0], (std::vector<Keycode>{0x4A, 0x4D}));
        EXPECT_EQ(device.encoderMap[0][1], (std::vector<Keycode>{0x50, 0x4F}));
        EXPECT_EQ(device.encoderMap[1][0], (std::vector<Keycode>{0x4B, 0x4E}));
        EXPECT_EQ(device.encoderMap[1][1], (std::vector<Keycode>{0x52, 0x51}));
    }
}

TEST(FlatLayoutImport, RefusalsLeaveTheModelAlone)
{
    const DeviceModel pad = keyglass::test::gridModel(1, 2, 2); // vid 0x1234, pid 0x0005
    const struct
    {
        const char* text;
        const char* message;
    } cases[] = {
        {R"({"name": "Other Board", "vendorProductId": 1313162578, "layers": [["KC_A", "KC_B", "KC_C", "KC_D"]]})",
         "Failed to load file: it is a VIA layout for Other Board (4E45:4552), not for Acme Test Pad (1234:0005)"},
        {R"({"vendorProductId": "0x12340005", "layers": [["KC_A", "KC_B", "KC_C", "KC_D"]]})",
         "Failed to load file: \"vendorProductId\" is not a vendor and product id"},
        {R"({"vendorProductId": -1, "layers": []})",
         "Failed to load file: \"vendorProductId\" is not a vendor and product id"},
        {R"({"vendorProductId": 305397765, "layers": [["KC_A", "KC_B", "KC_C"]]})",
         "Failed to load file: its layers have 3 keys, but Acme Test Pad has a 2 × 2 matrix (4 keys)"},
        {R"({"keyboard": "x", "layers": [["KC_A", "KC_B", "KC_C", "KC_D"], ["KC_A", "KC_B", "KC_C", "KC_D", "KC_E"]]})",
         "Failed to load file: its layers have 5 keys, but Acme Test Pad has a 2 × 2 matrix (4 keys)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        DeviceModel device = pad;
        const auto result = loadLayoutText(c.text, "x.json", device);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().message, c.message);
        EXPECT_EQ(device.keymap, pad.keymap);
        EXPECT_FALSE(device.dirty);
    }
}

TEST(FlatLayoutImport, GarbageInsideAFlatLayoutIsCountedNotFatal)
{
    DeviceModel device = keyglass::test::gridModel(2, 1, 3, 1);
    const auto result = loadLayoutText(R"({"vendorProductId": 305397765,
        "layers": [["KC_A", 7, "NOT_A_KEY"], [null, {}, 70000], "junk"],
        "encoders": [[["KC_HOME"], ["KC_HOME", "QK_BOOT"], ["KC_A", "KC_B"]], "junk"], "macros": 3})",
                                       "x.json",
                                       device);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(device.keymap[0][0], (std::vector<Keycode>{0x04, 0x07, 0x06}));
    EXPECT_EQ(device.keymap[1][0], (std::vector<Keycode>{0x07, 0x08, 0x09}));
    EXPECT_EQ(device.encoderMap[0][0], (std::vector<Keycode>{0xAA, 0xA9})) << "a pair of one is skipped";
    EXPECT_EQ(device.encoderMap[1][0], (std::vector<Keycode>{0x4A, 0xA9})) << "QK_BOOT is blocked";
    // NOT_A_KEY, null, {}, 70000 and QK_BOOT.
    EXPECT_EQ(result->leftUnchanged, 5);
}

TEST(FlatLayoutImport, EveryCorpusExportAndKeymapIsRead)
{
    struct Case
    {
        const char* file;
        int rows, cols, encoders;
        ImportResult::Kind kind;
        int leftUnchanged; // blocked codes: the file's keys and knobs are all understood
        int keysChanged;
    };
    const Case cases[] = {
        {"Yoyokrazy__via-layouts__MACOS_neo_ergo_wired.layout.json", 5, 15, 0, ImportResult::Kind::viaExport, 0, 300},
        // RESET
        {"Yoyokrazy__via-layouts__jelly60_osx.layout.json", 5, 15, 0, ImportResult::Kind::viaExport, 1, 973},
        // 17 keyboard-defined CUSTOM(n) keys and 2 MAGIC_TOGGLE_NKRO
        {"mnbf9rca__keychron-q6-pro-mac-keymapping__keychron_q6_pro_iso_knob.layout.original.json",
         6,
         21,
         1,
         ImportResult::Kind::viaExport,
         19,
         485},
        // Cells as {row, col, val}; 12 keyboard-defined codes (0x7E06-0x7E0F)
        {"mnul__via-keymaps__v5_max_keymap.json", 7, 19, 1, ImportResult::Kind::viaSnapshot, 12, 490},
        // QK_BOOT
        {"qmk__qmk_firmware__1upkeyboards__sweet16v2__default__keymap.json",
         4,
         4,
         2,
         ImportResult::Kind::qmkKeymap,
         1,
         31},
        {"qmk__qmk_firmware__binepad__bnk8__default__keymap.json", 3, 3, 1, ImportResult::Kind::qmkKeymap, 0, 18},
    };
    const fs::path corpus = keyglass::test::sharedCorpusDir();
    ASSERT_FALSE(corpus.empty()) << "the shared corpus is missing";
    size_t listed = 0;
    for (const auto& entry : fs::directory_iterator(corpus / "via-keymaps"))
        listed += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(listed, std::size(cases)) << "a file was added to or removed from the corpus: extend this table";

    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path file = corpus / "via-keymaps" / c.file;
        ASSERT_TRUE(fs::is_regular_file(file)) << "missing corpus file " << file;
        const json doc = json::parse(keyglass::test::readText(file));
        DeviceModel device = keyglass::test::gridModel(
            static_cast<int>(doc.contains("layers") ? doc["layers"].size() : doc["keymap"].size()),
            c.rows,
            c.cols,
            c.encoders);
        if (doc.contains("vendorProductId")) {
            device.vid = doc["vendorProductId"].get<int>() >> 16;
            device.pid = doc["vendorProductId"].get<int>() & 0xFFFF;
        }
        const DeviceModel before = device;
        const auto result = loadLayoutFile(file, device);
        ASSERT_TRUE(result) << result.error().message;
        EXPECT_EQ(result->kind, c.kind);
        int changed = 0;
        for (size_t l = 0; l < device.keymap.size(); ++l)
            for (size_t r = 0; r < device.keymap[l].size(); ++r)
                for (size_t col = 0; col < device.keymap[l][r].size(); ++col)
                    changed += device.keymap[l][r][col] != before.keymap[l][r][col];
        EXPECT_EQ(result->leftUnchanged, c.leftUnchanged);
        EXPECT_EQ(changed, c.keysChanged);
        EXPECT_TRUE(device.dirty);
    }
}
