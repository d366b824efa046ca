#pragma once
// Lighting state on the wire in every dialect a pad may speak: the legacy value ids (rgblight
// 0x80-0x83, backlight 0x09/0x0A), Vial's VialRGB (0x40-0x44), a keyboard's own values on channel 1,
// and QMK's stock channels (backlight 1, rgblight 2, RGB Matrix 3, LED Matrix 5). Reads happen while
// loading; writes are debounced by the store and run on its I/O queue.

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

/// What a lighting read found; `effectIds` only when the dialect reports its effects (VialRGB).
struct LightingRead
{
    RGBState state;
    std::vector<std::uint16_t> effectIds;
};

/// Vial devices: the definition decides the kind; values that cannot be read keep their defaults.
LightingRead readVialLighting(RawHidSession& session, const nlohmann::json& definition);
/// Plain VIA devices: the keyboard's own channel 1, then (protocol 11 and later) QMK's channels 2, 3
/// and 5, then the legacy rgblight ids, else no lighting. A channel counts only when it answers for
/// itself: a value id echoed back untouched was not handled, so QMK's backlight on channel 1 is never
/// taken for the keyboard's own values there.
LightingRead readViaLighting(RawHidSession& session, int viaVersion = 12);

/// Sends the state (and the save command when `save`), stopping at the first request the pad does not
/// echo. Kind `none`, or a device that cannot be opened, is left alone silently.
void writeLighting(HidBackend& backend, int vid, int pid, const RGBState& state, bool save);

/// (effect number, name) pairs offered in the lighting menu for a kind. Dialects whose numbers depend
/// on the effects compiled in name only the fixed ones; VialRGB names the effects it reported.
std::vector<std::pair<std::uint8_t, std::string>> lightingEffects(RGBProtocolKind kind,
                                                                  const std::vector<std::uint16_t>& effectIds = {});

} // namespace keyglass
