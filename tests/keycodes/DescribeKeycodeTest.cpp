#include "keycodes/Keycodes.h"

#include <gtest/gtest.h>

namespace keyglass {
namespace {

struct DescribeCase
{
    Keycode code;
    bool legacy;
    bool windows;
    const char* title;
    const char* shortcut;
};

void PrintTo(const DescribeCase& c, std::ostream* os)
{
    *os << "0x" << std::hex << c.code << (c.legacy ? " legacy" : "") << (c.windows ? " windows" : " macos");
}

class DescribeTest : public testing::TestWithParam<DescribeCase>
{
};

TEST_P(DescribeTest, TitleAndShortcut)
{
    const DescribeCase& c = GetParam();
    const KeyAction action = describeKeycode(c.code, c.legacy, c.windows, {}, {});
    EXPECT_EQ(action.raw, c.code);
    EXPECT_EQ(action.title, c.title);
    EXPECT_EQ(action.shortcut, c.shortcut);
    EXPECT_EQ(action.isEmpty, c.code == 0);
    EXPECT_EQ(action.isTransparent, c.code == 1);
}

INSTANTIATE_TEST_SUITE_P(FixedCodes,
                         DescribeTest,
                         testing::Values(DescribeCase{0x0000, false, false, "—", ""},
                                         DescribeCase{0x0001, false, false, "▽", "Trans"},
                                         DescribeCase{0x00A8, false, false, "Mute", "Mute"},
                                         DescribeCase{0x00A9, false, false, "Vol Up", "Vol+"},
                                         DescribeCase{0x00AA, false, false, "Vol Down", "Vol-"},
                                         DescribeCase{0x00AB, false, false, "Next Track", "Next"},
                                         DescribeCase{0x00AC, false, false, "Prev Track", "Prev"},
                                         DescribeCase{0x00AE, false, false, "Play/Pause", "Play"},
                                         DescribeCase{0x00F1, false, false, "Layer HW", "0x00F1"},
                                         DescribeCase{0x00F2, true, true, "Layer HW", "0x00F2"},
                                         DescribeCase{0x7E00, false, false, "BT 1", "Hold 3s Pair"},
                                         DescribeCase{0x7E02, false, false, "BT 3", "Hold 3s Pair"},
                                         DescribeCase{0x7E03, false, false, "Kb 3", "QK_KB_3"},
                                         DescribeCase{0x7E05, false, false, "HW Key 5", "0x7E05"},
                                         DescribeCase{0x7E06, false, false, "HW Key 6", "0x7E06"}));

INSTANTIATE_TEST_SUITE_P(MouseWheel,
                         DescribeTest,
                         testing::Values(DescribeCase{0x00D9, false, false, "Scroll Up", "Wheel ↑"},
                                         DescribeCase{0x00DA, false, false, "Scroll Down", "Wheel ↓"},
                                         DescribeCase{0x00D9, true, false, "0xD9", "0xD9"},
                                         DescribeCase{0x00F9, true, false, "Scroll Up", "Wheel ↑"},
                                         DescribeCase{0x00FA, true, false, "Scroll Down", "Wheel ↓"},
                                         DescribeCase{0x00F9, false, false, "0xF9", "0xF9"},
                                         DescribeCase{0x01D9, false, false, "Wheel ↑", "⌃Wheel ↑"},
                                         DescribeCase{0x01D9, true, false, "0xD9", "⌃0xD9"}));

INSTANTIATE_TEST_SUITE_P(LayersAndTapDance,
                         DescribeTest,
                         testing::Values(DescribeCase{0x5223, false, false, "MO(3)", "Hold L3"},
                                         DescribeCase{0x5220, false, false, "MO(0)", "Hold L0"},
                                         DescribeCase{0x523F, false, false, "MO(31)", "Hold L31"},
                                         DescribeCase{0x5200, false, false, "TO(0)", "Go L0"},
                                         DescribeCase{0x521F, false, false, "TO(31)", "Go L31"},
                                         DescribeCase{0x5261, false, false, "TG(1)", "Toggle L1"},
                                         DescribeCase{0x527F, false, false, "TG(31)", "Toggle L31"},
                                         DescribeCase{0x5705, false, false, "Tap Dance 5", "TD(5)"},
                                         DescribeCase{0x57FF, false, false, "Tap Dance 255", "TD(255)"},
                                         DescribeCase{0x5240, false, false, "DF(0)", "Base L0"},
                                         DescribeCase{0x525F, false, false, "DF(31)", "Base L31"},
                                         DescribeCase{0x5280, false, false, "OSL(0)", "One-shot L0"},
                                         DescribeCase{0x7C00, false, false, "Boot", "Bootloader"},
                                         DescribeCase{0x1234, false, false, "\"", "R⇧'"},
                                         DescribeCase{0x5300, false, false, "0x5300", ""},
                                         DescribeCase{0x1000, false, false, "0x1000", ""},
                                         DescribeCase{0xFFFF, false, false, "Unicode", "U+7FFF"}));

INSTANTIATE_TEST_SUITE_P(BasicKeys,
                         DescribeTest,
                         testing::Values(DescribeCase{0x0004, false, false, "A", "A"},
                                         DescribeCase{0x0002, false, false, "0x02", "0x02"},
                                         DescribeCase{0x0032, false, false, "ISO #", "ISO #"},
                                         DescribeCase{0x00C3, false, false, "0xC3", "0xC3"},
                                         DescribeCase{0x01C3, false, false, "0xC3", "⌃0xC3"},
                                         DescribeCase{0x01C3, false, true, "0xC3", "Ctrl+0xC3"},
                                         DescribeCase{0x0A0E, false, false, "K", "⇧⌘K"},
                                         DescribeCase{0x030E, false, true, "K", "Ctrl+⇧K"},
                                         DescribeCase{0x0F04, false, false, "A", "⌃⌥⇧⌘A"},
                                         DescribeCase{0x0F04, false, true, "A", "Ctrl+Alt+⇧Win+A"},
                                         DescribeCase{0x0859, false, true, "KP 1", "Win+KP 1"},
                                         DescribeCase{0x0068, false, false, "F13", "F13"},
                                         DescribeCase{0x0128, false, false, "↩", "⌃↩"}));

INSTANTIATE_TEST_SUITE_P(FixedTitles,
                         DescribeTest,
                         testing::Values(DescribeCase{0x0A35, false, false, "Prev Window", "⌘⇧`"},
                                         DescribeCase{0x0A35, false, true, "Prev Window", "⌘⇧`"},
                                         DescribeCase{0x0835, false, false, "Next Window", "⌘`"},
                                         DescribeCase{0x0835, false, true, "Next Window", "⌘`"},
                                         DescribeCase{0x012D, false, false, "Zoom Out", "⌃-"},
                                         DescribeCase{0x012E, false, true, "Zoom In", "Ctrl+="},
                                         DescribeCase{0x014F, false, true, "Space Right", "⌃→"},
                                         DescribeCase{0x0150, false, false, "Space Left", "⌃←"},
                                         DescribeCase{0x0152, false, true, "Mission Ctrl", "⌃↑"},
                                         DescribeCase{0x0935, false, false, "`", "⌃⌘`"},
                                         DescribeCase{0x0335, false, false, "`", "⌃⇧`"}));

TEST(Describe, NeverReturnsAnEmptyTitle)
{
    const T3Map t3{{"mod+a", "Select"}};
    const FocusMap focus{{0x0068, FocusEntry{"Safari", "/Applications/Safari.app"}}};
    for (int legacy = 0; legacy < 2; ++legacy) {
        for (int windows = 0; windows < 2; ++windows) {
            for (std::uint32_t code = 0; code <= 0xFFFF; ++code) {
                const KeyAction action =
                    describeKeycode(static_cast<Keycode>(code), legacy != 0, windows != 0, t3, focus);
                ASSERT_FALSE(action.title.empty()) << code;
            }
        }
    }
}

TEST(Describe, NamelessFocusAndT3EntriesFallBackToTheLabel)
{
    const T3Map t3{{"mod+shift+o", ""}};
    const FocusMap focus{{0x0068, FocusEntry{"", "/Applications/Safari.app"}}};
    EXPECT_EQ(describeKeycode(0x0068, false, false, t3, focus), (KeyAction{0x0068, "F13", "F13"}));
    EXPECT_EQ(describeKeycode(0x0A12, false, false, t3, focus), (KeyAction{0x0A12, "O", "⇧⌘O"}));
}

TEST(Describe, FocusMapNamesTheAppAndKeepsTheShortcut)
{
    const FocusMap focus{{0x0068, FocusEntry{"Safari", "/Applications/Safari.app"}},
                         {0x0168, FocusEntry{"Notes", "/Applications/Notes.app"}},
                         {0x0A35, FocusEntry{"Finder", "/System/Finder.app"}}};
    EXPECT_EQ(describeKeycode(0x0068, false, false, {}, focus), (KeyAction{0x0068, "Safari", "F13"}));
    EXPECT_EQ(describeKeycode(0x0168, false, true, {}, focus), (KeyAction{0x0168, "Notes", "Ctrl+F13"}));
    // The focus map wins over the fixed window titles.
    EXPECT_EQ(describeKeycode(0x0A35, false, false, {}, focus), (KeyAction{0x0A35, "Finder", "⇧⌘`"}));
    // Only the full keycode matches: F14 and Shift+F13 are not triggers here.
    EXPECT_EQ(describeKeycode(0x0069, false, false, {}, focus).title, "F14");
    EXPECT_EQ(describeKeycode(0x0268, false, false, {}, focus).title, "F13");
    // Codes decoded before the basic-key rules are never replaced.
    const FocusMap odd{{0x00A8, FocusEntry{"Music", "/m"}}, {0x5221, FocusEntry{"X", "/x"}}};
    EXPECT_EQ(describeKeycode(0x00A8, false, false, {}, odd).title, "Mute");
    EXPECT_EQ(describeKeycode(0x5221, false, false, {}, odd).title, "MO(1)");
}

struct T3Case
{
    Keycode code;
    bool windows;
    const char* expectedTitle;
};

class T3LookupTest : public testing::TestWithParam<T3Case>
{
};

TEST_P(T3LookupTest, CommandTitleFromTheKeybindings)
{
    const T3Map t3{{"mod+shift+o", "New Thread"},
                   {"mod+shift+[", "Prev Thread"},
                   {"mod+]", "Nav Forward"},
                   {"mod+shift+enter", "Steer Queued"},
                   {"shift+f6", "Prev Pane"},
                   {"f6", "Next Pane"},
                   {"mod+alt+b", "Right Panel"},
                   {"mod+kp 1", "Keypad One"},
                   {"mod+0x32", "Odd Key"},
                   {"a", "Plain A"}};
    const KeyAction action = describeKeycode(GetParam().code, false, GetParam().windows, t3, {});
    EXPECT_EQ(action.title, GetParam().expectedTitle);
}

INSTANTIATE_TEST_SUITE_P(Keys,
                         T3LookupTest,
                         testing::Values(T3Case{0x0A12, false, "New Thread"},
                                         T3Case{0x0312, true, "New Thread"},
                                         T3Case{0x0A2F, false, "Prev Thread"},
                                         T3Case{0x0830, false, "Nav Forward"},
                                         T3Case{0x0130, true, "Nav Forward"},
                                         T3Case{0x0A28, false, "Steer Queued"},
                                         T3Case{0x023F, false, "Prev Pane"},
                                         T3Case{0x023F, true, "Prev Pane"},
                                         T3Case{0x003F, false, "Next Pane"},
                                         T3Case{0x0C05, false, "Right Panel"},
                                         T3Case{0x0505, true, "Right Panel"},
                                         T3Case{0x0859, false, "Keypad One"},
                                         T3Case{0x0832, false, "Odd Key"},
                                         T3Case{0x0004, false, "Plain A"},
                                         // Control on a macOS layer and GUI on a Windows layer never reach T3.
                                         T3Case{0x0312, false, "O"},
                                         T3Case{0x0A12, true, "O"},
                                         T3Case{0x0104, false, "A"},
                                         T3Case{0x0804, true, "A"},
                                         // Alt alone is not "mod".
                                         T3Case{0x0412, false, "O"}));

TEST(Describe, T3TitleKeepsTheModifierShortcut)
{
    const T3Map t3{{"mod+shift+o", "New Thread"}};
    EXPECT_EQ(describeKeycode(0x0A12, false, false, t3, {}).shortcut, "⇧⌘O");
    EXPECT_EQ(describeKeycode(0x0312, false, true, t3, {}).shortcut, "Ctrl+⇧O");
}

DeviceModel deviceWithLayer(std::vector<Keycode> codes)
{
    DeviceModel device;
    device.keymap = {{codes}};
    device.encoderMap = {{{0x0104, 0x0105}, {0x0106, 0x0107}}};
    return device;
}

TEST(WindowsStyleLayer, CountsControlOnlyAgainstGuiOnlyShortcuts)
{
    EXPECT_TRUE(isWindowsStyleLayer(deviceWithLayer({0x0104, 0x0105, 0x0106, 0x0107, 0x0804, 0x0805, 0x0806}), 0));
    EXPECT_FALSE(isWindowsStyleLayer(deviceWithLayer({0x0104, 0x0105, 0x0106, 0x0004, 0x0005}), 0));
    EXPECT_FALSE(
        isWindowsStyleLayer(deviceWithLayer({0x0104, 0x0105, 0x0106, 0x0107, 0x0804, 0x0805, 0x0806, 0x0807}), 0));
    // Control+GUI together counts for neither side; the range stops at 0x0EFF.
    EXPECT_FALSE(isWindowsStyleLayer(deviceWithLayer({0x0904, 0x0905, 0x0906, 0x0907, 0x0104, 0x0105, 0x0106}), 0));
    EXPECT_FALSE(isWindowsStyleLayer(deviceWithLayer({0x0F04, 0x0F05, 0x0F06, 0x0104, 0x0105, 0x0106}), 0));
    EXPECT_TRUE(isWindowsStyleLayer(deviceWithLayer({0x0304, 0x0505, 0x0706, 0x0E07, 0x0104}), 0));
    EXPECT_FALSE(
        isWindowsStyleLayer(deviceWithLayer({0x0304, 0x0505, 0x0706, 0x0E07, 0x0E08, 0x0E09, 0x0E0A, 0x0104}), 0));
}

TEST(WindowsStyleLayer, LayerOutsideTheKeymapIsMacStyle)
{
    const DeviceModel device = deviceWithLayer({0x0104, 0x0105, 0x0106, 0x0107});
    EXPECT_TRUE(isWindowsStyleLayer(device, 0));
    EXPECT_FALSE(isWindowsStyleLayer(device, 1));
    EXPECT_FALSE(isWindowsStyleLayer(device, -1));
    EXPECT_FALSE(isWindowsStyleLayer(DeviceModel{}, 0));
}

TEST(WindowsStyleLayer, PresetOverlayDecidesFirst)
{
    DeviceModel device = deviceWithLayer({0x0104, 0x0105, 0x0106, 0x0107});
    device.presetOverlay = PresetLabelOverlay{};
    device.presetOverlay->layerOS = {{0, "macOS"}, {1, "Windows"}, {2, "linux"}};
    EXPECT_FALSE(isWindowsStyleLayer(device, 0));
    // The overlay applies even to a layer the keymap does not hold.
    EXPECT_TRUE(isWindowsStyleLayer(device, 1));
    device.presetOverlay->layerOS = {{0, "linux"}};
    EXPECT_TRUE(isWindowsStyleLayer(device, 0));
}

} // namespace
} // namespace keyglass
