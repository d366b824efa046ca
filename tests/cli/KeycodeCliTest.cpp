// End-to-end runs of the built keyglass-cli for the keycode and preset-validation commands.

#include "support/CliRunner.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace keyglass {
namespace {

namespace fs = std::filesystem;
using test::CliResult;

class KeycodeCli : public testing::Test
{
protected:
    // Runs the CLI with `args` (already shell-quoted), feeding `input` on standard input.
    test::CliResult run(const std::string& args, const std::string& input = {}) { return test::runCli(args, input); }

    fs::path writePreset(const std::string& name, const std::string& keys)
    {
        const fs::path path = m_home.path() / name;
        test::writeText(path,
                        R"J({"schemaVersion":1,"id":"p","name":"P","appId":"a","appName":"A","category":"c",)J"
                        R"J("os":"macos","deviceProfile":"generic","description":"","builtIn":false,)J"
                        R"J("layers":[{"index":0,"name":"Base","keys":)J" +
                            keys + "}]}");
        return path;
    }

    test::TempHome m_home;
};

TEST_F(KeycodeCli, ParsePrintsOneCodePerInput)
{
    CliResult r = run("keycode parse KC_A 'LCTL(KC_K)' bogus MO\\(1\\)");
    EXPECT_EQ(r.out, "0x0004\n0x010E\nnone\n0x5221\n");
    EXPECT_EQ(r.exitCode, 1);

    r = run("keycode parse --legacy KC_WH_U");
    EXPECT_EQ(r.out, "0x00F9\n");
    EXPECT_EQ(r.exitCode, 0);

    r = run("keycode parse", "kc_ent\r\n  0x0A12  \nKC_WH_D\n");
    EXPECT_EQ(r.out, "0x0028\n0x0A12\n0x00DA\n");
    EXPECT_EQ(r.exitCode, 0);
}

TEST_F(KeycodeCli, FormatAcceptsDecimalAndHexCodes)
{
    CliResult r = run("keycode format 0x0128 40 0x5700 0xF9");
    EXPECT_EQ(r.out, "LCTL(KC_ENT)\nKC_ENT\nTD(0)\n0x00F9\n");
    EXPECT_EQ(r.exitCode, 0);

    r = run("keycode format --legacy 249");
    EXPECT_EQ(r.out, "KC_WH_U\n");

    r = run("keycode format 4 0xZZ 65536 -1 5");
    EXPECT_EQ(r.out, "KC_A\nKC_B\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("0xZZ"), std::string::npos);
    EXPECT_NE(r.err.find("65536"), std::string::npos);
}

TEST_F(KeycodeCli, DescribePrintsTitleTabShortcut)
{
    CliResult r = run("keycode describe 0x030E 0 0x5223");
    EXPECT_EQ(r.out, "K\t⌃⇧K\n—\t\nMO(3)\tHold L3\n");
    EXPECT_EQ(r.exitCode, 0);

    r = run("keycode describe --windows --legacy 0x030E 0xF9");
    EXPECT_EQ(r.out, "K\tCtrl+⇧K\nScroll Up\tWheel ↑\n");

    r = run("keycode describe", "nonsense\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.exitCode, 1);
}

TEST_F(KeycodeCli, ValidatePrintsOkOrTheRefusal)
{
    CliResult r = run("keycode validate KC_A ''");
    EXPECT_EQ(r.out, "ok\nok\n");
    EXPECT_EQ(r.exitCode, 0);

    r = run("keycode validate", "qk_boot\n0x7C00\nFOO\n");
    EXPECT_EQ(r.out,
              "Blocked bootloader/reset token \"qk_boot\"\n"
              "Blocked bootloader/reset keycode 0x7C00 (\"0x7C00\")\n"
              "Unrecognized QMK expression \"FOO\"\n");
    EXPECT_EQ(r.exitCode, 1);
}

TEST_F(KeycodeCli, UnknownOptionIsAUsageError)
{
    const CliResult r = run("keycode parse --legacyy KC_A");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--legacyy"), std::string::npos);
}

TEST_F(KeycodeCli, PresetValidateReportsLocatedProblems)
{
    const fs::path good = writePreset("good.json", R"J([["KC_A","MO(1)",""]])J");
    const fs::path bad = writePreset("bad.json", R"J([["KC_A","0x7000"],["QK_BOOT"]])J");

    CliResult r = run("preset validate '" + good.string() + "'");
    EXPECT_EQ(r.out, "ok\n");
    EXPECT_EQ(r.exitCode, 0);

    r = run("preset validate '" + bad.string() + "'");
    EXPECT_EQ(r.out,
              "L0 (0,1): Blocked QMK magic/EEPROM keycode 0x7000\n"
              "L0 (1,0): Blocked bootloader/reset token \"QK_BOOT\"\n");
    EXPECT_EQ(r.exitCode, 1);

    r = run("preset validate '" + good.string() + "' '" + bad.string() + "'");
    EXPECT_EQ(r.out,
              good.string() + ": ok\n" + bad.string() + ": L0 (0,1): Blocked QMK magic/EEPROM keycode 0x7000\n" +
                  bad.string() + ": L0 (1,0): Blocked bootloader/reset token \"QK_BOOT\"\n");
    EXPECT_EQ(r.exitCode, 1);
}

TEST_F(KeycodeCli, PresetValidateNamesUnreadableFiles)
{
    const fs::path good = writePreset("good.json", R"J([["KC_A"]])J");
    const fs::path broken = m_home.path() / "broken.json";
    test::writeText(broken, "{\"schemaVersion\": 1,");
    const fs::path incomplete = m_home.path() / "incomplete.json";
    test::writeText(incomplete, "{\"schemaVersion\": 1}");
    const fs::path missing = m_home.path() / "missing.json";

    const CliResult r = run("preset validate '" + broken.string() + "' '" + incomplete.string() + "' '" +
                            missing.string() + "' '" + good.string() + "'");
    EXPECT_EQ(r.out, good.string() + ": ok\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(broken.string() + ": not a readable preset: not valid JSON: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(incomplete.string() + ": not a readable preset: missing member \"id\""), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(missing.string() + ": cannot read: "), std::string::npos) << r.err;
}

TEST_F(KeycodeCli, PresetValidateReadsFileNamesFromStandardInput)
{
    const fs::path good = writePreset("good.json", R"J([["KC_A"]])J");
    const CliResult r = run("preset validate --legacy", "\n" + good.string() + "\n\n");
    EXPECT_EQ(r.out, "ok\n");
    EXPECT_EQ(r.exitCode, 0);
}

} // namespace
} // namespace keyglass
