// "Start at login": the autostart entry as session managers read it, and the CLI switch.

#include "support/CliRunner.h"

#include "input/DesktopEntry.h"
#include "platform/Autostart.h"

#include <gtest/gtest.h>

using namespace keyglass;
using namespace keyglass::test;
namespace fs = std::filesystem;

TEST(Autostart, EntryStartsTheGivenExecutableWhateverItsPath)
{
    for (const char* executable : {"/usr/bin/keyglass", "/home/a b/it's \"here\"/$HOME/100%/back\\slash/keyglass"}) {
        SCOPED_TRACE(executable);
        const auto entry = parseDesktopEntry(autostart::entryText(executable));
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->exec, std::vector<std::string>{executable});
        EXPECT_EQ(entry->name, "Keyglass");
    }
}

TEST(Autostart, OnOffAndEntriesSwitchedOffByTheDesktop)
{
    TempHome home;
    ::setenv("XDG_CONFIG_HOME", (home.path() / "cfg").c_str(), 1);
    EXPECT_EQ(autostart::entryFile(), home.path() / "cfg" / "autostart" / "keyglass.desktop");
    EXPECT_FALSE(autostart::isEnabled());
    ASSERT_TRUE(autostart::enable("/opt/keyglass/bin/keyglass"));
    EXPECT_TRUE(autostart::isEnabled());
    EXPECT_EQ(readDesktopEntry(autostart::entryFile())->exec, std::vector<std::string>{"/opt/keyglass/bin/keyglass"});

    for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled = false"}) {
        writeText(autostart::entryFile(),
                  std::string("[Desktop Entry]\nType=Application\nExec=keyglass\n") + off + "\n");
        EXPECT_FALSE(autostart::isEnabled()) << off;
    }
    ASSERT_TRUE(autostart::disable());
    EXPECT_FALSE(fs::exists(autostart::entryFile()));
    EXPECT_TRUE(autostart::disable()) << "nothing to remove is not a failure";
}

TEST(Autostart, CliSwitch)
{
    TempHome home;
    const fs::path entry = home.path() / ".config" / "autostart" / "keyglass.desktop";
    EXPECT_EQ(runCli("autostart status").out, "off\t" + entry.string() + "\n");
    const auto on = runCli("autostart on");
    ASSERT_EQ(on.exitCode, 0) << on.err;
    const auto written = readDesktopEntry(entry);
    ASSERT_TRUE(written);
    ASSERT_EQ(written->exec.size(), 1u);
    EXPECT_EQ(fs::path(written->exec[0]).filename(), "keyglass");
    EXPECT_EQ(runCli("autostart status").out, "on\t" + entry.string() + "\n");
    EXPECT_EQ(runCli("autostart off").exitCode, 0);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(runCli("autostart maybe").exitCode, 2);
    EXPECT_EQ(runCli("autostart").exitCode, 2);
}
