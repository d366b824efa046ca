#pragma once
// One refresh of the device list as it runs on the I/O queue: every RawHID endpoint is loaded and merged
// with the model the store knew before, so staged edits and preset captions survive a rescan.

#include "model/DeviceModel.h"
#include "presets/DevicePreset.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace keyglass {

class HidBackend;

struct RefreshResult
{
    std::vector<DeviceModel> devices;
    std::set<std::string> endpointIDs;
    std::string refreshText; // local time of the refresh, "HH:MM"
};

/// Loads every endpoint in enumeration order. A pad that cannot be loaded keeps its previous model
/// (marked connected); a loaded pad takes its previous preset captions and layer, and its staged keymap,
/// knobs, tap dances and unlocks while it was dirty; a pad seen for the first time gets the captions of
/// the preset remembered for it. Reads only its arguments: safe on the I/O thread.
RefreshResult loadAndMergeDevices(HidBackend& hid,
                                  const std::map<std::string, DeviceModel>& previous,
                                  const std::vector<DevicePreset>& presets,
                                  const std::map<std::string, std::string>& activePresetIDByDevice);

/// "Refreshed 2 device(s): [\"Tinkerloop QuadGrid [VIA v12]\", ...]".
std::string refreshLogLine(const std::vector<DeviceModel>& devices);

} // namespace keyglass
