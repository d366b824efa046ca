#pragma once
// "Apply": writes a device model's tap dances, keymap and encoder bindings to its firmware.

#include "device/HidBackend.h"
#include "model/DeviceModel.h"
#include "model/Expected.h"

namespace keyglass {

/// Error codes of writeDeviceToHardware (domain "Keyglass").
enum class WriteError
{
    open = 1,
    tapDance = 2,
    keycode = 3,
    vialEncoder = 4,
    viaEncoder = 5,
    partialModel = 6,
};

/// Writes every tap dance (Vial only), every writable keymap cell of every layer and every encoder
/// binding, in that order, and returns the number of keymap and encoder values written. Stops at the
/// first failure with the user-facing message; what was written before it stays written. Nothing is
/// read back. Slots whose layer, row, column or encoder number does not fit one wire byte are skipped.
/// A model whose load missed some values is refused before anything is sent: writing its placeholders
/// would erase those keys on the pad.
Expected<int> writeDeviceToHardware(HidBackend& backend, const DeviceModel& model);

} // namespace keyglass
