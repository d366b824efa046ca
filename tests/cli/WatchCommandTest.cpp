#include "support/CliRunner.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace {

class WatchCommand : public ::testing::Test
{
protected:
    keyglass::test::TempHome home;
};

} // namespace

TEST_F(WatchCommand, ReportsEachScriptedControlOfAVirtualPad)
{
    const auto run = keyglass::test::runCli("--virtual quadgrid watch",
                                            "press 0 3\n"
                                            "# a comment\n"
                                            "turn 0 cw\n"
                                            "turn 1 ccw\n"
                                            "click 0\n"
                                            "1a86:fe16 press 1 0\n");
    EXPECT_EQ(run.exitCode, 0);
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
        keyglass::test::runCli("--virtual quadgrid --virtual solodial watch 5831:4249", "turn 0 cw\npress 7 7\nhop\n");
    EXPECT_EQ(run.exitCode, 1) << "lines it did not understand fail the run";
    EXPECT_EQ(run.out, "5831:4249 L0 e-0-cw KC_VOLU\n");

    run = keyglass::test::runCli("--virtual quadgrid watch 1234:5678", "");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");

    run = keyglass::test::runCli("--virtual quadgrid watch a b", "");
    EXPECT_EQ(run.exitCode, 2);
}
