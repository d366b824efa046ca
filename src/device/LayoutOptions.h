#pragma once
// The layout options a pad keeps (VIA "get/set keyboard value", id "layout options"): one 32-bit
// big-endian value, the same on VIA and Vial firmware.

#include "device/HidBackend.h"
#include "device/RawHidSession.h"
#include "model/DeviceModel.h"
#include "model/Expected.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace keyglass {

namespace via {
constexpr std::uint8_t GetKeyboardValue = 0x02;
constexpr std::uint8_t SetKeyboardValue = 0x03;
constexpr std::uint8_t LayoutOptionsValue = 0x02;
} // namespace via

/// 02 02: none unless the answer echoes the request and carries the four value bytes.
std::optional<std::uint32_t> readLayoutOptions(RawHidSession& session);
/// 03 02 and the value, big-endian.
std::vector<std::uint8_t> setLayoutOptionsRequest(std::uint32_t value);

/// Opens the pad, writes the value and closes it. Fails with the user-facing message when the pad
/// cannot be opened or does not acknowledge.
Expected<void> writeLayoutOptions(HidBackend& backend, int vid, int pid, std::uint32_t value);

/// The value with option `group` set to `choice`; none when the device has no such option or choice.
std::optional<std::uint32_t> layoutOptionsWith(const DeviceModel& device, int group, int choice);
/// The chosen choice of every option of the device.
std::vector<int> chosenLayoutChoices(const DeviceModel& device);

} // namespace keyglass
