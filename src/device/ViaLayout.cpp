#include "device/ViaLayout.h"

#include "device/ViaCommands.h"

#include <algorithm>

namespace keyglass {

namespace {
bool usedOnAnyLayer(const Keymap& keymap, int row, int col, Keycode atLeast)
{
    return std::any_of(keymap.begin(), keymap.end(), [&](const auto& layer) {
        return row < static_cast<int>(layer.size()) && col < static_cast<int>(layer[row].size()) &&
               layer[row][col] >= atLeast;
    });
}
} // namespace

MatrixProbe probeMatrix(RawHidSession& session)
{
    std::vector<std::vector<Keycode>> grid(ProbeRows, std::vector<Keycode>(ProbeCols, 0));
    int maxRow = 0;
    int maxCol = 0;
    for (int row = 0; row < ProbeRows; ++row) {
        bool rowUsed = false;
        for (int col = 0; col < ProbeCols; ++col) {
            const auto code = readKeycode(session, 0, row, col);
            if (!code)
                break;
            grid[row][col] = *code;
            if (*code != 0x0000 && *code != 0xFFFF) {
                rowUsed = true;
                maxRow = std::max(maxRow, row);
                maxCol = std::max(maxCol, col);
            }
        }
        if (!rowUsed && maxRow + 1 < row)
            break;
    }
    MatrixProbe probe;
    probe.rows = maxRow + 1;
    probe.cols = maxCol + 1;
    probe.layer0.resize(probe.rows);
    for (int row = 0; row < probe.rows; ++row)
        probe.layer0[row].assign(grid[row].begin(), grid[row].begin() + probe.cols);
    return probe;
}

ViaLayout
viaOnlyLayout(int rows, int cols, const Keymap& keymap, const std::set<std::string>& protectedCells, int encoderCount)
{
    ViaLayout layout;
    bool threeKnobs = false;
    if (encoderCount == 3 && rows == 5) {
        std::vector<int> usedColumns;
        for (int col = 0; col < cols; ++col)
            if (!protectedCells.contains(cellKey(4, col)) && usedOnAnyLayer(keymap, 4, col, 2))
                usedColumns.push_back(col);
        threeKnobs = usedColumns == std::vector<int>{0, 1};
    }
    if (threeKnobs) {
        layout.encoders = {PhysicalEncoder{0, "Knob 0", 4, 0},
                           PhysicalEncoder{1, "Knob 1", 4, 1},
                           PhysicalEncoder{2, "Wheel", std::nullopt, std::nullopt}};
        layout.hiddenCells = {cellKey(4, 0), cellKey(4, 1)};
    } else {
        for (int id = 0; id < encoderCount; ++id)
            layout.encoders.push_back(PhysicalEncoder{id, "Knob " + std::to_string(id), std::nullopt, std::nullopt});
    }
    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < cols; ++col) {
            const std::string cell = cellKey(row, col);
            if (protectedCells.contains(cell) || layout.hiddenCells.contains(cell) ||
                !usedOnAnyLayer(keymap, row, col, 1))
                continue;
            layout.keys.push_back(PhysicalKey{"r" + std::to_string(row) + "c" + std::to_string(col),
                                              row,
                                              col,
                                              static_cast<double>(col),
                                              static_cast<double>(row),
                                              1,
                                              1,
                                              false});
        }
    }
    return layout;
}

} // namespace keyglass
