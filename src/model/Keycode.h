#pragma once

#include <cstdint>
#include <vector>

namespace keyglass {

/// An unsigned 16-bit QMK keycode.
using Keycode = std::uint16_t;

/// Keycodes per layer, row and column: keymap[layer][row][col].
using Keymap = std::vector<std::vector<std::vector<Keycode>>>;
/// Two keycodes per layer and encoder: encoderMap[layer][encoder] = {counter-clockwise, clockwise}.
using EncoderMap = std::vector<std::vector<std::vector<Keycode>>>;

} // namespace keyglass
