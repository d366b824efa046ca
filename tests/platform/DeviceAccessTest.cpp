#include "platform/DeviceAccess.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace keyglass;

namespace {

std::string runShell(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

} // namespace

TEST(DeviceAccess, QuotingSurvivesTheShell)
{
    for (const std::string text : {"plain", "with space", "it's", "$HOME `id` \"x\" \\ ;&|", "''"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(runShell("printf %s " + shellQuoted(text)), text);
    }
}

// The rule copied to /etc must name its helper in full; the same sed line, pointed at a temporary file,
// shows what the administrator's shell would write.
TEST(DeviceAccess, TheInstalledRuleNamesItsHelperInFull)
{
    test::TempHome home;
    const auto fix = deviceAccessFix();
    ASSERT_TRUE(fix.has_value()) << fix.error().message;
    ASSERT_EQ(fix->commands.size(), 4u);
    ASSERT_EQ(fix->argv.size(), 4u);
    EXPECT_EQ(fix->argv[0], "pkexec");
    EXPECT_EQ(fix->argv[3].rfind("set -e\n", 0), 0u);

    std::string sedLine = fix->commands[1];
    std::string target = " > ";
    target += InstalledAccessRule;
    const auto redirect = sedLine.find(target);
    ASSERT_NE(redirect, std::string::npos);
    const auto written = home.path() / "rule";
    sedLine = sedLine.substr(0, redirect) + " > " + shellQuoted(written.string());
    runShell(sedLine);
    std::ifstream in(written);
    std::stringstream text;
    text << in.rdbuf();
    std::string program = "PROGRAM=\"";
    program += InstalledAccessHelper;
    program += " %S%p\"";
    EXPECT_NE(text.str().find(program), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("TAG+=\"uaccess\""), std::string::npos);

    const auto alert = deviceAccessAlert(*fix);
    for (const auto& line : fix->commands)
        EXPECT_NE(alert.informativeText.find(line), std::string::npos) << line;
}
