#pragma once
// Number and hex helpers of the keycode vocabulary; the general text helpers are in model/Text.h.

#include "model/Text.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace keyglass {

/// True when `text` is non-empty and consists of ASCII decimal digits only.
bool isAllDigits(std::string_view text);

/// Decimal digits only, value 0-65535 (leading zeros allowed); none otherwise.
bool parseDecimal16(std::string_view text, std::uint16_t& value);

/// Hexadecimal digits only (no prefix), value 0-0xFFFF; false otherwise.
bool parseHex16(std::string_view text, std::uint16_t& value);

/// "0x" followed by four upper-case hexadecimal digits.
std::string hex4(std::uint16_t value);
/// "0x" followed by two upper-case hexadecimal digits.
std::string hex2(std::uint8_t value);

} // namespace keyglass
