#pragma once
// Keycodes that must never reach a pad from a preset or a typed expression: bootloader, EEPROM and
// debug codes, the magic configuration range, the pads' hardware layer-key slots and codes that only
// the pad's own firmware gives meaning to.

#include "model/DeviceModel.h"

#include <optional>
#include <string>
#include <string_view>

namespace keyglass {

/// Why `code` is refused, or none when it is allowed. `expressionText` is quoted in the bootloader
/// message only.
std::optional<std::string> keycodeBlockReason(Keycode code, std::string_view expressionText);

/// The same for a pad in the given numbering: an old-numbering pad also refuses its EEPROM-clear
/// and magic codes, and 0xF1/0xF2 are its mouse keys, not hardware slots.
std::optional<std::string> keycodeBlockReason(Keycode code, std::string_view expressionText, bool legacyKeycodes);

/// True for the codes only a pad's own firmware gives meaning to: QK_KB (0x7E00-0x7E3F), QK_USER
/// (0x7E40-0x7FFF) and the old numbering's custom range (0x5F80-0x5FFF).
bool isFirmwareCustomKeycode(Keycode code);

/// Why a typed expression is refused: a bootloader word, text that does not parse, or a blocked
/// keycode. An empty (or blank) expression is allowed.
std::optional<std::string> validateExpression(std::string_view text, bool legacyKeycodes);

} // namespace keyglass
