// keyglass-cli's community commands against a real keyglass-share on 127.0.0.1.

#include "presets/PresetLibrary.h"
#include "support/CliRunner.h"
#include "support/ShareFixture.h"
#include "support/SharePresets.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace keyglass::test {
namespace {

class CommunityCliTest : public ::testing::Test
{
protected:
    void SetUp() override { ::setenv("KEYGLASS_COMMUNITY_URL", share.baseURL().c_str(), 1); }
    void TearDown() override { ::unsetenv("KEYGLASS_COMMUNITY_URL"); }
    std::string writePreset(const DevicePreset& preset)
    {
        const auto file = home.path() / (preset.name + ".json");
        writeText(file, encodePreset(preset));
        return "'" + file.string() + "'";
    }
    TempHome home;
    RunningShare share{home.path()};
};

TEST_F(CommunityCliTest, ShareListAndGetRoundTrip)
{
    const auto shared = runCli("community share " + writePreset(sharePreset("Round Trip")));
    ASSERT_EQ(shared.exitCode, 0) << shared.err;
    const auto at = shared.out.find("Shared! Link copied: ");
    ASSERT_NE(at, std::string::npos) << shared.out;
    std::string link = shared.out.substr(at + 21);
    link = link.substr(0, link.find('\n'));

    const auto list = runCli("community list");
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find("\tRound Trip\tPhotoshop\tmacos\tquadgrid\t"), std::string::npos) << list.out;
    const auto json = runCli("community list --json");
    ASSERT_EQ(json.exitCode, 0);
    const auto parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_EQ(parsed["community"].size(), 1u);
    EXPECT_EQ(parsed["community"][0]["community"], true);

    const auto got = runCli("community get '" + link + "'");
    ASSERT_EQ(got.exitCode, 0) << got.err;
    EXPECT_TRUE(got.out.starts_with("Saved custom preset \"Round Trip\"\tcustom-")) << got.out;
    int custom = 0;
    for (const auto& preset : loadPresets())
        if (preset.name == "Round Trip") {
            ++custom;
            EXPECT_FALSE(preset.builtIn);
            EXPECT_FALSE(preset.community.value_or(false));
            EXPECT_TRUE(preset.id.starts_with("custom-"));
        }
    EXPECT_EQ(custom, 1);
    // By id as well.
    EXPECT_EQ(runCli("community get " + link.substr(link.rfind('/') + 1)).exitCode, 0);
}

TEST_F(CommunityCliTest, RefusalsAndFailures)
{
    const auto blocked = runCli("community share " + writePreset(blockedPreset()));
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_NE(blocked.err.find("Blocked by safety check: L0 (0,0): "), std::string::npos) << blocked.err;
    EXPECT_TRUE(share.requestLog().empty());

    EXPECT_EQ(runCli("community share no-such-preset").exitCode, 1);
    EXPECT_EQ(runCli("community share").exitCode, 2);
    EXPECT_EQ(runCli("community list extra").exitCode, 2);
    const auto missing = runCli("community get " + std::string(32, 'a'));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("answered 404"), std::string::npos) << missing.err;

    // A blocked preset that got into the database some other way is still not saved.
    const std::string planted(32, 'b');
    ASSERT_TRUE(share.storage().insert({planted, presetToJson(blockedPreset()).dump(), 0, "Sneaky"}));
    const auto got = runCli("community get " + planted);
    EXPECT_EQ(got.exitCode, 1);
    EXPECT_NE(got.err.find("Blocked unsafe preset: L0 (0,0): "), std::string::npos) << got.err;
    for (const auto& preset : loadPresets())
        EXPECT_NE(preset.name, "Sneaky");

    ::setenv("KEYGLASS_COMMUNITY_URL", "http://127.0.0.1:1", 1);
    const auto down = runCli("community list");
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_TRUE(down.err.starts_with("Could not load community presets: ")) << down.err;
}

} // namespace
} // namespace keyglass::test
