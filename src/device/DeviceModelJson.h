#pragma once
// DeviceModel as JSON, keyed by the field names of the records (keycodes as numbers). Used by the CLI's
// listings and by anything that wants to show or compare a whole model.

#include "model/DeviceModel.h"

#include <nlohmann/json.hpp>

namespace keyglass {

nlohmann::json toJson(const DeviceProtocol& proto);
nlohmann::json toJson(const PhysicalKey& key);
nlohmann::json toJson(const LayoutOptionLabel& label);
/// clickRow / clickCol are null when the knob has no click cell.
nlohmann::json toJson(const PhysicalEncoder& encoder);
nlohmann::json toJson(const TapDanceData& entry);
nlohmann::json toJson(const RGBState& state);
nlohmann::json toJson(const DeviceModel& model);

} // namespace keyglass
