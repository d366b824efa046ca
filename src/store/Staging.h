#pragma once
// Staged edits of one device model: what a slot holds now, writing a keycode and its caption into a slot,
// and the question asked before a firmware-custom key is unlocked. Plain functions over one model, so
// the rules are tested without a store.

#include "model/DeviceModel.h"
#include "model/EditingTarget.h"
#include "model/Expected.h"
#include "platform/Desktop.h"

#include <optional>
#include <string>

namespace keyglass {

/// The keycode the staged model holds for the target; 0 when the target is out of range.
Keycode stagedKeycode(const DeviceModel& model, const EditingTarget& target);

/// Writes `code` into the target slot and marks the model dirty. A label, when given, is trimmed and
/// stored with the code as the slot's caption (an empty one removes the caption); the model gets a
/// "Custom" overlay when it has none. Returns false, changing nothing, when the target is out of range
/// (a knob entry with fewer than two keycodes counts as out of range).
bool stageKeycode(DeviceModel& model,
                  const EditingTarget& target,
                  Keycode code,
                  const std::optional<std::string>& label);

/// Sets the tapping term (milliseconds) of tap-dance entry `index` and marks the model dirty when it
/// changes. 0 is not a tapping term: it stages 200, as preset loading does. Returns false, changing
/// nothing, for an entry the model does not have.
bool stageTappingTerm(DeviceModel& model, int index, Keycode milliseconds);

/// A typed expression as the keycode it stages, after the safety rules: the refusal or parse message
/// otherwise ("Unrecognized QMK expression \"...\"").
Expected<Keycode> safeExpressionKeycode(std::string_view expression, bool legacyKeycodes);

/// The warning shown before a locked firmware-custom slot is opened for editing; `name` is the slot's
/// caption. Button 1 ("Unlock & Edit") unlocks.
AlertRequest unlockFirmwareCustomAlert(int layer, int row, int col, const std::string& name, Keycode code);

/// The toast for a hardware-reserved slot, which no unlock can open.
std::string hardwareReservedMessage(int row, int col);

} // namespace keyglass
