#pragma once
// The matrix positions a keyboard-layout-editor key list names, and nothing else: just enough for the
// emulator to know which cells of a Vial definition carry a key or an encoder.

#include <nlohmann/json_fwd.hpp>

#include <vector>

namespace keyglass {

struct KlePositions
{
    struct Key
    {
        int row = 0;
        int col = 0;
        bool decal = false;
    };
    struct EncoderLegend
    {
        int index = 0;
        int direction = 0;
    };
    std::vector<Key> keys;               // in list order, duplicates kept
    std::vector<EncoderLegend> encoders; // in list order
};

/// Reads legends whose first line is "row,col" (a key) or "index,direction" with "e" on a later line
/// (an encoder). Anything else, and every non-array row, is skipped.
KlePositions scanKlePositions(const nlohmann::json& keymap);

} // namespace keyglass
