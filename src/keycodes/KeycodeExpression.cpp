#include "keycodes/KeycodeExpression.h"

#include "keycodes/KeycodeTables.h"
#include "keycodes/KeycodeText.h"
#include "keycodes/Keycodes.h"

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

constexpr NamedCode Wrappers[] = {
    {"LCTL", 0x0100}, {"C", 0x0100},    {"LSFT", 0x0200}, {"S", 0x0200},    {"C_S", 0x0300}, {"LCS", 0x0300},
    {"LALT", 0x0400}, {"LOPT", 0x0400}, {"A", 0x0400},    {"LCA", 0x0500},  {"LSA", 0x0600}, {"MEH", 0x0700},
    {"LGUI", 0x0800}, {"LCMD", 0x0800}, {"LWIN", 0x0800}, {"G", 0x0800},    {"LCG", 0x0900}, {"SGUI", 0x0A00},
    {"SCMD", 0x0A00}, {"SWIN", 0x0A00}, {"LSG", 0x0A00},  {"LCSG", 0x0B00}, {"LAG", 0x0C00}, {"LCAG", 0x0D00},
    {"LSAG", 0x0E00}, {"SAG", 0x0E00},  {"HYPR", 0x0F00},
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

constexpr NamedCode LayerFunctions[] = {
    {"TD", 0x5700},
    {"MO", 0x5220},
    {"TG", 0x5260},
    {"TO", 0x5200},
};

// Longer than any name, so longer text skips the name look-ups without being copied.
constexpr std::size_t MaxNameLength = 32;

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

} // namespace

std::string_view modifierWrapperName(unsigned nibble)
{
    return nibble < 16 ? WrapperByNibble[nibble] : std::string_view{};
}

// Written as a loop rather than recursion: a wrapper's result is (inner AND 0x0FFF) OR bits, so
// nested wrappers reduce to one OR of all their bits, and deeply nested text cannot exhaust the stack.
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

        const std::size_t open = current.find('(');
        if (open == std::string_view::npos || current.back() != ')')
            return std::nullopt;
        const std::string_view head = trimWhitespace(current.substr(0, open));
        const std::string_view argument = trimWhitespace(current.substr(open + 1, current.size() - open - 2));

        std::uint16_t number = 0;
        if (const auto function = findHead(std::begin(LayerFunctions), std::end(LayerFunctions), head);
            function && parseDecimal16(argument, number)) {
            const Keycode mask = *function == 0x5700 ? 0xFF : 0x1F;
            return finish(static_cast<Keycode>(*function + (number & mask)));
        }
        const auto bits = findHead(std::begin(Wrappers), std::end(Wrappers), head);
        if (!bits)
            return std::nullopt;
        wrapperBits = static_cast<Keycode>(wrapperBits | *bits);
        wrapped = true;
        current = argument;
    }
}

std::string formatKeycode(Keycode code, bool legacyKeycodes)
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
    if (code == (legacyKeycodes ? 0x00F9 : 0x00D9))
        return "KC_WH_U";
    if (code == (legacyKeycodes ? 0x00FA : 0x00DA))
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

} // namespace keyglass
