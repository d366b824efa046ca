#include "input/DesktopEntry.h"
#include "input/FocusMap.h"
#include "input/T3Map.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

using namespace keyglass;
using keyglass::test::readText;
using keyglass::test::writeText;

namespace {

class FilesTest : public ::testing::Test
{
protected:
    std::filesystem::path file(const std::string& name) const { return home.path() / name; }
    keyglass::test::TempHome home;
};

} // namespace

// --- focus file reading ---

TEST(FocusMapParse, ReadsTriggersFromHotkeys)
{
    const FocusMap map = parseFocusMap(R"({"hotkeys":[
        {"key":"F13","app":"/Applications/Figma.app"},
        {"key":"f14","mods":["Control","OPTION"],"app":"/Applications/Google Chrome.app","extra":1},
        {"key":"F15","mods":["ctrl","hyper"],"app":"/opt/Arc (Beta).app"},
        {"key":"F16","mods":["cmd",3],"app":"/usr/bin/kitty"},
        {"key":"Space","mods":["gui","meta","shift","opt","alt","command"],"app":"/x/y.app/"},
        {"key":"F25","app":"/Applications/Nope.app"},
        {"key":"F17"},
        {"key":13,"app":"/Applications/Nope.app"},
        {"key":"F18","app":["/Applications/Nope.app"]}
    ],"version":2})");
    const FocusMap expected = {
        {0x0068, {"Figma", "/Applications/Figma.app"}},
        {0x0569, {"Chrome", "/Applications/Google Chrome.app"}},
        {0x016A, {"Arc", "/opt/Arc (Beta).app"}},
        {0x006B, {"kitty", "/usr/bin/kitty"}}, // a mods list with a non-string counts as none
        {0x0E2C, {"y", "/x/y.app/"}},
    };
    EXPECT_EQ(map, expected);
}

TEST(FocusMapParse, LaterEntryForTheSameTriggerWins)
{
    const FocusMap map = parseFocusMap(R"({"hotkeys":[
        {"key":"F13","mods":["ctrl"],"app":"/a/One.app"},
        {"key":"f13","mods":["control"],"app":"/a/Two.app"}]})");
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.at(0x0168).name, "Two");
}

TEST(FocusMapParse, UnusableDocumentsGiveAnEmptyMap)
{
    for (const char* text : {"",
                             "not json",
                             "[]",
                             "null",
                             R"({"hotkeys":{}})",
                             R"({"hotkeys":"F13"})",
                             R"({"hotkeys":[{"key":"F13","app":"/a.app"}, 3]})",
                             R"({"keys":[]})",
                             R"({"hotkeys":[{"key":"F13","app":"/a.app"})"}) {
        EXPECT_TRUE(parseFocusMap(text).empty()) << text;
    }
}

TEST_F(FilesTest, FocusFileLoadAndModificationTime)
{
    const auto path = file("cfg/quadgrid-focus.json");
    EXPECT_TRUE(loadFocusMap(path).empty());
    EXPECT_EQ(focusFileModificationTime(path), std::nullopt);

    writeText(path, R"({"hotkeys":[{"key":"F24","app":"/Applications/Notes.app"}]})");
    EXPECT_EQ(loadFocusMap(path).at(0x0073).name, "Notes");
    const auto first = focusFileModificationTime(path);
    ASSERT_TRUE(first.has_value());
    std::filesystem::last_write_time(path, *first + std::chrono::seconds(5));
    EXPECT_NE(focusFileModificationTime(path), first);

    writeText(path, std::string(2 * 1024 * 1024, ' ') + R"({"hotkeys":[{"key":"F24","app":"/a.app"}]})");
    EXPECT_TRUE(loadFocusMap(path).empty()) << "oversized files are not read";
}

TEST_F(FilesTest, AppNamesComeFromTheFileOrItsDesktopEntry)
{
    writeText(file("org.example.Browser.desktop"), "[Desktop Entry]\nName=Google Browser (Beta)\nExec=browser %U\n");
    writeText(file("nameless.desktop"), "[Desktop Entry]\nExec=x\n");
    const struct
    {
        std::string path, name;
    } cases[] = {
        {"/Applications/Google Chrome.app", "Chrome"},
        {"/Applications/Arc (Beta).app", "Arc"},
        {"/Applications/Figma.app/", "Figma"},
        {"/usr/bin/code", "code"},
        {"/opt/my.tool.bin", "my.tool"},
        {"Google Google Earth.app", "Earth"},
        {file("org.example.Browser.desktop").string(), "Browser"},
        {file("nameless.desktop").string(), "nameless"},
        {file("missing.desktop").string(), "missing"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(focusAppName(c.path), c.name) << c.path;
}

TEST(FocusTriggers, ListAndChoice)
{
    const auto& codes = focusTriggerCodes();
    ASSERT_EQ(codes.size(), 24u);
    EXPECT_EQ(codes.front(), 0x0068);
    EXPECT_EQ(codes[11], 0x0073);
    EXPECT_EQ(codes[12], 0x0168);
    EXPECT_EQ(codes.back(), 0x0173);

    FocusMap map;
    EXPECT_EQ(chooseFocusTrigger(std::nullopt, map), 0x0068);
    map[0x0068] = {"A", "/a"};
    map[0x0069] = {"B", "/b"};
    EXPECT_EQ(chooseFocusTrigger(0x0004, map), 0x006A);
    EXPECT_EQ(chooseFocusTrigger(0x0069, map), 0x0069) << "a slot already holding a trigger keeps it";
    EXPECT_EQ(chooseFocusTrigger(0x0174, map), 0x006A);
    for (const Keycode code : codes)
        map[code] = {"X", "/x"};
    EXPECT_EQ(chooseFocusTrigger(std::nullopt, map), 0x0068) << "all taken: F13 is reused";
}

// --- binding ---

TEST_F(FilesTest, BindRewritesTheFileWithoutDuplicatesOfTheTrigger)
{
    const auto path = file(".config/quadgrid-focus.json");
    writeText(path, R"({"theme":"dark","hotkeys":[
        {"key":"F13","mods":["ctrl"],"app":"/Applications/Old.app","note":"x"},
        {"key":"F14","app":"/Applications/Keep.app"},
        {"key":"f13","mods":["CTRL"],"app":"/Applications/Older.app"},
        {"key":"F13","app":"/Applications/PlainF13.app"},
        {"key":"F13","mods":["ctrl","shift"],"app":"/Applications/Other.app"}]})");

    const auto name = bindFocusApp(path, 0x0168, "/Applications/Google Chrome.app");
    ASSERT_TRUE(name.has_value()) << name.error().message;
    EXPECT_EQ(*name, "Google Chrome");

    const auto written = nlohmann::json::parse(readText(path));
    const auto expected = nlohmann::json::parse(R"({"hotkeys":[
        {"key":"F14","app":"/Applications/Keep.app"},
        {"key":"F13","app":"/Applications/PlainF13.app"},
        {"key":"F13","mods":["ctrl","shift"],"app":"/Applications/Other.app"},
        {"key":"f13","mods":["ctrl"],"app":"/Applications/Google Chrome.app"}]})");
    EXPECT_EQ(written, expected);
    EXPECT_NE(readText(path).find("{\n  \"hotkeys\": [\n    {\n      \"app\""), std::string::npos)
        << "pretty-printed with sorted keys:\n"
        << readText(path);
    EXPECT_EQ(loadFocusMap(path).at(0x0168).name, "Chrome");
}

TEST_F(FilesTest, BindCreatesTheFileAndWritesAllModifierNames)
{
    const auto path = file("new/dir/quadgrid-focus.json");
    ASSERT_TRUE(bindFocusApp(path, 0x0F73, "/usr/share/applications/kitty.desktop").has_value());
    const auto written = nlohmann::json::parse(readText(path));
    EXPECT_EQ(written["hotkeys"][0]["key"], "f24");
    EXPECT_EQ(written["hotkeys"][0]["mods"], nlohmann::json::parse(R"(["ctrl","shift","alt","cmd"])"));
    ASSERT_TRUE(bindFocusApp(path, 0x0068, "/usr/bin/kitty").has_value());
    EXPECT_EQ(nlohmann::json::parse(readText(path))["hotkeys"][1]["mods"], nlohmann::json::array());
    EXPECT_EQ(loadFocusMap(path).size(), 2u);
}

TEST_F(FilesTest, BindRefusesCodesWithoutAKeyName)
{
    const auto path = file("quadgrid-focus.json");
    const auto result = bindFocusApp(path, 0x0132, "/Applications/A.app");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, static_cast<int>(FocusBindError::noKeyName));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(FilesTest, BindKeepsAnUnreadableFileAsBackup)
{
    const auto path = file("quadgrid-focus.json");
    const std::string broken = R"({"hotkeys":[{"key":"F13","app":"/Applications/Mine.app"},])";
    writeText(path, broken);
    ASSERT_TRUE(bindFocusApp(path, 0x0069, "/Applications/New.app").has_value());
    EXPECT_EQ(readText(file("quadgrid-focus.json.bak")), broken);
    EXPECT_EQ(loadFocusMap(path).size(), 1u);
}

TEST_F(FilesTest, HostileFocusAndKeybindingFilesReadAsEmptyAndAreNeverWaitedOn)
{
    // About 200 KB of nested arrays: deep enough to overflow the stack of a recursive reader.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string deepHotkeys = R"({"hotkeys":[{"key":"F13","app":"/a.app","x":)" + deep + "}]}";
    const auto focus = file("quadgrid-focus.json");
    for (const auto& text : {deep, deepHotkeys}) {
        writeText(focus, text);
        EXPECT_TRUE(loadFocusMap(focus).empty());
        EXPECT_TRUE(parseT3Map(text).empty());
    }
    // A deep file is unreadable like any other: binding keeps it and starts afresh.
    ASSERT_TRUE(bindFocusApp(focus, 0x0068, "/Applications/New.app"));
    EXPECT_EQ(readText(file("quadgrid-focus.json.bak")), deepHotkeys);
    EXPECT_EQ(loadFocusMap(focus).size(), 1u);

    const auto fifo = file("fifo.json");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(loadFocusMap(fifo).empty());
    EXPECT_TRUE(loadT3Map(fifo).empty());
    const auto bound = bindFocusApp(fifo, 0x0068, "/Applications/New.app");
    ASSERT_FALSE(bound);
    EXPECT_NE(bound.error().message.find("not a regular file"), std::string::npos) << bound.error().message;
}

TEST_F(FilesTest, BindReportsAWriteFailureNamingTheFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const auto dir = file("locked");
    std::filesystem::create_directories(dir);
    const auto path = dir / "quadgrid-focus.json";
    writeText(path, R"({"hotkeys":[]})");
    ::chmod(dir.c_str(), 0500);
    const auto result = bindFocusApp(path, 0x0068, "/Applications/A.app");
    ::chmod(dir.c_str(), 0700);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, static_cast<int>(FocusBindError::writeFailed));
    EXPECT_NE(result.error().message.find(path.string()), std::string::npos) << result.error().message;
    EXPECT_NE(result.error().message.find("ermission"), std::string::npos) << result.error().message;
    EXPECT_EQ(readText(path), R"({"hotkeys":[]})");
}

TEST_F(FilesTest, BindReportsAWriteFailureWhenTheFolderCannotBeMade)
{
    writeText(file("plainfile"), "x");
    const auto path = file("plainfile/quadgrid-focus.json");
    const auto result = bindFocusApp(path, 0x0068, "/Applications/A.app");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, static_cast<int>(FocusBindError::writeFailed));
    EXPECT_NE(result.error().message.find("plainfile"), std::string::npos) << result.error().message;
}

// --- T3 keybindings ---

TEST(T3MapParse, ReadingRules)
{
    const T3Map map = parseT3Map(R"([
        {"key":"mod+n","command":"chat.new"},
        {"key":"Mod+Shift+O","command":"chat.newLocal","when":"editorFocus"},
        {"key":"mod+j","command":"terminal.toggle"},
        {"key":"mod+j","command":"diff.toggle","when":"terminalFocus"},
        {"key":"mod+k","command":"sidebar.toggle"},
        {"key":"mod+k","command":"preview.refresh","when":"previewFocus"},
        {"key":"mod+l","command":"sidebar.toggle"},
        {"key":"mod+l","command":"preview.toggle","when":"!terminalFocus"},
        {"key":"mod+m","command":"thread.pin"},
        {"key":"mod+m","command":"thread.next","when":"sidebarFocus && previewFocus"},
        {"key":"mod+t","command":"thread.pin","when":"terminalFocus"},
        {"key":"mod+n","command":"thread.previous","when":42},
        {"key":"mod+e","command":"editor.unknownCommand"},
        {"key":"mod+f","command":5},
        {"command":"chat.new"},
        {"key":"mod+p","command":"commandPalette.toggle","when":"terminalFocus && !terminalFocus"}
    ])");
    const T3Map expected = {
        {"mod+n", "Prev Thread"}, // a later unconditional binding wins; a non-string when is empty
        {"mod+shift+o", "New Local"},
        {"mod+j", "Terminal"},    // terminal-only binding never displaces
        {"mod+k", "Sidebar"},     // preview-only binding never displaces
        {"mod+l", "Preview"},     // not-terminal binding does
        {"mod+m", "Next Thread"}, // only an exact previewFocus is scoped
        {"mod+t", "Pin Thread"},  // scoped, but nothing to displace
        {"mod+p", "Palette"},
    };
    EXPECT_EQ(map, expected);
}

TEST(T3MapParse, MalformedDocumentsGiveAnEmptyMap)
{
    for (const char* text : {"",
                             "{}",
                             R"({"key":"mod+n","command":"chat.new"})",
                             "[1]",
                             R"([{"key":"mod+n","command":"chat.new"}, "x"])",
                             "[{]",
                             "null"}) {
        EXPECT_TRUE(parseT3Map(text).empty()) << text;
    }
    EXPECT_EQ(t3CommandTitles().size(), 35u);
    EXPECT_EQ(t3CommandTitles().at("thread.copyReference"), "Copy PR / Ref");
}

TEST_F(FilesTest, T3FileIsReadFromDisk)
{
    const auto path = file(".t3/userdata/keybindings.json");
    EXPECT_TRUE(loadT3Map(path).empty());
    writeText(path, R"([{"key":"MOD+B","command":"sidebar.toggle"}])");
    EXPECT_EQ(loadT3Map(path), (T3Map{{"mod+b", "Sidebar"}}));
}

// --- desktop entries ---

TEST(DesktopEntryParse, FieldsQuotingAndFieldCodes)
{
    const auto entry = parseDesktopEntry(R"(# comment
[Desktop Action new-window]
Name=New Window
Exec=ignored --new-window

[Desktop Entry]
Type=Application
Name[de]=Netz
Name = Web Browser
Name=Second Name Ignored
Exec="/opt/My App/bin/app" --flag=%%x %U "quoted \"arg\" \\ \$HOME" a%fb --icon\stest %i
StartupWMClass=webbrowser
Icon=web-browser
DBusActivatable=true
DBusActivatable=false
)");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, "Web Browser");
    EXPECT_EQ(entry->exec,
              (std::vector<std::string>{
                  "/opt/My App/bin/app", "--flag=%x", "quoted \"arg\" \\ $HOME", "ab", "--icon", "test"}));
    EXPECT_EQ(entry->startupWMClass, "webbrowser");
    EXPECT_EQ(entry->iconName, "web-browser");
    EXPECT_TRUE(entry->dbusActivatable);
    EXPECT_FALSE(parseDesktopEntry("[Desktop Entry]\nDBusActivatable=True\n")->dbusActivatable)
        << "a boolean is true or false, nothing else";

    EXPECT_EQ(parseDesktopEntry("Name=x\nExec=y\n"), std::nullopt);
    EXPECT_EQ(parseDesktopEntry("[Desktop Entry]\n")->exec, std::vector<std::string>{});
    EXPECT_EQ(parseDesktopEntry("[Desktop Entry]\nExec=\"unterminated arg")->exec, std::vector<std::string>{})
        << "a malformed command line launches nothing rather than a guess";
    EXPECT_EQ(parseDesktopEntry("[Desktop Entry]\nExec=o%U \"")->exec, std::vector<std::string>{});
}

TEST_F(FilesTest, LaunchCommandForDesktopFilesAndExecutables)
{
    writeText(file("term.desktop"), "[Desktop Entry]\nName=Term\nExec=kitty --single-instance %F\n");
    EXPECT_EQ(launchCommandFor(file("term.desktop").string()),
              (std::vector<std::string>{"kitty", "--single-instance"}));
    EXPECT_EQ(launchCommandFor(file("gone.desktop").string()), std::vector<std::string>{});
    EXPECT_EQ(launchCommandFor("/usr/bin/kitty"), std::vector<std::string>{"/usr/bin/kitty"});
    EXPECT_EQ(launchCommandFor(""), std::vector<std::string>{});
}
