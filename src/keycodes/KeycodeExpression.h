#pragma once
// The textual form of keycodes used in presets, backups and the picker: "KC_A", "LCTL(KC_K)",
// "MO(1)", "0x0A12". Names are matched without regard to ASCII letter case.

#include "model/DeviceModel.h"

#include <optional>
#include <string>
#include <string_view>

namespace keyglass {

/// The keycode an expression stands for, or none when the text matches no rule. `legacyKeycodes`
/// moves the mouse-wheel names to 0xF9/0xFA. Any input is safe: nothing is thrown, nesting depth and
/// length do not matter.
std::optional<Keycode> parseKeycodeExpression(std::string_view text, bool legacyKeycodes);

/// The expression for `code`; never empty, and parses back to `code` with the same flag.
std::string formatKeycode(Keycode code, bool legacyKeycodes);

/// The wrapper name ("LCTL", "C_S", ... "HYPR") written for a modifier nibble 1-15; empty otherwise.
std::string_view modifierWrapperName(unsigned nibble);

} // namespace keyglass
