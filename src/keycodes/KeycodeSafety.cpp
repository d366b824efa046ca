#include "keycodes/KeycodeSafety.h"

#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeText.h"

namespace keyglass {

namespace {

// Words that name firmware actions directly. None of them parses, so without this list they would be
// reported as merely unrecognized.
constexpr std::string_view BootloaderTokens[] = {
    "QK_BOOT",
    "QK_BOOTLOADER",
    "RESET",
    "QK_RBT",
    "QK_REBOOT",
    "EE_CLR",
    "EEP_RST",
    "EEPROM_RESET",
    "QK_CLEAR_EEPROM",
    "DB_TOGG",
    "DEBUG",
    "QK_DEBUG_TOGGLE",
    "QK_MAKE",
};

bool isBootloaderToken(std::string_view trimmed)
{
    for (std::string_view token : BootloaderTokens) {
        if (equalsIgnoringAsciiCase(token, trimmed))
            return true;
    }
    return false;
}

// validateExpression after trimming: the checks that apply to a non-empty expression.
std::optional<std::string> checkTrimmed(std::string_view trimmed, bool legacyKeycodes)
{
    if (isBootloaderToken(trimmed))
        return "Blocked bootloader/reset token \"" + std::string(trimmed) + "\"";
    const auto code = parseKeycodeExpression(trimmed, legacyKeycodes);
    if (!code)
        return "Unrecognized QMK expression \"" + std::string(trimmed) + "\"";
    return keycodeBlockReason(*code, trimmed);
}

} // namespace

std::optional<std::string> keycodeBlockReason(Keycode code, std::string_view expressionText)
{
    if ((code & 0xDFF0) == 0x5C00)
        return "Blocked bootloader/reset keycode " + hex4(code) + " (\"" + std::string(expressionText) + "\")";
    if (code >= 0x7000 && code <= 0x701F)
        return "Blocked QMK magic/EEPROM keycode " + hex4(code);
    if (code == 0x00F1 || code == 0x00F2)
        return "Blocked hardware-reserved keycode " + hex4(code);
    if ((code >= 0x5F80 && code <= 0x5FFF) || (code & 0xFFA0) == 0x7E00)
        return "Blocked firmware-custom QK_KB/QK_USER keycode " + hex4(code);
    return std::nullopt;
}

std::optional<std::string> validateExpression(std::string_view text, bool legacyKeycodes)
{
    const std::string_view trimmed = trimWhitespace(text);
    if (trimmed.empty())
        return std::nullopt;
    return checkTrimmed(trimmed, legacyKeycodes);
}

} // namespace keyglass
