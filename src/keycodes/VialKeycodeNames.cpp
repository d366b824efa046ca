#include "keycodes/VialKeycodeNames.h"

#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeText.h"
#include "keycodes/QmkVocabulary.h"

#include <algorithm>
#include <string>

namespace keyglass {

namespace {

struct NamedCode
{
    std::string_view name;
    Keycode code;
};

// Spellings QMK's keycode data does not have: the long names from before QMK 0.19 that Vial still
// writes, and lighting names newer than the data.
constexpr NamedCode VialOnlyNames[] = {
    {"KC_LCTRL", 0x00E0},
    {"KC_LSHIFT", 0x00E1},
    {"KC_RCTRL", 0x00E4},
    {"KC_RSHIFT", 0x00E5},
    {"KC_ZKHK", 0x0035},
    {"KC_CAPSLOCK", 0x0039},
    {"KC_CLCK", 0x0039},
    {"KC_PSCREEN", 0x0046},
    {"KC_SCROLLLOCK", 0x0047},
    {"KC_SLCK", 0x0047},
    {"KC_NUMLOCK", 0x0053},
    {"KC_NLCK", 0x0053},
    {"KC_BSPACE", 0x002A},
    {"KC_LBRACKET", 0x002F},
    {"KC_RBRACKET", 0x0030},
    {"KC_BSLASH", 0x0031},
    {"KC_SCOLON", 0x0033},
    {"KC_PGDOWN", 0x004E},
    {"KC_NONUS_BSLASH", 0x0064},
    {"KC_POWER", 0x0066},
    {"KC__MUTE", 0x007F},
    {"KC__VOLUP", 0x0080},
    {"KC__VOLDOWN", 0x0081},
    {"KC_LOCKING_CAPS", 0x0082},
    {"KC_LOCKING_NUM", 0x0083},
    {"KC_LOCKING_SCROLL", 0x0084},
    {"KC_RO", 0x0087},
    {"KC_KANA", 0x0088},
    {"KC_JYEN", 0x0089},
    {"KC_HENK", 0x008A},
    {"KC_MHEN", 0x008B},
    {"KC_LANG1", 0x0090},
    {"KC_HAEN", 0x0090},
    {"KC_LANG2", 0x0091},
    {"KC_HANJ", 0x0091},
    {"KC_LANG3", 0x0092},
    {"KC_LANG4", 0x0093},
    {"KC_LANG5", 0x0094},
    {"KC_LANG6", 0x0095},
    {"KC_LANG7", 0x0096},
    {"KC_LANG8", 0x0097},
    {"KC_LANG9", 0x0098},
    {"KC_ALT_ERASE", 0x0099},
    {"KC_SYSREQ", 0x009A},
    {"RESET", 0x7C00},
    {"DEBUG", 0x7C02},
    {"EEP_RST", 0x7C03},
    {"KC_GESC", 0x7C16},
    {"GRAVE_ESC", 0x7C16},
    {"VLK_TOG", 0x7C17},
    {"KC_LCPO", 0x7C18},
    {"KC_RCPC", 0x7C19},
    {"KC_LSPO", 0x7C1A},
    {"KC_RSPC", 0x7C1B},
    {"KC_LAPO", 0x7C1C},
    {"KC_RAPC", 0x7C1D},
    {"KC_SFTENT", 0x7C1E},
    {"KC_ASDN", 0x7C10},
    {"KC_ASUP", 0x7C11},
    {"KC_ASRP", 0x7C12},
    {"KC_ASON", 0x7C13},
    {"KC_ASOFF", 0x7C14},
    {"KC_ASTG", 0x7C15},
    {"CAPS_WORD", 0x7C73},
    {"TL_LOWR", 0x7C77},
    {"TL_UPPR", 0x7C78},
    {"BL_DEC", 0x7803},
    {"BL_INC", 0x7804},
    {"UG_TOGG", 0x7820},
    {"UG_NEXT", 0x7821},
    {"UG_PREV", 0x7822},
    {"UG_HUEU", 0x7823},
    {"UG_HUED", 0x7824},
    {"UG_SATU", 0x7825},
    {"UG_SATD", 0x7826},
    {"UG_VALU", 0x7827},
    {"UG_VALD", 0x7828},
    {"UG_SPDU", 0x7829},
    {"UG_SPDD", 0x782A},
    {"RM_ON", 0x7840},
    {"RM_OFF", 0x7841},
    {"RM_TOGG", 0x7842},
    {"RM_NEXT", 0x7843},
    {"RM_PREV", 0x7844},
    {"RM_HUEU", 0x7845},
    {"RM_HUED", 0x7846},
    {"RM_SATU", 0x7847},
    {"RM_SATD", 0x7848},
    {"RM_VALU", 0x7849},
    {"RM_VALD", 0x784A},
    {"RM_SPDU", 0x784B},
    {"RM_SPDD", 0x784C},
    {"FN_MO13", 0x7C77},
    {"FN_MO23", 0x7C78},
    {"QK_TRI_LAYER_1_3", 0x7C77},
    {"QK_TRI_LAYER_2_3", 0x7C78},
    {"QK_BACKLIGHT_DECREASE", 0x7803},
    {"QK_BACKLIGHT_INCREASE", 0x7804},
    {"QK_AUTOCORRECT_DICT_CYCLE", 0x7C7B},
    {"QK_OS_SKIP", 0x7C7C},
    {"QK_OS_DETECTION_SKIP_RESET", 0x7C7C},
    {"QK_OS_TOG", 0x7C7D},
    {"QK_OS_DETECTION_TOGGLE", 0x7C7D},
    {"KC_GLB", 0x00C3},
    {"KC_GLOBE", 0x00C3},
    {"KC_AIRP", 0x00E8},
    {"KC_AIRPLANE_MODE", 0x00E8},
};

constexpr std::size_t MaxTextLength = 256;
constexpr std::size_t MaxNameLength = 48;

bool isNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

std::string upperCased(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        c = asciiUpper(c);
    return upper;
}

// The number after `prefix` in names such as "M12", "USER08" or "LT3"; none above `limit`.
std::optional<unsigned> numberAfter(std::string_view upperName, std::string_view prefix, unsigned limit)
{
    if (!upperName.starts_with(prefix))
        return std::nullopt;
    const std::string_view digits = upperName.substr(prefix.size());
    std::uint16_t value = 0;
    if (digits.empty() || digits.size() > 3 || !isAllDigits(digits) || !parseDecimal16(digits, value) || value > limit)
        return std::nullopt;
    return value;
}

// QMK's spelling of a name only Vial writes, as the expression grammar reads it: the vocabulary's key
// where QMK's data names the code, so the pad's numbering applies; else the code in hex, which only the
// current numbering has.
std::optional<std::string> qmkSpellingOf(std::string_view upperName, bool legacy)
{
    std::optional<Keycode> code;
    for (const NamedCode& entry : VialOnlyNames)
        if (entry.name == upperName)
            code = entry.code;
    if (!code) {
        if (const auto n = numberAfter(upperName, "M", QkMacroLast - QkMacroFirst))
            return "QK_MACRO_" + std::to_string(*n);
        if (const auto n = numberAfter(upperName, "USER", QkKbLast - QkKbFirst))
            return "QK_KB_" + std::to_string(*n);
        return std::nullopt;
    }
    if (const QmkKeycode* known = findQmkKeycode(*code))
        return std::string(known->key);
    if (legacy)
        return std::nullopt;
    return hex4(*code);
}

// Vial's layout files in the grammar's words: "LT1(KC_SPACE)" becomes "LT(1,KC_SPACE)", VIA's
// "CUSTOM(2)" the keyboard key QK_KB_2, and each name only Vial writes its QMK name.
std::string toQmkSpelling(std::string_view text, bool legacy)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (!isNameCharacter(text[i])) {
            out += text[i++];
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && isNameCharacter(text[end]))
            ++end;
        const std::string_view name = text.substr(i, end - i);
        i = end;
        if (name.size() > MaxNameLength) {
            out += name;
            continue;
        }
        const std::string upper = upperCased(name);
        const bool isCall = i < text.size() && text[i] == '(';
        if (isCall && upper == "CUSTOM") {
            const std::size_t close = text.find(')', i);
            const std::string_view digits = close == std::string_view::npos
                                                ? std::string_view{}
                                                : trimWhitespace(text.substr(i + 1, close - i - 1));
            if (!digits.empty() && digits.size() <= 3 && isAllDigits(digits)) {
                out += "QK_KB_";
                out += digits;
                i = close + 1;
                continue;
            }
        }
        if (isCall) {
            if (const auto layer = numberAfter(upper, "LT", 15)) {
                out += "LT(";
                out += std::to_string(*layer);
                out += ',';
                ++i;
                continue;
            }
        }
        if (const auto spelling = isCall ? std::nullopt : qmkSpellingOf(upper, legacy))
            out += *spelling;
        else
            out += name;
    }
    return out;
}

// The grammar masks a layer or tap-dance number onto its field ("MO(40)" is MO(8)); a layout file
// that names a layer the code cannot hold is refused instead.
bool layerNumberFits(std::string_view text)
{
    const std::size_t open = text.find('(');
    if (open == std::string_view::npos || open > 4 || text.back() != ')')
        return true;
    const std::string head = upperCased(trimWhitespace(text.substr(0, open)));
    if (head != "MO" && head != "TG" && head != "TO" && head != "TD")
        return true;
    std::uint16_t number = 0;
    const std::string_view argument = trimWhitespace(text.substr(open + 1, text.size() - open - 2));
    if (!parseDecimal16(argument, number))
        return true;
    return number <= (head == "TD" ? 0xFF : 0x1F);
}

} // namespace

std::optional<Keycode> resolveLayoutKeycodeText(std::string_view text, bool legacyKeycodes)
{
    const std::string_view trimmed = trimWhitespace(text);
    if (trimmed.empty() || trimmed.size() > MaxTextLength)
        return std::nullopt;
    const std::string spelled = toQmkSpelling(trimmed, legacyKeycodes);
    if (!layerNumberFits(spelled))
        return std::nullopt;
    return parseKeycodeExpression(spelled, legacyKeycodes);
}

} // namespace keyglass
