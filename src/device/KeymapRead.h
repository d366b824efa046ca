#pragma once
// Reading a whole keymap with VIA's keymap buffer command (0x12): the keymap is one big-endian array,
// layer by layer, row by row, two bytes per matrix cell, fetched 28 bytes a request. A pad that does
// not know the command, or a chunk that gets no good answer, leaves those cells to per-key reads.

#include "device/RawHidSession.h"
#include "model/DeviceModel.h"

#include <optional>
#include <vector>

namespace keyglass {

struct BulkKeymap
{
    int rows = 0;
    int cols = 0;
    int firstLayer = 0;
    int layers = 0;
    /// (layer - firstLayer) x rows x cols, row-major; none where the chunk holding the cell failed.
    std::vector<std::optional<Keycode>> codes;
    /// The pad answered the command as unknown (0xFF): it has no bulk reads at all.
    bool refused = false;

    std::optional<Keycode> at(int layer, int row, int col) const;
};

/// Layers firstLayer ... firstLayer + layers - 1 of a rows x cols matrix. Bytes whose offset does not
/// fit the command's 16-bit field are left unread. After a refusal nothing more is asked.
BulkKeymap readKeymapBulk(RawHidSession& session, int rows, int cols, int firstLayer, int layers);

} // namespace keyglass
