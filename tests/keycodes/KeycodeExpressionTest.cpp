#include "keycodes/KeycodeExpression.h"

#include <gtest/gtest.h>

#include <string>

namespace keyglass {
namespace {

struct ParseCase
{
    std::string text;
    bool legacy;
    std::optional<Keycode> code;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"' << (c.legacy ? " legacy" : "");
}

class ParseTest : public testing::TestWithParam<ParseCase>
{
};

TEST_P(ParseTest, Keycode)
{
    EXPECT_EQ(parseKeycodeExpression(GetParam().text, GetParam().legacy), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Names,
                         ParseTest,
                         testing::Values(ParseCase{"  kc_a ", false, 0x0004},
                                         ParseCase{"a", false, 0x0004},
                                         ParseCase{"KC_A", false, 0x0004},
                                         ParseCase{"\tKC_A\r\n", false, 0x0004},
                                         ParseCase{"\xC2\xA0KC_A\xE3\x80\x80", false, 0x0004},
                                         ParseCase{"ENTER", false, 0x0028},
                                         ParseCase{"return", false, 0x0028},
                                         ParseCase{"KC_ENT", false, 0x0028},
                                         ParseCase{"kc_eNt", false, 0x0028},
                                         ParseCase{"kp /", false, 0x0054},
                                         ParseCase{"KC_NO", false, 0x0000},
                                         ParseCase{"no", false, 0x0000},
                                         ParseCase{"KC_TRANSPARENT", false, 0x0001},
                                         ParseCase{"trns", false, 0x0001},
                                         ParseCase{"KC_AUDIO_MUTE", false, 0x00A8},
                                         ParseCase{"kc_volu", false, 0x00A9},
                                         ParseCase{"KC_AUDIO_VOL_DOWN", false, 0x00AA},
                                         ParseCase{"KC_MEDIA_NEXT_TRACK", false, 0x00AB},
                                         ParseCase{"KC_MPRV", false, 0x00AC},
                                         ParseCase{"KC_MEDIA_PLAY_PAUSE", false, 0x00AE},
                                         ParseCase{"KC_WH_U", false, 0x00D9},
                                         ParseCase{"KC_WH_U", true, 0x00F9},
                                         ParseCase{"ms_whlu", false, 0x00D9},
                                         ParseCase{"KC_MS_WH_DOWN", false, 0x00DA},
                                         ParseCase{"KC_WH_D", true, 0x00FA},
                                         ParseCase{"KC_", false, std::nullopt},
                                         ParseCase{"KCA", false, std::nullopt},
                                         ParseCase{"QK_BOOT", false, 0x7C00},
                                         ParseCase{"", false, std::nullopt},
                                         ParseCase{" \n\t ", false, std::nullopt},
                                         ParseCase{std::string("KC_A\0", 5), false, std::nullopt}));

INSTANTIATE_TEST_SUITE_P(Literals,
                         ParseTest,
                         testing::Values(ParseCase{"0x0A12", false, 0x0A12},
                                         ParseCase{"0X0a12", false, 0x0A12},
                                         ParseCase{"0x0", false, 0x0000},
                                         ParseCase{"0xFFFF", false, 0xFFFF},
                                         ParseCase{"0x00000000FFFF", false, 0xFFFF},
                                         ParseCase{"0x", false, std::nullopt},
                                         ParseCase{"0x1FFFF", false, std::nullopt},
                                         ParseCase{"0xZZ", false, std::nullopt},
                                         ParseCase{"0x+1", false, std::nullopt},
                                         ParseCase{"0x 12", false, std::nullopt},
                                         ParseCase{"0005", false, 0x0005},
                                         ParseCase{"42", false, 0x002A},
                                         ParseCase{"0", false, 0x0000},
                                         ParseCase{"65535", false, 0xFFFF},
                                         ParseCase{"65536", false, std::nullopt},
                                         ParseCase{"70000", false, std::nullopt},
                                         ParseCase{"99999999999999999999", false, std::nullopt},
                                         ParseCase{"-1", false, std::nullopt},
                                         ParseCase{"+42", false, std::nullopt},
                                         ParseCase{"4 2", false, std::nullopt},
                                         ParseCase{"1.0", false, std::nullopt}));

INSTANTIATE_TEST_SUITE_P(Functions,
                         ParseTest,
                         testing::Values(ParseCase{"MO(1)", false, 0x5221},
                                         ParseCase{"mo( 3 )", false, 0x5223},
                                         ParseCase{" MO (3) ", false, 0x5223},
                                         ParseCase{"MO(33)", false, 0x5221},
                                         ParseCase{"TD(300)", false, 0x572C},
                                         ParseCase{"TD(0)", false, 0x5700},
                                         ParseCase{"TO(31)", false, 0x521F},
                                         ParseCase{"TG(2)", false, 0x5262},
                                         ParseCase{"TG(65535)", false, 0x527F},
                                         ParseCase{"TG(65536)", false, std::nullopt},
                                         ParseCase{"MO(0x1)", false, std::nullopt},
                                         ParseCase{"MO(-1)", false, std::nullopt},
                                         ParseCase{"MO()", false, std::nullopt},
                                         ParseCase{"MO(KC_A)", false, std::nullopt},
                                         ParseCase{"DF(1)", false, 0x5241},
                                         ParseCase{"()", false, std::nullopt},
                                         ParseCase{"(KC_A)", false, std::nullopt},
                                         ParseCase{"MO(1))", false, std::nullopt},
                                         ParseCase{"MO((1))", false, std::nullopt}));

INSTANTIATE_TEST_SUITE_P(Wrappers,
                         ParseTest,
                         testing::Values(ParseCase{"LCTL(KC_K)", false, 0x010E},
                                         ParseCase{"C(S(KC_K))", false, 0x030E},
                                         ParseCase{"LCTL(LSFT(KC_A))", false, 0x0304},
                                         ParseCase{"C_S(KC_A)", false, 0x0304},
                                         ParseCase{"lcs(a)", false, 0x0304},
                                         ParseCase{"LCTL(MO(1))", false, 0x0321},
                                         ParseCase{"LCTL(0x7C00)", false, 0x0D00},
                                         ParseCase{"LCTL(LCTL(KC_A))", false, 0x0104},
                                         ParseCase{"SGUI(KC_D)", false, 0x0A07},
                                         ParseCase{"  lgui ( kc_d ) ", false, 0x0807},
                                         ParseCase{"LOPT(KC_A)", false, 0x0404},
                                         ParseCase{"A(KC_A)", false, 0x0404},
                                         ParseCase{"G(KC_A)", false, 0x0804},
                                         ParseCase{"LCMD(KC_A)", false, 0x0804},
                                         ParseCase{"LWIN(KC_A)", false, 0x0804},
                                         ParseCase{"LCA(KC_A)", false, 0x0504},
                                         ParseCase{"LSA(KC_A)", false, 0x0604},
                                         ParseCase{"MEH(KC_A)", false, 0x0704},
                                         ParseCase{"LCG(KC_A)", false, 0x0904},
                                         ParseCase{"SCMD(KC_A)", false, 0x0A04},
                                         ParseCase{"SWIN(KC_A)", false, 0x0A04},
                                         ParseCase{"LSG(KC_A)", false, 0x0A04},
                                         ParseCase{"LCSG(KC_A)", false, 0x0B04},
                                         ParseCase{"LAG(KC_A)", false, 0x0C04},
                                         ParseCase{"LCAG(KC_A)", false, 0x0D04},
                                         ParseCase{"LSAG(KC_A)", false, 0x0E04},
                                         ParseCase{"SAG(KC_A)", false, 0x0E04},
                                         ParseCase{"HYPR(KC_A)", false, 0x0F04},
                                         ParseCase{"LCTL(KC_WH_U)", true, 0x01F9},
                                         ParseCase{"LCTL(KC_K", false, std::nullopt},
                                         ParseCase{"FOO(KC_K)", false, std::nullopt},
                                         ParseCase{"LCTL()", false, std::nullopt},
                                         ParseCase{"LCTL(QK_BOOT)", false, std::nullopt},
                                         ParseCase{"LCTL(KC_A) ", false, 0x0104},
                                         ParseCase{"RCTL(KC_A)", false, 0x1104},
                                         ParseCase{"LCTL(KC_A)(KC_B)", false, std::nullopt}));

struct FormatCase
{
    Keycode code;
    bool legacy;
    const char* text;
};

class FormatTest : public testing::TestWithParam<FormatCase>
{
};

TEST_P(FormatTest, Expression)
{
    EXPECT_EQ(formatKeycode(GetParam().code, GetParam().legacy), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Rules,
                         FormatTest,
                         testing::Values(FormatCase{0x0000, false, "KC_NO"},
                                         FormatCase{0x0001, false, "KC_TRNS"},
                                         FormatCase{0x00A8, false, "KC_MUTE"},
                                         FormatCase{0x00A9, false, "KC_VOLU"},
                                         FormatCase{0x00AA, false, "KC_VOLD"},
                                         FormatCase{0x00AB, false, "KC_MNXT"},
                                         FormatCase{0x00AC, false, "KC_MPRV"},
                                         FormatCase{0x00AE, false, "KC_MPLY"},
                                         FormatCase{0x00D9, false, "KC_WH_U"},
                                         FormatCase{0x00DA, false, "KC_WH_D"},
                                         FormatCase{0x00F9, true, "KC_WH_U"},
                                         FormatCase{0x00FA, true, "KC_WH_D"},
                                         FormatCase{0x00F9, false, "0x00F9"},
                                         FormatCase{0x00D9, true, "0x00D9"},
                                         FormatCase{0x5700, false, "TD(0)"},
                                         FormatCase{0x57FF, false, "TD(255)"},
                                         FormatCase{0x5203, false, "TO(3)"},
                                         FormatCase{0x5261, false, "TG(1)"},
                                         FormatCase{0x523F, false, "MO(31)"},
                                         FormatCase{0x5240, false, "0x5240"},
                                         FormatCase{0x0004, false, "KC_A"},
                                         FormatCase{0x0028, false, "KC_ENT"},
                                         FormatCase{0x0128, false, "LCTL(KC_ENT)"},
                                         FormatCase{0x012A, false, "LCTL(KC_BSPC)"},
                                         FormatCase{0x0A07, false, "SGUI(KC_D)"},
                                         FormatCase{0x0304, false, "C_S(KC_A)"},
                                         FormatCase{0x0F68, false, "HYPR(KC_F13)"},
                                         FormatCase{0x0E39, false, "LSAG(KC_CAPS)"},
                                         FormatCase{0x0059, false, "0x0059"},
                                         FormatCase{0x0154, false, "0x0154"},
                                         FormatCase{0x01A8, false, "0x01A8"},
                                         FormatCase{0x0100, false, "0x0100"},
                                         FormatCase{0x7E00, false, "0x7E00"},
                                         FormatCase{0x1004, false, "0x1004"},
                                         FormatCase{0xFFFF, false, "0xFFFF"}));

TEST(FormatKeycode, WrapperNamesCoverEveryModifierNibble)
{
    const char* expected[] = {"LCTL",
                              "LSFT",
                              "C_S",
                              "LALT",
                              "LCA",
                              "LSA",
                              "MEH",
                              "LGUI",
                              "LCG",
                              "SGUI",
                              "LCSG",
                              "LAG",
                              "LCAG",
                              "LSAG",
                              "HYPR"};
    for (unsigned nibble = 1; nibble <= 15; ++nibble) {
        const auto code = static_cast<Keycode>((nibble << 8) | 0x04);
        EXPECT_EQ(formatKeycode(code, false), std::string(expected[nibble - 1]) + "(KC_A)");
    }
    EXPECT_TRUE(modifierWrapperName(0).empty());
    EXPECT_TRUE(modifierWrapperName(16).empty());
}

TEST(FormatKeycode, EveryKeycodeRoundTripsWithAndWithoutTheLegacyFlag)
{
    for (int legacy = 0; legacy < 2; ++legacy) {
        for (std::uint32_t value = 0; value <= 0xFFFF; ++value) {
            const auto code = static_cast<Keycode>(value);
            const std::string text = formatKeycode(code, legacy != 0);
            ASSERT_FALSE(text.empty()) << value;
            ASSERT_EQ(parseKeycodeExpression(text, legacy != 0), code) << text << (legacy ? " legacy" : "");
        }
    }
}

TEST(ParseKeycodeExpression, DeepNestingIsParsedWithoutRecursion)
{
    const int depth = 200000;
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += i % 2 ? "LSFT(" : "C(";
    text += "KC_A";
    text.append(depth, ')');
    EXPECT_EQ(parseKeycodeExpression(text, false), 0x0304);
    text.pop_back();
    EXPECT_EQ(parseKeycodeExpression(text, false), std::nullopt);
}

TEST(ParseKeycodeExpression, LongGarbageYieldsNone)
{
    EXPECT_EQ(parseKeycodeExpression(std::string(1 << 20, 'A'), false), std::nullopt);
    EXPECT_EQ(parseKeycodeExpression(std::string(1 << 20, '('), false), std::nullopt);
    EXPECT_EQ(parseKeycodeExpression("0x" + std::string(1 << 20, '0'), false), 0x0000);
    EXPECT_EQ(parseKeycodeExpression(std::string(1 << 20, '0') + "7", false), 0x0007);
    EXPECT_EQ(parseKeycodeExpression("\xFF\xFE(\x80)", false), std::nullopt);
}

} // namespace
} // namespace keyglass
