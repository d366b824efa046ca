#include "backup/DeviceBackupFile.h"
#include "backup/AutomaticBackups.h"
#include "backup/LayoutImport.h"

#include "platform/Paths.h"
#include "support/TempHome.h"
#include "support/TestPads.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
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
    EXPECT_EQ(keys,
              (std::vector<std::string>{"cols",
                                        "device",
                                        "encoders",
                                        "formatVersion",
                                        "keymap",
                                        "layers",
                                        "pid",
                                        "proto",
                                        "rgb",
                                        "rows",
                                        "savedAt",
                                        "tapDances",
                                        "vid"}));
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
    auto longer = device; // another pad whose slug extends this one's: "pad-before-x-before-..."
    longer.product = "Pad before X";
    longer.pid = 0x7777;
    longer.id = deviceIdentifier(longer.vid, longer.pid);
    auto twin = device; // same name, another pad
    twin.vid = 0x9999;
    twin.id = deviceIdentifier(twin.vid, twin.pid);
    auto sameIds = keyglass::test::gridModel(1, 2, 1); // the same placeholder ids on another board
    sameIds.manufacturer = "";
    sameIds.product = "Other";

    const auto other = writeAutomaticBackup(longer, "a");
    const auto twinFile = writeAutomaticBackup(twin, "a");
    const auto sameIdsFile = writeAutomaticBackup(sameIds, "a");
    ASSERT_TRUE(other && twinFile && sameIdsFile);
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
    EXPECT_EQ(listAutomaticBackups(sameIds), std::vector<fs::path>{*sameIdsFile});
    EXPECT_EQ(listAutomaticBackups(longer), std::vector<fs::path>{*other});
}

TEST(AutomaticBackups, NewestIsDecidedByTheTimeOfWritingNotTheReason)
{
    TempHome home;
    auto device = keyglass::test::gridModel(1, 1, 1);
    const fs::path dir = paths::autoBackupDir();
    const auto body = [&device](const char* savedAt) {
        auto backup = backupFromDevice(device);
        backup.savedAt = savedAt;
        return encodeBackup(backup);
    };
    keyglass::test::writeText(dir / "acme-test-pad-before-zzz-20260101-000000.json", body("2026-01-01T00:00:00Z"));
    keyglass::test::writeText(dir / "acme-test-pad-before-aaa-20261201-000000.json", body("2026-12-01T00:00:00Z"));
    keyglass::test::writeText(dir / "acme-test-pad-before-aaa-20261201-000000-2.json", body("2026-12-01T00:00:00Z"));
    keyglass::test::writeText(dir / "acme-test-pad-before-mmm-20260601-120000.json", body("2026-06-01T12:00:00Z"));
    keyglass::test::writeText(dir / "acme-test-pad-before-mmm-20260601-120000.txt", body("2026-06-01T12:00:00Z"));
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

namespace {

// Sets TZ in-process for the lifetime of the object.
class ZoneOverride
{
public:
    explicit ZoneOverride(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_previous = old;
        setZone(zone);
    }
    ~ZoneOverride() { setZone(m_previous ? m_previous->c_str() : nullptr); }

private:
    static void setZone(const char* zone)
    {
        if (zone)
            ::setenv("TZ", zone, 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    std::optional<std::string> m_previous;
};

} // namespace

TEST(AutomaticBackups, NewestIsTheLastWrittenAcrossATimeZoneChange)
{
    TempHome home;
    auto device = keyglass::test::gridModel(1, 1, 1);
    fs::path first, second;
    {
        ZoneOverride zone("XXX-1"); // one hour ahead of UTC: this name's stamp reads later
        device.keymap[0][0][0] = 0x04;
        first = *writeAutomaticBackup(device, "a");
    }
    {
        ZoneOverride zone("UTC");
        device.keymap[0][0][0] = 0x05;
        second = *writeAutomaticBackup(device, "a");
    }
    ASSERT_GT(first.filename().string(), second.filename().string()) << "the names alone would pick the first";
    EXPECT_EQ(listAutomaticBackups(device), (std::vector<fs::path>{second, first}));

    DeviceModel restored = device;
    restored.keymap[0][0][0] = 0x06;
    ASSERT_TRUE(restoreLatestAutomaticBackup(restored));
    EXPECT_EQ(restored.keymap[0][0][0], 0x05);
}

TEST(AutomaticBackups, PruningGoesBySavedAtNotTheName)
{
    TempHome home;
    auto device = keyglass::test::gridModel(1, 1, 1);
    const fs::path dir = paths::autoBackupDir();
    fs::create_directories(dir);
    // A name stamp far in the future but written long ago: the oldest by time of writing.
    auto old = backupFromDevice(device);
    old.savedAt = "2001-01-01T00:00:00Z";
    const fs::path misleading = dir / "acme-test-pad-before-x-29991231-235959.json";
    keyglass::test::writeText(misleading, encodeBackup(old));
    for (size_t i = 0; i < AutomaticBackupsKept; ++i)
        ASSERT_TRUE(writeAutomaticBackup(device, "x"));
    EXPECT_FALSE(fs::exists(misleading));
    EXPECT_EQ(listAutomaticBackups(device).size(), AutomaticBackupsKept);
}

TEST(AutomaticBackups, ARenamedPadKeepsItsBackups)
{
    TempHome home;
    auto device = keyglass::test::gridModel(1, 1, 1);
    device.manufacturer = "";
    device.product = "Old Name";
    const auto before = writeAutomaticBackup(device, "a");
    ASSERT_TRUE(before);
    device.product = "New Name";
    EXPECT_EQ(listAutomaticBackups(device), std::vector<fs::path>{*before});

    std::vector<fs::path> written;
    for (size_t i = 0; i < AutomaticBackupsKept; ++i)
        written.push_back(*writeAutomaticBackup(device, "b"));
    EXPECT_FALSE(fs::exists(*before)) << "the renamed pad's oldest backup is pruned with the others";
    EXPECT_EQ(listAutomaticBackups(device), std::vector<fs::path>(written.rbegin(), written.rend()));
}
