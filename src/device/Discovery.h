#pragma once
// Finding the connected VIA/Vial pads and turning one of them into a complete DeviceModel. Both block
// and belong on the store's I/O queue; they never touch store state.

#include "device/HidBackend.h"
#include "model/DeviceModel.h"

#include <optional>
#include <string>
#include <vector>

namespace keyglass {

/// One RawHID endpoint: every interface of a vid/pid collapses into one.
struct RawHIDEndpointInfo
{
    int vid = 0;
    int pid = 0;
    std::string manufacturer;
    std::string product;
    std::string serial;

    bool operator==(const RawHIDEndpointInfo&) const = default;
    /// The device identifier, "%04X:%04X".
    std::string id() const { return deviceIdentifier(vid, pid); }
};

/// RawHID endpoints merged by device identifier (a later interface replaces an earlier one) and sorted
/// by it. Interfaces without vendor and product id are left out.
std::vector<RawHIDEndpointInfo> enumerateEndpoints(HidBackend& backend);

struct LoadStats
{
    int exchanges = 0;
    double loadMs = 0; // on the backend's clock
};

/// Opens a session, runs the handshake and every read, closes the session. None only when the device
/// cannot be opened or does not answer the protocol-version request; every later failure degrades a
/// single value to its default.
std::optional<DeviceModel>
loadDevice(HidBackend& backend, const RawHIDEndpointInfo& endpoint, LoadStats* stats = nullptr);

} // namespace keyglass
