// Checks the numbering this program relies on against QMK's own keycode data (the firmware's
// data/constants/keycodes/*.hjson, kept in the shared corpus). The reader is lenient about the file
// layout so that any QMK data version can be dropped in; without any data the checks fail.

#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/KeycodeTables.h"
#include "keycodes/Keycodes.h"
#include "keycodes/QmkDataReader.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace keyglass {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

std::optional<unsigned> hexNumber(std::string_view text)
{
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    unsigned value = 0;
    for (char c : text.substr(2)) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * 16 + digit;
        if (value > 0xFFFF)
            return std::nullopt;
    }
    return value;
}

struct Range
{
    unsigned start = 0;
    unsigned last = 0;
};

struct QmkData
{
    std::map<std::string, std::vector<Range>> ranges;      // define -> every version's range
    std::map<std::string, std::set<unsigned>> codesByName; // key or alias -> codes across versions
    std::size_t files = 0;
};

QmkData loadQmkData(const fs::path& root)
{
    QmkData data;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        const std::string ext = it->path().extension().string();
        if (ext != ".hjson" && ext != ".json")
            continue;
        const json doc = json::parse(test::hjsonToJson(test::readText(it->path())), nullptr, false, true);
        if (!doc.is_object())
            continue;
        bool recognised = false;
        if (const auto ranges = doc.find("ranges"); ranges != doc.end() && ranges->is_object()) {
            for (const auto& [key, value] : ranges->items()) {
                const auto slash = key.find('/');
                if (slash == std::string::npos || !value.is_object() || !value.contains("define") ||
                    !value["define"].is_string())
                    continue;
                const auto start = hexNumber(key.substr(0, slash));
                const auto size = hexNumber(key.substr(slash + 1));
                if (!start || !size)
                    continue;
                data.ranges[value["define"].get<std::string>()].push_back(Range{*start, *start + *size});
                recognised = true;
            }
        }
        if (const auto codes = doc.find("keycodes"); codes != doc.end() && codes->is_object()) {
            for (const auto& [key, value] : codes->items()) {
                const auto code = hexNumber(key);
                if (!code || !value.is_object())
                    continue;
                if (value.contains("key") && value["key"].is_string())
                    data.codesByName[value["key"].get<std::string>()].insert(*code);
                if (value.contains("aliases") && value["aliases"].is_array()) {
                    for (const auto& alias : value["aliases"]) {
                        if (alias.is_string())
                            data.codesByName[alias.get<std::string>()].insert(*code);
                    }
                }
                recognised = true;
            }
        }
        if (recognised)
            ++data.files;
    }
    return data;
}

class QmkKeycodeData : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // KG_QMK_KEYCODES points at another copy of the data, e.g. a QMK checkout's
        // data/constants/keycodes.
        const char* other = std::getenv("KG_QMK_KEYCODES");
        const fs::path corpus = test::sharedCorpusDir();
        if (other && *other)
            s_data = new QmkData(loadQmkData(other));
        else if (!corpus.empty() && fs::is_directory(corpus / "keycodes"))
            s_data = new QmkData(loadQmkData(corpus / "keycodes"));
    }
    static void TearDownTestSuite()
    {
        delete s_data;
        s_data = nullptr;
    }
    void SetUp() override
    {
        // The data belongs to the shared corpus: without it these checks must fail, not pass unseen.
        ASSERT_TRUE(s_data && s_data->files > 0) << "no QMK keycode data under the shared corpus";
    }

    static const std::vector<Range>* ranges(const std::string& define)
    {
        const auto it = s_data->ranges.find(define);
        return it == s_data->ranges.end() ? nullptr : &it->second;
    }
    static const std::set<unsigned>* codes(const std::string& name)
    {
        const auto it = s_data->codesByName.find(name);
        return it == s_data->codesByName.end() ? nullptr : &it->second;
    }

    static QmkData* s_data;
};

QmkData* QmkKeycodeData::s_data = nullptr;

struct LayerRange
{
    const char* define;
    unsigned start;
    const char* function;
};

TEST_F(QmkKeycodeData, LayerAndTapDanceRangesAgree)
{
    const LayerRange expected[] = {{"QK_TO", 0x5200, "TO"},
                                   {"QK_MOMENTARY", 0x5220, "MO"},
                                   {"QK_TOGGLE_LAYER", 0x5260, "TG"},
                                   {"QK_TAP_DANCE", 0x5700, "TD"}};
    int checked = 0;
    for (const LayerRange& range : expected) {
        const auto* found = ranges(range.define);
        if (!found)
            continue;
        for (const Range& r : *found) {
            ++checked;
            EXPECT_EQ(r.start, range.start) << range.define;
            for (unsigned code = r.start; code <= r.last; ++code) {
                const std::string text = std::string(range.function) + "(" + std::to_string(code - r.start) + ")";
                EXPECT_EQ(formatKeycode(static_cast<Keycode>(code), false), text);
                EXPECT_EQ(parseKeycodeExpression(text, false), code);
            }
        }
    }
    if (checked == 0)
        GTEST_SKIP() << "the data names none of the layer ranges";
}

TEST_F(QmkKeycodeData, ModifierBitsAgreeWithTheModsRange)
{
    const auto* mods = ranges("QK_MODS");
    if (!mods)
        GTEST_SKIP() << "no QK_MODS range";
    for (const Range& r : *mods) {
        EXPECT_EQ(r.start, 0x0100u);
        // Every modifier wrapper's result stays inside the range.
        EXPECT_GE(r.last, 0x0FFFu);
    }
}

TEST_F(QmkKeycodeData, BootloaderDebugAndEepromCodesAreBlocked)
{
    int checked = 0;
    for (const char* name : {"QK_BOOTLOADER",
                             "QK_BOOT",
                             "QK_REBOOT",
                             "QK_RBT",
                             "QK_DEBUG_TOGGLE",
                             "DB_TOGG",
                             "QK_CLEAR_EEPROM",
                             "EE_CLR",
                             "QK_MAKE",
                             "RESET",
                             "DEBUG",
                             "EEPROM_RESET",
                             "EEP_RST"}) {
        const auto* found = codes(name);
        if (!found)
            continue;
        for (unsigned code : *found) {
            ++checked;
            const auto reason = keycodeBlockReason(static_cast<Keycode>(code), name);
            ASSERT_TRUE(reason) << name << " = " << code;
            EXPECT_TRUE(reason->starts_with("Blocked bootloader/reset keycode")) << *reason;
            // The word itself is refused before parsing as well.
            EXPECT_TRUE(validateExpression(name, false)->starts_with("Blocked bootloader/reset token")) << name;
        }
    }
    if (const auto* quantum = ranges("QK_QUANTUM")) {
        for (const Range& r : *quantum)
            EXPECT_EQ(r.start, 0x7C00u);
        ++checked;
    }
    if (checked == 0)
        GTEST_SKIP() << "the data names none of the bootloader codes";
}

TEST_F(QmkKeycodeData, MagicRangeStartsWhereTheMagicBlockStarts)
{
    const auto* magic = ranges("QK_MAGIC");
    if (!magic)
        GTEST_SKIP() << "no QK_MAGIC range";
    // QMK reserves 0x7000-0x70FF for magic codes; only 0x7000-0x701F (the swap and toggle codes that
    // rewrite the EEPROM configuration) are blocked. Later magic codes are left to the user.
    for (const Range& r : *magic) {
        EXPECT_EQ(r.start, 0x7000u);
        EXPECT_GE(r.last, 0x701Fu);
    }
    EXPECT_TRUE(keycodeBlockReason(0x7000, ""));
    EXPECT_TRUE(keycodeBlockReason(0x701F, ""));
    EXPECT_FALSE(keycodeBlockReason(0x7020, ""));
}

TEST_F(QmkKeycodeData, KeyboardAndUserRanges)
{
    const auto* kb = ranges("QK_KB");
    const auto* user = ranges("QK_USER");
    if (!kb && !user)
        GTEST_SKIP() << "no QK_KB or QK_USER range";
    // Every layout QMK used, 0x7E00-0x7EFF + 0x7F00-0x7FFF at first and 0x7E00-0x7E3F + 0x7E40-0x7FFF
    // later, lies inside the blocked 0x7E00-0x7FFF.
    if (kb) {
        for (const Range& r : *kb) {
            EXPECT_EQ(r.start, 0x7E00u);
            EXPECT_TRUE(keycodeBlockReason(static_cast<Keycode>(r.start), ""));
            EXPECT_TRUE(keycodeBlockReason(static_cast<Keycode>(r.start + 0x1F), ""));
        }
    }
    if (user) {
        for (const Range& r : *user) {
            EXPECT_TRUE(r.start == 0x7E40u || r.start == 0x7F00u) << r.start;
            if (r.start == 0x7E40u) {
                EXPECT_TRUE(keycodeBlockReason(0x7E40, ""));
                EXPECT_TRUE(keycodeBlockReason(0x7E5F, ""));
            }
        }
    }
}

TEST_F(QmkKeycodeData, MediaAndCurrentWheelCodesAgree)
{
    const std::pair<const char*, Keycode> expected[] = {
        {"KC_AUDIO_MUTE", 0x00A8},
        {"KC_MUTE", 0x00A8},
        {"KC_AUDIO_VOL_UP", 0x00A9},
        {"KC_VOLU", 0x00A9},
        {"KC_AUDIO_VOL_DOWN", 0x00AA},
        {"KC_VOLD", 0x00AA},
        {"KC_MEDIA_NEXT_TRACK", 0x00AB},
        {"KC_MNXT", 0x00AB},
        {"KC_MEDIA_PREV_TRACK", 0x00AC},
        {"KC_MPRV", 0x00AC},
        {"KC_MEDIA_PLAY_PAUSE", 0x00AE},
        {"KC_MPLY", 0x00AE},
        // QMK's data holds only the current numbering; 0xF9/0xFA are the wheel codes of the keycode
        // table VIA used before protocol 10 (and Vial before 6), which predates these files.
        {"KC_MS_WH_UP", 0x00D9},
        {"KC_WH_U", 0x00D9},
        {"MS_WHLU", 0x00D9},
        {"KC_MS_WH_DOWN", 0x00DA},
        {"KC_WH_D", 0x00DA},
        {"MS_WHLD", 0x00DA},
    };
    int checked = 0;
    for (const auto& [name, code] : expected) {
        const auto* found = codes(name);
        if (!found)
            continue;
        ++checked;
        EXPECT_TRUE(found->contains(code)) << name;
        EXPECT_EQ(parseKeycodeExpression(name, false), code) << name;
    }
    if (checked == 0)
        GTEST_SKIP() << "the data names none of the media codes";
}

TEST_F(QmkKeycodeData, EveryBasicNameWeKnowHasQmksCode)
{
    int checked = 0;
    for (const auto& [name, found] : s_data->codesByName) {
        const auto ours = lookupBasicName(name);
        if (!ours)
            continue;
        ++checked;
        // Basic usages never moved between QMK data versions, so every code given for the name must match.
        EXPECT_EQ(found, std::set<unsigned>{*ours}) << name << " is 0x" << std::hex << *ours << " here";
    }
    if (checked == 0)
        GTEST_SKIP() << "the data names no basic keys";
}

TEST(HjsonReader, AcceptsCommentsAndTrailingCommas)
{
    const std::string text =
        "{\n  // ranges\n  \"ranges\": {\"0x5200/0x001F\": {\"define\": \"QK_TO\",},},\n"
        "  # hash comment\n  \"keycodes\": {\"0x0004\": {\"key\": \"KC_A\", \"label\": \"// a\"}}\n}";
    const json doc = json::parse(test::hjsonToJson(text), nullptr, false);
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(doc["ranges"]["0x5200/0x001F"]["define"], "QK_TO");
    EXPECT_EQ(doc["keycodes"]["0x0004"]["label"], "// a");
}

} // namespace
} // namespace keyglass
