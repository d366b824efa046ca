#pragma once
// The pads of demo mode and of the tests: two built-in models and any Vial definition file.

#include "model/Expected.h"
#include "sim/VirtualPad.h"

#include <memory>
#include <optional>
#include <string_view>

namespace keyglass {

/// VIA-only 4x4 grid with three knobs (two with push switches at row 4 columns 0 and 1), two
/// hardware layer keys (row 4 columns 2 and 3) and channel-1 lighting. 1A86:FE16, VIA 12.
VirtualPadConfig quadgridConfig();
/// Vial single knob over a single key with tap dances and rgblight. 5831:4249, VIA 9, Vial 6.
VirtualPadConfig solodialConfig();
std::shared_ptr<VirtualPad> makeQuadgrid();
std::shared_ptr<VirtualPad> makeSolodial();

/// "quadgrid", "solodial" or the path of a vial.json, optionally followed by "@STATEFILE" (the pad's
/// EEPROM is then loaded from and saved to that file). The latency of
/// KEYGLASS_VIRTUAL_LATENCY_US applies to the pad.
Expected<std::shared_ptr<VirtualPad>> makeVirtualPad(std::string_view padArgument);

/// KEYGLASS_VIRTUAL_LATENCY_US as a duration (at most one second); none when unset or not a number.
std::optional<Duration> virtualLatencyFromEnvironment();

} // namespace keyglass
