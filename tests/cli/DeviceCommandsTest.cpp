// keyglass-cli layout, devices and dump, run as a script would run them, over virtual pads only.

#include "support/CliRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace keyglass::test;
using json = nlohmann::json;

namespace {
std::string fixture(const char* name)
{
    return std::string(KG_TEST_DATA_DIR) + "/devices/" + name;
}
} // namespace

TEST(CliLayout, PlainAndCompressedDefinitionsGiveTheSameLayout)
{
    TempHome home;
    const auto plain = runCli("layout " + fixture("two-knobs.json"));
    const auto packed = runCli("layout " + fixture("two-knobs.json.xz"));
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_EQ(plain.out, packed.out);
    const json layout = json::parse(plain.out);
    EXPECT_EQ(layout["rows"], 2);
    EXPECT_EQ(layout["cols"], 3);
    ASSERT_EQ(layout["keys"].size(), 6u);
    EXPECT_EQ(layout["keys"][0], json::parse(R"({"id":"r0c0","row":0,"col":0,"x":0.0,"y":1.0,"w":1.0,"h":1.0,
                                                 "decal":false,"r":0.0,"rx":0.0,"ry":0.0,"x2":0.0,"y2":0.0,
                                                 "w2":1.0,"h2":1.0,"option":null})"));
    EXPECT_EQ(layout["encoders"][1], json::parse(R"({"id":1,"name":"Knob 1","clickRow":null,"clickCol":null})"));
}

TEST(CliLayout, UnusableFilesFailClearly)
{
    TempHome home;
    writeText(home.path() / "nomatrix.json", R"({"layouts":{"keymap":[["0,0"]]}})");
    writeText(home.path() / "broken.json", "{matrix");
    for (const char* name : {"nomatrix.json", "broken.json", "missing.json"}) {
        const auto result = runCli("layout " + (home.path() / name).string());
        EXPECT_EQ(result.exitCode, 1) << name;
        EXPECT_TRUE(result.out.empty()) << name;
        EXPECT_NE(result.err.find(name), std::string::npos) << result.err;
    }
    EXPECT_NE(runCli("layout " + (home.path() / "nomatrix.json").string()).err.find("no usable matrix"),
              std::string::npos);
    EXPECT_EQ(runCli("layout").exitCode, 2);
}

TEST(CliDevices, ListsEveryVirtualPadSortedWithTiming)
{
    TempHome home;
    const auto result = runCli("--virtual solodial --virtual quadgrid devices --timing");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto firstLine = result.out.substr(0, result.out.find('\n'));
    EXPECT_EQ(firstLine.substr(0, firstLine.find(" exchanges=")),
              "1A86:FE16\tLoomworks QuadGrid Macropad\tVIA v12\t5x4\tlayers=4 keys=16 encoders=3 tapDances=0 "
              "lighting=viaCustomCh1");
    EXPECT_NE(firstLine.find(" load_ms="), std::string::npos);
    EXPECT_NE(result.out.find("\n5831:4249\tTinkerloop SoloDial Knob\tVial v6\t1x1\t"), std::string::npos);
}

TEST(CliDevices, JsonCarriesTheWholeModel)
{
    TempHome home;
    const auto result = runCli("--virtual solodial devices --json");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const json list = json::parse(result.out);
    ASSERT_EQ(list.size(), 1u);
    const json& pad = list[0];
    for (const char* field : {"id",
                              "vid",
                              "pid",
                              "manufacturer",
                              "product",
                              "serial",
                              "proto",
                              "connected",
                              "liveRead",
                              "rows",
                              "cols",
                              "layerCount",
                              "keys",
                              "encoders",
                              "tapDanceCount",
                              "keymap",
                              "encoderMap",
                              "tapDances",
                              "rgb",
                              "activeLayer",
                              "protectedCells",
                              "protectedLayerCells",
                              "dirty"})
        EXPECT_TRUE(pad.contains(field)) << field;
    EXPECT_EQ(pad["proto"]["case"], "vial");
    EXPECT_EQ(pad["proto"]["label"], "Vial v6");
    EXPECT_EQ(pad["rgb"]["kind"], "qmkRgblight");
    EXPECT_TRUE(pad["keymap"][0][0][0].is_number_unsigned());
    EXPECT_EQ(runCli("devices --json").out, "[]\n");
}

TEST(CliDump, ShowsExpressionsAndRefusesUnknownPads)
{
    TempHome home;
    const auto dump = runCli("--virtual solodial dump 5831:4249 --json");
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    const json model = json::parse(dump.out);
    EXPECT_TRUE(model["keymapExpressions"][0][0][0].is_string());
    EXPECT_EQ(model["encoderMapExpressions"][0][0], json::parse(R"(["KC_VOLD","KC_VOLU"])"));

    const auto text = runCli("--virtual quadgrid dump 1a86:fe16");
    ASSERT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("protocol VIA v12\n"), std::string::npos);
    EXPECT_NE(text.out.find("L3 row 4: "), std::string::npos);

    const auto unknown = runCli("--virtual quadgrid dump 0000:0001");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("0000:0001"), std::string::npos);
    EXPECT_EQ(runCli("--virtual nosuchpad devices").exitCode, 1);
    EXPECT_EQ(runCli("dump").exitCode, 2);
}
