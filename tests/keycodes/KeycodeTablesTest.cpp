#include "keycodes/KeycodeTables.h"
#include "keycodes/Keycodes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace keyglass {
namespace {

TEST(KeycodeTables, BaseLabelTableHasExactly103EntriesAndNoneInTheGaps)
{
    int count = 0;
    for (int usage = 0; usage < 256; ++usage) {
        if (baseLabel(static_cast<std::uint8_t>(usage)))
            ++count;
    }
    EXPECT_EQ(count, 103);
    for (int usage : {0x00, 0x01, 0x03, 0x32, 0x46, 0x47, 0x48, 0x53, 0x64, 0x65, 0x66, 0x67, 0x74, 0xA8, 0xD9, 0xFF})
        EXPECT_FALSE(baseLabel(static_cast<std::uint8_t>(usage))) << usage;
}

struct LabelCase
{
    std::uint8_t usage;
    const char* label;
};

class BaseLabelTest : public testing::TestWithParam<LabelCase>
{
};

TEST_P(BaseLabelTest, LabelOfUsage)
{
    const auto label = baseLabel(GetParam().usage);
    ASSERT_TRUE(label);
    EXPECT_EQ(*label, GetParam().label);
    EXPECT_EQ(usageForLabel(GetParam().label), GetParam().usage);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         BaseLabelTest,
                         testing::Values(LabelCase{0x04, "A"},
                                         LabelCase{0x1D, "Z"},
                                         LabelCase{0x1E, "1"},
                                         LabelCase{0x26, "9"},
                                         LabelCase{0x27, "0"},
                                         LabelCase{0x28, "↩"},
                                         LabelCase{0x2A, "⌫"},
                                         LabelCase{0x2B, "⇥"},
                                         LabelCase{0x31, "\\"},
                                         LabelCase{0x39, "Caps"},
                                         LabelCase{0x3A, "F1"},
                                         LabelCase{0x45, "F12"},
                                         LabelCase{0x4B, "PgUp"},
                                         LabelCase{0x4E, "PgDn"},
                                         LabelCase{0x52, "↑"},
                                         LabelCase{0x54, "KP /"},
                                         LabelCase{0x58, "KP ↩"},
                                         LabelCase{0x59, "KP 1"},
                                         LabelCase{0x62, "KP 0"},
                                         LabelCase{0x63, "KP ."},
                                         LabelCase{0x68, "F13"},
                                         LabelCase{0x73, "F24"}));

TEST(KeycodeTables, UsageForLabelIgnoresLetterCaseOnly)
{
    EXPECT_EQ(usageForLabel("f13"), 0x68);
    EXPECT_EQ(usageForLabel("kp 1"), 0x59);
    EXPECT_EQ(usageForLabel("SPACE"), 0x2C);
    EXPECT_EQ(usageForLabel("pgdn"), 0x4E);
    EXPECT_FALSE(usageForLabel(""));
    EXPECT_FALSE(usageForLabel("KP1"));
    EXPECT_FALSE(usageForLabel(" F13"));
    EXPECT_FALSE(usageForLabel("F25"));
}

TEST(KeycodeTables, ShortNameTableHas26Entries)
{
    int count = 0;
    for (int usage = 0; usage < 256; ++usage) {
        if (shortName(static_cast<std::uint8_t>(usage)))
            ++count;
    }
    EXPECT_EQ(count, 26);
    EXPECT_EQ(shortName(0x28), "KC_ENT");
    EXPECT_EQ(shortName(0x4F), "KC_RGHT");
    EXPECT_EQ(shortName(0x52), "KC_UP");
    EXPECT_FALSE(shortName(0x04));
    EXPECT_FALSE(shortName(0x39));
}

struct NameCase
{
    const char* name;
    Keycode code;
};

class NameTableTest : public testing::TestWithParam<NameCase>
{
};

TEST_P(NameTableTest, UpperCaseNameResolves)
{
    EXPECT_EQ(lookupBasicName(GetParam().name), GetParam().code) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(LabelsAndAliases,
                         NameTableTest,
                         testing::Values(NameCase{"A", 0x04},
                                         NameCase{"KC_A", 0x04},
                                         NameCase{"F13", 0x68},
                                         NameCase{"KC_F13", 0x68},
                                         NameCase{"ESC", 0x29},
                                         NameCase{"KC_ESC", 0x29},
                                         NameCase{"SPACE", 0x2C},
                                         NameCase{"KC_SPACE", 0x2C},
                                         NameCase{"CAPS", 0x39},
                                         NameCase{"KC_CAPS", 0x39},
                                         NameCase{"PGUP", 0x4B},
                                         NameCase{"KP /", 0x54},
                                         NameCase{"KC_KP /", 0x54},
                                         NameCase{"↩", 0x28},
                                         NameCase{"KC_↩", 0x28},
                                         NameCase{"ENTER", 0x28},
                                         NameCase{"RETURN", 0x28},
                                         NameCase{"KC_ENT", 0x28},
                                         NameCase{"BACKSPACE", 0x2A},
                                         NameCase{"KC_BSPACE", 0x2A},
                                         NameCase{"KC_LEFT_BRACKET", 0x2F},
                                         NameCase{"[", 0x2F},
                                         NameCase{"]", 0x30},
                                         NameCase{"`", 0x35},
                                         NameCase{"KC_SCOLON", 0x33},
                                         NameCase{"KC_PGDOWN", 0x4E},
                                         NameCase{"KC_KP_ASTERISK", 0x55},
                                         NameCase{"KC_KP_ENTER", 0x58},
                                         NameCase{"KC_KP_0", 0x62},
                                         NameCase{"KC_KP_DOT", 0x63},
                                         NameCase{"KC_1", 0x1E},
                                         NameCase{"0", 0x27}));

TEST(KeycodeTables, NameTableHoldsNoMediaWheelOrLowerCaseNames)
{
    for (const char* name : {"KC_MUTE", "KC_WH_U", "KC_NO", "KC_TRNS", "kc_a", "a", "KP_1", "KC_KP1", "", "KC_"})
        EXPECT_FALSE(lookupBasicName(name)) << name;
}

TEST(KeycodeTables, NameTableSizeIsLabelsTwiceAndTheNewAliases)
{
    // 103 labels give 206 names; the aliases add the spellings that are not already label names.
    std::set<std::string> fromLabels;
    for (int usage = 0; usage < 256; ++usage) {
        if (const auto label = baseLabel(static_cast<std::uint8_t>(usage))) {
            std::string upper(*label);
            for (char& c : upper)
                c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
            fromLabels.insert(upper);
            fromLabels.insert("KC_" + upper);
        }
    }
    EXPECT_EQ(fromLabels.size(), 206u);
    EXPECT_GT(basicNameCount(), 206u);
    EXPECT_LE(basicNameCount(), 206u + 71u);
}

struct BasicNameCase
{
    std::uint8_t usage;
    std::optional<std::string> name;
};

class BasicKeyNameTest : public testing::TestWithParam<BasicNameCase>
{
};

TEST_P(BasicKeyNameTest, FormattedName)
{
    EXPECT_EQ(basicKeyName(GetParam().usage), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Rules,
                         BasicKeyNameTest,
                         testing::Values(BasicNameCase{0x04, "KC_A"},
                                         BasicNameCase{0x24, "KC_7"},
                                         BasicNameCase{0x68, "KC_F13"},
                                         BasicNameCase{0x39, "KC_CAPS"},
                                         BasicNameCase{0x28, "KC_ENT"},
                                         BasicNameCase{0x2C, "KC_SPC"},
                                         BasicNameCase{0x59, std::nullopt},
                                         BasicNameCase{0x54, std::nullopt},
                                         BasicNameCase{0x58, std::nullopt},
                                         BasicNameCase{0x32, std::nullopt},
                                         BasicNameCase{0x00, std::nullopt},
                                         BasicNameCase{0xA8, std::nullopt}));

} // namespace
} // namespace keyglass
