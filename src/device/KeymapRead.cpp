#include "device/KeymapRead.h"

#include "device/ViaCommands.h"

#include <algorithm>

namespace keyglass {

std::optional<Keycode> BulkKeymap::at(int layer, int row, int col) const
{
    if (layer < firstLayer || layer >= firstLayer + layers || row < 0 || row >= rows || col < 0 || col >= cols)
        return std::nullopt;
    const auto index = (static_cast<std::size_t>(layer - firstLayer) * rows + row) * cols + col;
    return index < codes.size() ? codes[index] : std::nullopt;
}

BulkKeymap readKeymapBulk(RawHidSession& session, int rows, int cols, int firstLayer, int layers)
{
    BulkKeymap out;
    if (rows <= 0 || cols <= 0 || firstLayer < 0 || layers <= 0)
        return out;
    out.rows = rows;
    out.cols = cols;
    out.firstLayer = firstLayer;
    out.layers = layers;
    const std::size_t cells = static_cast<std::size_t>(layers) * rows * cols;
    out.codes.assign(cells, std::nullopt);

    const std::size_t start = static_cast<std::size_t>(firstLayer) * rows * cols * 2;
    const std::size_t end = start + cells * 2;
    for (std::size_t offset = start; offset < end; offset += via::MaxBulkBytes) {
        const auto size = static_cast<std::uint8_t>(std::min<std::size_t>(via::MaxBulkBytes, end - offset));
        if (offset > 0xFFFF)
            break;
        bool refused = false;
        const auto bytes = readKeymapBuffer(session, static_cast<std::uint16_t>(offset), size, &refused);
        if (refused) {
            out.refused = true;
            break;
        }
        if (!bytes)
            continue;
        // Chunks start at even offsets, so every cell lies inside one chunk.
        for (std::size_t i = 0; i + 1 < bytes->size(); i += 2) {
            const std::size_t cell = (offset - start + i) / 2;
            out.codes[cell] = readU16BE(*bytes, i);
        }
    }
    return out;
}

} // namespace keyglass
