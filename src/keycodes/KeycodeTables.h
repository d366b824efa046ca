#pragma once
// The fixed vocabulary of basic keys: display labels, canonical QMK names and the name table the
// expression parser reads. All tables are immutable and safe to read from any thread.

#include "model/DeviceModel.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace keyglass {

/// The short keycap label of a basic usage ("A", "F13", "↩", "KP 1"); none for the 153 usages
/// without one.
std::optional<std::string_view> baseLabel(std::uint8_t usage);

/// The usage whose label equals `label`, ignoring ASCII letter case ("f13" -> 0x68, "kp 1" -> 0x59).
std::optional<std::uint8_t> usageForLabel(std::string_view label);

/// The canonical QMK name of the 26 keys whose label is not a plain word ("KC_ENT" for 0x28).
std::optional<std::string_view> shortName(std::uint8_t usage);

/// A basic key by QMK name or label. `upperCaseName` must already be upper-cased (ASCII), as the
/// expression parser does: "KC_A", "A", "RETURN", "KC_KP_1", "KP /".
std::optional<Keycode> lookupBasicName(std::string_view upperCaseName);

/// Number of entries of the name table (labels, "KC_" labels and aliases, after replacement).
std::size_t basicNameCount();

} // namespace keyglass
