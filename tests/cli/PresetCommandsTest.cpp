// keyglass-cli's preset and backup commands over a virtual pad whose memory lives in a state file.

#include "support/CliRunner.h"

#include <gtest/gtest.h>

using namespace keyglass::test;

namespace {
class CliPresetTest : public ::testing::Test
{
protected:
    std::string pad() const { return "--virtual quadgrid@" + (home.path() / "quadgrid.json").string() + " "; }
    std::string dump() { return runCli(pad() + "dump 1A86:FE16").out; }
    TempHome home;
};
} // namespace

TEST_F(CliPresetTest, ApplyingAPresetBacksUpStagesAndWrites)
{
    const auto list = runCli(pad() + "preset list 1A86:FE16");
    ASSERT_EQ(list.exitCode, 0);
    EXPECT_NE(list.out.find("quadgrid-t3-code-macos\t"), std::string::npos);
    EXPECT_EQ(list.out.find("solodial-"), std::string::npos); // presets of other pads are not offered

    const std::string before = dump();
    const auto dry = runCli(pad() + "preset apply 1A86:FE16 quadgrid-t3-code-macos --dry-run");
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(dump(), before);
    // A dry run writes nothing at all: no automatic backup, no active preset.
    EXPECT_EQ(runCli(pad() + "restore-latest 1A86:FE16").exitCode, 1);
    EXPECT_EQ(runCli(pad() + "preset list 1A86:FE16").out.find("\tactive"), std::string::npos);

    const auto applied = runCli(pad() + "preset apply 1A86:FE16 quadgrid-t3-code-macos");
    ASSERT_EQ(applied.exitCode, 0) << applied.err;
    EXPECT_NE(applied.out.find("Auto-backed up & loaded "), std::string::npos);
    EXPECT_NE(applied.out.find("Applied "), std::string::npos);
    EXPECT_NE(dump(), before);
    EXPECT_NE(runCli(pad() + "preset list 1A86:FE16").out.find("\tactive"), std::string::npos);

    // The automatic backup taken before the preset brings the old layout back.
    const auto restored = runCli(pad() + "restore-latest 1A86:FE16");
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(dump(), before);
}

TEST_F(CliPresetTest, UnsafePresetFilesAreRefusedWithoutTouchingThePad)
{
    const std::string before = dump();
    writeText(home.path() / "bad.json", R"({"schemaVersion":1,"id":"bad","name":"Bad","appId":"x","appName":"X",
        "category":"c","os":"macos","deviceProfile":"quadgrid","description":"","builtIn":false,
        "layers":[{"index":0,"name":"L0","keys":[["KC_A","QK_BOOT"]]}]})");
    const auto refused = runCli(pad() + "preset apply 1A86:FE16 " + (home.path() / "bad.json").string());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "Blocked unsafe preset: L0 (0,1): Blocked bootloader/reset token \"QK_BOOT\"\n");
    EXPECT_EQ(runCli(pad() + "preset apply 1A86:FE16 nothing-like-this").exitCode, 1);
    EXPECT_EQ(dump(), before);
}

TEST_F(CliPresetTest, BackupChangeRestoreGivesTheLayoutBack)
{
    const std::string before = dump();
    const auto file = (home.path() / "pad-backup.json").string();
    const auto backup = runCli(pad() + "backup 1A86:FE16 " + file);
    ASSERT_EQ(backup.exitCode, 0) << backup.err;
    EXPECT_EQ(backup.out, "Saved backup to pad-backup.json\n");
    ASSERT_EQ(runCli(pad() + "set 1A86:FE16 0 0 0 KC_A").exitCode, 0);
    ASSERT_EQ(runCli(pad() + "set-knob 1A86:FE16 2 1 cw KC_B").exitCode, 0);
    ASSERT_NE(dump(), before);
    const auto restored = runCli(pad() + "restore 1A86:FE16 " + file);
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(dump(), before);

    const auto garbage = (home.path() / "garbage.json").string();
    writeText(garbage, "{\"neither\": true}");
    const auto refused = runCli(pad() + "restore 1A86:FE16 " + garbage);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "Unsupported layout file format\n");
}

TEST_F(CliPresetTest, SavedAndClonedPresetsAreCustomAndDeletable)
{
    const auto saved = runCli(pad() + "preset save-current 1A86:FE16 --name 'My Grid' --app Krita --os windows");
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_EQ(saved.out.substr(0, saved.out.find('\n')), "Saved custom preset \"My Grid\"");
    const std::string id = saved.out.substr(saved.out.find('\n') + 1, saved.out.size() - saved.out.find('\n') - 2);
    EXPECT_EQ(id.rfind("custom-", 0), 0u) << id;
    // The chosen OS is every layer's, not only the preset's.
    const auto file = readText(home.path() / ".local/share/Keyglass/Presets" / (id + ".json"));
    EXPECT_EQ(file.find("\"os\": \"macos\""), std::string::npos) << file;
    EXPECT_NE(file.find("\"os\": \"windows\""), std::string::npos);

    const auto clone = runCli(pad() + "preset clone quadgrid-vscode-macos --name '' --os Windows");
    ASSERT_EQ(clone.exitCode, 0) << clone.err;
    EXPECT_NE(clone.out.find("(Custom)"), std::string::npos);

    EXPECT_EQ(runCli(pad() + "preset delete quadgrid-vscode-macos").exitCode, 1); // built in
    const auto deleted = runCli(pad() + "preset delete " + id);
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_EQ(deleted.out, "Deleted custom preset \"My Grid\"\n");
    EXPECT_EQ(runCli(pad() + "preset list").out.find(id), std::string::npos);
}
