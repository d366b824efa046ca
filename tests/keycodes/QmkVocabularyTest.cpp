// The generated vocabulary against QMK's released keycode data, and what it gives the expression
// grammar, the keycap captions and the old numbering.

#include "keycodes/QmkVocabulary.h"
#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/KeycodeText.h"
#include "keycodes/Keycodes.h"
#include "keycodes/LegacyNumbering.h"
#include "keycodes/QmkDataReader.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace keyglass {
namespace {

namespace fs = std::filesystem;

bool isBareHex(const std::string& title)
{
    return title.size() >= 3 && title[0] == '0' && title[1] == 'x';
}

std::string joined(const nlohmann::json& names)
{
    std::string out;
    for (const auto& name : names)
        out += (out.empty() ? "" : " ") + name.get<std::string>();
    return out;
}

class ReleasedData : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        const fs::path dir = test::sharedCorpusDir() / "keycodes";
        if (!test::sharedCorpusDir().empty() && fs::is_directory(dir))
            s_data = new test::ReleasedQmkData(test::loadReleasedQmkData(dir));
    }
    static void TearDownTestSuite()
    {
        delete s_data;
        s_data = nullptr;
    }
    void SetUp() override
    {
        // The data belongs to the shared corpus; a missing copy must not pass as success.
        ASSERT_NE(s_data, nullptr) << "QMK keycode data missing under the shared corpus (corpus/keycodes)";
        ASSERT_GE(s_data->files, 30u) << "fewer QMK keycode files than the eight released versions ship";
        ASSERT_TRUE(s_data->unreadable.empty()) << s_data->unreadable.front();
    }
    static const nlohmann::json& keycodes() { return s_data->merged["keycodes"]; }

    static test::ReleasedQmkData* s_data;
};

test::ReleasedQmkData* ReleasedData::s_data = nullptr;

TEST_F(ReleasedData, CheckedInTableIsTheMergedData)
{
    // Regenerate with scripts/gen-qmk-keycodes when this fails after the data changed.
    ASSERT_EQ(qmkKeycodes().size(), keycodes().size());
    for (const auto& [codeText, entry] : keycodes().items()) {
        const QmkKeycode* ours = findQmkKeycode(static_cast<Keycode>(test::qmkHex(codeText)));
        ASSERT_NE(ours, nullptr) << codeText;
        EXPECT_EQ(ours->key, entry["key"].get<std::string>()) << codeText;
        EXPECT_EQ(ours->group, entry.value("group", "")) << codeText;
        EXPECT_EQ(ours->label, entry.value("label", "")) << codeText;
        EXPECT_EQ(ours->aliases, joined(entry.value("aliases", nlohmann::json::array()))) << codeText;
    }
}

TEST_F(ReleasedData, EveryNameAndAliasParsesToItsCode)
{
    std::size_t names = 0;
    for (const auto& [codeText, entry] : keycodes().items()) {
        const Keycode code = static_cast<Keycode>(test::qmkHex(codeText));
        std::vector<std::string> all{entry["key"].get<std::string>()};
        for (const auto& alias : entry.value("aliases", nlohmann::json::array()))
            all.push_back(alias.get<std::string>());
        for (const std::string& name : all) {
            ++names;
            EXPECT_EQ(parseKeycodeExpression(name, false), code) << name;
            EXPECT_EQ(parseKeycodeExpression(asciiLower(name), false), code) << name;
        }
    }
    EXPECT_GT(names, 1000u);
}

TEST_F(ReleasedData, FormerNamesParseToTheKeyThatStillHasThem)
{
    for (const QmkKeycode& entry : qmkKeycodes()) {
        forEachName(entry.former, [&](std::string_view name) {
            const auto& codes = s_data->everyName.at(std::string(name));
            EXPECT_NE(std::find(codes.begin(), codes.end(), entry.code), codes.end()) << name;
            EXPECT_EQ(parseKeycodeExpression(name, false), entry.code) << name;
        });
    }
    EXPECT_EQ(parseKeycodeExpression("RGB_TOG", false), 0x7820);
    EXPECT_EQ(parseKeycodeExpression("KC_BTN1", false), 0x00D1);
    EXPECT_EQ(parseKeycodeExpression("SAFE_RANGE", false), std::nullopt);
}

TEST_F(ReleasedData, NoCodeQmkNamesIsCaptionedAsHex)
{
    for (const auto& [codeText, entry] : keycodes().items()) {
        const Keycode code = static_cast<Keycode>(test::qmkHex(codeText));
        for (const bool windows : {false, true}) {
            const KeyAction action = describeKeycode(code, false, windows, {}, {});
            EXPECT_FALSE(isBareHex(action.title)) << codeText << " " << action.title;
            EXPECT_FALSE(action.title.empty()) << codeText;
        }
        // The same key on an old-numbering pad reads the same, but for the pads' own fixed codes.
        const bool fixedRow = code == 0x7E00 || code == 0x7E01 || code == 0x7E02 || code == 0x7E05 || code == 0x7E06;
        if (const auto legacy = toLegacyNumbering(code); legacy && !fixedRow && *legacy != 0xF1 && *legacy != 0xF2) {
            EXPECT_EQ(describeKeycode(*legacy, true, false, {}, {}).title,
                      describeKeycode(code, false, false, {}, {}).title)
                << codeText;
        }
    }
}

TEST_F(ReleasedData, FirmwareCustomRangesAreBlockedWhole)
{
    const auto& ranges = s_data->merged["ranges"];
    for (const auto& [span, range] : ranges.items()) {
        const std::string define = range.value("define", "");
        if (define != "QK_KB" && define != "QK_USER")
            continue;
        const auto slash = span.find('/');
        const unsigned first = test::qmkHex(span.substr(0, slash));
        const unsigned last = first + test::qmkHex(span.substr(slash + 1));
        for (unsigned code = first; code <= last; ++code) {
            EXPECT_TRUE(isFirmwareCustomKeycode(static_cast<Keycode>(code))) << define << " " << code;
            EXPECT_TRUE(keycodeBlockReason(static_cast<Keycode>(code), "", true)) << code;
        }
        EXPECT_EQ(first, define == "QK_KB" ? QkKbFirst : QkUserFirst);
        EXPECT_EQ(last, define == "QK_KB" ? QkKbLast : QkUserLast);
    }
    EXPECT_FALSE(isFirmwareCustomKeycode(0x7DFF));
    EXPECT_FALSE(isFirmwareCustomKeycode(0x8000));
}

struct ParseCase
{
    const char* text;
    bool legacy;
    std::optional<Keycode> expected;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"' << (c.legacy ? " legacy" : "");
}

class FunctionFormTest : public testing::TestWithParam<ParseCase>
{
};

TEST_P(FunctionFormTest, Parses)
{
    EXPECT_EQ(parseKeycodeExpression(GetParam().text, GetParam().legacy), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(CurrentNumbering,
                         FunctionFormTest,
                         testing::Values(ParseCase{"KC_LCTL", false, 0x00E0},
                                         ParseCase{"kc_pscr", false, 0x0046},
                                         ParseCase{"KC_APP", false, 0x0065},
                                         ParseCase{"_______", false, 0x0001},
                                         ParseCase{"XXXXXXX", false, 0x0000},
                                         ParseCase{"LT(1,KC_A)", false, 0x4104},
                                         ParseCase{"LT( 15 , KC_SPC )", false, 0x4F2C},
                                         ParseCase{"LT(16,KC_A)", false, std::nullopt},
                                         ParseCase{"LT(1,LCTL(KC_A))", false, std::nullopt},
                                         ParseCase{"MT(MOD_LCTL,KC_A)", false, 0x2104},
                                         ParseCase{"MT(MOD_LCTL | MOD_LSFT, KC_ESC)", false, 0x2329},
                                         ParseCase{"MT(MOD_RALT,KC_A)", false, 0x3404},
                                         ParseCase{"MT(0x12,KC_A)", false, 0x3204},
                                         ParseCase{"MT(MOD_FOO,KC_A)", false, std::nullopt},
                                         ParseCase{"MT(MOD_LCTL,QK_BOOT)", false, std::nullopt},
                                         ParseCase{"LCTL_T(KC_ESC)", false, 0x2129},
                                         ParseCase{"CTL_T(KC_ESC)", false, 0x2129},
                                         ParseCase{"RSFT_T(KC_ENT)", false, 0x3228},
                                         ParseCase{"MEH_T(KC_A)", false, 0x2704},
                                         ParseCase{"ALL_T(KC_A)", false, 0x2F04},
                                         ParseCase{"HYPR_T(KC_A)", false, 0x2F04},
                                         ParseCase{"C_S_T(KC_A)", false, 0x2304},
                                         ParseCase{"SGUI_T(KC_A)", false, 0x2A04},
                                         ParseCase{"C_T(KC_A)", false, std::nullopt},
                                         ParseCase{"LM(1, MOD_LSFT)", false, 0x5022},
                                         ParseCase{"LM(2,MOD_RCTL)", false, 0x5051},
                                         ParseCase{"OSM(MOD_LSFT)", false, 0x52A2},
                                         ParseCase{"OSM(MOD_MEH)", false, 0x52A7},
                                         ParseCase{"DF(31)", false, 0x525F},
                                         ParseCase{"DF(32)", false, std::nullopt},
                                         ParseCase{"PDF(2)", false, 0x52E2},
                                         ParseCase{"OSL(1)", false, 0x5281},
                                         ParseCase{"TT(1)", false, 0x52C1},
                                         ParseCase{"MACRO(3)", false, 0x7703},
                                         ParseCase{"M(127)", false, 0x777F},
                                         ParseCase{"M(128)", false, std::nullopt},
                                         ParseCase{"QK_KB_3", false, 0x7E03},
                                         ParseCase{"QK_KB_63", false, 0x7E3F},
                                         ParseCase{"QK_KB_64", false, std::nullopt},
                                         ParseCase{"QK_KB_03", false, std::nullopt},
                                         ParseCase{"QK_USER_447", false, 0x7FFF},
                                         ParseCase{"SH_T(KC_SPC)", false, 0x562C},
                                         ParseCase{"RGB_TOG", false, 0x7820},
                                         ParseCase{"RCTL(RSFT(KC_A))", false, 0x1304},
                                         // One code holds one hand's modifiers: mixing them has no code.
                                         ParseCase{"LSFT(RCTL(KC_A))", false, std::nullopt},
                                         ParseCase{"RSFT(C(KC_A))", false, std::nullopt},
                                         ParseCase{"ROPT(KC_A)", false, 0x1404},
                                         ParseCase{"LCTL(KC_LSFT)", false, 0x01E1},
                                         ParseCase{"LCTL(DF(1))", false, std::nullopt},
                                         ParseCase{"LCTL(RGB_TOG)", false, std::nullopt},
                                         ParseCase{"LCTL(MO(1))", false, 0x0321}));

INSTANTIATE_TEST_SUITE_P(OldNumbering,
                         FunctionFormTest,
                         testing::Values(ParseCase{"MO(1)", true, 0x5101},
                                         ParseCase{"TG(2)", true, 0x5302},
                                         ParseCase{"TO(1)", true, 0x5011},
                                         ParseCase{"TO(16)", true, std::nullopt},
                                         ParseCase{"DF(1)", true, 0x5201},
                                         ParseCase{"OSL(1)", true, 0x5401},
                                         ParseCase{"OSM(MOD_LSFT)", true, 0x5502},
                                         ParseCase{"TT(3)", true, 0x5803},
                                         ParseCase{"TD(3)", true, 0x5703},
                                         ParseCase{"LM(1,MOD_LSFT)", true, 0x5912},
                                         ParseCase{"LM(1,MOD_RSFT)", true, std::nullopt},
                                         ParseCase{"MT(MOD_LCTL,KC_A)", true, 0x6104},
                                         ParseCase{"LCTL_T(KC_ESC)", true, 0x6129},
                                         ParseCase{"LT(1,KC_BTN1)", true, 0x41F4},
                                         ParseCase{"PDF(1)", true, std::nullopt},
                                         ParseCase{"KC_BTN1", true, 0x00F4},
                                         ParseCase{"KC_MS_D", true, 0x00F1},
                                         ParseCase{"KC_BTN6", true, std::nullopt},
                                         ParseCase{"KC_ASST", true, std::nullopt},
                                         ParseCase{"QK_BOOT", true, 0x5C00},
                                         ParseCase{"RGB_TOG", true, 0x5CC2},
                                         ParseCase{"BL_ON", true, 0x5CBB},
                                         ParseCase{"BL_TOGG", true, 0x5CBF},
                                         ParseCase{"M(3)", true, 0x5F15},
                                         ParseCase{"M(16)", true, std::nullopt},
                                         ParseCase{"QK_KB_0", true, 0x5F80},
                                         ParseCase{"QK_GESC", true, 0x5C16},
                                         ParseCase{"CW_TOGG", true, std::nullopt},
                                         ParseCase{"LCTL(KC_A)", true, 0x0104},
                                         ParseCase{"0x5221", true, 0x5221}));

TEST(LegacyNumbering, TranslationRoundTripsBothWays)
{
    int translated = 0;
    for (std::uint32_t value = 0; value <= 0xFFFF; ++value) {
        const auto current = static_cast<Keycode>(value);
        if (const auto legacy = toLegacyNumbering(current)) {
            ++translated;
            EXPECT_EQ(fromLegacyNumbering(*legacy), current) << value;
        }
        const auto legacy = static_cast<Keycode>(value);
        // QMK 0.18 wrote TO(n) as 0x5000 | n; it reads as TO(n) and is written in the older form.
        if (const auto back = fromLegacyNumbering(legacy); back && !(legacy >= 0x5000 && legacy <= 0x500F)) {
            EXPECT_EQ(toLegacyNumbering(*back), legacy) << value;
        }
    }
    EXPECT_GT(translated, 40000);
    EXPECT_EQ(fromLegacyNumbering(0x5003), 0x5203);
    EXPECT_EQ(fromLegacyNumbering(0x5013), 0x5203);
    EXPECT_EQ(fromLegacyNumbering(0x5C14), std::nullopt);
}

TEST(LegacyNumbering, FormatWritesTheKeyNotTheOldCode)
{
    EXPECT_EQ(formatKeycode(0x5101, true), "MO(1)");
    EXPECT_EQ(formatKeycode(0x5011, true), "TO(1)");
    EXPECT_EQ(formatKeycode(0x5001, true), "0x5001");
    EXPECT_EQ(formatKeycode(0x5221, true), "0x5221");
    EXPECT_EQ(formatKeycode(0x5704, true), "TD(4)");
    EXPECT_EQ(formatKeycode(0x01F9, true), "0x01F9");
    EXPECT_EQ(formatKeycode(0x0104, true), "LCTL(KC_A)");
    // A preset's MO(1) lands on the old pad's MO(1).
    EXPECT_EQ(parseKeycodeExpression(formatKeycode(0x5221, false), true), 0x5101);
}

struct CaptionCase
{
    Keycode code;
    bool legacy;
    bool windows;
    const char* title;
    const char* shortcut;
};

void PrintTo(const CaptionCase& c, std::ostream* os)
{
    *os << hex4(c.code) << (c.legacy ? " legacy" : "") << (c.windows ? " windows" : " macos");
}

class CaptionTest : public testing::TestWithParam<CaptionCase>
{
};

TEST_P(CaptionTest, TitleAndShortcut)
{
    const CaptionCase& c = GetParam();
    const KeyAction action = describeKeycode(c.code, c.legacy, c.windows, {}, {});
    EXPECT_EQ(action.title, c.title);
    EXPECT_EQ(action.shortcut, c.shortcut);
    EXPECT_EQ(action.raw, c.code);
}

INSTANTIATE_TEST_SUITE_P(Keys,
                         CaptionTest,
                         testing::Values(CaptionCase{0x00E1, false, false, "L Shift", "L Shift"},
                                         CaptionCase{0x00E0, false, true, "L Ctrl", "L Ctrl"},
                                         CaptionCase{0x00E2, false, false, "L Opt", "L Opt"},
                                         CaptionCase{0x00E2, false, true, "L Alt", "L Alt"},
                                         CaptionCase{0x00E7, false, false, "R ⌘", "R ⌘"},
                                         CaptionCase{0x00E7, false, true, "R Win", "R Win"},
                                         CaptionCase{0x0046, false, false, "PrtSc", "PrtSc"},
                                         CaptionCase{0x0053, false, false, "NumLk", "NumLk"},
                                         CaptionCase{0x0065, false, false, "Menu", "Menu"},
                                         CaptionCase{0x0064, false, false, "ISO \\", "ISO \\"},
                                         CaptionCase{0x0089, false, false, "¥", "¥"},
                                         CaptionCase{0x00D3, false, false, "Btn 3", "Btn 3"},
                                         CaptionCase{0x00F6, true, false, "Btn 3", "Btn 3"},
                                         CaptionCase{0x00F1, true, false, "Layer HW", "0x00F1"},
                                         CaptionCase{0x00AD, false, false, "Stop", "Stop"},
                                         CaptionCase{0x00B2, false, false, "Calc", "Calc"},
                                         CaptionCase{0x021E, false, false, "!", "⇧1"},
                                         CaptionCase{0x0238, false, true, "?", "⇧/"},
                                         CaptionCase{0x1104, false, false, "A", "R⌃A"},
                                         CaptionCase{0x1104, false, true, "A", "RCtrl+A"}));

INSTANTIATE_TEST_SUITE_P(Functions,
                         CaptionTest,
                         testing::Values(CaptionCase{0x2129, false, false, "Esc", "Hold Ctrl"},
                                         CaptionCase{0x6129, true, false, "Esc", "Hold Ctrl"},
                                         CaptionCase{0x2A04, false, false, "A", "Hold Shift+⌘"},
                                         CaptionCase{0x2A04, false, true, "A", "Hold Shift+Win"},
                                         CaptionCase{0x2704, false, false, "A", "Hold Meh"},
                                         CaptionCase{0x3F04, false, false, "A", "Hold RHyper"},
                                         CaptionCase{0x3204, false, false, "A", "Hold RShift"},
                                         CaptionCase{0x412C, false, false, "Space", "Hold L1"},
                                         CaptionCase{0x5022, false, false, "LM(1)", "Hold L1 Shift"},
                                         CaptionCase{0x5912, true, false, "LM(1)", "Hold L1 Shift"},
                                         CaptionCase{0x5241, false, false, "DF(1)", "Base L1"},
                                         CaptionCase{0x5201, true, false, "DF(1)", "Base L1"},
                                         CaptionCase{0x5281, false, false, "OSL(1)", "One-shot L1"},
                                         CaptionCase{0x52A3, false, false, "OSM", "One-shot Ctrl+Shift"},
                                         CaptionCase{0x52C2, false, false, "TT(2)", "Tap-toggle L2"},
                                         CaptionCase{0x5101, true, false, "MO(1)", "Hold L1"},
                                         CaptionCase{0x5221, true, false, "0x5221", ""},
                                         CaptionCase{0x5011, true, false, "TO(1)", "Go L1"},
                                         CaptionCase{0x5001, true, false, "TO(1)", "Go L1"},
                                         CaptionCase{0x562C, false, false, "Space", "Hold Swap"},
                                         CaptionCase{0x56F0, false, false, "Swap", "Toggle Swap Hands"},
                                         CaptionCase{0x7703, false, false, "Macro 3", "M(3)"},
                                         CaptionCase{0x5F15, true, false, "Macro 3", "M(3)"},
                                         CaptionCase{0x7800, false, false, "BL On", "Backlight On"},
                                         CaptionCase{0x7820, false, false, "RGB Toggle", "RGB Underglow"},
                                         CaptionCase{0x5CC2, true, false, "RGB Toggle", "RGB Underglow"},
                                         CaptionCase{0x7823, false, false, "Hue+", "RGB Hue Up"},
                                         CaptionCase{0x7845, false, false, "Hue+", "RGB Matrix Hue Up"},
                                         CaptionCase{0x7C00, false, false, "Boot", "Bootloader"},
                                         CaptionCase{0x5C00, true, false, "Boot", "Bootloader"},
                                         CaptionCase{0x7C16, false, false, "Esc/`", "Grave Escape"},
                                         CaptionCase{0x7C73, false, false, "CapsWrd", "Caps Word"},
                                         CaptionCase{0x7C79, false, false, "Repeat", "Repeat Key"},
                                         CaptionCase{0x7E03, false, false, "Kb 3", "QK_KB_3"},
                                         CaptionCase{0x7E00, false, false, "BT 1", "Hold 3s Pair"},
                                         CaptionCase{0x7E45, false, false, "User 5", "QK_USER_5"}));

} // namespace
} // namespace keyglass
