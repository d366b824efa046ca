#include "keycodes/KeycodeTables.h"

#include "keycodes/KeycodeText.h"

#include <array>
#include <string>
#include <unordered_map>
#include <utility>

namespace keyglass {

namespace {

using LabelTable = std::array<std::string_view, 256>;

constexpr LabelTable makeBaseLabels()
{
    LabelTable t{};
    constexpr std::string_view letters[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",
                                            "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z"};
    for (std::size_t i = 0; i < 26; ++i)
        t[0x04 + i] = letters[i];
    constexpr std::string_view digits[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0"};
    for (std::size_t i = 0; i < 10; ++i)
        t[0x1E + i] = digits[i];
    constexpr std::string_view functionKeys[] = {"F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",
                                                 "F9",  "F10", "F11", "F12", "F13", "F14", "F15", "F16",
                                                 "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24"};
    for (std::size_t i = 0; i < 12; ++i) {
        t[0x3A + i] = functionKeys[i];
        t[0x68 + i] = functionKeys[12 + i];
    }
    constexpr std::string_view keypadDigits[] = {
        "KP 1", "KP 2", "KP 3", "KP 4", "KP 5", "KP 6", "KP 7", "KP 8", "KP 9", "KP 0"};
    for (std::size_t i = 0; i < 10; ++i)
        t[0x59 + i] = keypadDigits[i];

    t[0x28] = "↩";
    t[0x29] = "Esc";
    t[0x2A] = "⌫";
    t[0x2B] = "⇥";
    t[0x2C] = "Space";
    t[0x2D] = "-";
    t[0x2E] = "=";
    t[0x2F] = "[";
    t[0x30] = "]";
    t[0x31] = "\\";
    t[0x33] = ";";
    t[0x34] = "'";
    t[0x35] = "`";
    t[0x36] = ",";
    t[0x37] = ".";
    t[0x38] = "/";
    t[0x39] = "Caps";
    t[0x49] = "Ins";
    t[0x4A] = "Home";
    t[0x4B] = "PgUp";
    t[0x4C] = "Del";
    t[0x4D] = "End";
    t[0x4E] = "PgDn";
    t[0x4F] = "→";
    t[0x50] = "←";
    t[0x51] = "↓";
    t[0x52] = "↑";
    t[0x54] = "KP /";
    t[0x55] = "KP *";
    t[0x56] = "KP -";
    t[0x57] = "KP +";
    t[0x58] = "KP ↩";
    t[0x63] = "KP .";
    return t;
}

constexpr LabelTable makeShortNames()
{
    LabelTable t{};
    t[0x28] = "KC_ENT";
    t[0x29] = "KC_ESC";
    t[0x2A] = "KC_BSPC";
    t[0x2B] = "KC_TAB";
    t[0x2C] = "KC_SPC";
    t[0x2D] = "KC_MINS";
    t[0x2E] = "KC_EQL";
    t[0x2F] = "KC_LBRC";
    t[0x30] = "KC_RBRC";
    t[0x31] = "KC_BSLS";
    t[0x33] = "KC_SCLN";
    t[0x34] = "KC_QUOT";
    t[0x35] = "KC_GRV";
    t[0x36] = "KC_COMM";
    t[0x37] = "KC_DOT";
    t[0x38] = "KC_SLSH";
    t[0x49] = "KC_INS";
    t[0x4A] = "KC_HOME";
    t[0x4B] = "KC_PGUP";
    t[0x4C] = "KC_DEL";
    t[0x4D] = "KC_END";
    t[0x4E] = "KC_PGDN";
    t[0x4F] = "KC_RGHT";
    t[0x50] = "KC_LEFT";
    t[0x51] = "KC_DOWN";
    t[0x52] = "KC_UP";
    return t;
}

constexpr LabelTable BaseLabels = makeBaseLabels();
constexpr LabelTable ShortNames = makeShortNames();

struct Alias
{
    std::string_view name;
    std::uint8_t usage;
};

// Older and newer QMK spellings, so that presets written against either parse.
constexpr Alias Aliases[] = {
    {"KC_ENTER", 0x28},
    {"KC_ENT", 0x28},
    {"ENTER", 0x28},
    {"RETURN", 0x28},
    {"KC_ESCAPE", 0x29},
    {"KC_ESC", 0x29},
    {"KC_BSPACE", 0x2A},
    {"KC_BSPC", 0x2A},
    {"KC_BACKSPACE", 0x2A},
    {"BACKSPACE", 0x2A},
    {"KC_TAB", 0x2B},
    {"KC_SPACE", 0x2C},
    {"KC_SPC", 0x2C},
    {"KC_MINUS", 0x2D},
    {"KC_MINS", 0x2D},
    {"KC_EQUAL", 0x2E},
    {"KC_EQL", 0x2E},
    {"KC_LBRACKET", 0x2F},
    {"KC_LBRC", 0x2F},
    {"KC_LEFT_BRACKET", 0x2F},
    {"[", 0x2F},
    {"KC_RBRACKET", 0x30},
    {"KC_RBRC", 0x30},
    {"KC_RIGHT_BRACKET", 0x30},
    {"]", 0x30},
    {"KC_BSLASH", 0x31},
    {"KC_BSLS", 0x31},
    {"KC_BACKSLASH", 0x31},
    {"KC_SCOLON", 0x33},
    {"KC_SCLN", 0x33},
    {"KC_SEMICOLON", 0x33},
    {"KC_QUOTE", 0x34},
    {"KC_QUOT", 0x34},
    {"KC_GRAVE", 0x35},
    {"KC_GRV", 0x35},
    {"`", 0x35},
    {"KC_COMMA", 0x36},
    {"KC_COMM", 0x36},
    {"KC_DOT", 0x37},
    {"KC_SLASH", 0x38},
    {"KC_SLSH", 0x38},
    {"KC_INSERT", 0x49},
    {"KC_INS", 0x49},
    {"KC_HOME", 0x4A},
    {"KC_PGUP", 0x4B},
    {"KC_DELETE", 0x4C},
    {"KC_DEL", 0x4C},
    {"KC_END", 0x4D},
    {"KC_PGDOWN", 0x4E},
    {"KC_PGDN", 0x4E},
    {"KC_RIGHT", 0x4F},
    {"KC_RGHT", 0x4F},
    {"KC_LEFT", 0x50},
    {"KC_DOWN", 0x51},
    {"KC_UP", 0x52},
    {"KC_KP_SLASH", 0x54},
    {"KC_KP_ASTERISK", 0x55},
    {"KC_KP_MINUS", 0x56},
    {"KC_KP_PLUS", 0x57},
    {"KC_KP_ENTER", 0x58},
    {"KC_KP_1", 0x59},
    {"KC_KP_2", 0x5A},
    {"KC_KP_3", 0x5B},
    {"KC_KP_4", 0x5C},
    {"KC_KP_5", 0x5D},
    {"KC_KP_6", 0x5E},
    {"KC_KP_7", 0x5F},
    {"KC_KP_8", 0x60},
    {"KC_KP_9", 0x61},
    {"KC_KP_0", 0x62},
    {"KC_KP_DOT", 0x63},
};
static_assert(std::size(Aliases) == 71);

struct NameHash
{
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};

using NameTable = std::unordered_map<std::string, Keycode, NameHash, std::equal_to<>>;

const NameTable& nameTable()
{
    static const NameTable table = [] {
        NameTable t;
        for (std::size_t usage = 0; usage < BaseLabels.size(); ++usage) {
            if (BaseLabels[usage].empty())
                continue;
            const std::string upper = asciiUpper(BaseLabels[usage]);
            t[upper] = static_cast<Keycode>(usage);
            t["KC_" + upper] = static_cast<Keycode>(usage);
        }
        for (const Alias& alias : Aliases)
            t[std::string(alias.name)] = alias.usage;
        return t;
    }();
    return table;
}

} // namespace

std::optional<std::string_view> baseLabel(std::uint8_t usage)
{
    const std::string_view label = BaseLabels[usage];
    if (label.empty())
        return std::nullopt;
    return label;
}

std::optional<std::uint8_t> usageForLabel(std::string_view label)
{
    if (label.empty())
        return std::nullopt;
    for (std::size_t usage = 0; usage < BaseLabels.size(); ++usage) {
        if (!BaseLabels[usage].empty() && equalsIgnoringAsciiCase(BaseLabels[usage], label))
            return static_cast<std::uint8_t>(usage);
    }
    return std::nullopt;
}

std::optional<std::string_view> shortName(std::uint8_t usage)
{
    const std::string_view name = ShortNames[usage];
    if (name.empty())
        return std::nullopt;
    return name;
}

std::optional<Keycode> lookupBasicName(std::string_view upperCaseName)
{
    const NameTable& table = nameTable();
    const auto found = table.find(upperCaseName);
    if (found == table.end())
        return std::nullopt;
    return found->second;
}

std::size_t basicNameCount()
{
    return nameTable().size();
}

} // namespace keyglass
