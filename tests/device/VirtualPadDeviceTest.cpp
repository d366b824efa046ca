#include "support/FakeHid.h"

#include "device/Definition.h"
#include "device/Discovery.h"
#include "device/HardwareWriter.h"
#include "device/Lighting.h"
#include "sim/DemoPads.h"
#include "sim/VirtualHidBackend.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace keyglass::test {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

std::string fileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct PadRig
{
    VirtualHidBackend backend;
    std::shared_ptr<VirtualPad> pad;

    explicit PadRig(std::shared_ptr<VirtualPad> p) : pad(std::move(p)) { backend.addPad(pad); }

    std::optional<DeviceModel> load(LoadStats* stats = nullptr)
    {
        const auto endpoints = enumerateEndpoints(backend);
        for (const auto& endpoint : endpoints)
            if (endpoint.id() == pad->identifier())
                return loadDevice(backend, endpoint, stats);
        return std::nullopt;
    }

    int requestsStartingWith(std::initializer_list<std::uint8_t> prefix) const
    {
        int n = 0;
        for (const auto& r : pad->requests())
            n += std::equal(prefix.begin(), prefix.end(), r.begin()) ? 1 : 0;
        return n;
    }
};

std::shared_ptr<VirtualPad> padFromDefinition(const std::string& text)
{
    auto pad = VirtualPad::fromVialDefinitionText(text);
    EXPECT_TRUE(pad) << (pad ? "" : pad.error().message);
    return pad ? *pad : nullptr;
}

void expectLoadedLayoutMatchesFile(const std::string& text, const std::string& name)
{
    const auto expected = layoutFromDefinition(json::parse(text, nullptr, false));
    ASSERT_TRUE(expected) << name;
    auto pad = padFromDefinition(text);
    ASSERT_TRUE(pad) << name;
    PadRig rig(pad);
    const auto model = rig.load();
    ASSERT_TRUE(model) << name;
    EXPECT_TRUE(model->proto.isVial()) << name;
    EXPECT_EQ(model->rows, expected->rows) << name;
    EXPECT_EQ(model->cols, expected->cols) << name;
    EXPECT_EQ(model->keys, expected->keys) << name;
    EXPECT_EQ(model->encoders, expected->encoders) << name;
    for (const auto& key : model->keys) {
        // A legend such as "-1,0" names no matrix cell; indexing the keymap with it would read outside it.
        if (key.decal || key.row < 0 || key.col < 0 || key.row >= model->rows || key.col >= model->cols)
            continue;
        for (int layer = 0; layer < model->layerCount; ++layer)
            EXPECT_EQ(model->keymap[layer][key.row][key.col], pad->keycode(layer, key.row, key.col))
                << name << " " << key.id << " L" << layer;
    }
}

class FixtureDefinitions : public ::testing::TestWithParam<const char*>
{
};

TEST_P(FixtureDefinitions, LoadThroughAVirtualVialPadToTheFilesLayout)
{
    const fs::path path = fs::path(KG_TEST_DATA_DIR) / "devices" / GetParam();
    expectLoadedLayoutMatchesFile(fileText(path), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Devices,
    FixtureDefinitions,
    ::testing::Values("hundred-keys.json", "decals-and-metadata.json", "two-knobs.json", "one-knob-one-key.json"));

TEST(FixtureLayouts, DecalsMetadataAndKnobsAsDrawn)
{
    auto read = [](const char* name) {
        return *layoutFromDefinition(json::parse(fileText(fs::path(KG_TEST_DATA_DIR) / "devices" / name)));
    };
    const auto decals = read("decals-and-metadata.json");
    ASSERT_EQ(decals.keys.size(), 11u);
    EXPECT_EQ(decals.keys[0], (PhysicalKey{"r0c0", 0, 0, 0, 0, 4, 1, true})) << "logo decal without a position";
    EXPECT_EQ(decals.keys[3], (PhysicalKey{"r0c2", 0, 2, 2.25, 1, 1, 1, false}));
    EXPECT_EQ(decals.keys[6], (PhysicalKey{"r1c1", 1, 1, 1, 2.5, 2, 1, false}));
    EXPECT_EQ(decals.keys[7], (PhysicalKey{"r1c3", 1, 3, 3, 2.5, 1, 1, true}));
    EXPECT_EQ(decals.keys[9], (PhysicalKey{"r0c0", 0, 0, 0, 3.5, 1, 1, true}));
    EXPECT_EQ(decals.keys[10], (PhysicalKey{"r1c0", 1, 0, 1, 3.5, 1, 1, true}));

    const auto knobs = read("two-knobs.json");
    EXPECT_EQ(knobs.encoders,
              (std::vector<PhysicalEncoder>{{0, "Knob 0", std::nullopt, std::nullopt},
                                            {1, "Knob 1", std::nullopt, std::nullopt}}));
    EXPECT_EQ(knobs.keys.size(), 6u);

    const auto solo = read("one-knob-one-key.json");
    EXPECT_EQ(solo.encoders, (std::vector<PhysicalEncoder>{{0, "Knob", 0, 1}}));
}

TEST(VirtualPads, QuadgridLoadsAsAViaOnlyPadWithThreeKnobs)
{
    PadRig rig(makeQuadgrid());
    LoadStats stats;
    const auto model = rig.load(&stats);
    ASSERT_TRUE(model);
    EXPECT_EQ(model->id, "1A86:FE16");
    EXPECT_EQ(model->proto, DeviceProtocol::via(12));
    EXPECT_EQ(model->rows, 5);
    EXPECT_EQ(model->cols, 4);
    EXPECT_EQ(model->activeLayer, 0);
    EXPECT_EQ(model->keys.size(), 16u);
    EXPECT_EQ(model->encoders,
              (std::vector<PhysicalEncoder>{
                  {0, "Knob 0", 4, 0}, {1, "Knob 1", 4, 1}, {2, "Wheel", std::nullopt, std::nullopt}}));
    EXPECT_EQ(model->protectedCells, (std::set<std::string>{"4,2", "4,3"}));
    EXPECT_EQ(model->rgb.kind, RGBProtocolKind::viaCustomCh1);
    EXPECT_EQ(model->tapDanceCount, 0);
    for (int layer = 0; layer < model->layerCount; ++layer)
        for (int row = 0; row < model->rows; ++row)
            for (int col = 0; col < model->cols; ++col)
                EXPECT_EQ(model->keymap[layer][row][col], rig.pad->keycode(layer, row, col));
    for (int layer = 0; layer < model->layerCount; ++layer)
        for (int e = 0; e < 3; ++e)
            EXPECT_EQ(model->encoderMap[layer][e],
                      (std::vector<Keycode>{rig.pad->encoder(layer, e, false), rig.pad->encoder(layer, e, true)}));
    EXPECT_EQ(stats.exchanges, static_cast<int>(rig.pad->requests().size()));
}

TEST(VirtualPads, SolodialLoadsAsAVialPadWithTapDancesAndRgblight)
{
    PadRig rig(makeSolodial());
    const auto model = rig.load();
    ASSERT_TRUE(model);
    EXPECT_TRUE(model->proto.isVial());
    EXPECT_EQ(model->proto.label(), "Vial v6");
    EXPECT_EQ(model->activeLayer, 1);
    EXPECT_EQ(model->encoders, (std::vector<PhysicalEncoder>{{0, "Knob", 0, 0}}));
    EXPECT_EQ(model->rgb.kind, RGBProtocolKind::qmkRgblight);
    EXPECT_EQ(model->tapDanceCount, rig.pad->tapDanceCount());
    ASSERT_EQ(static_cast<int>(model->tapDances.size()), std::min(rig.pad->tapDanceCount(), 16));
    EXPECT_EQ(model->tapDances[0], rig.pad->tapDance(0));
    EXPECT_EQ(model->keymap[0][0][0], rig.pad->keycode(0, 0, 0));
}

TEST(VirtualPads, ApplyWritesTheModelIntoThePadsEeprom)
{
    for (auto make : {&makeQuadgrid, &makeSolodial}) {
        PadRig rig(make());
        auto model = rig.load();
        ASSERT_TRUE(model);
        std::vector<std::pair<int, int>> cells;
        for (const auto& key : model->keys)
            if (!key.decal)
                cells.emplace_back(key.row, key.col);
        for (int layer = 0; layer < model->layerCount; ++layer)
            for (const auto& [row, col] : cells)
                if (!model->isProtected(layer, row, col))
                    model->keymap[layer][row][col] = static_cast<Keycode>(0x04 + layer + row + col);
        model->encoderMap[1][0] = {0x0080, 0x0081};
        if (!model->tapDances.empty())
            model->tapDances[0].tappingTerm = 321;
        rig.pad->clearRequests();

        const auto written = writeDeviceToHardware(rig.backend, *model);
        ASSERT_TRUE(written) << written.error().message;
        for (int layer = 0; layer < model->layerCount; ++layer)
            for (const auto& [row, col] : cells)
                if (!model->isProtected(layer, row, col)) {
                    EXPECT_EQ(rig.pad->keycode(layer, row, col), 0x04 + layer + row + col);
                }
        EXPECT_EQ(rig.pad->encoder(1, 0, false), 0x0080);
        EXPECT_EQ(rig.pad->encoder(1, 0, true), 0x0081);
        if (!model->tapDances.empty()) {
            EXPECT_EQ(rig.pad->tapDance(0).tappingTerm, 321);
        }
        EXPECT_EQ(rig.requestsStartingWith({0x05, 0x00, 0x04, 0x02}), 0) << "hardware layer key never written";
        const int encoderWrites = static_cast<int>(model->layerCount * model->encoders.size() * 2);
        EXPECT_EQ(*written, rig.requestsStartingWith({0x05}) + encoderWrites);

        const auto reloaded = rig.load();
        ASSERT_TRUE(reloaded);
        EXPECT_EQ(reloaded->keymap, model->keymap);
        EXPECT_EQ(reloaded->encoderMap, model->encoderMap);
    }
}

TEST(VirtualPads, LightingWritesReachThePad)
{
    PadRig quad(makeQuadgrid());
    RGBState state{RGBProtocolKind::viaCustomCh1, 77, 3, 3, 2, 20, 30};
    writeLighting(quad.backend, 0x1A86, 0xFE16, state, true);
    auto model = quad.load();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->rgb.brightness, 77);
    EXPECT_EQ(model->rgb.effect, 3);
    EXPECT_EQ(model->rgb.hue, 20);
    EXPECT_EQ(quad.pad->lightingSaveCount(), 1);

    PadRig solo(makeSolodial());
    writeLighting(solo.backend, 0x5831, 0x4249, RGBState{RGBProtocolKind::qmkRgblight, 90, 6, 6, 2, 85, 128}, false);
    model = solo.load();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->rgb.brightness, 90);
    EXPECT_EQ(model->rgb.effect, 6);
    EXPECT_EQ(model->rgb.sat, 128);
    EXPECT_EQ(solo.pad->lightingSaveCount(), 0);
}

TEST(VirtualPadFaults, RefusedOpenWrongEchoAndSilenceOnTheVersionRequest)
{
    PadRig refused(makeSolodial());
    refused.pad->setRefuseOpen(true);
    EXPECT_FALSE(refused.load());
    const auto write = writeDeviceToHardware(refused.backend, *PadRig(makeSolodial()).load());
    ASSERT_FALSE(write);
    EXPECT_EQ(write.error().message, "Could not open Tinkerloop SoloDial Knob over RawHID (close Vial.app if open).");

    PadRig echo(makeQuadgrid());
    echo.pad->wrongEchoAnswer(1);
    EXPECT_FALSE(echo.load());
    EXPECT_EQ(echo.pad->requestCount(), 1u);

    PadRig silent(makeQuadgrid());
    silent.pad->dropAnswer(1);
    EXPECT_FALSE(silent.load());
}

TEST(VirtualPadFaults, DisconnectMidLoadAndGarbageGiveDefaultsNotCrashes)
{
    for (int cut : {2, 5, 12, 40, 90}) {
        PadRig rig(cut % 2 ? makeQuadgrid() : makeSolodial());
        rig.pad->disconnectAfter(cut);
        const auto model = rig.load();
        ASSERT_TRUE(model) << cut;
        EXPECT_EQ(static_cast<int>(model->keymap.size()), model->layerCount);
        EXPECT_EQ(rig.backend.openCount(), 0) << "the session was closed";
    }
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        PadRig rig(seed % 2 ? makeQuadgrid() : makeSolodial());
        rig.pad->setGarbageSeed(seed);
        rig.pad->garbleAllAnswers(true);
        const auto model = rig.load();
        if (model) {
            EXPECT_EQ(static_cast<int>(model->keymap.size()), model->layerCount);
            EXPECT_LE(model->tapDances.size(), 16u);
        }
    }
    PadRig echo(makeQuadgrid());
    echo.pad->wrongEchoAllAnswers(true);
    EXPECT_FALSE(echo.load());
}

TEST(VirtualPadFaults, DuplicatedAnswersAreDrainedBeforeTheNextRequest)
{
    PadRig clean(makeQuadgrid());
    const auto expected = clean.load();
    ASSERT_TRUE(expected);
    for (int nth : {1, 4, 10, 30, 80}) {
        PadRig rig(makeQuadgrid());
        rig.pad->duplicateAnswer(nth);
        const auto model = rig.load();
        ASSERT_TRUE(model) << nth;
        EXPECT_EQ(*model, *expected) << "a stale copy of answer " << nth << " was taken for a later one";
    }
}

TEST(VirtualPadFaults, DisconnectMidWriteStopsAtTheFirstFailure)
{
    PadRig rig(makeQuadgrid());
    const auto model = rig.load();
    ASSERT_TRUE(model);
    rig.pad->clearRequests();
    rig.pad->disconnectAfter(7);
    const auto result = writeDeviceToHardware(rig.backend, *model);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, 3);
    EXPECT_EQ(result.error().message, "Failed writing L0 (1,3)");
    EXPECT_EQ(rig.pad->requests().size(), 7u) << "nothing reaches the pad after the failure";

    PadRig vial(makeSolodial());
    auto solodial = vial.load();
    ASSERT_TRUE(solodial);
    vial.pad->clearRequests();
    vial.pad->dropAnswer(2);
    const auto td = writeDeviceToHardware(vial.backend, *solodial);
    ASSERT_FALSE(td);
    EXPECT_EQ(td.error().code, 2);
    EXPECT_EQ(td.error().message, "Failed writing Tap Dance 1");
    EXPECT_EQ(vial.pad->requests().size(), 2u);
}

std::string largeDefinition()
{
    json rows = json::array();
    for (int r = 0; r < 10; ++r) {
        json row = json::array();
        for (int c = 0; c < 10; ++c) {
            // Appended piece by piece: g++ 12 warns falsely (array-bounds) about the chained form.
            std::string legend = std::to_string(r);
            legend += ",";
            legend += std::to_string(c);
            legend += "\n\n\nKey number ";
            legend += std::to_string(r * 10 + c);
            legend += " ";
            legend.append(700, static_cast<char>('a' + (r + c) % 26));
            row.push_back(legend);
        }
        rows.push_back(row);
    }
    json definition = {{"name", "Hundred long names"},
                       {"vendorId", "0x4B47"},
                       {"productId", "0x0999"},
                       {"matrix", {{"rows", 10}, {"cols", 10}}},
                       {"layouts", {{"keymap", rows}}}};
    return definition.dump();
}

TEST(VirtualPadDefinitions, LargeDefinitionStillLoadsItsLayout)
{
    const std::string text = largeDefinition();
    const auto compressed = compressXz(text);
    ASSERT_GT(text.size(), std::max<std::size_t>(65536, 12 * compressed.size()));
    ASSERT_LE(compressed.size(), 65535u);
    expectLoadedLayoutMatchesFile(text, "large");
    PadRig rig(padFromDefinition(text));
    const auto model = rig.load();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->keys.size(), 100u);
    EXPECT_EQ(model->layerCount, 4);
}

TEST(VirtualPadDefinitions, DecompressionBombFallsBackToViaOnly)
{
    auto config = solodialConfig();
    config.definitionBlob =
        compressXz(R"({"matrix":{"rows":1,"cols":1},"pad":")" + std::string(MaxDecodedDefinitionBytes, ' ') + "\"}");
    ASSERT_LE(config.definitionBlob->size(), 65535u);
    PadRig rig(std::make_shared<VirtualPad>(config));
    const auto model = rig.load();
    ASSERT_TRUE(model);
    EXPECT_FALSE(model->proto.isVial());
    EXPECT_EQ(model->activeLayer, 0);
}

TEST(VirtualPadDefinitions, EveryRealDefinitionLoadsToTheSameLayoutAsTheFile)
{
    const fs::path corpus = sharedCorpusDir();
    if (corpus.empty() || !fs::is_directory(corpus / "vial-definitions"))
        GTEST_SKIP() << "no shared corpus of Vial definitions";
    int checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus / "vial-definitions")) {
        if (!entry.is_regular_file() || entry.path().extension() != ".json")
            continue;
        const std::string text = fileText(entry.path());
        const json document = json::parse(text, nullptr, false);
        if (!layoutFromDefinition(document))
            continue;
        const auto compressed = compressXz(document.dump());
        if (compressed.size() > MaxDefinitionSize)
            continue;
        // The emulator has limits of its own (matrix size); those files say nothing about the loader.
        if (!VirtualPad::fromVialDefinitionText(text))
            continue;
        SCOPED_TRACE(entry.path().string());
        expectLoadedLayoutMatchesFile(text, entry.path().filename().string());
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

} // namespace
} // namespace keyglass::test
