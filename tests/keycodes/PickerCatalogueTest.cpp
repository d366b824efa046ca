#include "keycodes/PickerCatalogue.h"
#include "keycodes/KeycodeExpression.h"
#include "keycodes/Keycodes.h"

#include <gtest/gtest.h>

#include <set>

namespace keyglass {
namespace {

TEST(PickerCatalogue, T3ListsHaveTwentyFourUniqueEntriesInBothFlavours)
{
    for (bool windows : {false, true}) {
        const auto options = t3Options(windows);
        ASSERT_EQ(options.size(), 24u);
        std::set<std::string> ids;
        for (const auto& option : options)
            ids.insert(option.id);
        EXPECT_EQ(ids.size(), 24u);
        EXPECT_EQ(options.front().id, "t3-new");
        EXPECT_EQ(options.back().id, "t3-nextp");
    }
}

TEST(PickerCatalogue, T3NewThreadPerPlatform)
{
    EXPECT_EQ(t3Options(true)[0], (PresetKeyOption{"t3-new", "New Thread", "Ctrl+⇧O", 0x0312}));
    EXPECT_EQ(t3Options(false)[0], (PresetKeyOption{"t3-new", "New Thread", "⌘⇧O", 0x0A12}));
    EXPECT_EQ(t3Options(false)[11], (PresetKeyOption{"t3-right", "Right Panel", "⌘⌥B", 0x0C05}));
    EXPECT_EQ(t3Options(true)[11], (PresetKeyOption{"t3-right", "Right Panel", "Ctrl+Alt+B", 0x0505}));
    EXPECT_EQ(t3Options(true)[16], (PresetKeyOption{"t3-pal", "Command Palette", "Ctrl+K", 0x010E}));
    EXPECT_EQ(t3Options(false)[19].subtitle, "⌘⇧↩");
}

TEST(PickerCatalogue, PanesShareTheirCodesAcrossPlatforms)
{
    const auto mac = t3Options(false);
    const auto win = t3Options(true);
    EXPECT_EQ(mac[22], win[22]);
    EXPECT_EQ(mac[23], win[23]);
    EXPECT_EQ(mac[22], (PresetKeyOption{"t3-prevp", "Prev Pane", "⇧F6", 0x023F}));
    EXPECT_EQ(mac[23], (PresetKeyOption{"t3-nextp", "Next Pane", "F6", 0x003F}));
}

TEST(PickerCatalogue, WindowsCodesSwapCommandForControl)
{
    const auto mac = t3Options(false);
    const auto win = t3Options(true);
    for (std::size_t i = 0; i < 22; ++i) {
        EXPECT_EQ(mac[i].id, win[i].id);
        EXPECT_EQ(mac[i].code & 0x00FF, win[i].code & 0x00FF) << mac[i].id;
        EXPECT_TRUE(mac[i].code & 0x0800) << mac[i].id;
        EXPECT_EQ(mac[i].code & 0x0100, 0) << mac[i].id;
        EXPECT_EQ(win[i].code, (mac[i].code & ~0x0800) | 0x0100) << win[i].id;
    }
}

TEST(PickerCatalogue, MediaListFollowsTheWheelNumbering)
{
    const auto current = mediaOptions(false);
    const auto legacy = mediaOptions(true);
    ASSERT_EQ(current.size(), 15u);
    ASSERT_EQ(legacy.size(), 15u);
    EXPECT_EQ(current[6], (PresetKeyOption{"m-whu", "Scroll Up", "Wheel ↑", 0x00D9}));
    EXPECT_EQ(legacy[6], (PresetKeyOption{"m-whu", "Scroll Up", "Wheel ↑", 0x00F9}));
    EXPECT_EQ(current[7].code, 0x00DA);
    EXPECT_EQ(legacy[7].code, 0x00FA);
    EXPECT_EQ(current[13], (PresetKeyOption{"m-trns", "Transparent", "KC_TRNS", 0x0001}));
    EXPECT_EQ(current[14], (PresetKeyOption{"m-no", "None / Unbind", "KC_NO", 0x0000}));
}

TEST(PickerCatalogue, PickedOptionsReadTheSameOnTheKeycap)
{
    for (bool legacy : {false, true}) {
        for (const auto& option : mediaOptions(legacy)) {
            if (option.code <= 0x0001)
                continue;
            const KeyAction action = describeKeycode(option.code, legacy, false, {}, {});
            EXPECT_EQ(action.title, option.title) << option.id;
            if (option.subtitle.starts_with("KC_"))
                EXPECT_EQ(formatKeycode(option.code, legacy), option.subtitle) << option.id;
            else
                EXPECT_EQ(action.shortcut, option.subtitle) << option.id;
        }
    }
}

} // namespace
} // namespace keyglass
