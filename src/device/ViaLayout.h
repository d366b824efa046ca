#pragma once
// A plain VIA device carries no definition, so its matrix size comes from probing layer 0 and its keys
// are laid out as a grid of the cells that hold something.

#include "device/RawHidSession.h"
#include "model/DeviceModel.h"

#include <set>
#include <string>
#include <vector>

namespace keyglass {

constexpr int ProbeRows = 6;
constexpr int ProbeCols = 16;

struct MatrixProbe
{
    int rows = 1;
    int cols = 1;
    /// Layer 0 as probed, already cut to rows x cols.
    std::vector<std::vector<Keycode>> layer0;
};

/// Reads layer 0 row by row (rows 0-5, columns 0-15); a row ends at its first unanswered cell, and the
/// probe stops once two rows in a row held nothing.
MatrixProbe probeMatrix(RawHidSession& session);

struct ViaLayout
{
    std::vector<PhysicalKey> keys;
    std::vector<PhysicalEncoder> encoders;
    std::set<std::string> hiddenCells; // "row,col" cells represented by a knob click
};

/// Grid keys and encoders from the probed keymap. Three encoders on a five-row matrix whose last row
/// only uses columns 0 and 1 are two clickable knobs and a wheel, and those two cells are hidden.
ViaLayout
viaOnlyLayout(int rows, int cols, const Keymap& keymap, const std::set<std::string>& protectedCells, int encoderCount);

} // namespace keyglass
