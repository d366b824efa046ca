#include "keycodes/Keycodes.h"

#include "keycodes/KeycodeCaptions.h"
#include "keycodes/KeycodeTables.h"
#include "keycodes/KeycodeText.h"
#include "keycodes/LegacyNumbering.h"

#include <string_view>

namespace keyglass {

namespace {

constexpr Keycode ModCtrl = 0x0100;
constexpr Keycode ModShift = 0x0200;
constexpr Keycode ModAlt = 0x0400;
constexpr Keycode ModGui = 0x0800;

constexpr std::uint8_t UsageEnter = 0x28;
constexpr std::uint8_t UsageMinus = 0x2D;
constexpr std::uint8_t UsageEqual = 0x2E;
constexpr std::uint8_t UsageLeftBracket = 0x2F;
constexpr std::uint8_t UsageRightBracket = 0x30;
constexpr std::uint8_t UsageGrave = 0x35;
constexpr std::uint8_t UsageF6 = 0x3F;
constexpr std::uint8_t UsageRight = 0x4F;
constexpr std::uint8_t UsageLeft = 0x50;
constexpr std::uint8_t UsageUp = 0x52;

KeyAction make(Keycode code, std::string title, std::string shortcut)
{
    KeyAction action;
    action.raw = code;
    action.title = std::move(title);
    action.shortcut = std::move(shortcut);
    return action;
}

bool isAsciiAlnum(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// A fixed-capacity text buffer, so that the T3 look-up key is built without touching the heap.
class SmallText
{
public:
    void append(std::string_view text)
    {
        for (char c : text) {
            if (m_size < sizeof(m_data))
                m_data[m_size++] = c;
        }
    }
    void appendLower(std::string_view text)
    {
        for (char c : text) {
            if (m_size < sizeof(m_data))
                m_data[m_size++] = asciiLower(c);
        }
    }
    std::string_view view() const { return {m_data, m_size}; }

private:
    char m_data[48] = {};
    std::size_t m_size = 0;
};

// `code` is the pad's own code (the focus map's key); `current` the same key in the current
// numbering, which decides the caption. `named` is false for an old-numbering code without a
// current counterpart: only the fixed labels apply to it.
KeyAction describeModifiedBasic(
    Keycode code, Keycode current, bool named, bool windowsStyle, const T3Map& t3Map, const FocusMap& focusMap)
{
    const auto usage = static_cast<std::uint8_t>(current & 0xFF);
    const std::uint8_t highByte = static_cast<std::uint8_t>(current >> 8);
    const bool right = current & 0x1000;
    const bool ctrl = current & ModCtrl;
    const bool shift = current & ModShift;
    const bool alt = current & ModAlt;
    const bool gui = current & ModGui;

    const std::optional<std::string_view> label = baseLabel(usage);
    // The look-up key of T3 bindings is built from the fixed labels only.
    const std::string fixedBase = label ? std::string(*label) : hex2(usage);
    std::optional<std::string_view> extra;
    if (!label && named)
        extra = extraBasicLabel(usage, windowsStyle);
    std::string base = extra ? std::string(*extra) : fixedBase;

    std::string shortcut = right && (current & 0x0F00) ? "R" : "";
    if (windowsStyle) {
        if (ctrl)
            shortcut += "Ctrl+";
        if (alt)
            shortcut += "Alt+";
        if (shift)
            shortcut += "⇧";
        if (gui)
            shortcut += "Win+";
    } else {
        if (ctrl)
            shortcut += "⌃";
        if (alt)
            shortcut += "⌥";
        if (shift)
            shortcut += "⇧";
        if (gui)
            shortcut += "⌘";
    }
    shortcut += base;

    // An entry without a name (a hand-edited focus or keybindings file) would leave the keycap blank;
    // the key's own label is shown instead.
    if (const auto focus = focusMap.find(code); focus != focusMap.end() && !focus->second.name.empty())
        return make(code, focus->second.name, std::move(shortcut));

    if (highByte == 0x0A && usage == UsageGrave)
        return make(code, "Prev Window", "⌘⇧`");
    if (highByte == 0x08 && usage == UsageGrave)
        return make(code, "Next Window", "⌘`");
    if (highByte == 0x01) {
        switch (usage) {
        case UsageMinus:
            return make(code, "Zoom Out", std::move(shortcut));
        case UsageEqual:
            return make(code, "Zoom In", std::move(shortcut));
        case UsageRight:
            return make(code, "Space Right", "⌃→");
        case UsageLeft:
            return make(code, "Space Left", "⌃←");
        case UsageUp:
            return make(code, "Mission Ctrl", "⌃↑");
        default:
            break;
        }
    }

    // T3 bindings use "mod" for the platform's command modifier; the other one never reaches them.
    const bool foreignModifier = windowsStyle ? gui : ctrl;
    if (!foreignModifier && !t3Map.empty()) {
        SmallText key;
        if (windowsStyle ? ctrl : gui)
            key.append("mod+");
        if (alt)
            key.append("alt+");
        if (shift)
            key.append("shift+");
        switch (usage) {
        case UsageEnter:
            key.append("enter");
            break;
        case UsageLeftBracket:
            key.append("[");
            break;
        case UsageRightBracket:
            key.append("]");
            break;
        case UsageF6:
            key.append("f6");
            break;
        default:
            key.appendLower(fixedBase);
            break;
        }
        if (const auto command = t3Map.find(key.view()); command != t3Map.end() && !command->second.empty())
            return make(code, command->second, std::move(shortcut));
    }
    if ((current & 0x0F00) == ModShift && named) {
        if (const auto symbol = shiftedSymbol(usage))
            return make(code, std::string(*symbol), std::move(shortcut));
    }
    return make(code, std::move(base), std::move(shortcut));
}

} // namespace

std::optional<std::string> basicKeyName(std::uint8_t code)
{
    if (const auto name = shortName(code))
        return std::string(*name);
    const auto label = baseLabel(code);
    if (!label)
        return std::nullopt;
    for (char c : *label) {
        if (!isAsciiAlnum(c))
            return std::nullopt;
    }
    return "KC_" + asciiUpper(*label);
}

KeyAction
describeKeycode(Keycode code, bool legacyKeycodes, bool windowsStyle, const T3Map& t3Map, const FocusMap& focusMap)
{
    switch (code) {
    case 0x0000: {
        KeyAction action = make(code, "—", {});
        action.isEmpty = true;
        return action;
    }
    case 0x0001: {
        KeyAction action = make(code, "▽", "Trans");
        action.isTransparent = true;
        return action;
    }
    case 0x00A8:
        return make(code, "Mute", "Mute");
    case 0x00A9:
        return make(code, "Vol Up", "Vol+");
    case 0x00AA:
        return make(code, "Vol Down", "Vol-");
    case 0x00AB:
        return make(code, "Next Track", "Next");
    case 0x00AC:
        return make(code, "Prev Track", "Prev");
    case 0x00AE:
        return make(code, "Play/Pause", "Play");
    case 0x00F1:
    case 0x00F2:
        return make(code, "Layer HW", hex4(code));
    case 0x7E00:
    case 0x7E01:
    case 0x7E02:
        return make(code, "BT " + std::to_string(code - 0x7E00 + 1), "Hold 3s Pair");
    case 0x7E05:
        return make(code, "HW Key 5", "0x7E05");
    case 0x7E06:
        return make(code, "HW Key 6", "0x7E06");
    default:
        break;
    }
    // An old-numbering pad's codes are captioned as the same key in the current numbering.
    const std::optional<Keycode> translated = toCurrentNumbering(code, legacyKeycodes);
    if (!translated) {
        if (code >= 0x0002 && code <= 0x0FFF)
            return describeModifiedBasic(code, code, false, windowsStyle, t3Map, focusMap);
        return make(code, hex4(code), {});
    }
    const Keycode current = *translated;
    if (current == 0x00D9)
        return make(code, "Scroll Up", "Wheel ↑");
    if (current == 0x00DA)
        return make(code, "Scroll Down", "Wheel ↓");

    if ((current & 0xFF00) == 0x5700) {
        const std::string n = std::to_string(current & 0xFF);
        return make(code, "Tap Dance " + n, "TD(" + n + ")");
    }
    if ((current & 0xFF80) == 0x5200 && (current & 0xFFE0) != 0x5240) {
        const std::string n = std::to_string(current & 0x1F);
        switch (current & 0xFFE0) {
        case 0x5200:
            return make(code, "TO(" + n + ")", "Go L" + n);
        case 0x5260:
            return make(code, "TG(" + n + ")", "Toggle L" + n);
        default:
            return make(code, "MO(" + n + ")", "Hold L" + n);
        }
    }

    if (current >= 0x0002 && current <= 0x0FFF)
        return describeModifiedBasic(code, current, true, windowsStyle, t3Map, focusMap);
    // Right-hand modifiers around a key.
    if (current >= 0x1100 && current <= 0x1FFF && (current & 0xFF) != 0)
        return describeModifiedBasic(code, current, true, windowsStyle, t3Map, focusMap);
    if (auto action = describeExtendedKeycode(code, current, windowsStyle))
        return std::move(*action);
    return make(code, hex4(code), {});
}

bool isWindowsStyleLayer(const DeviceModel& device, int layer)
{
    if (device.presetOverlay) {
        const auto& layerOS = device.presetOverlay->layerOS;
        if (const auto found = layerOS.find(layer); found != layerOS.end()) {
            if (equalsIgnoringAsciiCase(found->second, "windows"))
                return true;
            if (equalsIgnoringAsciiCase(found->second, "macos"))
                return false;
        }
    }
    if (layer < 0 || static_cast<std::size_t>(layer) >= device.keymap.size())
        return false;

    int controlOnly = 0;
    int guiOnly = 0;
    for (const auto& row : device.keymap[static_cast<std::size_t>(layer)]) {
        for (const Keycode code : row) {
            if (code < 0x0100 || code > 0x0EFF)
                continue;
            const bool ctrl = code & ModCtrl;
            const bool gui = code & ModGui;
            if (ctrl && !gui)
                ++controlOnly;
            else if (gui && !ctrl)
                ++guiOnly;
        }
    }
    return controlOnly > 3 && guiOnly < controlOnly;
}

} // namespace keyglass
