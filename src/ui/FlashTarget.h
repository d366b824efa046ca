#pragma once
// The live-input highlight ids a device's flashTarget carries, compared with the controls on screen.

#include <optional>
#include <string>

namespace keyglass {

/// "k-<row>-<col>"
inline bool flashHitsKey(const std::optional<std::string>& target, int row, int col)
{
    return target && *target == "k-" + std::to_string(row) + "-" + std::to_string(col);
}

/// "e-<index>-ccw", "e-<index>-cw", "e-<index>-click"
inline bool flashHitsEncoder(const std::optional<std::string>& target, int index, const char* part)
{
    return target && *target == "e-" + std::to_string(index) + "-" + part;
}

/// "td-<entry>-<slot>"
inline bool flashHitsTapDance(const std::optional<std::string>& target, int entry, int slot)
{
    return target && *target == "td-" + std::to_string(entry) + "-" + std::to_string(slot);
}

} // namespace keyglass
