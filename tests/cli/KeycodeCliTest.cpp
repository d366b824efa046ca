// End-to-end runs of the built keyglass-cli for the keycode and preset-validation commands.

#include "support/CliRunner.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

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

// The keys of full-size ANSI, ISO and JIS boards, the mouse and media keys and a spread of mod-taps and
// layer-taps: as `keycode describe` prints them, no keycap shows a bare hex number.
std::string describeInput(bool legacy)
{
    std::vector<unsigned> codes;
    const auto range = [&](unsigned first, unsigned last) {
        for (unsigned c = first; c <= last; ++c)
            codes.push_back(c);
    };
    range(0x04, 0x31);                       // letters, digits, Enter ... backslash
    range(0x33, 0x63);                       // ; ' ` , . / Caps F1-F12 PrtSc ScrLk Pause, navigation, keypad
    codes.push_back(0x65);                   // Menu
    range(0xE0, 0xE7);                       // modifiers
    codes.insert(codes.end(), {0x32, 0x64}); // ISO
    codes.insert(codes.end(), {0x87, 0x88, 0x89, 0x8A, 0x8B, 0x90, 0x91}); // JIS
    // System, media, browser and brightness keys; the desktop keys after 0xBE came with the new numbering.
    range(0xA5, legacy ? 0xBE : 0xC2);
    if (legacy)
        range(0xF0, 0xFF); // mouse keys of the old numbering
    else
        range(0xCD, 0xDF);
    const unsigned taps[] = {0x04, 0x29, 0x2C, 0x28, 0x2A, 0x2B, 0x39, 0x1E, 0x3A, 0x50};
    const unsigned mods[] = {0x01, 0x02, 0x04, 0x08, 0x03, 0x07, 0x0F, 0x11, 0x12, 0x18};
    for (unsigned i = 0; i < 20; ++i) {
        codes.push_back((legacy ? 0x6000u : 0x2000u) | (mods[i % 10] << 8) | taps[(i * 3) % 10]);
        codes.push_back(0x4000u | ((i % 16) << 8) | taps[i % 10]);
    }
    std::ostringstream text;
    for (unsigned c : codes)
        text << "0x" << std::hex << c << "\n";
    return text.str();
}

TEST_F(KeycodeCli, DescribeGivesEveryKeyOfFullSizeBoardsAReadableTitle)
{
    const std::regex bareHex("0x[0-9A-F]+");
    for (const bool legacy : {false, true}) {
        const std::string input = describeInput(legacy);
        const CliResult r = run(legacy ? "keycode describe --legacy" : "keycode describe", input);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::istringstream codes(input);
        std::istringstream lines(r.out);
        std::string code;
        std::string line;
        int count = 0;
        while (std::getline(codes, code)) {
            ASSERT_TRUE(std::getline(lines, line)) << "no output for " << code;
            const std::string title = line.substr(0, line.find('\t'));
            EXPECT_FALSE(std::regex_match(title, bareHex)) << code << (legacy ? " (legacy)" : "");
            ++count;
        }
        EXPECT_GE(count, 104 + 2 + 6 + 40);
    }
}

TEST_F(KeycodeCli, NamesListsTheVocabularyInThePadsNumbering)
{
    const auto entries = [&](const std::string& args) {
        const CliResult r = run(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return nlohmann::json::parse(r.out, nullptr, false);
    };
    const auto find = [](const nlohmann::json& list, const std::string& name) {
        for (const auto& entry : list) {
            if (entry.value("name", "") == name)
                return entry;
        }
        return nlohmann::json();
    };

    const nlohmann::json current = entries("keycode names --json");
    ASSERT_TRUE(current.is_array());
    EXPECT_GT(current.size(), 500u);
    const nlohmann::json shift = find(current, "KC_LEFT_SHIFT");
    EXPECT_EQ(shift.value("code", ""), "0x00E1");
    EXPECT_NE(shift.value("title", ""), "0xE1");
    ASSERT_TRUE(shift.contains("aliases"));
    EXPECT_NE(std::find(shift["aliases"].begin(), shift["aliases"].end(), "KC_LSFT"), shift["aliases"].end());
    EXPECT_EQ(find(current, "QK_BOOTLOADER").value("title", ""), "Boot");

    const nlohmann::json legacy = entries("keycode names --legacy --json");
    ASSERT_TRUE(legacy.is_array());
    EXPECT_EQ(find(legacy, "QK_MOUSE_BUTTON_1").value("code", ""), "0x00F4");
    EXPECT_EQ(find(legacy, "QK_BOOTLOADER").value("code", ""), "0x5C00");
    // Keys the old numbering had no place for are left out rather than shown at a wrong code.
    EXPECT_TRUE(find(legacy, "QK_REPEAT_KEY").is_null());
    EXPECT_LT(legacy.size(), current.size());

    const CliResult plain = run("keycode names");
    EXPECT_EQ(static_cast<std::size_t>(std::count(plain.out.begin(), plain.out.end(), '\n')), current.size());
    EXPECT_NE(plain.out.find("0x00E1\tKC_LEFT_SHIFT\tKC_LSFT"), std::string::npos);
}

} // namespace
} // namespace keyglass
