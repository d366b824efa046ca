#pragma once
// Loading a preset into a device model (staging: nothing reaches the pad until Apply), the caption
// overlay a preset leaves on the device, and the caption rule the keycaps, knobs and tap-dance rows
// use to show them.

#include "keycodes/Keycodes.h"
#include "model/DeviceModel.h"
#include "presets/DevicePreset.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

/// Which caption map of an overlay a slot reads.
enum class CaptionSlot
{
    key,      // position key "layer,row,col"
    encoder,  // "layer,encoder,direction" with 1 = clockwise
    tapDance, // "index,slot" with slot 0-3 = onTap, onHold, onDoubleTap, onTapHold
};

std::string keyLabelKey(int layer, int row, int col);
std::string encoderLabelKey(int layer, int encoder, bool clockwise);
std::string tapDanceLabelKey(int index, int slot);

/// The captions of a preset: every key, knob direction and tap-dance slot whose expression parses
/// (with `legacyKeycodes`) and whose trimmed caption is non-empty, plus each caption as the fallback
/// for its keycode on its layer, the layer names and each layer's os (its own, else the preset's).
PresetLabelOverlay buildLabelOverlay(const DevicePreset& preset, bool legacyKeycodes);

/// What staging left alone: non-empty key and knob expressions that were not written because the
/// slot is protected (or the single-knob pad's own switch), unsafe, or not understood. Tap-dance slots
/// are never skipped: unusable ones become 0x0000.
struct StageSummary
{
    int skippedSlots = 0;
};

/// Loads the preset into the device model: keys and knob directions within the device's layers, rows,
/// columns and encoders (skipping protected cells, (0,0) of a solodial pad, and expressions that fail
/// the safety rules or do not parse), tap dances within its tap-dance count (unusable slots 0x0000, a
/// tapping term of 0 staged as 200), the label overlay, and `dirty`. Never talks to the pad.
StageSummary stagePreset(const DevicePreset& preset, DeviceModel& device);

/// The caption of a slot: the overlay's label for the position while the slot still holds the code the
/// label was made for, else the overlay's caption for `current` on `layer`; none without an overlay.
std::optional<std::string>
slotCaption(const DeviceModel& device, CaptionSlot kind, const std::string& positionKey, int layer, Keycode current);

/// What a keycap shows: describeKeycode with the layer's modifier style, with the slot's caption as the
/// title unless the key is empty or transparent (the shortcut stays).
KeyAction
labelledKeyAction(const DeviceModel& device, int layer, int row, int col, const T3Map& t3Map, const FocusMap& focusMap);
KeyAction labelledEncoderAction(
    const DeviceModel& device, int layer, int encoder, bool clockwise, const T3Map& t3Map, const FocusMap& focusMap);
/// Tap dances belong to no layer; `layer` (the shown one) picks the modifier style and fallback captions.
KeyAction labelledTapDanceAction(
    const DeviceModel& device, int index, int slot, int layer, const T3Map& t3Map, const FocusMap& focusMap);

/// The overlay a device should carry after a restart or refresh: built from the preset that
/// `activePresetIDByDevice` names for the device, when that preset is among `presets`.
std::optional<PresetLabelOverlay>
overlayForActivePreset(const DeviceModel& device,
                       const std::map<std::string, std::string>& activePresetIDByDevice,
                       const std::vector<DevicePreset>& presets);

} // namespace keyglass
