#include "keycodes/KeycodeExpression.h"

#include "keycodes/KeycodeTables.h"
#include "keycodes/KeycodeText.h"
#include "keycodes/Keycodes.h"
#include "keycodes/LegacyNumbering.h"
#include "keycodes/QmkVocabulary.h"

#include <array>

namespace keyglass {

namespace {

struct NamedCode
{
    std::string_view name;
    Keycode code;
};

constexpr NamedCode FixedNames[] = {
    {"KC_NO", 0x0000},
    {"NO", 0x0000},
    {"KC_TRNS", 0x0001},
    {"KC_TRANSPARENT", 0x0001},
    {"TRNS", 0x0001},
    {"KC_MUTE", 0x00A8},
    {"KC_AUDIO_MUTE", 0x00A8},
    {"KC_VOLU", 0x00A9},
    {"KC_AUDIO_VOL_UP", 0x00A9},
    {"KC_VOLD", 0x00AA},
    {"KC_AUDIO_VOL_DOWN", 0x00AA},
    {"KC_MNXT", 0x00AB},
    {"KC_MEDIA_NEXT_TRACK", 0x00AB},
    {"KC_MPRV", 0x00AC},
    {"KC_MEDIA_PREV_TRACK", 0x00AC},
    {"KC_MPLY", 0x00AE},
    {"KC_MEDIA_PLAY_PAUSE", 0x00AE},
};

constexpr std::string_view WheelUpNames[] = {"KC_WH_U", "KC_MS_WH_UP", "MS_WHLU"};
constexpr std::string_view WheelDownNames[] = {"KC_WH_D", "KC_MS_WH_DOWN", "MS_WHLD"};

// The bits a wrapper ORs in; right-hand sets carry 0x1000.
constexpr NamedCode Wrappers[] = {
    {"LCTL", 0x0100}, {"C", 0x0100},    {"LSFT", 0x0200}, {"S", 0x0200},    {"C_S", 0x0300},  {"LCS", 0x0300},
    {"LALT", 0x0400}, {"LOPT", 0x0400}, {"A", 0x0400},    {"LCA", 0x0500},  {"LSA", 0x0600},  {"MEH", 0x0700},
    {"LGUI", 0x0800}, {"LCMD", 0x0800}, {"LWIN", 0x0800}, {"G", 0x0800},    {"LCG", 0x0900},  {"SGUI", 0x0A00},
    {"SCMD", 0x0A00}, {"SWIN", 0x0A00}, {"LSG", 0x0A00},  {"LCSG", 0x0B00}, {"LAG", 0x0C00},  {"LCAG", 0x0D00},
    {"LSAG", 0x0E00}, {"SAG", 0x0E00},  {"HYPR", 0x0F00}, {"RCTL", 0x1100}, {"RSFT", 0x1200}, {"RCS", 0x1300},
    {"RALT", 0x1400}, {"ROPT", 0x1400}, {"ALGR", 0x1400}, {"RCA", 0x1500},  {"RSA", 0x1600},  {"SAGR", 0x1600},
    {"RGUI", 0x1800}, {"RCMD", 0x1800}, {"RWIN", 0x1800}, {"RCG", 0x1900},  {"RSG", 0x1A00},  {"RCSG", 0x1B00},
    {"RAG", 0x1C00},  {"RCAG", 0x1D00}, {"RSAG", 0x1E00},
};

// Mod-tap names that are not a wrapper name followed by "_T".
constexpr NamedCode ModTapOnlyNames[] = {
    {"CTL_T", 0x01},
    {"SFT_T", 0x02},
    {"ALT_T", 0x04},
    {"OPT_T", 0x04},
    {"GUI_T", 0x08},
    {"CMD_T", 0x08},
    {"WIN_T", 0x08},
    {"ALL_T", 0x0F},
};

// MOD_* constants of MT, LM and OSM: four modifier bits and 0x10 for the right hand.
constexpr NamedCode ModifierConstants[] = {
    {"MOD_LCTL", 0x01},
    {"MOD_LSFT", 0x02},
    {"MOD_LALT", 0x04},
    {"MOD_LOPT", 0x04},
    {"MOD_LGUI", 0x08},
    {"MOD_LCMD", 0x08},
    {"MOD_LWIN", 0x08},
    {"MOD_RCTL", 0x11},
    {"MOD_RSFT", 0x12},
    {"MOD_RALT", 0x14},
    {"MOD_ROPT", 0x14},
    {"MOD_RGUI", 0x18},
    {"MOD_RCMD", 0x18},
    {"MOD_RWIN", 0x18},
    {"MOD_MEH", 0x07},
    {"MOD_HYPR", 0x0F},
};

constexpr std::string_view WrapperByNibble[16] = {"",
                                                  "LCTL",
                                                  "LSFT",
                                                  "C_S",
                                                  "LALT",
                                                  "LCA",
                                                  "LSA",
                                                  "MEH",
                                                  "LGUI",
                                                  "LCG",
                                                  "SGUI",
                                                  "LCSG",
                                                  "LAG",
                                                  "LCAG",
                                                  "LSAG",
                                                  "HYPR"};

// Layer and tap-dance functions that may sit inside a wrapper, as the plain grammar defines them.
struct LayerFunction
{
    std::string_view name;
    Keycode current;
    Keycode legacy; // 0: the old numbering has no such key
    Keycode mask;
    Keycode legacyLimit = 0x1F;
};

constexpr LayerFunction LayerFunctions[] = {
    {"TD", 0x5700, 0x5700, 0xFF, 0xFF},
    {"MO", 0x5220, 0x5100, 0x1F},
    {"TG", 0x5260, 0x5300, 0x1F},
    {"TO", 0x5200, 0x5010, 0x1F, 0x0F},
};

// The other single-number functions: a number out of range is refused rather than masked onto
// another layer.
constexpr LayerFunction OtherLayerFunctions[] = {
    {"DF", 0x5240, 0x5200, 0x1F},
    {"OSL", 0x5280, 0x5400, 0x1F},
    {"TT", 0x52C0, 0x5800, 0x1F},
    {"PDF", 0x52E0, 0x0000, 0x1F},
};

// Longer than any name, so longer text skips the name look-ups without being copied.
constexpr std::size_t MaxNameLength = 48;

class UpperName
{
public:
    explicit UpperName(std::string_view text) : m_size(text.size())
    {
        for (std::size_t i = 0; i < m_size; ++i)
            m_data[i] = asciiUpper(text[i]);
    }
    std::string_view view() const { return {m_data.data(), m_size}; }

private:
    std::array<char, MaxNameLength> m_data{};
    std::size_t m_size;
};

std::optional<Keycode> findHead(const NamedCode* begin, const NamedCode* end, std::string_view head)
{
    if (head.size() > MaxNameLength)
        return std::nullopt;
    const UpperName upper(head);
    for (const NamedCode* it = begin; it != end; ++it) {
        if (it->name == upper.view())
            return it->code;
    }
    return std::nullopt;
}

std::optional<Keycode> parseLeaf(std::string_view text, bool legacyKeycodes)
{
    std::uint16_t value = 0;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && parseHex16(text.substr(2), value))
        return value;
    if (parseDecimal16(text, value))
        return value;
    if (text.size() > MaxNameLength)
        return std::nullopt;

    const UpperName upper(text);
    const std::string_view name = upper.view();
    for (const NamedCode& fixed : FixedNames) {
        if (fixed.name == name)
            return fixed.code;
    }
    for (std::string_view wheel : WheelUpNames) {
        if (wheel == name)
            return Keycode(legacyKeycodes ? 0x00F9 : 0x00D9);
    }
    for (std::string_view wheel : WheelDownNames) {
        if (wheel == name)
            return Keycode(legacyKeycodes ? 0x00FA : 0x00DA);
    }
    return lookupBasicName(name);
}

// A QMK name beyond the plain grammar's tables, in the pad's numbering; none when the key has no
// place there.
std::optional<Keycode> parseQmkName(std::string_view text, bool legacyKeycodes)
{
    if (text.size() > MaxNameLength)
        return std::nullopt;
    const auto code = qmkKeycodeByName(UpperName(text).view());
    if (!code || !legacyKeycodes)
        return code;
    return toLegacyNumbering(*code);
}

// A key inside LT, MT, a "_T" mod-tap or SH_T: one basic key, no function.
std::optional<Keycode> parseTapKey(std::string_view text, bool legacyKeycodes)
{
    text = trimWhitespace(text);
    auto code = parseLeaf(text, legacyKeycodes);
    if (!code)
        code = parseQmkName(text, legacyKeycodes);
    if (!code || *code > 0xFF)
        return std::nullopt;
    return code;
}

std::optional<unsigned> parseSmallNumber(std::string_view text, unsigned limit)
{
    text = trimWhitespace(text);
    std::uint16_t value = 0;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (!(hex ? parseHex16(text.substr(2), value) : parseDecimal16(text, value)) || value > limit)
        return std::nullopt;
    return value;
}

// "MOD_LCTL | MOD_LSFT" or a number: a modifier set 1-0x1F. Bounded by the text's length.
std::optional<unsigned> parseModifiers(std::string_view text)
{
    unsigned bits = 0;
    for (;;) {
        const std::size_t bar = text.find('|');
        const std::string_view part = trimWhitespace(text.substr(0, bar));
        if (const auto number = parseSmallNumber(part, 0x1F))
            bits |= *number;
        else if (const auto constant = findHead(std::begin(ModifierConstants), std::end(ModifierConstants), part))
            bits |= *constant;
        else
            return std::nullopt;
        if (bar == std::string_view::npos)
            break;
        text.remove_prefix(bar + 1);
    }
    if (bits == 0)
        return std::nullopt;
    return bits;
}

// Splits "a, b" at its only comma.
bool splitPair(std::string_view text, std::string_view& first, std::string_view& second)
{
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos || text.find(',', comma + 1) != std::string_view::npos)
        return false;
    first = text.substr(0, comma);
    second = text.substr(comma + 1);
    return true;
}

// The modifier set of a mod-tap name: "LCTL_T", "C_S_T", "ALL_T", "RSFT_T".
std::optional<unsigned> modTapModifiers(std::string_view upperHead)
{
    if (const auto bits = findHead(std::begin(ModTapOnlyNames), std::end(ModTapOnlyNames), upperHead))
        return *bits;
    if (upperHead.size() < 4 || !upperHead.ends_with("_T"))
        return std::nullopt;
    const std::string_view wrapper = upperHead.substr(0, upperHead.size() - 2);
    if (wrapper.size() == 1) // C_T, S_T ... are no QMK names
        return std::nullopt;
    const auto bits = findHead(std::begin(Wrappers), std::end(Wrappers), wrapper);
    if (!bits)
        return std::nullopt;
    return static_cast<unsigned>(*bits >> 8);
}

Keycode modTap(unsigned modifiers, Keycode key, bool legacyKeycodes)
{
    return static_cast<Keycode>((legacyKeycodes ? 0x6000 : 0x2000) | (modifiers << 8) | key);
}

// The functions QMK keymaps use beyond the plain grammar. None of them may sit inside a wrapper: a
// wrapper would mask them onto another key.
std::optional<Keycode> parseFunction(std::string_view upperHead, std::string_view argument, bool legacyKeycodes)
{
    for (const LayerFunction& function : OtherLayerFunctions) {
        if (function.name != upperHead)
            continue;
        const auto layer = parseSmallNumber(argument, function.mask);
        if (!layer || (legacyKeycodes && function.legacy == 0))
            return std::nullopt;
        return static_cast<Keycode>((legacyKeycodes ? function.legacy : function.current) + *layer);
    }
    std::string_view first;
    std::string_view second;
    if (upperHead == "OSM") {
        const auto mods = parseModifiers(argument);
        if (!mods)
            return std::nullopt;
        return static_cast<Keycode>((legacyKeycodes ? 0x5500 : 0x52A0) | *mods);
    }
    if (upperHead == "LT") {
        if (!splitPair(argument, first, second))
            return std::nullopt;
        const auto layer = parseSmallNumber(first, 15);
        const auto key = parseTapKey(second, legacyKeycodes);
        if (!layer || !key)
            return std::nullopt;
        return static_cast<Keycode>(0x4000 | (*layer << 8) | *key);
    }
    if (upperHead == "LM") {
        if (!splitPair(argument, first, second))
            return std::nullopt;
        const auto layer = parseSmallNumber(first, 15);
        const auto mods = parseModifiers(second);
        if (!layer || !mods)
            return std::nullopt;
        if (!legacyKeycodes)
            return static_cast<Keycode>(0x5000 | (*layer << 5) | *mods);
        // The old form has four modifier bits: no right-hand set.
        if (*mods > 0x0F)
            return std::nullopt;
        return static_cast<Keycode>(0x5900 | (*layer << 4) | *mods);
    }
    if (upperHead == "MT") {
        if (!splitPair(argument, first, second))
            return std::nullopt;
        const auto mods = parseModifiers(first);
        const auto key = parseTapKey(second, legacyKeycodes);
        if (!mods || !key)
            return std::nullopt;
        return modTap(*mods, *key, legacyKeycodes);
    }
    if (upperHead == "SH_T") {
        const auto key = parseTapKey(argument, legacyKeycodes);
        if (!key || *key >= 0xF0)
            return std::nullopt;
        return static_cast<Keycode>(0x5600 | *key);
    }
    if (upperHead == "MACRO" || upperHead == "M") {
        const auto n = parseSmallNumber(argument, QkMacroLast - QkMacroFirst);
        if (!n)
            return std::nullopt;
        if (!legacyKeycodes)
            return static_cast<Keycode>(QkMacroFirst + *n);
        return toLegacyNumbering(static_cast<Keycode>(QkMacroFirst + *n));
    }
    if (const auto mods = modTapModifiers(upperHead)) {
        const auto key = parseTapKey(argument, legacyKeycodes);
        if (!key)
            return std::nullopt;
        return modTap(*mods, *key, legacyKeycodes);
    }
    return std::nullopt;
}

} // namespace

std::string_view modifierWrapperName(unsigned nibble)
{
    return nibble < 16 ? WrapperByNibble[nibble] : std::string_view{};
}

// Written as a loop rather than recursion: a wrapper's result is (inner AND 0x0FFF) OR bits, so
// nested wrappers reduce to one OR of all their bits, and deeply nested text cannot exhaust the stack.
// Function arguments are numbers, modifier sets or single keys, so nothing else nests.
std::optional<Keycode> parseKeycodeExpression(std::string_view text, bool legacyKeycodes)
{
    Keycode wrapperBits = 0;
    bool wrapped = false;
    const auto finish = [&](Keycode inner) -> Keycode {
        return wrapped ? static_cast<Keycode>((inner & 0x0FFF) | wrapperBits) : inner;
    };

    std::string_view current = text;
    for (;;) {
        current = trimWhitespace(current);
        if (current.empty())
            return std::nullopt;
        if (const auto leaf = parseLeaf(current, legacyKeycodes))
            return finish(*leaf);
        if (const auto named = parseQmkName(current, legacyKeycodes)) {
            // Only a basic key keeps its meaning inside a wrapper.
            if (wrapped && *named > 0xFF)
                return std::nullopt;
            return finish(*named);
        }

        const std::size_t open = current.find('(');
        if (open == std::string_view::npos || current.back() != ')')
            return std::nullopt;
        const std::string_view head = trimWhitespace(current.substr(0, open));
        const std::string_view argument = trimWhitespace(current.substr(open + 1, current.size() - open - 2));
        if (head.size() > MaxNameLength)
            return std::nullopt;
        const UpperName upper(head);

        std::uint16_t number = 0;
        for (const LayerFunction& function : LayerFunctions) {
            if (function.name == upper.view() && parseDecimal16(argument, number)) {
                // The old TO held four layer bits; masking would pick another layer.
                if (legacyKeycodes && function.name == "TO" && number > function.legacyLimit)
                    return std::nullopt;
                const Keycode base = legacyKeycodes ? function.legacy : function.current;
                return finish(static_cast<Keycode>(base + (number & function.mask)));
            }
        }
        if (const auto bits = findHead(std::begin(Wrappers), std::end(Wrappers), head)) {
            // One code holds left- or right-hand modifiers, never both: LCTL(RSFT(x)) has no code, and
            // OR-ing the bits would turn the left Control into a right one.
            if (wrapped && ((wrapperBits ^ *bits) & 0x1000) != 0)
                return std::nullopt;
            wrapperBits = static_cast<Keycode>(wrapperBits | *bits);
            wrapped = true;
            current = argument;
            continue;
        }
        if (wrapped)
            return std::nullopt;
        return parseFunction(upper.view(), argument, legacyKeycodes);
    }
}

namespace {

std::string formatCurrent(Keycode code)
{
    switch (code) {
    case 0x0000:
        return "KC_NO";
    case 0x0001:
        return "KC_TRNS";
    case 0x00A8:
        return "KC_MUTE";
    case 0x00A9:
        return "KC_VOLU";
    case 0x00AA:
        return "KC_VOLD";
    case 0x00AB:
        return "KC_MNXT";
    case 0x00AC:
        return "KC_MPRV";
    case 0x00AE:
        return "KC_MPLY";
    default:
        break;
    }
    if (code == 0x00D9)
        return "KC_WH_U";
    if (code == 0x00DA)
        return "KC_WH_D";
    if ((code >> 8) == 0x57)
        return "TD(" + std::to_string(code & 0xFF) + ")";
    switch (code & 0xFFE0) {
    case 0x5200:
        return "TO(" + std::to_string(code & 0x1F) + ")";
    case 0x5260:
        return "TG(" + std::to_string(code & 0x1F) + ")";
    case 0x5220:
        return "MO(" + std::to_string(code & 0x1F) + ")";
    default:
        break;
    }
    if (code <= 0x0FFF) {
        if (auto name = basicKeyName(static_cast<std::uint8_t>(code & 0xFF))) {
            const unsigned nibble = (code >> 8) & 0x0F;
            if (nibble == 0)
                return std::move(*name);
            std::string out(modifierWrapperName(nibble));
            out += '(';
            out += *name;
            out += ')';
            return out;
        }
    }
    return hex4(code);
}

} // namespace

// The old numbering is written as the current key's expression whenever that reads back to the same
// code; otherwise (no counterpart, or one that cannot be written) as hexadecimal.
std::string formatKeycode(Keycode code, bool legacyKeycodes)
{
    if (!legacyKeycodes)
        return formatCurrent(code);
    if (const auto current = fromLegacyNumbering(code)) {
        std::string text = formatCurrent(*current);
        if (parseKeycodeExpression(text, true) == code)
            return text;
    }
    return hex4(code);
}

} // namespace keyglass
