// Keymaps read with the keymap buffer command must equal what per-key reads give, on every pad we can
// emulate, and cost far fewer exchanges.
#include "device/Discovery.h"
#include "sim/DemoPads.h"
#include "sim/VirtualHidBackend.h"
#include "sim/VirtualPadFactory.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace keyglass::test {
namespace {

namespace fs = std::filesystem;

struct Loaded
{
    DeviceModel model;
    LoadStats stats;
};

std::optional<Loaded> loadPad(const VirtualPadConfig& config, bool refuseBulk, int dropNth = 0)
{
    auto pad = std::make_shared<VirtualPad>(config);
    if (refuseBulk)
        pad->overrideByte0(0x12, 0xFF);
    if (dropNth > 0)
        pad->dropAnswer(dropNth);
    VirtualHidBackend backend;
    backend.addPad(pad);
    const auto endpoints = enumerateEndpoints(backend);
    if (endpoints.empty())
        return std::nullopt;
    Loaded out;
    auto model = loadDevice(backend, endpoints.front(), &out.stats);
    if (!model)
        return std::nullopt;
    out.model = std::move(*model);
    return out;
}

/// Every cell of every layer gets a keycode, firmware-custom ones included, so a misplaced byte shows.
void scramble(VirtualPadConfig& config, unsigned seed)
{
    std::mt19937 rng(seed);
    const Keycode samples[] = {0x0004, 0x0029, 0x00A9, 0x0104, 0x5220, 0x5701, 0x7E05, 0x7E41, 0x0001, 0x2A04};
    config.keymap.assign(config.layers,
                         std::vector<std::vector<Keycode>>(config.rows, std::vector<Keycode>(config.cols)));
    for (auto& layer : config.keymap)
        for (auto& row : layer)
            for (auto& cell : row)
                cell = samples[rng() % std::size(samples)];
}

void expectSameAsPerKey(const VirtualPadConfig& config, const std::string& name)
{
    SCOPED_TRACE(name);
    const auto bulk = loadPad(config, false);
    const auto perKey = loadPad(config, true);
    ASSERT_TRUE(bulk && perKey);
    EXPECT_EQ(bulk->model.keymap, perKey->model.keymap);
    EXPECT_EQ(bulk->model.protectedLayerCells, perKey->model.protectedLayerCells);
    EXPECT_EQ(bulk->model.protectedCells, perKey->model.protectedCells);
    EXPECT_EQ(bulk->model.keys, perKey->model.keys);
    EXPECT_TRUE(bulk->model.unreadCells.empty());
    EXPECT_LT(bulk->stats.exchanges, perKey->stats.exchanges);
}

std::vector<fs::path> corpusDefinitions()
{
    std::vector<fs::path> files;
    const fs::path corpus = sharedCorpusDir();
    if (corpus.empty())
        return files;
    for (const auto& dir : fs::directory_iterator(corpus)) {
        const auto name = dir.path().filename().string();
        if (!dir.is_directory() || name.size() < 12 || name.substr(name.size() - 12) != "-definitions")
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            if (entry.is_regular_file() && entry.path().extension() == ".json")
                files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(BulkKeymap, EqualsThePerKeyReadOnEveryCorpusDefinition)
{
    int checked = 0;
    for (const auto& path : corpusDefinitions()) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        auto config = vialDefinitionConfig(text.str());
        if (!config)
            continue; // not a definition the emulator can build (no matrix, too large)
        scramble(*config, static_cast<unsigned>(checked));
        expectSameAsPerKey(*config, path.filename().string());
        ++checked;
    }
    if (checked == 0)
        GTEST_SKIP() << "no shared corpus of definitions";
}

TEST(BulkKeymap, EqualsThePerKeyReadOnBothDemoPads)
{
    expectSameAsPerKey(quadgridConfig(), "quadgrid");
    expectSameAsPerKey(solodialConfig(), "solodial");
    auto scrambled = quadgridConfig();
    scramble(scrambled, 7);
    expectSameAsPerKey(scrambled, "quadgrid scrambled");
}

TEST(BulkKeymap, AChunkWithoutAnAnswerIsReadKeyByKey)
{
    auto config = solodialConfig();
    config.layers = 16; // 32 bytes: two chunks
    const auto reference = loadPad(config, true);
    // Requests: 01, 11, FE 00, FE 01, definition blocks, then the first chunk.
    const int blocks = static_cast<int>((VirtualPad(config).compressedDefinition().size() + 31) / 32);
    const auto dropped = loadPad(config, false, 4 + blocks + 1);
    ASSERT_TRUE(reference && dropped);
    EXPECT_EQ(dropped->model.keymap, reference->model.keymap);
    EXPECT_TRUE(dropped->model.unreadCells.empty());
}

TEST(BulkKeymap, AViaPadWiderThanItsUsedCellsFallsBackToPerKeyReads)
{
    // Columns 4 and 5 exist in the firmware but hold nothing on layer 0, so the probe sees 4 columns
    // while the keymap buffer is laid out with 6.
    auto config = quadgridConfig();
    config.cols = 6;
    for (auto& layer : config.keymap)
        for (auto& row : layer)
            row.resize(6, 0);
    config.keymap[1][0][5] = 0x0004;
    const auto bulk = loadPad(config, false);
    const auto perKey = loadPad(config, true);
    ASSERT_TRUE(bulk && perKey);
    EXPECT_EQ(bulk->model.cols, 4);
    EXPECT_EQ(bulk->model.keymap, perKey->model.keymap);
    EXPECT_EQ(bulk->model.keymap[1][1][0], quadgridConfig().keymap[1][1][0]);
}

TEST(BulkKeymap, ExchangeCountsOfTheDemoPads)
{
    // Exact counts, so a change in the read plan is a conscious one.
    const auto quad = loadPad(quadgridConfig(), false);
    const auto quadPerKey = loadPad(quadgridConfig(), true);
    const auto solo = loadPad(solodialConfig(), false);
    const auto soloPerKey = loadPad(solodialConfig(), true);
    ASSERT_TRUE(quad && quadPerKey && solo && soloPerKey);
    RecordProperty("quadgrid",
                   std::to_string(quadPerKey->stats.exchanges) + " -> " + std::to_string(quad->stats.exchanges));
    RecordProperty("solodial",
                   std::to_string(soloPerKey->stats.exchanges) + " -> " + std::to_string(solo->stats.exchanges));
    // Layers 1-3 of the 5x4 grid: a refused chunk and 60 per-key reads against 6 chunks (all four
    // layers, 160 bytes) and one check.
    EXPECT_EQ(quadPerKey->stats.exchanges - quad->stats.exchanges, (1 + 60) - (6 + 1));
    // Four single-key layers: a refused chunk and 4 per-key reads against one chunk.
    EXPECT_EQ(soloPerKey->stats.exchanges - solo->stats.exchanges, (1 + 4) - 1);
}

} // namespace
} // namespace keyglass::test
