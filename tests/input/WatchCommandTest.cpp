#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace {

struct Run
{
    std::string out;
    int status = -1;
};

// Runs the CLI on virtual pads only, feeding `script` to its standard input.
Run runWatch(const std::string& args, const std::string& script, const std::filesystem::path& scratch)
{
    const std::filesystem::path cli = std::filesystem::path(KG_BINARY_DIR) / "keyglass-cli";
    const auto scriptFile = scratch / "script.txt";
    keyglass::test::writeText(scriptFile, script);
    const std::string command = "KEYGLASS_REAL_PADS=0 KEYGLASS_VIRTUAL_PADS= '" + cli.string() + "' " + args + " < '" +
                                scriptFile.string() + "' 2>/dev/null";
    Run run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class WatchCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(std::filesystem::path(KG_BINARY_DIR) / "keyglass-cli"))
            GTEST_SKIP() << "keyglass-cli is not built";
    }
    keyglass::test::TempHome home;
};

} // namespace

TEST_F(WatchCommand, ReportsEachScriptedControlOfAVirtualPad)
{
    const auto run = runWatch("--virtual quadgrid watch",
                              "press 0 3\n"
                              "# a comment\n"
                              "turn 0 cw\n"
                              "turn 1 ccw\n"
                              "click 0\n"
                              "1a86:fe16 press 1 0\n",
                              home.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "1A86:FE16 L0 k-0-3 KC_F13\n"
              "1A86:FE16 L0 e-0-cw KC_VOLU\n"
              "1A86:FE16 L0 e-1-ccw KC_WH_D\n"
              "1A86:FE16 L0 e-0-click KC_MUTE\n"
              "1A86:FE16 L0 k-1-0 LCTL(KC_Z)\n");
}

TEST_F(WatchCommand, SelectsOnePadAndRejectsWhatItCannotDo)
{
    auto run =
        runWatch("--virtual quadgrid --virtual solodial watch 5831:4249", "turn 0 cw\npress 7 7\nhop\n", home.path());
    EXPECT_EQ(run.status, 1) << "lines it did not understand fail the run";
    EXPECT_EQ(run.out, "5831:4249 L0 e-0-cw KC_VOLU\n");

    run = runWatch("--virtual quadgrid watch 1234:5678", "", home.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");

    run = runWatch("--virtual quadgrid watch a b", "", home.path());
    EXPECT_EQ(run.status, 2);
}
