#include "keycodes/PickerEntries.h"

#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/KeycodeText.h"
#include "keycodes/Keycodes.h"
#include "keycodes/LegacyNumbering.h"
#include "keycodes/QmkVocabulary.h"
#include "model/Text.h"

#include <array>

namespace keyglass {

namespace {

std::string hex4Lower(Keycode code)
{
    return asciiLower(hex4(code));
}

void row(BasicKeyBlock& block, float y, std::initializer_list<std::pair<std::uint8_t, float>> keys, float x = 0)
{
    for (const auto& [usage, width] : keys) {
        if (usage)
            block.keys.push_back(BasicKeySlot{usage, x, y, width, 1});
        x += width;
    }
}

void run(BasicKeyBlock& block, float y, std::uint8_t first, std::uint8_t last, float x = 0)
{
    for (int usage = first; usage <= last; ++usage, x += 1)
        block.keys.push_back(BasicKeySlot{static_cast<std::uint8_t>(usage), x, y, 1, 1});
}

std::vector<BasicKeyBlock> buildKeyboard()
{
    std::vector<BasicKeyBlock> blocks;

    BasicKeyBlock board{"Keyboard", 15, 6, {}};
    row(board, 0, {{0x29, 1}});
    run(board, 0, 0x3A, 0x45, 1); // F1-F12
    row(board, 1, {{0x35, 1}});
    run(board, 1, 0x1E, 0x27, 1); // 1-0
    row(board, 1, {{0x2D, 1}, {0x2E, 1}, {0x2A, 2}}, 11);
    row(board,
        2,
        {{0x2B, 1.5f},
         {0x14, 1},
         {0x1A, 1},
         {0x08, 1},
         {0x15, 1},
         {0x17, 1},
         {0x1C, 1},
         {0x18, 1},
         {0x0C, 1},
         {0x12, 1},
         {0x13, 1},
         {0x2F, 1},
         {0x30, 1},
         {0x31, 1.5f}});
    row(board,
        3,
        {{0x39, 1.75f},
         {0x04, 1},
         {0x16, 1},
         {0x07, 1},
         {0x09, 1},
         {0x0A, 1},
         {0x0B, 1},
         {0x0D, 1},
         {0x0E, 1},
         {0x0F, 1},
         {0x33, 1},
         {0x34, 1},
         {0x28, 2.25f}});
    row(board,
        4,
        {{0xE1, 2.25f},
         {0x1D, 1},
         {0x1B, 1},
         {0x06, 1},
         {0x19, 1},
         {0x05, 1},
         {0x11, 1},
         {0x10, 1},
         {0x36, 1},
         {0x37, 1},
         {0x38, 1},
         {0xE5, 2.75f}});
    row(board,
        5,
        {{0xE0, 1.25f},
         {0xE3, 1.25f},
         {0xE2, 1.25f},
         {0x2C, 6.25f},
         {0xE6, 1.25f},
         {0xE7, 1.25f},
         {0x65, 1.25f},
         {0xE4, 1.25f}});
    blocks.push_back(std::move(board));

    BasicKeyBlock high{"F13–F24", 6, 2, {}};
    run(high, 0, 0x68, 0x6D);
    run(high, 1, 0x6E, 0x73);
    blocks.push_back(std::move(high));

    BasicKeyBlock nav{"Navigation & Editing", 3, 5, {}};
    run(nav, 0, 0x46, 0x48); // PrtSc, ScrLk, Pause
    run(nav, 1, 0x49, 0x4B); // Ins, Home, PgUp
    run(nav, 2, 0x4C, 0x4E); // Del, End, PgDn
    row(nav, 3, {{0x52, 1}}, 1);
    row(nav, 4, {{0x50, 1}, {0x51, 1}, {0x4F, 1}});
    blocks.push_back(std::move(nav));

    BasicKeyBlock pad{"Numpad", 4, 5, {}};
    row(pad, 0, {{0x53, 1}, {0x54, 1}, {0x55, 1}, {0x56, 1}});
    run(pad, 1, 0x5F, 0x61);
    pad.keys.push_back(BasicKeySlot{0x57, 3, 1, 1, 2});
    run(pad, 2, 0x5C, 0x5E);
    run(pad, 3, 0x59, 0x5B);
    pad.keys.push_back(BasicKeySlot{0x58, 3, 3, 1, 2});
    row(pad, 4, {{0x62, 2}, {0x63, 1}});
    blocks.push_back(std::move(pad));

    BasicKeyBlock intl{"ISO / JIS", 3, 3, {}};
    row(intl, 0, {{0x32, 1}, {0x64, 1}, {0x87, 1}});
    row(intl, 1, {{0x88, 1}, {0x89, 1}, {0x8A, 1}});
    row(intl, 2, {{0x8B, 1}, {0x90, 1}, {0x91, 1}});
    blocks.push_back(std::move(intl));
    return blocks;
}

std::optional<Keycode> inPadNumbering(Keycode current, bool legacyKeycodes)
{
    if (!legacyKeycodes)
        return current;
    return toLegacyNumbering(current);
}

void appendNames(std::string& names, std::string_view more)
{
    if (more.empty())
        return;
    if (!names.empty())
        names += ' ';
    names += more;
}

std::optional<Keycode> named(std::string_view name)
{
    return qmkKeycodeByName(asciiUpper(name));
}

// The shortest QMK name of a current-numbering code: its first alias, else its key.
std::optional<std::string> shortestQmkName(Keycode current)
{
    const QmkKeycode* qmk = findQmkKeycode(current);
    if (!qmk)
        return std::nullopt;
    std::string best(qmk->key);
    forEachName(qmk->aliases, [&](std::string_view name) {
        if (!name.empty() && name.size() < best.size() && name.find('_') != 0)
            best = name;
    });
    return best;
}

std::string tapKeyName(std::uint8_t usage)
{
    if (auto name = basicKeyName(usage))
        return *name;
    if (auto name = shortestQmkName(usage))
        return *name;
    return hex4(usage);
}

std::string modifierConstants(unsigned five)
{
    const char* side = (five & 0x10) ? "MOD_R" : "MOD_L";
    std::string out;
    const std::array<std::pair<unsigned, const char*>, 4> bits{
        {{0x01, "CTL"}, {0x02, "SFT"}, {0x04, "ALT"}, {0x08, "GUI"}}};
    for (const auto& [bit, name] : bits) {
        if (!(five & bit))
            continue;
        if (!out.empty())
            out += " | ";
        out += side;
        out += name;
    }
    return out;
}

// What QMK keymaps write for a current-numbering code that the fixed formatter leaves as hexadecimal.
std::optional<std::string> keymapExpression(Keycode current)
{
    if (current >= 0x4000 && current <= 0x4FFF) {
        std::string out = "LT(" + std::to_string((current >> 8) & 0x0F) + ", ";
        out += tapKeyName(static_cast<std::uint8_t>(current & 0xFF));
        return out + ")";
    }
    if (current >= 0x2000 && current <= 0x3FFF) {
        std::string out = "MT(" + modifierConstants((current >> 8) & 0x1F) + ", ";
        out += tapKeyName(static_cast<std::uint8_t>(current & 0xFF));
        return out + ")";
    }
    if ((current & 0xFFE0) == 0x52A0)
        return "OSM(" + modifierConstants(current & 0x1F) + ")";
    const std::array<std::pair<Keycode, const char*>, 3> layers{{{0x52C0, "TT"}, {0x5280, "OSL"}, {0x5240, "DF"}}};
    for (const auto& [base, name] : layers) {
        if ((current & 0xFFE0) != base)
            continue;
        std::string out = name;
        out += '(';
        out += std::to_string(current & 0x1F);
        out += ')';
        return out;
    }
    return shortestQmkName(current);
}

void addCurrent(PickerSection& section, Keycode current, bool legacyKeycodes)
{
    if (const auto code = inPadNumbering(current, legacyKeycodes))
        section.entries.push_back(pickerEntryFor(*code, legacyKeycodes, section.id + "-" + hex4Lower(*code)));
}

} // namespace

const std::vector<BasicKeyBlock>& basicKeyboard()
{
    static const std::vector<BasicKeyBlock> blocks = buildKeyboard();
    return blocks;
}

unsigned ModifierChoice::mask() const
{
    return (ctrl ? 0x01u : 0u) | (shift ? 0x02u : 0u) | (alt ? 0x04u : 0u) | (gui ? 0x08u : 0u);
}

Keycode withModifiers(std::uint8_t usage, ModifierChoice mods)
{
    return static_cast<Keycode>(usage | (mods.mask() << 8));
}

std::string_view layerActionName(LayerAction action)
{
    switch (action) {
    case LayerAction::mo:
        return "MO";
    case LayerAction::tg:
        return "TG";
    case LayerAction::to:
        return "TO";
    case LayerAction::tt:
        return "TT";
    case LayerAction::osl:
        return "OSL";
    case LayerAction::df:
        return "DF";
    case LayerAction::lt:
        return "LT";
    }
    return {};
}

std::optional<Keycode> layerKeycode(LayerAction action, int layer, std::uint8_t tapKey, bool legacyKeycodes)
{
    const int limit = action == LayerAction::lt ? 16 : 32;
    if (layer < 0 || layer >= limit)
        return std::nullopt;
    Keycode current = 0;
    switch (action) {
    case LayerAction::mo:
        current = 0x5220;
        break;
    case LayerAction::tg:
        current = 0x5260;
        break;
    case LayerAction::to:
        current = 0x5200;
        break;
    case LayerAction::tt:
        current = 0x52C0;
        break;
    case LayerAction::osl:
        current = 0x5280;
        break;
    case LayerAction::df:
        current = 0x5240;
        break;
    case LayerAction::lt:
        current = static_cast<Keycode>(0x4000 | (layer << 8) | tapKey);
        return inPadNumbering(current, legacyKeycodes);
    }
    return inPadNumbering(static_cast<Keycode>(current | layer), legacyKeycodes);
}

std::optional<Keycode> modTapKeycode(ModifierChoice mods, bool rightHand, std::uint8_t tapKey, bool legacyKeycodes)
{
    const unsigned mask = mods.mask();
    if (!mask)
        return std::nullopt;
    const unsigned five = mask | (rightHand ? 0x10u : 0u);
    return inPadNumbering(static_cast<Keycode>(0x2000 | (five << 8) | tapKey), legacyKeycodes);
}

std::string pickerExpression(Keycode code, bool legacyKeycodes)
{
    std::string formatted = formatKeycode(code, legacyKeycodes);
    if (!formatted.starts_with("0x"))
        return formatted;
    const auto current = toCurrentNumbering(code, legacyKeycodes);
    if (!current)
        return formatted;
    // Only a name that reads back to the same code is shown.
    if (auto text = keymapExpression(*current); text && parseKeycodeExpression(*text, legacyKeycodes) == code)
        return *text;
    return formatted;
}

PickerEntry pickerEntryFor(Keycode code, bool legacyKeycodes, std::string id)
{
    PickerEntry entry;
    entry.id = id.empty() ? "code-" + hex4Lower(code) : std::move(id);
    entry.code = code;
    entry.title = describeKeycode(code, legacyKeycodes, false, {}, {}).title;
    entry.subtitle = pickerExpression(code, legacyKeycodes);
    appendNames(entry.names, formatKeycode(code, legacyKeycodes));
    if (const auto current = toCurrentNumbering(code, legacyKeycodes)) {
        if (const QmkKeycode* qmk = findQmkKeycode(*current)) {
            appendNames(entry.names, qmk->key);
            appendNames(entry.names, qmk->aliases);
            appendNames(entry.names, qmk->former);
            appendNames(entry.names, qmk->label);
        }
    }
    entry.blocked = keycodeBlockReason(code, entry.subtitle, legacyKeycodes);
    return entry;
}

PickerEntry pickerEntryFor(const PresetKeyOption& option, bool legacyKeycodes)
{
    PickerEntry entry = pickerEntryFor(option.code, legacyKeycodes, option.id);
    entry.title = option.title;
    appendNames(entry.names, entry.subtitle);
    entry.subtitle = option.subtitle;
    return entry;
}

std::vector<PickerSection> customSections(bool legacyKeycodes, RGBProtocolKind lighting)
{
    std::vector<PickerSection> sections;

    PickerSection oneShot{"osm", "One-Shot Mod", {}};
    for (const unsigned mods : {0x01u, 0x02u, 0x04u, 0x08u, 0x11u, 0x12u, 0x14u, 0x18u, 0x07u, 0x0Fu})
        addCurrent(oneShot, static_cast<Keycode>(0x52A0 | mods), legacyKeycodes);
    sections.push_back(std::move(oneShot));

    PickerSection mouse{"mouse", "Mouse", {}};
    PickerSection media{"media", "Media & System", {}};
    PickerSection light{"lighting", "Lighting", {}};
    for (const QmkKeycode& qmk : qmkKeycodes()) {
        if (qmk.group == "mouse")
            addCurrent(mouse, qmk.code, legacyKeycodes);
        else if (qmk.group == "media" || qmk.group == "system")
            addCurrent(media, qmk.code, legacyKeycodes);
        else if (lighting == RGBProtocolKind::qmkRgblight && (qmk.group == "underglow" || qmk.group == "rgb"))
            addCurrent(light, qmk.code, legacyKeycodes);
        else if (lighting == RGBProtocolKind::viaCustomCh1 && qmk.group == "rgb_matrix")
            addCurrent(light, qmk.code, legacyKeycodes);
    }
    sections.push_back(std::move(mouse));
    sections.push_back(std::move(media));
    if (lighting != RGBProtocolKind::none)
        sections.push_back(std::move(light));

    PickerSection quantum{"quantum", "Quantum", {}};
    static constexpr std::array QuantumNames{
        "QK_CAPS_WORD_TOGGLE",
        "QK_GRAVE_ESCAPE",
        "QK_REPEAT_KEY",
        "QK_ALT_REPEAT_KEY",
        "QK_LAYER_LOCK",
        "QK_LEADER",
        "QK_LOCK",
        "QK_AUTOCORRECT_TOGGLE",
        "QK_ONE_SHOT_TOGGLE",
        "QK_COMBO_TOGGLE",
        "QK_KEY_OVERRIDE_TOGGLE",
        "QK_TRI_LAYER_LOWER",
        "QK_TRI_LAYER_UPPER",
        "QK_SPACE_CADET_LEFT_SHIFT_PARENTHESIS_OPEN",
        "QK_SPACE_CADET_RIGHT_SHIFT_PARENTHESIS_CLOSE",
        "QK_DYNAMIC_MACRO_RECORD_START_1",
        "QK_DYNAMIC_MACRO_RECORD_STOP",
        "QK_DYNAMIC_MACRO_PLAY_1",
        // Shown so the user learns why they are missing; their entries are blocked.
        "QK_BOOTLOADER",
        "QK_REBOOT",
        "QK_DEBUG_TOGGLE",
        "QK_CLEAR_EEPROM",
        "QK_MAKE",
    };
    for (const char* name : QuantumNames)
        if (const auto current = named(name))
            addCurrent(quantum, *current, legacyKeycodes);
    sections.push_back(std::move(quantum));
    return sections;
}

bool pickerEntryMatches(const PickerEntry& entry, std::string_view query)
{
    const std::string haystack = asciiLower(entry.title + '\n' + entry.subtitle + '\n' + entry.names);
    const std::string needle = asciiLower(query);
    std::size_t pos = 0;
    while (pos < needle.size()) {
        const std::size_t start = needle.find_first_not_of(" \t\r\n", pos);
        if (start == std::string::npos)
            break;
        std::size_t end = needle.find_first_of(" \t\r\n", start);
        if (end == std::string::npos)
            end = needle.size();
        if (haystack.find(std::string_view(needle).substr(start, end - start)) == std::string::npos)
            return false;
        pos = end;
    }
    return true;
}

} // namespace keyglass
