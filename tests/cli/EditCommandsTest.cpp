// keyglass-cli's editing commands, run as a user would: a virtual pad with a state file that keeps its
// EEPROM between runs, so every command is checked by what the next `dump` shows.

#include "support/CliRunner.h"

#include <gtest/gtest.h>

using namespace keyglass::test;

namespace {
class CliEditTest : public ::testing::Test
{
protected:
    std::string pad() const { return "--virtual quadgrid@" + (home.path() / "quadgrid.json").string() + " "; }
    TempHome home;
};
} // namespace

TEST_F(CliEditTest, ASetIsAppliedAndSurvivesIntoTheNextRun)
{
    const auto set = runCli(pad() + "set 1a86:fe16 2 1 3 'SGUI(KC_D)' --label Dictation");
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(set.out, "Applied 96 mappings to Loomworks QuadGrid Macropad\n");

    const auto dump = runCli(pad() + "dump 1A86:FE16");
    EXPECT_EQ(dump.exitCode, 0);
    EXPECT_NE(dump.out.find("L2 row 1: "), std::string::npos);
    const auto row = dump.out.substr(dump.out.find("L2 row 1: "));
    EXPECT_NE(row.substr(0, row.find('\n')).find("SGUI(KC_D)"), std::string::npos) << row;
}

TEST_F(CliEditTest, RefusedExpressionsChangeNothing)
{
    const auto before = runCli(pad() + "dump 1A86:FE16");
    for (const char* expression : {"QK_BOOT", "0x7000", "'LCTL(KC_K'", "0x7E00"}) {
        const auto set = runCli(pad() + "set 1A86:FE16 0 0 0 " + expression);
        EXPECT_EQ(set.exitCode, 1) << expression;
        EXPECT_TRUE(set.out.empty()) << set.out;
        EXPECT_FALSE(set.err.empty());
    }
    EXPECT_EQ(runCli(pad() + "set 1A86:FE16 0 0 0 QK_BOOT").err, "Blocked bootloader/reset token \"QK_BOOT\"\n");
    EXPECT_EQ(runCli(pad() + "dump 1A86:FE16").out, before.out);
}

TEST_F(CliEditTest, ProtectedAndMissingSlotsAreReported)
{
    auto reserved = runCli(pad() + "set 1A86:FE16 1 4 2 KC_A");
    EXPECT_EQ(reserved.exitCode, 1);
    EXPECT_EQ(reserved.err, "Hardware-reserved slot (r4,c2) cannot be remapped.\n");

    auto unknown = runCli(pad() + "set 0000:0001 0 0 0 KC_A");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("no pad 0000:0001"), std::string::npos);

    const auto before = runCli(pad() + "dump 1A86:FE16");
    for (const char* position : {"99 0 0", "0 9 0", "0 0 200"}) {
        auto outside = runCli(pad() + "set 1A86:FE16 " + position + " KC_A");
        EXPECT_EQ(outside.exitCode, 1) << position;
        EXPECT_TRUE(outside.out.empty()) << outside.out;
        EXPECT_NE(outside.err.find("1A86:FE16 has no key at row"), std::string::npos) << outside.err;
    }
    EXPECT_EQ(runCli(pad() + "set 1A86:FE16 99 0 0 KC_A").err,
              "keyglass-cli: 1A86:FE16 has no key at row 0, column 0 on layer 99\n");
    EXPECT_EQ(runCli(pad() + "dump 1A86:FE16").out, before.out);

    EXPECT_EQ(runCli(pad() + "set 1A86:FE16 0 0 KC_A").exitCode, 2);
    EXPECT_EQ(runCli(pad() + "set 1A86:FE16 0 0 300 KC_A").exitCode, 2);
}

TEST_F(CliEditTest, KnobAndDryRunEdits)
{
    const auto knob = runCli(pad() + "set-knob 1A86:FE16 1 0 ccw KC_MPRV");
    EXPECT_EQ(knob.exitCode, 0) << knob.err;
    const auto dry = runCli(pad() + "set 1A86:FE16 0 0 0 KC_A --dry-run");
    EXPECT_EQ(dry.exitCode, 0);
    EXPECT_EQ(dry.out, "staged KC_A on k-1A86:FE16-0-0-0 (dry run: nothing written)\n");
    const auto dump = runCli(pad() + "dump 1A86:FE16");
    EXPECT_NE(dump.out.find("KC_MPRV"), std::string::npos);
    EXPECT_EQ(runCli(pad() + "set-knob 1A86:FE16 0 9 cw KC_A").exitCode, 1);
}

TEST_F(CliEditTest, LightingChangesReachThePad)
{
    const auto set = runCli(pad() + "lighting 1A86:FE16 --color 85,255 --brightness 64");
    EXPECT_EQ(set.exitCode, 0) << set.err;
    const auto off = runCli(pad() + "lighting 1A86:FE16 --off");
    EXPECT_NE(off.out.find("lighting off"), std::string::npos) << off.out;
    const auto on = runCli(pad() + "lighting 1A86:FE16 --toggle");
    EXPECT_NE(on.out.find("lighting on"), std::string::npos) << on.out;
    EXPECT_NE(on.out.find("brightness=64 "), std::string::npos) << on.out;
    EXPECT_NE(on.out.find("hue=85 sat=255"), std::string::npos) << on.out;
    EXPECT_EQ(runCli(pad() + "lighting 1A86:FE16 --color 300,1").exitCode, 2);
}

TEST_F(CliEditTest, SpeedOnlyWhereTheLightingHasOne)
{
    const auto dir = sharedCorpusDir();
    ASSERT_FALSE(dir.empty()) << "the shared corpus is missing (set KEYGLASS_CORPUS_DIR)";
    // A Vial board with VialRGB: the speed goes out with the mode and is read back in the next run.
    const std::string vialRgb = "--virtual " + (dir / "vial-definitions/keebio__bdn9__rev2.json").string() + "@" +
                                (home.path() / "bdn9.json").string() + " ";
    const auto set = runCli(vialRgb + "lighting 4B47:0001 --speed 40");
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_NE(set.out.find("speed=40"), std::string::npos) << set.out;
    EXPECT_NE(runCli(vialRgb + "lighting 4B47:0001").out.find("speed=40"), std::string::npos);

    const auto refused = runCli(pad() + "lighting 1A86:FE16 --speed 3");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("has no speed"), std::string::npos) << refused.err;
    EXPECT_EQ(runCli(vialRgb + "lighting 4B47:0001 --speed 256").exitCode, 2);
}
