#pragma once
// Which control of a pad produced a live keycode: the pure half of the store's live-key handling
// (the store selects the device, fires focus triggers, switches the layer and times the flash).

#include "model/DeviceModel.h"

#include <optional>
#include <string>
#include <vector>

namespace keyglass {

/// The shown layer first (when it exists), then its pair (0<->1, 2<->3, ...), then every other
/// layer from 0 upwards: a binding on the layer the user is looking at wins over a copy elsewhere.
std::vector<int> layerSearchOrder(const DeviceModel& device);

struct LiveMatch
{
    int layer = 0;
    /// "k-R-C" key, "e-J-ccw" / "e-J-cw" / "e-J-click" encoder J (position in the encoder list),
    /// "td-N-S" tap-dance entry N slot S (0 tap, 1 hold, 2 double tap, 3 tap-hold).
    std::string flashId;

    bool operator==(const LiveMatch&) const = default;
};

/// The first control bound to `code` (keycodesMatch) in layerSearchOrder; per layer the keys come
/// before the knobs, and a TD(n) binding is searched through the slots of entry n. Decals are skipped.
std::optional<LiveMatch> findLiveMatch(const DeviceModel& device, Keycode code);

} // namespace keyglass
