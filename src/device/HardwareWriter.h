#pragma once
// "Apply": writes a device model's tap dances, keymap and encoder bindings to its firmware.

#include "model/Expected.h"
#include "device/HidBackend.h"
#include "model/DeviceModel.h"

namespace keyglass {

/// Error codes of writeDeviceToHardware (domain "Keyglass").
enum class WriteError
{
    open = 1,
    tapDance = 2,
    keycode = 3,
    vialEncoder = 4,
    viaEncoder = 5,
};

/// Writes every tap dance (Vial only), every writable keymap cell of every layer and every encoder
/// binding, in that order, and returns the number of keymap and encoder values written. Stops at the
/// first failure with the user-facing message; what was written before it stays written. Nothing is
/// read back. Slots whose layer, row, column or encoder number does not fit one wire byte are skipped.
Expected<int> writeDeviceToHardware(HidBackend& backend, const DeviceModel& model);

} // namespace keyglass
