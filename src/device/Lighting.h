#pragma once
// Lighting state on the wire: the legacy rgblight value ids (0x80-0x83) and the custom-value dialect
// on channel 1. Reads happen while loading; writes are debounced by the store and run on its I/O queue.

#include "device/HidBackend.h"
#include "device/RawHidSession.h"
#include "model/DeviceModel.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace keyglass {

/// The kind named by a definition's top-level "lighting" value.
RGBProtocolKind lightingKindFromDefinition(const nlohmann::json& definition);

/// Vial devices: the definition decides the kind; values that cannot be read keep their defaults.
RGBState readVialLighting(RawHidSession& session, const nlohmann::json& definition);
/// Plain VIA devices: probe channel 1, then rgblight, else no lighting.
RGBState readViaLighting(RawHidSession& session);

/// Sends effect, brightness and colour (and the save command when `save`); answers are not inspected.
/// Kind `none`, or a device that cannot be opened, is left alone silently.
void writeLighting(HidBackend& backend, int vid, int pid, const RGBState& state, bool save);

/// (effect number, name) pairs offered in the lighting menu for a kind.
std::vector<std::pair<std::uint8_t, std::string>> lightingEffects(RGBProtocolKind kind);

} // namespace keyglass
