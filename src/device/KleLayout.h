#pragma once
// The physical layout of a keyboard from the keyboard-layout-editor key list of its definition
// ("layouts" -> "keymap"): key positions in key units, and the encoder legends.

#include "model/DeviceModel.h"

#include <nlohmann/json.hpp>

#include <vector>

namespace keyglass {

struct ParsedLayout
{
    std::vector<PhysicalKey> keys;   // sorted by y, then x
    std::vector<int> encoderIndices; // distinct, ascending
};

/// Walks the key list. Anything that is not a row array is skipped without moving down a row; legends
/// "row,col" become keys, legends with a later line "e" name an encoder ("index,direction"), and a
/// decal without a position becomes a decal key at r0c0. Never fails: unusable items add nothing.
ParsedLayout parseLayout(const nlohmann::json& keymap);

/// One encoder is "Knob" (clicking the only key, when there is exactly one non-decal key); several
/// are "Knob <index>" without click cells.
std::vector<PhysicalEncoder> nameVialEncoders(const std::vector<int>& indices, const std::vector<PhysicalKey>& keys);

} // namespace keyglass
