#pragma once
// Building a pad from a Vial keyboard definition (vial.json): matrix and keys from the definition,
// plausible keycodes on four layers, encoders from the "idx,dir ... e" legends.

#include "model/Expected.h"
#include "sim/VirtualPadConfig.h"

#include <string_view>

namespace keyglass {

/// The config of a Vial pad for definition `text` (JSON, never a path).
Expected<VirtualPadConfig> vialDefinitionConfig(std::string_view text);

} // namespace keyglass
