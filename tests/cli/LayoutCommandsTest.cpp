// keyglass-cli layout over real corpus files (rotation, second rectangles, options) and the
// definition add/list/remove commands.

#include "support/CliRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

using namespace keyglass::test;
using json = nlohmann::json;
namespace fs = std::filesystem;

namespace {
std::string corpus(const char* relative)
{
    const fs::path dir = sharedCorpusDir();
    EXPECT_FALSE(dir.empty()) << "the shared corpus is missing (set KEYGLASS_CORPUS_DIR)";
    return (dir / relative).string();
}

const json* key(const json& layout, const std::string& id, const json& option = nullptr)
{
    for (const auto& k : layout["keys"])
        if (k["id"] == id && (option.is_null() || k["option"] == option))
            return &k;
    return nullptr;
}
} // namespace

TEST(CliLayoutGeometry, PrintsRotationSecondRectanglesAndOptionsOfEveryKey)
{
    TempHome home;
    const auto sofle = runCli("layout " + corpus("vial-definitions/sofle__rev1.json") + " --json");
    ASSERT_EQ(sofle.exitCode, 0) << sofle.err;
    const json split = json::parse(sofle.out);
    const json* thumb = key(split, "r4c4");
    ASSERT_TRUE(thumb);
    EXPECT_EQ((*thumb)["r"], 30.0);
    EXPECT_EQ((*thumb)["rx"], 6.25);
    EXPECT_EQ((*thumb)["ry"], 4.5);
    EXPECT_EQ((*thumb)["h"], 1.5);

    const auto satisfaction =
        runCli("layout " + corpus("via-definitions/cannonkeys__satisfaction75_rev2__satisfaction75_rev2.json"));
    ASSERT_EQ(satisfaction.exitCode, 0) << satisfaction.err;
    const json all = json::parse(satisfaction.out);
    EXPECT_EQ(all["labels"].size(), 5u);
    EXPECT_EQ(all["labels"][3], json::parse(R"({"title":"Spacebar","choices":["6.25U","7U"],"toggle":false})"));
    const json* iso = key(all, "r3c13", json::array({1, 1}));
    ASSERT_TRUE(iso);
    EXPECT_EQ((*iso)["x2"], -0.25);
    EXPECT_EQ((*iso)["w2"], 1.5);
    EXPECT_EQ((*iso)["h2"], 1.0);
    EXPECT_EQ((*iso)["option"], json::array({1, 1}));
    EXPECT_EQ(all["keys"].size(), 91u); // every key of every option

    // Chosen options only: ISO Enter, the second of five one-bit options (the last takes the lowest bit).
    const auto chosen =
        runCli("layout " + corpus("via-definitions/cannonkeys__satisfaction75_rev2__satisfaction75_rev2.json") +
               " --options 0x8");
    ASSERT_EQ(chosen.exitCode, 0) << chosen.err;
    const json isoLayout = json::parse(chosen.out);
    EXPECT_EQ(isoLayout["layoutOptions"], 8);
    EXPECT_TRUE(key(isoLayout, "r3c13", json::array({1, 1})));
    EXPECT_FALSE(key(isoLayout, "r3c13", json::array({1, 0})));
    for (const auto& k : isoLayout["keys"])
        EXPECT_TRUE(k["option"].is_null() || k["option"][0] != 1 || k["option"][1] == 1) << k;

    EXPECT_EQ(runCli("layout " + corpus("via-definitions/keebio__bdn9__bdn9-rev2.json") + " --options x").exitCode, 2);
    EXPECT_EQ(runCli("layout " + corpus("via-definitions/keebio__bdn9__bdn9-rev2.json") + " --options").exitCode, 2);
}

TEST(CliDefinitions, AddListRemove)
{
    TempHome home;
    const auto added = runCli("definition add " + corpus("via-definitions/keebio__bdn9__bdn9-rev2.json") + " " +
                              corpus("via-definitions/nullbitsco__tidbit.json"));
    ASSERT_EQ(added.exitCode, 0) << added.err;
    EXPECT_NE(added.out.find("added CB10:2133 BDN9 Rev. 2 (3x3 matrix, 12 keys, 3 layout options) as "),
              std::string::npos)
        << added.out;
    EXPECT_TRUE(fs::is_regular_file(home.path() / ".local/share/Keyglass/Definitions/CB10_2133.json"));
    EXPECT_TRUE(fs::is_regular_file(home.path() / ".local/share/Keyglass/Definitions/6E61_6064.json"));

    const auto listed = runCli("definition list");
    ASSERT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.out.substr(0, 10), "6E61:6064 ");
    EXPECT_NE(listed.out.find("\nCB10:2133 BDN9 Rev. 2"), std::string::npos) << listed.out;

    // This Vial definition names no vendor and product id: it can be no pad's VIA definition.
    const auto vial = runCli("definition add " + corpus("vial-definitions/4pplet__waffling60__rev_d.json"));
    EXPECT_EQ(vial.exitCode, 1);
    EXPECT_NE(vial.err.find("\"vendorId\""), std::string::npos) << vial.err;

    EXPECT_EQ(runCli("definition remove cb10:2133").exitCode, 0);
    const auto again = runCli("definition remove CB10:2133");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("no definition stored"), std::string::npos);
    EXPECT_EQ(runCli("definition remove nonsense").exitCode, 1);
    EXPECT_EQ(runCli("definition list").out.find("CB10"), std::string::npos);
}
