// Every real Vial and VIA definition of the shared corpus, read by the layout and checked against a
// separate, deliberately plain reading of the layout editor's rules written here.

#include "support/TempHome.h"

#include "device/Definition.h"
#include "device/KleLayout.h"
#include "device/ViaDefinitions.h"
#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

namespace keyglass::test {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

// What the plain reading notes per key legend.
struct ExpectedKey
{
    int row, col;
    double x, y, w, h, r, rx, ry;
    bool secondary;
    int group, choice; // -1: always there
    bool decal;
};

std::vector<std::string> lines(const std::string& legend)
{
    std::vector<std::string> out(1);
    for (char c : legend)
        if (c == '\n')
            out.emplace_back();
        else
            out.back() += c;
    return out;
}

bool twoNumbers(const std::string& text, int& a, int& b)
{
    char rest = 0;
    return std::sscanf(text.c_str(), "%d,%d%c", &a, &b, &rest) == 2;
}

std::vector<ExpectedKey> plainReading(const json& keymap)
{
    std::vector<ExpectedKey> keys;
    double x = 0, y = 0, r = 0, rx = 0, ry = 0;
    for (const auto& row : keymap) {
        if (!row.is_array())
            continue;
        double w = 1, h = 1, x2 = 0, y2 = 0, w2 = 0, h2 = 0;
        bool decal = false;
        for (const auto& item : row) {
            if (item.is_object()) {
                r = item.value("r", r);
                if (item.contains("rx") || item.contains("ry")) {
                    rx = item.value("rx", rx);
                    ry = item.value("ry", ry);
                    x = rx;
                    y = ry;
                }
                x += item.value("x", 0.0);
                y += item.value("y", 0.0);
                if (item.contains("w"))
                    w = item["w"].get<double>(), w2 = 0;
                if (item.contains("h"))
                    h = item["h"].get<double>(), h2 = 0;
                x2 = item.value("x2", x2);
                y2 = item.value("y2", y2);
                w2 = item.value("w2", w2);
                h2 = item.value("h2", h2);
                decal = item.value("d", decal);
                continue;
            }
            if (!item.is_string())
                continue;
            const auto parts = lines(item.get<std::string>());
            const bool vialKnob =
                std::any_of(parts.begin() + 1, parts.end(), [](const std::string& p) { return p == "e"; });
            int row = 0, col = 0, group = -1, choice = -1;
            if (parts.size() > 3 && !twoNumbers(parts[3], group, choice))
                group = choice = -1;
            const bool secondary = x2 != 0 || y2 != 0 || (w2 != 0 && w2 != w) || (h2 != 0 && h2 != h);
            if (!vialKnob && twoNumbers(parts[0], row, col))
                keys.push_back({row, col, x, y, w, h, r, rx, ry, secondary, group, choice, decal});
            else if (!vialKnob && decal && parts[0].find(',') == std::string::npos)
                keys.push_back({0, 0, x, y, w, h, r, rx, ry, secondary, -1, -1, true}); // a drawn-only cap
            x += w;
            w = h = 1;
            x2 = y2 = w2 = h2 = 0;
            decal = false;
        }
        y += 1;
        x = rx;
    }
    return keys;
}

// A decal and an option's key may share a cell and a place; they stay apart by what they are.
auto sortKey(int row, int col, double x, double y, bool decal, int group, int choice)
{
    return std::make_tuple(row, col, std::lround(x * 1000), std::lround(y * 1000), decal, group, choice);
}

std::vector<fs::path> corpusFiles(const char* folder)
{
    const fs::path dir = sharedCorpusDir() / folder;
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.path().extension() == ".json")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

json readCorpus(const fs::path& file)
{
    auto text = readFileCapped(file, MaxViaDefinitionFileBytes);
    EXPECT_TRUE(text) << file;
    return json::parse(text ? *text : std::string("{}"), nullptr, false);
}

TEST(CorpusLayouts, TheCorpusIsThere)
{
    // These tests read real files; without them they would pass having checked nothing.
    ASSERT_FALSE(sharedCorpusDir().empty()) << "the shared corpus is missing (set KEYGLASS_CORPUS_DIR)";
    EXPECT_GE(corpusFiles("vial-definitions").size(), 10u);
    EXPECT_GE(corpusFiles("via-definitions").size(), 5u);
}

TEST(CorpusLayouts, EveryDefinitionReadsAsThePlainReadingSays)
{
    int files = 0;
    for (const char* folder : {"vial-definitions", "via-definitions"}) {
        for (const auto& file : corpusFiles(folder)) {
            SCOPED_TRACE(file.filename().string());
            const json definition = readCorpus(file);
            const auto layout = layoutFromDefinition(definition);
            ASSERT_TRUE(layout) << layout.error().message;
            ++files;
            const auto expected = plainReading(definition["layouts"]["keymap"]);
            std::map<std::tuple<int, int, long, long, bool, int, int>, const PhysicalKey*> byPlace;
            for (const auto& key : layout->allKeys)
                byPlace[sortKey(key.row,
                                key.col,
                                key.x,
                                key.y,
                                key.decal,
                                key.option ? key.option->group : -1,
                                key.option ? key.option->choice : -1)] = &key;
            ASSERT_EQ(layout->allKeys.size(), expected.size());
            for (const auto& e : expected) {
                const auto found = byPlace.find(sortKey(e.row, e.col, e.x, e.y, e.decal, e.group, e.choice));
                ASSERT_NE(found, byPlace.end()) << e.row << "," << e.col << " at " << e.x << "," << e.y;
                const PhysicalKey& key = *found->second;
                EXPECT_DOUBLE_EQ(key.w, e.w);
                EXPECT_DOUBLE_EQ(key.h, e.h);
                EXPECT_DOUBLE_EQ(key.r, e.r);
                EXPECT_DOUBLE_EQ(key.rx, e.rx);
                EXPECT_DOUBLE_EQ(key.ry, e.ry);
                EXPECT_EQ(key.hasSecondary(), e.secondary) << key.id;
                EXPECT_EQ(key.decal, e.decal) << key.id;
                if (e.group < 0) {
                    EXPECT_FALSE(key.option) << key.id;
                } else {
                    EXPECT_EQ(key.option, (LayoutChoice{e.group, e.choice})) << key.id;
                }
            }
            // Every option a key names is within the labels, when the definition has labels.
            if (!layout->labels.empty()) {
                for (const auto& key : layout->allKeys) {
                    if (key.option) {
                        EXPECT_LT(static_cast<std::size_t>(key.option->group), layout->labels.size()) << key.id;
                    }
                }
            }
        }
    }
    EXPECT_GE(files, 15);
}

TEST(CorpusLayouts, EveryViaDefinitionValidates)
{
    TempHome home;
    for (const auto& file : corpusFiles("via-definitions")) {
        SCOPED_TRACE(file.filename().string());
        const auto added = addViaDefinitionFile(file);
        ASSERT_TRUE(added) << added.error().message;
        EXPECT_TRUE(fs::is_regular_file(viaDefinitionPath(added->vid, added->pid)));
    }
    EXPECT_EQ(listViaDefinitions().size(), corpusFiles("via-definitions").size());
}

std::size_t drawnKeys(const DefinitionLayout& layout)
{
    return static_cast<std::size_t>(
        std::count_if(layout.keys.begin(), layout.keys.end(), [](const PhysicalKey& k) { return !k.decal; }));
}

TEST(CorpusLayouts, SixtyPercentBoardsShowTheirPhysicalKeysWithDefaultOptions)
{
    // pi60 (VIA, 10 options): ANSI 60 %, 14 + 14 + 13 + 12 + 8 keys.
    const auto pi60 =
        layoutFromDefinition(readCorpus(sharedCorpusDir() / "via-definitions/1upkeyboards__pi60__pi60.json"));
    ASSERT_TRUE(pi60);
    EXPECT_GE(pi60->labels.size(), 8u);
    EXPECT_GT(pi60->allKeys.size(), 150u);
    EXPECT_EQ(drawnKeys(*pi60), 61u);
    EXPECT_TRUE(pi60->encoders.empty()); // its knob is an option ("1/Enc0") that is off by default

    // waffling60 (Vial): the first bottom row is a 7u Tsangan-style row of 7 keys: 14 + 14 + 13 + 12 + 7.
    const auto waffle =
        layoutFromDefinition(readCorpus(sharedCorpusDir() / "vial-definitions/4pplet__waffling60__rev_d.json"));
    ASSERT_TRUE(waffle);
    EXPECT_EQ(waffle->labels[0].title, "Bottom row");
    EXPECT_EQ(waffle->labels[0].choices.size(), 8u);
    EXPECT_TRUE(waffle->labels[1].isToggle());
    EXPECT_EQ(drawnKeys(*waffle), 60u);
    // No two keys of the default layout sit on the same place.
    std::set<std::pair<long, long>> places;
    for (const auto& key : waffle->keys)
        EXPECT_TRUE(places.insert({std::lround(key.x * 100), std::lround(key.y * 100)}).second) << key.id;
}

TEST(CorpusLayouts, SplitBoardsRotateTheirThumbKeys)
{
    const auto sofle = layoutFromDefinition(readCorpus(sharedCorpusDir() / "vial-definitions/sofle__rev1.json"));
    ASSERT_TRUE(sofle);
    std::map<std::string, double> angle;
    for (const auto& key : sofle->keys)
        angle[key.id] = key.r;
    // The inner thumb keys of both halves, turned towards each other.
    EXPECT_DOUBLE_EQ(angle["r4c3"], 15);
    EXPECT_DOUBLE_EQ(angle["r4c4"], 30);
    EXPECT_DOUBLE_EQ(angle["r9c4"], -30);
    EXPECT_DOUBLE_EQ(angle["r9c3"], -15);
    EXPECT_DOUBLE_EQ(angle["r0c0"], 0);

    const auto ergodox = layoutFromDefinition(readCorpus(sharedCorpusDir() / "vial-definitions/ergodox_ez__base.json"));
    ASSERT_TRUE(ergodox);
    int left = 0, right = 0;
    for (const auto& key : ergodox->keys) {
        if (key.r == 30 && key.rx == 6.5 && key.ry == 4.25)
            ++left;
        if (key.r == -30 && key.rx == 13 && key.ry == 4.25)
            ++right;
    }
    // Six thumb keys per half, each cluster turned about its own corner.
    EXPECT_EQ(left, 6);
    EXPECT_EQ(right, 6);
}

TEST(CorpusLayouts, IsoEnterAndSteppedKeysKeepTheirSecondRectangle)
{
    const auto satisfaction = layoutFromDefinition(
        readCorpus(sharedCorpusDir() / "via-definitions/cannonkeys__satisfaction75_rev2__satisfaction75_rev2.json"));
    ASSERT_TRUE(satisfaction);
    const auto enter = std::find_if(satisfaction->allKeys.begin(), satisfaction->allKeys.end(), [](const auto& k) {
        return k.id == "r3c13" && k.option == LayoutChoice{1, 1};
    });
    ASSERT_NE(enter, satisfaction->allKeys.end());
    EXPECT_TRUE(enter->hasSecondary());
    EXPECT_DOUBLE_EQ(enter->w, 1.25);
    EXPECT_DOUBLE_EQ(enter->h, 2);
    EXPECT_DOUBLE_EQ(enter->x2, -0.25);
    EXPECT_DOUBLE_EQ(enter->w2, 1.5);
    EXPECT_DOUBLE_EQ(enter->h2, 1);
    // Its VIA knob legend is a bare "e" on 1,14: a knob, not a key.
    EXPECT_EQ(satisfaction->encoders.size(), 1u);
}

} // namespace
} // namespace keyglass::test
