#include "keycodes/PickerEntries.h"
#include "keycodes/KeycodeExpression.h"
#include "keycodes/Keycodes.h"

#include <gtest/gtest.h>

#include <set>

namespace keyglass {
namespace {

const PickerSection* section(const std::vector<PickerSection>& sections, std::string_view id)
{
    for (const auto& s : sections)
        if (s.id == id)
            return &s;
    return nullptr;
}

TEST(PickerEntries, DrawnKeyboardHoldsEveryBasicKeyOnceWithinItsBlock)
{
    std::set<int> usages;
    for (const BasicKeyBlock& block : basicKeyboard()) {
        for (const BasicKeySlot& key : block.keys) {
            EXPECT_TRUE(usages.insert(key.usage).second) << "usage twice: " << key.usage;
            EXPECT_LE(key.x + key.w, block.width + 0.001f) << block.title << " " << key.usage;
            EXPECT_LE(key.y + key.h, block.height + 0.001f) << block.title << " " << key.usage;
        }
    }
    // Letters to F24, keypad and editing included; Power is a system key and KP = has no key on the pad block.
    for (int usage = 0x04; usage <= 0x73; ++usage) {
        if (usage != 0x66 && usage != 0x67) {
            EXPECT_TRUE(usages.count(usage)) << std::hex << usage;
        }
    }
    for (int usage = 0xE0; usage <= 0xE7; ++usage)
        EXPECT_TRUE(usages.count(usage)) << std::hex << usage;
    for (int usage : {0x87, 0x89, 0x90, 0x91})
        EXPECT_TRUE(usages.count(usage)) << std::hex << usage;
}

TEST(PickerEntries, BuildersGiveQmkCodesInThePadsNumbering)
{
    EXPECT_EQ(withModifiers(0x04, ModifierChoice{true, true, false, false}), 0x0304);
    EXPECT_EQ(withModifiers(0x2C, ModifierChoice{false, false, true, true}), 0x0C2C);

    EXPECT_EQ(layerKeycode(LayerAction::lt, 2, 0x2C, false), 0x422C);
    EXPECT_EQ(layerKeycode(LayerAction::mo, 1, 0, false), 0x5221);
    EXPECT_EQ(layerKeycode(LayerAction::df, 3, 0, false), 0x5243);
    EXPECT_EQ(layerKeycode(LayerAction::tt, 31, 0, false), 0x52DF);
    EXPECT_EQ(layerKeycode(LayerAction::lt, 16, 0x2C, false), std::nullopt) << "LT has four layer bits";
    EXPECT_EQ(layerKeycode(LayerAction::to, 32, 0, false), std::nullopt);
    EXPECT_EQ(layerKeycode(LayerAction::mo, -1, 0, false), std::nullopt);

    EXPECT_EQ(modTapKeycode(ModifierChoice{true, false, false, false}, false, 0x04, false), 0x2104);
    EXPECT_EQ(modTapKeycode(ModifierChoice{false, true, false, false}, true, 0x28, false), 0x3228);
    EXPECT_EQ(modTapKeycode(ModifierChoice{}, false, 0x04, false), std::nullopt);

    // Every builder's code reads back through the expression parser in both numberings.
    for (bool legacy : {false, true}) {
        for (LayerAction action : {LayerAction::mo,
                                   LayerAction::tg,
                                   LayerAction::to,
                                   LayerAction::tt,
                                   LayerAction::osl,
                                   LayerAction::df,
                                   LayerAction::lt}) {
            const auto code = layerKeycode(action, 3, 0x2C, legacy);
            ASSERT_TRUE(code) << layerActionName(action) << " legacy=" << legacy;
            EXPECT_EQ(parseKeycodeExpression(formatKeycode(*code, legacy), legacy), code);
        }
        const auto mt = modTapKeycode(ModifierChoice{true, true, false, false}, false, 0x04, legacy);
        ASSERT_TRUE(mt);
        EXPECT_EQ(parseKeycodeExpression(formatKeycode(*mt, legacy), legacy), mt);
    }
    EXPECT_NE(layerKeycode(LayerAction::mo, 1, 0, true), 0x5221) << "the old numbering places MO elsewhere";

    EXPECT_EQ(pickerExpression(0x422C, false), "LT(2, KC_SPC)");
    EXPECT_EQ(pickerExpression(0x2129, false), "MT(MOD_LCTL, KC_ESC)");
    EXPECT_EQ(pickerExpression(0x52A2, false), "OSM(MOD_LSFT)");
    EXPECT_EQ(pickerExpression(0x7C73, false), "CW_TOGG");
    EXPECT_EQ(pickerExpression(0x0304, false), "C_S(KC_A)");
}

TEST(PickerEntries, EntriesShowTheKeycapTitleAndBlockUnsafeCodes)
{
    for (bool legacy : {false, true}) {
        const auto sections = customSections(legacy, RGBProtocolKind::none);
        EXPECT_EQ(section(sections, "lighting"), nullptr);
        std::set<std::string> ids;
        for (const auto& s : sections) {
            EXPECT_FALSE(s.entries.empty()) << s.title;
            for (const auto& entry : s.entries) {
                EXPECT_TRUE(ids.insert(entry.id).second) << entry.id;
                EXPECT_EQ(entry.title, describeKeycode(entry.code, legacy, false, {}, {}).title);
                EXPECT_EQ(parseKeycodeExpression(entry.subtitle, legacy), entry.code) << entry.subtitle;
            }
        }
        const PickerSection* quantum = section(sections, "quantum");
        ASSERT_TRUE(quantum);
        int blocked = 0;
        for (const auto& entry : quantum->entries) {
            if (entry.names.find("QK_BOOT") != std::string::npos) {
                ASSERT_TRUE(entry.blocked) << entry.subtitle;
                EXPECT_EQ(entry.blocked->rfind("Blocked bootloader/reset keycode 0x", 0), 0u) << *entry.blocked;
            }
            blocked += entry.blocked.has_value();
        }
        // The old numbering has fewer of these codes; each one it has is blocked all the same.
        EXPECT_GE(blocked, legacy ? 1 : 4) << "boot, reboot, debug, EEPROM";
        EXPECT_FALSE(quantum->entries.front().blocked) << "Caps Word is an ordinary key";
    }

    const auto lit = customSections(false, RGBProtocolKind::qmkRgblight);
    ASSERT_TRUE(section(lit, "lighting"));
    // The mouse wheel follows the pad's numbering.
    const auto legacySections = customSections(true, RGBProtocolKind::none);
    const PickerSection* mouse = section(legacySections, "mouse");
    ASSERT_TRUE(mouse);
    bool wheel = false;
    for (const auto& entry : mouse->entries)
        wheel |= entry.code == 0x00F9;
    EXPECT_TRUE(wheel);
}

TEST(PickerEntries, SearchCoversTitlesSubtitlesAndQmkNames)
{
    const PickerEntry space = pickerEntryFor(0x002C, false);
    EXPECT_EQ(space.title, "Space");
    EXPECT_EQ(space.subtitle, "KC_SPC");
    EXPECT_TRUE(pickerEntryMatches(space, "spc"));
    EXPECT_TRUE(pickerEntryMatches(space, "KC_SPACE")); // the QMK key name
    EXPECT_TRUE(pickerEntryMatches(space, "  "));
    EXPECT_FALSE(pickerEntryMatches(space, "enter"));

    const PickerEntry caps = pickerEntryFor(0x7C73, false);
    EXPECT_TRUE(pickerEntryMatches(caps, "cw_togg")); // an alias
    EXPECT_TRUE(pickerEntryMatches(caps, "caps word"));
    EXPECT_FALSE(pickerEntryMatches(caps, "caps lock"));

    const PickerEntry option = pickerEntryFor(t3Options(false)[0], false);
    EXPECT_EQ(option.title, "New Thread");
    EXPECT_EQ(option.subtitle, "⌘⇧O");
    EXPECT_TRUE(pickerEntryMatches(option, "sgui(kc_o)")); // its expression stays searchable
    EXPECT_TRUE(pickerEntryMatches(option, "new thr"));
}

} // namespace
} // namespace keyglass
