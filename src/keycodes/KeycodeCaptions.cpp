#include "keycodes/KeycodeCaptions.h"

#include "keycodes/KeycodeTables.h"
#include "keycodes/KeycodeText.h"
#include "keycodes/QmkVocabulary.h"

#include <array>
#include <vector>

namespace keyglass {

namespace {

struct UsageLabel
{
    std::uint8_t usage;
    std::string_view label;
};

// Short enough for a 1u keycap; the rest of the basic keys QMK names take their own label.
constexpr UsageLabel ExtraLabels[] = {
    {0x32, "ISO #"},   {0x46, "PrtSc"},   {0x47, "ScrLk"},   {0x48, "Pause"},   {0x53, "NumLk"},   {0x64, "ISO \\"},
    {0x65, "Menu"},    {0x66, "Power"},   {0x67, "KP ="},    {0x74, "Exec"},    {0x80, "Vol Up"},  {0x81, "Vol Dn"},
    {0x82, "LkCaps"},  {0x83, "LkNum"},   {0x84, "LkScrl"},  {0x85, "KP ,"},    {0x86, "KP ="},    {0x87, "Ro"},
    {0x88, "Kana"},    {0x89, "¥"},       {0x8A, "Henkan"},  {0x8B, "Muhen"},   {0x8C, "JP KP ,"}, {0x8D, "Intl 7"},
    {0x8E, "Intl 8"},  {0x8F, "Intl 9"},  {0x90, "Lang 1"},  {0x91, "Lang 2"},  {0x92, "Lang 3"},  {0x93, "Lang 4"},
    {0x94, "Lang 5"},  {0x95, "Lang 6"},  {0x96, "Lang 7"},  {0x97, "Lang 8"},  {0x98, "Lang 9"},  {0x99, "AltErs"},
    {0x9A, "SysRq"},   {0x9E, "Return"},  {0x9F, "Sep"},     {0xA2, "ClrAgn"},  {0xA3, "CrSel"},   {0xAD, "Stop"},
    {0xAF, "Media"},   {0xB2, "Calc"},    {0xB3, "My PC"},   {0xB5, "Web"},     {0xB7, "Fwd"},     {0xB8, "WebStop"},
    {0xB9, "Reload"},  {0xBA, "Favs"},    {0xBB, "FFwd"},    {0xBC, "Rewind"},  {0xBD, "Bright+"}, {0xBE, "Bright-"},
    {0xBF, "CtlPnl"},  {0xC0, "Assist"},  {0xC1, "Mission"}, {0xC2, "Launch"},  {0xCD, "Mouse ↑"}, {0xCE, "Mouse ↓"},
    {0xCF, "Mouse ←"}, {0xD0, "Mouse →"}, {0xD1, "Btn 1"},   {0xD2, "Btn 2"},   {0xD3, "Btn 3"},   {0xD4, "Btn 4"},
    {0xD5, "Btn 5"},   {0xD6, "Btn 6"},   {0xD7, "Btn 7"},   {0xD8, "Btn 8"},   {0xD9, "Wheel ↑"}, {0xDA, "Wheel ↓"},
    {0xDB, "Wheel ←"}, {0xDC, "Wheel →"}, {0xDD, "Accel 0"}, {0xDE, "Accel 1"}, {0xDF, "Accel 2"}, {0xE0, "L Ctrl"},
    {0xE1, "L Shift"}, {0xE4, "R Ctrl"},  {0xE5, "R Shift"},
};

// Alt and GUI read differently on the two systems.
constexpr std::string_view WindowsModifierKeys[] = {"L Alt", "L Win", "R Alt", "R Win"};
constexpr std::string_view MacModifierKeys[] = {"L Opt", "L ⌘", "R Opt", "R ⌘"};

using LabelTable = std::array<std::string_view, 256>;

std::size_t codePoints(std::string_view text)
{
    std::size_t n = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    }
    return n;
}

// The name a keycap can show for a QMK key without a hand-made label: its own label when short, else
// its shortest name without the "KC_"/"QK_" prefix.
std::string shortTitle(const QmkKeycode& entry)
{
    if (!entry.label.empty() && codePoints(entry.label) <= 7)
        return std::string(entry.label);
    std::string_view best = entry.key;
    forEachName(entry.aliases, [&](std::string_view name) {
        if (name.size() < best.size())
            best = name;
    });
    if (best.starts_with("KC_") || best.starts_with("QK_"))
        best.remove_prefix(3);
    return std::string(best);
}

const LabelTable& extraLabels()
{
    static const LabelTable table = [] {
        LabelTable t{};
        for (const UsageLabel& entry : ExtraLabels)
            t[entry.usage] = entry.label;
        return t;
    }();
    return table;
}

// Short titles of every named basic key the hand-made tables miss, built once.
const std::vector<std::string>& dataBasicTitles()
{
    static const std::vector<std::string> titles = [] {
        std::vector<std::string> t(256);
        for (const QmkKeycode& entry : qmkKeycodes()) {
            if (entry.code > 0xFF)
                break;
            t[entry.code] = shortTitle(entry);
        }
        return t;
    }();
    return titles;
}

struct Caption
{
    std::string_view title;
    std::string_view shortcut;
};

struct CodeCaption
{
    Keycode code;
    Caption caption;
};

// The quantum keys people put on a macropad, by hand; other named codes are captioned from QMK's data.
constexpr CodeCaption FixedCaptions[] = {
    {0x7C00, {"Boot", "Bootloader"}},
    {0x7C01, {"Reboot", "Reboot"}},
    {0x7C02, {"Debug", "Toggle Debug"}},
    {0x7C03, {"EE Clr", "Clear EEPROM"}},
    {0x7C16, {"Esc/`", "Grave Escape"}},
    {0x7C73, {"CapsWrd", "Caps Word"}},
    {0x7C79, {"Repeat", "Repeat Key"}},
    {0x7C7A, {"AltRep", "Alt Repeat Key"}},
    {0x7C7B, {"LyrLock", "Layer Lock"}},
    {0x7C77, {"Lower", "Tri Layer Lower"}},
    {0x7C78, {"Upper", "Tri Layer Upper"}},
    {0x7800, {"BL On", "Backlight On"}},
    {0x7801, {"BL Off", "Backlight Off"}},
    {0x7802, {"BL Tog", "Backlight Toggle"}},
    {0x7803, {"BL -", "Backlight Down"}},
    {0x7804, {"BL +", "Backlight Up"}},
    {0x7805, {"BL Step", "Backlight Step"}},
    {0x7806, {"BL Brth", "Backlight Breathing"}},
    {0x7820, {"RGB Toggle", "RGB Underglow"}},
    {0x7821, {"Mode+", "RGB Mode Next"}},
    {0x7822, {"Mode-", "RGB Mode Previous"}},
    {0x7823, {"Hue+", "RGB Hue Up"}},
    {0x7824, {"Hue-", "RGB Hue Down"}},
    {0x7825, {"Sat+", "RGB Saturation Up"}},
    {0x7826, {"Sat-", "RGB Saturation Down"}},
    {0x7827, {"Bright+", "RGB Brightness Up"}},
    {0x7828, {"Bright-", "RGB Brightness Down"}},
    {0x7829, {"Speed+", "RGB Speed Up"}},
    {0x782A, {"Speed-", "RGB Speed Down"}},
    {0x56F0, {"Swap", "Toggle Swap Hands"}},
};

const Caption* fixedCaption(Keycode code)
{
    for (const CodeCaption& entry : FixedCaptions) {
        if (entry.code == code)
            return &entry.caption;
    }
    return nullptr;
}

// Matrix lighting keys are named by what they do; the group goes on the shortcut line.
std::optional<std::string_view> lightingTitle(std::string_view key)
{
    struct Suffix
    {
        std::string_view suffix;
        std::string_view title;
    };
    constexpr Suffix Suffixes[] = {
        {"_TOGGLE", "Toggle"},
        {"_ON", "On"},
        {"_OFF", "Off"},
        {"_MODE_NEXT", "Mode+"},
        {"_MODE_PREVIOUS", "Mode-"},
        {"_HUE_UP", "Hue+"},
        {"_HUE_DOWN", "Hue-"},
        {"_SATURATION_UP", "Sat+"},
        {"_SATURATION_DOWN", "Sat-"},
        {"_VALUE_UP", "Bright+"},
        {"_VALUE_DOWN", "Bright-"},
        {"_BRIGHTNESS_UP", "Bright+"},
        {"_BRIGHTNESS_DOWN", "Bright-"},
        {"_SPEED_UP", "Speed+"},
        {"_SPEED_DOWN", "Speed-"},
    };
    for (const Suffix& entry : Suffixes) {
        if (key.ends_with(entry.suffix))
            return entry.title;
    }
    return std::nullopt;
}

KeyAction make(Keycode raw, std::string title, std::string shortcut)
{
    KeyAction action;
    action.raw = raw;
    action.title = std::move(title);
    action.shortcut = std::move(shortcut);
    return action;
}

// What a tap key shows: its label, or its code when QMK has no name for it.
std::string tapLabel(std::uint8_t usage, bool windowsStyle)
{
    if (const auto label = baseLabel(usage))
        return std::string(*label);
    if (const auto label = extraBasicLabel(usage, windowsStyle))
        return std::string(*label);
    return hex2(usage);
}

std::string layerCaption(std::string_view name, unsigned n)
{
    return std::string(name) + "(" + std::to_string(n) + ")";
}

std::optional<KeyAction> describeNamed(Keycode raw, Keycode current)
{
    if (const Caption* caption = fixedCaption(current))
        return make(raw, std::string(caption->title), std::string(caption->shortcut));
    if (current >= QkKbFirst && current <= QkKbLast)
        return make(raw, "Kb " + std::to_string(current - QkKbFirst), "QK_KB_" + std::to_string(current - QkKbFirst));
    if (current >= QkUserFirst && current <= QkUserLast)
        return make(
            raw, "User " + std::to_string(current - QkUserFirst), "QK_USER_" + std::to_string(current - QkUserFirst));
    if (current >= QkMacroFirst && current <= QkMacroLast)
        return make(raw,
                    "Macro " + std::to_string(current - QkMacroFirst),
                    "M(" + std::to_string(current - QkMacroFirst) + ")");
    const QmkKeycode* entry = findQmkKeycode(current);
    if (!entry)
        return std::nullopt;
    const std::string label = entry->label.empty() ? std::string(entry->key) : std::string(entry->label);
    if (entry->group == "rgb_matrix" || entry->group == "led_matrix" || entry->group == "underglow") {
        if (const auto title = lightingTitle(entry->key))
            return make(raw, std::string(*title), label);
    }
    return make(raw, shortTitle(*entry), label);
}

} // namespace

std::optional<std::string_view> extraBasicLabel(std::uint8_t usage, bool windowsStyle)
{
    switch (usage) {
    case 0xE2:
        return (windowsStyle ? WindowsModifierKeys : MacModifierKeys)[0];
    case 0xE3:
        return (windowsStyle ? WindowsModifierKeys : MacModifierKeys)[1];
    case 0xE6:
        return (windowsStyle ? WindowsModifierKeys : MacModifierKeys)[2];
    case 0xE7:
        return (windowsStyle ? WindowsModifierKeys : MacModifierKeys)[3];
    default:
        break;
    }
    if (const std::string_view label = extraLabels()[usage]; !label.empty())
        return label;
    if (const std::string& title = dataBasicTitles()[usage]; !title.empty())
        return title;
    return std::nullopt;
}

std::optional<std::string_view> shiftedSymbol(std::uint8_t usage)
{
    constexpr std::string_view Digits[] = {"!", "@", "#", "$", "%", "^", "&", "*", "(", ")"};
    if (usage >= 0x1E && usage <= 0x27)
        return Digits[usage - 0x1E];
    switch (usage) {
    case 0x2D:
        return "_";
    case 0x2E:
        return "+";
    case 0x2F:
        return "{";
    case 0x30:
        return "}";
    case 0x31:
        return "|";
    case 0x33:
        return ":";
    case 0x34:
        return "\"";
    case 0x35:
        return "~";
    case 0x36:
        return "<";
    case 0x37:
        return ">";
    case 0x38:
        return "?";
    default:
        return std::nullopt;
    }
}

std::string modifierSetName(unsigned mods, bool windowsStyle)
{
    const bool right = mods & 0x10;
    const unsigned set = mods & 0x0F;
    const std::string side = right ? "R" : "";
    if (set == 0x0F)
        return side + "Hyper";
    if (set == 0x07)
        return side + "Meh";
    std::string out;
    const auto add = [&](std::string_view word) {
        if (!out.empty())
            out += '+';
        out += side;
        out += word;
    };
    if (set & 0x01)
        add("Ctrl");
    if (set & 0x02)
        add("Shift");
    if (set & 0x04)
        add(windowsStyle ? "Alt" : "Opt");
    if (set & 0x08)
        add(windowsStyle ? "Win" : "⌘");
    return out;
}

std::optional<KeyAction> describeExtendedKeycode(Keycode raw, Keycode current, bool windowsStyle)
{
    if (current <= 0xFF) {
        const auto label = extraBasicLabel(static_cast<std::uint8_t>(current), windowsStyle);
        if (!label)
            return std::nullopt;
        return make(raw, std::string(*label), std::string(*label));
    }
    if (current >= 0x2000 && current <= 0x3FFF) {
        const unsigned mods = (current >> 8) & 0x1F;
        return make(raw, tapLabel(current & 0xFF, windowsStyle), "Hold " + modifierSetName(mods, windowsStyle));
    }
    if (current >= 0x4000 && current <= 0x4FFF)
        return make(raw, tapLabel(current & 0xFF, windowsStyle), "Hold L" + std::to_string((current >> 8) & 0x0F));
    if (current >= 0x5000 && current <= 0x51FF) {
        const unsigned layer = (current >> 5) & 0x0F;
        const unsigned mods = current & 0x1F;
        if (mods == 0)
            return std::nullopt;
        return make(raw,
                    "LM(" + std::to_string(layer) + ")",
                    "Hold L" + std::to_string(layer) + " " + modifierSetName(mods, windowsStyle));
    }
    const unsigned n = current & 0x1F;
    switch (current & 0xFFE0) {
    case 0x5240:
        return make(raw, layerCaption("DF", n), "Base L" + std::to_string(n));
    case 0x5280:
        return make(raw, layerCaption("OSL", n), "One-shot L" + std::to_string(n));
    case 0x52A0:
        if (n == 0)
            return std::nullopt;
        return make(raw, "OSM", "One-shot " + modifierSetName(n, windowsStyle));
    case 0x52C0:
        return make(raw, layerCaption("TT", n), "Tap-toggle L" + std::to_string(n));
    case 0x52E0:
        return make(raw, layerCaption("PDF", n), "Save base L" + std::to_string(n));
    default:
        break;
    }
    if (current >= 0x5600 && current <= 0x56EF)
        return make(raw, tapLabel(current & 0xFF, windowsStyle), "Hold Swap");
    if (current >= 0x8000)
        return make(raw, "Unicode", "U+" + hex4(static_cast<Keycode>(current & 0x7FFF)).substr(2));
    return describeNamed(raw, current);
}

} // namespace keyglass
