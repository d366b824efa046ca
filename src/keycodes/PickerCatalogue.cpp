#include "keycodes/PickerCatalogue.h"

#include <string_view>

namespace keyglass {

namespace {

enum class Prefix
{
    CommandShift, // P1
    Command,      // P2
    CommandAlt,   // P3
    Fixed,        // the subtitle is written out in full
};

struct T3Command
{
    std::string_view id;
    std::string_view title;
    Prefix prefix;
    std::string_view key;
    Keycode macCode;
    Keycode windowsCode;
};

constexpr T3Command T3Commands[] = {
    {"t3-new", "New Thread", Prefix::CommandShift, "O", 0x0A12, 0x0312},
    {"t3-pin", "Pin Thread", Prefix::CommandShift, "P", 0x0A13, 0x0313},
    {"t3-settle", "Settle Thread", Prefix::CommandShift, "S", 0x0A16, 0x0316},
    {"t3-copy", "Copy PR / Ref", Prefix::CommandShift, "C", 0x0A06, 0x0306},
    {"t3-prev", "Prev Thread", Prefix::CommandShift, "[", 0x0A2F, 0x032F},
    {"t3-next", "Next Thread", Prefix::CommandShift, "]", 0x0A30, 0x0330},
    {"t3-dict", "Dictation", Prefix::CommandShift, "D", 0x0A07, 0x0307},
    {"t3-side", "Sidebar", Prefix::Command, "B", 0x0805, 0x0105},
    {"t3-term", "Terminal", Prefix::Command, "J", 0x080D, 0x010D},
    {"t3-diff", "Diff Panel", Prefix::Command, "D", 0x0807, 0x0107},
    {"t3-prevw", "Preview", Prefix::CommandShift, "J", 0x0A0D, 0x030D},
    {"t3-right", "Right Panel", Prefix::CommandAlt, "B", 0x0C05, 0x0505},
    {"t3-model", "Model Picker", Prefix::CommandShift, "M", 0x0A10, 0x0310},
    {"t3-effort", "Effort", Prefix::CommandShift, "E", 0x0A08, 0x0308},
    {"t3-perm", "Permissions", Prefix::CommandShift, "A", 0x0A04, 0x0304},
    {"t3-branch", "Git Branch", Prefix::CommandShift, "G", 0x0A0A, 0x030A},
    {"t3-pal", "Command Palette", Prefix::Command, "K", 0x080E, 0x010E},
    {"t3-file", "File Picker", Prefix::Command, "P", 0x0813, 0x0113},
    {"t3-find", "Project Search", Prefix::CommandShift, "F", 0x0A09, 0x0309},
    {"t3-steer", "Steer Queued", Prefix::CommandShift, "↩", 0x0A28, 0x0328},
    {"t3-back", "Nav Back", Prefix::Command, "[", 0x082F, 0x012F},
    {"t3-fwd", "Nav Forward", Prefix::Command, "]", 0x0830, 0x0130},
    {"t3-prevp", "Prev Pane", Prefix::Fixed, "⇧F6", 0x023F, 0x023F},
    {"t3-nextp", "Next Pane", Prefix::Fixed, "F6", 0x003F, 0x003F},
};
static_assert(std::size(T3Commands) == 24);

std::string_view prefixText(Prefix prefix, bool windows)
{
    switch (prefix) {
    case Prefix::CommandShift:
        return windows ? "Ctrl+⇧" : "⌘⇧";
    case Prefix::Command:
        return windows ? "Ctrl+" : "⌘";
    case Prefix::CommandAlt:
        return windows ? "Ctrl+Alt+" : "⌘⌥";
    case Prefix::Fixed:
        break;
    }
    return {};
}

PresetKeyOption option(std::string_view id, std::string_view title, std::string_view subtitle, Keycode code)
{
    return PresetKeyOption{std::string(id), std::string(title), std::string(subtitle), code};
}

} // namespace

std::vector<PresetKeyOption> t3Options(bool windows)
{
    std::vector<PresetKeyOption> options;
    options.reserve(std::size(T3Commands));
    for (const T3Command& command : T3Commands) {
        std::string subtitle(prefixText(command.prefix, windows));
        subtitle += command.key;
        options.push_back(option(command.id, command.title, subtitle, windows ? command.windowsCode : command.macCode));
    }
    return options;
}

std::vector<PresetKeyOption> mediaOptions(bool legacyKeycodes)
{
    return {
        option("m-mute", "Mute", "KC_MUTE", 0x00A8),
        option("m-volu", "Vol Up", "KC_VOLU", 0x00A9),
        option("m-vold", "Vol Down", "KC_VOLD", 0x00AA),
        option("m-play", "Play/Pause", "KC_MPLY", 0x00AE),
        option("m-prev", "Prev Track", "KC_MPRV", 0x00AC),
        option("m-next", "Next Track", "KC_MNXT", 0x00AB),
        option("m-whu", "Scroll Up", "Wheel ↑", legacyKeycodes ? 0x00F9 : 0x00D9),
        option("m-whd", "Scroll Down", "Wheel ↓", legacyKeycodes ? 0x00FA : 0x00DA),
        option("m-spl", "Space Left", "⌃←", 0x0150),
        option("m-spr", "Space Right", "⌃→", 0x014F),
        option("m-mc", "Mission Ctrl", "⌃↑", 0x0152),
        option("m-nw", "Next Window", "⌘`", 0x0835),
        option("m-pw", "Prev Window", "⌘⇧`", 0x0A35),
        option("m-trns", "Transparent", "KC_TRNS", 0x0001),
        option("m-no", "None / Unbind", "KC_NO", 0x0000),
    };
}

} // namespace keyglass
