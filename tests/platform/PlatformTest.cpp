#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include <sys/stat.h>

using namespace keyglass;
using namespace keyglass::test;
namespace fs = std::filesystem;

TEST(Log, LinesCarryAUtcTimestampAndLandInTheLogFileOfTheCurrentHome)
{
    TempHome home;
    LogCapture capture;
    setLogConsole(LogConsole::none);
    logLine("Keyglass v2 starting (generic multi-device menu bar mode)...");
    logLine("second");
    setLogConsole(LogConsole::standardOutput);

    const fs::path file = home.path() / ".local/state/Keyglass/keyglass.log";
    EXPECT_EQ(paths::logFile(), file);
    const std::string text = readText(file);
    const std::regex line(
        R"(\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\] Keyglass v2 starting \(generic multi-device menu bar mode\)\.\.\.
\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\] second
)");
    EXPECT_TRUE(std::regex_match(text, line)) << text;
    ASSERT_EQ(capture.lines().size(), 2u);
}

TEST(Log, AnythingButARegularFileAtTheLogsPathIsLeftAlone)
{
    {
        TempHome home;
        fs::create_directories(paths::logFile()); // a folder where the file should be
        logLine("still fine");
        EXPECT_TRUE(fs::is_directory(paths::logFile()));
    }
    TempHome home;
    fs::create_directories(paths::logFile().parent_path());
    ASSERT_EQ(::mkfifo(paths::logFile().c_str(), 0600), 0);
    logLine("a FIFO nobody reads would block here"); // returns at once
    EXPECT_TRUE(fs::is_fifo(paths::logFile()));
}

TEST(Log, AFullLogMovesAsideAndANewOneBegins)
{
    TempHome home;
    fs::create_directories(paths::logFile().parent_path());
    const std::string old(MaxLogBytes - 10, 'x');
    std::ofstream(paths::logFile(), std::ios::binary) << old;
    logLine("the line that does not fit");
    fs::path previous = paths::logFile();
    previous += ".1";
    EXPECT_EQ(fs::file_size(previous), old.size());
    EXPECT_LT(fs::file_size(paths::logFile()), 100u);
    EXPECT_EQ(fs::status(paths::logFile()).permissions() & fs::perms::others_read, fs::perms::none);
}

TEST(Paths, FollowXdgVariablesAtCallTimeAndIgnoreRelativeOnes)
{
    TempHome home;
    EXPECT_EQ(paths::customPresetsDir(), home.path() / ".local/share/Keyglass/Presets");
    EXPECT_EQ(paths::autoBackupDir(), home.path() / ".local/share/Keyglass/AutoBackups");
    EXPECT_EQ(paths::settingsFile(), home.path() / ".config/Keyglass/defaults.json");
    EXPECT_EQ(paths::focusConfigFile(), home.path() / ".config/quadgrid-focus.json");
    EXPECT_EQ(paths::t3KeybindingsFile(), home.path() / ".t3/userdata/keybindings.json");
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(paths::dataDir(), home.path() / ".local/share/Keyglass");
    ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(paths::logFile(), home.path() / ".local/state/Keyglass/keyglass.log");
}

TEST(AtomicFile, ReplacesWholeFilesAndLeavesNoTemporaryBehind)
{
    TempHome home;
    const fs::path file = home.path() / "nested/folder/data.json";
    ASSERT_TRUE(writeFileAtomically(file, "first").has_value());
    ASSERT_TRUE(writeFileAtomically(file, "second, longer").has_value());
    EXPECT_EQ(readText(file), "second, longer");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(file.parent_path()))
        ++entries;
    EXPECT_EQ(entries, 1);

    const auto capped = readFileCapped(file, 4);
    ASSERT_FALSE(capped.has_value());
    EXPECT_NE(capped.error().message.find("data.json"), std::string::npos);
    EXPECT_FALSE(readFileCapped(home.path() / "missing.json", 100).has_value());
}

TEST(AtomicFile, AFailedWriteNamesTheFileAndLeavesNothingBehind)
{
    TempHome home;
    // A non-empty folder where the file should be: the final rename fails, even for root.
    const fs::path target = home.path() / "data.json";
    fs::create_directories(target / "inside");
    const auto result = writeFileAtomically(target, "new");
    ASSERT_FALSE(result.has_value());
    EXPECT_NE(result.error().message.find("data.json"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(target / "inside"));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(home.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(SettingsStore, PersistsValuesAndSurvivesACorruptFile)
{
    TempHome home;
    const fs::path file = paths::settingsFile();
    {
        JsonFileSettingsStore settings(file);
        EXPECT_FALSE(settings.value("Keyglass.activePresetByDevice").has_value());
        EXPECT_TRUE(settings.setValue("Keyglass.activePresetByDevice", {{"1A86:FE16", "quadgrid-t3"}}));
    }
    JsonFileSettingsStore reopened(file);
    EXPECT_EQ((*reopened.value("Keyglass.activePresetByDevice"))["1A86:FE16"], "quadgrid-t3");

    writeText(file, "{ not json");
    EXPECT_FALSE(reopened.value("Keyglass.activePresetByDevice").has_value());
    EXPECT_TRUE(reopened.setValue("other", 1));
    EXPECT_EQ(*reopened.value("other"), 1);
}
