#pragma once
// The tray item's title and tooltip, as pure functions of the device list.

#include "model/DeviceModel.h"

#include <string>
#include <vector>

namespace keyglass {

/// " —" with no devices; otherwise a space and one tag per device joined with "·": the first character
/// of the trimmed product, upper-cased, and the active layer ("Q2·S0").
std::string statusTitle(const std::vector<DeviceModel>& devices);
/// "Keyglass v2 — No Vial/VIA devices connected", or one "<name>: L<layer> (<theme>)" per device joined
/// with "  •  ".
std::string statusTooltip(const std::vector<DeviceModel>& devices);
/// A short name for what a layer is for: the preset's layer name when there is one, else a guess from
/// its keycodes ("App Focus", "Media", "BT / HW", "Win T3 Code", ...).
std::string layerThemeName(const DeviceModel& device, int layer);

} // namespace keyglass
