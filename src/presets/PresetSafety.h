#pragma once
// The safety check of a whole preset: every expression that would reach a pad passes the keycode rules.

#include <string>
#include <vector>

namespace keyglass {

struct DevicePreset;

/// Every refused expression of a preset, each prefixed with where it is ("L0 (1,2): ", "L1 enc 0: ",
/// "TD(3) slot 2: "), in layer, row, column order and then the tap dances. Empty when the preset is safe.
std::vector<std::string> validatePreset(const DevicePreset& preset, bool legacyKeycodes);

} // namespace keyglass
