#include "backup/AutomaticBackups.h"
#include "backup/DeviceBackupFile.h"

#include "support/TestPads.h"
#include "platform/Paths.h"
#include "support/TempHome.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <regex>

using namespace keyglass;
using keyglass::test::TempHome;
namespace fs = std::filesystem;

TEST(DeviceBackupFile, CarriesTheStagedModel)
{
    auto device = keyglass::test::solodialModel();
    device.keymap[2][0][0] = 0x0029;
    device.tapDances[1] = TapDanceData{1, 2, 3, 4, 300};
    device.rgb.hue = 12;
    const DeviceBackupFile backup = backupFromDevice(device);
    EXPECT_EQ(backup.formatVersion, 2);
    EXPECT_EQ(backup.device, "Keyglass SoloDial");
    EXPECT_EQ(backup.vid, "0x5831");
    EXPECT_EQ(backup.pid, "0x4249");
    EXPECT_EQ(backup.proto, "Vial v6");
    EXPECT_EQ(backup.rows, 1);
    EXPECT_EQ(backup.cols, 1);
    EXPECT_EQ(backup.layers, 4);
    EXPECT_EQ(backup.keymap, device.keymap);
    EXPECT_EQ(backup.encoders, device.encoderMap);
    EXPECT_EQ(backup.tapDances, device.tapDances);
    EXPECT_EQ(backup.rgb, device.rgb);
    EXPECT_TRUE(std::regex_match(backup.savedAt, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << backup.savedAt;
    EXPECT_EQ(backupFromDevice(keyglass::test::quadgridModel()).proto, "VIA v12");
}

TEST(DeviceBackupFile, EncodesSortedAndReadsBack)
{
    const DeviceBackupFile backup = backupFromDevice(keyglass::test::solodialModel());
    const std::string text = encodeBackup(backup);
    const auto decoded = decodeBackup(text);
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_EQ(*decoded, backup);

    std::vector<std::string> keys;
    std::regex key(R"re(^  "(\w+)":)re", std::regex::multiline);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), key); it != std::sregex_iterator(); ++it)
        keys.push_back((*it)[1]);
    EXPECT_EQ(keys, (std::vector<std::string>{"cols", "device", "encoders", "formatVersion", "keymap", "layers", "pid",
                                              "proto", "rgb", "rows", "savedAt", "tapDances", "vid"}));
    const auto doc = nlohmann::json::parse(text);
    EXPECT_EQ(doc["rgb"]["kind"], "qmkRgblight");
    EXPECT_EQ(doc["tapDances"][0]["tappingTerm"], 175);
}

TEST(DeviceBackupFile, LeavesOutTapDancesAndLightingWhenThePadHasNone)
{
    auto device = keyglass::test::gridModel(1, 1, 2);
    device.product = "Bad \xFF name"; // USB strings are not always UTF-8
    const std::string text = encodeBackup(backupFromDevice(device));
    const auto doc = nlohmann::json::parse(text);
    EXPECT_FALSE(doc.contains("tapDances"));
    EXPECT_FALSE(doc.contains("rgb"));
    const auto decoded = decodeBackup(text);
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->tapDances);
    EXPECT_FALSE(decoded->rgb);
}

TEST(DeviceBackupFile, RefusesDocumentsItDidNotWrite)
{
    const auto good = nlohmann::json::parse(encodeBackup(backupFromDevice(keyglass::test::solodialModel())));
    const auto decodeWith = [&](auto change) {
        nlohmann::json doc = good;
        change(doc);
        return decodeBackup(doc.dump());
    };
    EXPECT_FALSE(decodeBackup("not json"));
    EXPECT_FALSE(decodeBackup("[1,2]"));
    EXPECT_FALSE(decodeWith([](auto& d) { d.erase("savedAt"); }));
    EXPECT_FALSE(decodeWith([](auto& d) { d.erase("encoders"); }));
    EXPECT_FALSE(decodeWith([](auto& d) { d["rows"] = "1"; }));
    EXPECT_FALSE(decodeWith([](auto& d) { d["layers"] = 1e20; }));
    EXPECT_FALSE(decodeWith([](auto& d) { d["keymap"][0][0][0] = 70000; }));
    EXPECT_FALSE(decodeWith([](auto& d) { d["keymap"][0][0][0] = -1; }));
    EXPECT_FALSE(decodeWith([](auto& d) { d["keymap"][0][0] = 4; }));
    EXPECT_FALSE(decodeWith([](auto& d) { d["tapDances"][0].erase("tappingTerm"); }));
    EXPECT_FALSE(decodeWith([](auto& d) { d["rgb"]["kind"] = "disco"; }));
    EXPECT_FALSE(decodeWith([](auto& d) { d["rgb"]["hue"] = 256; }));
    EXPECT_TRUE(decodeWith([](auto& d) { d["notes"] = "extra members are ignored"; }));
    EXPECT_TRUE(decodeWith([](auto& d) { d["rgb"] = nullptr; }));
    EXPECT_EQ(decodeWith([](auto& d) { d.erase("vid"); }).error().message, "missing \"vid\"");
}

TEST(DeviceBackupFile, ProposesALowerCaseHyphenatedName)
{
    auto device = keyglass::test::gridModel(1, 1, 1);
    device.manufacturer = "";
    device.product = "Pad/Mini 2";
    EXPECT_TRUE(std::regex_match(proposedBackupFileName(device), std::regex(R"(pad-mini-2-backup-\d{8}-\d{4}\.json)")))
        << proposedBackupFileName(device);
    device.product = "QuadGrid Pro";
    EXPECT_TRUE(proposedBackupFileName(device).starts_with("quadgrid-pro-backup-"));
}

TEST(BackupFiles, ManualBackupIsWrittenWhereAsked)
{
    TempHome home;
    const auto device = keyglass::test::quadgridModel();
    const fs::path file = home.path() / "chosen" / "mine.json";
    const auto written = writeBackupFile(device, file);
    ASSERT_TRUE(written) << written.error().message;
    const auto decoded = decodeBackup(keyglass::test::readText(file));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->keymap, device.keymap);

    keyglass::test::writeText(home.path() / "blocker", "x");
    EXPECT_FALSE(writeBackupFile(device, home.path() / "blocker" / "mine.json"));
}

TEST(AutomaticBackups, NamedAfterDeviceAndReasonAndLogged)
{
    TempHome home;
    keyglass::test::LogCapture log;
    auto device = keyglass::test::gridModel(1, 1, 1);
    device.manufacturer = "";
    device.product = "Pad/Mini 2";
    const auto file = writeAutomaticBackup(device, "quadgrid-t3-code-macos");
    ASSERT_TRUE(file) << file.error().message;
    EXPECT_EQ(file->parent_path(), paths::autoBackupDir());
    EXPECT_TRUE(std::regex_match(file->filename().string(),
                                 std::regex(R"(pad-mini-2-before-quadgrid-t3-code-macos-\d{8}-\d{6}\.json)")))
        << *file;
    EXPECT_TRUE(log.contains("Auto-backed up Pad/Mini 2 to " + file->string()));
    EXPECT_TRUE(decodeBackup(keyglass::test::readText(*file)));
    EXPECT_EQ(listAutomaticBackups(device), std::vector<fs::path>{*file});
}

TEST(AutomaticBackups, KeepsTheNewest25OfEachDeviceOnly)
{
    TempHome home;
    auto device = keyglass::test::gridModel(1, 1, 1);
    device.manufacturer = "";
    device.product = "Pad";
    auto longer = device; // its slug extends this one's: "pad-before-x-before-..."
    longer.product = "Pad before X";
    auto twin = device; // same name, another pad
    twin.vid = 0x9999;
    twin.id = deviceIdentifier(twin.vid, twin.pid);

    const auto other = writeAutomaticBackup(longer, "a");
    const auto twinFile = writeAutomaticBackup(twin, "a");
    ASSERT_TRUE(other && twinFile);
    keyglass::test::writeText(paths::autoBackupDir() / "pad-before-hand-written-20200101-000000.json", "{}");

    std::vector<fs::path> written;
    for (int i = 0; i < 26; ++i) {
        device.keymap[0][0][0] = static_cast<Keycode>(4 + i);
        const auto file = writeAutomaticBackup(device, "preset " + std::to_string(i % 3));
        ASSERT_TRUE(file) << file.error().message;
        written.push_back(*file);
    }
    std::set<fs::path> distinct(written.begin(), written.end());
    EXPECT_EQ(distinct.size(), 26u) << "backups within one second must not overwrite each other";

    const auto kept = listAutomaticBackups(device);
    ASSERT_EQ(kept.size(), 25u);
    EXPECT_FALSE(fs::exists(written.front())) << "the oldest one goes";
    EXPECT_EQ(kept, std::vector<fs::path>(written.rbegin(), written.rend() - 1)) << "newest first, in writing order";
    EXPECT_TRUE(fs::exists(*other));
    EXPECT_TRUE(fs::exists(*twinFile));
    EXPECT_TRUE(fs::exists(paths::autoBackupDir() / "pad-before-hand-written-20200101-000000.json"));
    EXPECT_EQ(listAutomaticBackups(twin), std::vector<fs::path>{*twinFile});
    EXPECT_EQ(listAutomaticBackups(longer), std::vector<fs::path>{*other});
}

TEST(AutomaticBackups, NewestIsDecidedByTheTimeStampNotTheReason)
{
    TempHome home;
    auto device = keyglass::test::gridModel(1, 1, 1);
    const fs::path dir = paths::autoBackupDir();
    const std::string body = encodeBackup(backupFromDevice(device));
    keyglass::test::writeText(dir / "acme-test-pad-before-zzz-20260101-000000.json", body);
    keyglass::test::writeText(dir / "acme-test-pad-before-aaa-20261201-000000.json", body);
    keyglass::test::writeText(dir / "acme-test-pad-before-aaa-20261201-000000-2.json", body);
    keyglass::test::writeText(dir / "acme-test-pad-before-mmm-20260601-120000.json", body);
    keyglass::test::writeText(dir / "acme-test-pad-before-mmm-20260601-120000.txt", body);
    const auto listed = listAutomaticBackups(device);
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[0].filename(), "acme-test-pad-before-aaa-20261201-000000-2.json");
    EXPECT_EQ(listed[1].filename(), "acme-test-pad-before-aaa-20261201-000000.json");
    EXPECT_EQ(listed[2].filename(), "acme-test-pad-before-mmm-20260601-120000.json");
    EXPECT_EQ(listed[3].filename(), "acme-test-pad-before-zzz-20260101-000000.json");
}

TEST(AutomaticBackups, FailureToCreateTheFolderIsReported)
{
    TempHome home;
    fs::create_directories(paths::autoBackupDir().parent_path());
    keyglass::test::writeText(paths::autoBackupDir(), "not a folder");
    EXPECT_FALSE(writeAutomaticBackup(keyglass::test::gridModel(1, 1, 1), "x"));
    EXPECT_TRUE(listAutomaticBackups(keyglass::test::gridModel(1, 1, 1)).empty());
}
