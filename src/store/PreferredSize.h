#pragma once

#include "model/DeviceModel.h"

namespace keyglass {

/// Width and height in points that the host window should take.
struct PreferredSize
{
    int width = 0;
    int height = 0;
    bool operator==(const PreferredSize&) const = default;
};

/// The size rule for the HUD: depends on the selected device's keys and knobs and on whether a device
/// switcher is shown.
PreferredSize preferredSizeFor(const DeviceModel* selected, bool severalDevices);

} // namespace keyglass
