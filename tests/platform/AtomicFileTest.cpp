#include "platform/AtomicFile.h"
#include "platform/SettingsStore.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace keyglass::test {
namespace {

namespace fs = std::filesystem;

int entriesIn(const fs::path& folder)
{
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++entries;
    return entries;
}

mode_t modeOf(const fs::path& file)
{
    struct stat info
    {
    };
    return ::stat(file.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

// Runs `body` in a child process (for limits and identities the test process must not take on) and
// returns its exit status; 0 means every check in it held.
int inChild(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(AtomicFileReading, OnlyRegularFilesAreReadNothingWaitsForAWriter)
{
    TempHome home;
    const fs::path fifo = home.path() / "quadgrid-focus.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto fromFifo = readFileCapped(fifo, 1024);
    ASSERT_FALSE(fromFifo);
    EXPECT_EQ(fromFifo.error().message, "quadgrid-focus.json: not a regular file");

    const auto fromFolder = readFileCapped(home.path(), 1024);
    ASSERT_FALSE(fromFolder);
    EXPECT_NE(fromFolder.error().message.find("is a folder, not a file"), std::string::npos);

    EXPECT_FALSE(readFileCapped("/dev/zero", 1024)) << "a device never ends";
}

TEST(AtomicFileWriting, KeepsPermissionsAndWritesThroughSymbolicLinks)
{
    TempHome home;
    const fs::path secret = home.path() / "secret.json";
    writeText(secret, "old");
    ::chmod(secret.c_str(), 0600);
    ASSERT_TRUE(writeFileAtomically(secret, "new"));
    EXPECT_EQ(modeOf(secret), 0600u);
    EXPECT_EQ(readText(secret), "new");

    const fs::path fresh = home.path() / "fresh.json";
    ASSERT_TRUE(writeFileAtomically(fresh, "x"));
    EXPECT_EQ(modeOf(fresh), 0644u);
    const fs::path privateFresh = home.path() / "private.json";
    ASSERT_TRUE(writeFileAtomically(privateFresh, "x", true));
    EXPECT_EQ(modeOf(privateFresh), 0600u);

    // A dotfile manager's link into another folder: the link stays, its target gets the contents.
    fs::create_directories(home.path() / "dotfiles");
    const fs::path target = home.path() / "dotfiles/focus.json";
    writeText(target, "old");
    const fs::path link = home.path() / "focus.json";
    fs::create_symlink("dotfiles/focus.json", link);
    ASSERT_TRUE(writeFileAtomically(link, "through the link"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readText(target), "through the link");
    EXPECT_EQ(entriesIn(home.path() / "dotfiles"), 1) << "no temporary file left next to the target";
}

TEST(AtomicFileWriting, AReadOnlyFolderFailsClearlyAndKeepsTheOldFile)
{
    TempHome home;
    const fs::path folder = home.path() / "locked";
    fs::create_directories(folder);
    const fs::path file = folder / "presets.json";
    writeText(file, "old contents");
    ::chmod(folder.c_str(), 0555);
    ::chmod(home.path().c_str(), 0755);
    const int result = inChild([&] {
        // root ignores folder permissions: become nobody first.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 10;
        const auto written = writeFileAtomically(file, "new contents");
        if (written)
            return 1;
        if (written.error().message != "presets.json: Permission denied")
            return 2;
        return 0;
    });
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readText(file), "old contents");
    EXPECT_EQ(entriesIn(folder), 1);
}

TEST(AtomicFileWriting, AFullDiskFailsClearlyAndKeepsTheOldFile)
{
    TempHome home;
    const fs::path file = home.path() / "backup.json";
    writeText(file, "old contents");
    const int result = inChild([&] {
        // A file-size limit behaves like a disk that fills up part way through the write.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        const auto written = writeFileAtomically(file, std::string(64 * 1024, 'x'));
        if (written)
            return 1;
        if (written.error().message != "backup.json: File too large")
            return 2;
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readText(file), "old contents");
    EXPECT_EQ(entriesIn(home.path()), 1) << "the partial temporary file is removed";
}

TEST(SettingsFile, AnUnreadableFileIsKeptAsBadBeforeItIsReplaced)
{
    TempHome home;
    const fs::path file = home.path() / "defaults.json";
    const auto bad = home.path() / "defaults.json.bad";
    for (const std::string& broken : {std::string("{ \"Keyglass.activePresetByDevice\": {\"1A86:FE16\": "),
                                      "{\"x\":" + std::string(100000, '[') + std::string(100000, ']') + "}",
                                      std::string("[1, 2]")}) {
        writeText(file, broken);
        JsonFileSettingsStore settings(file);
        EXPECT_FALSE(settings.value("x").has_value());
        EXPECT_EQ(readText(file), broken) << "reading never rewrites";
        ASSERT_TRUE(settings.setValue("Keyglass.activePresetByDevice", {{"1A86:FE16", "t3"}}));
        EXPECT_EQ(readText(bad), broken);
        EXPECT_EQ((*settings.value("Keyglass.activePresetByDevice"))["1A86:FE16"], "t3");
    }

    // A readable file is updated in place, other keys kept, and leaves the last .bad alone.
    writeText(file, R"({"other": 5})");
    JsonFileSettingsStore settings(file);
    ASSERT_TRUE(settings.setValue("Keyglass.activePresetByDevice", nlohmann::json::object()));
    EXPECT_EQ(*settings.value("other"), 5);
    EXPECT_EQ(readText(bad), "[1, 2]");
}

TEST(SettingsFile, AFailedWriteIsReported)
{
    TempHome home;
    const fs::path folder = home.path() / "config";
    writeText(folder, "a file where the folder should be");
    JsonFileSettingsStore settings(folder / "defaults.json");
    EXPECT_FALSE(settings.setValue("Keyglass.activePresetByDevice", nlohmann::json::object()));
}

} // namespace
} // namespace keyglass::test
