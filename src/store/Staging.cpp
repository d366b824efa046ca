#include "store/Staging.h"

#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/KeycodeText.h"
#include "presets/PresetStaging.h"

namespace keyglass {

namespace {

bool inRange(int index, size_t size)
{
    return index >= 0 && static_cast<size_t>(index) < size;
}

PresetLabelOverlay& ensureOverlay(DeviceModel& model)
{
    if (!model.presetOverlay) {
        PresetLabelOverlay overlay;
        overlay.presetName = "Custom";
        overlay.appName = "Custom";
        overlay.os = "macos";
        overlay.builtIn = false;
        model.presetOverlay = std::move(overlay);
    }
    return *model.presetOverlay;
}

} // namespace

Keycode stagedKeycode(const DeviceModel& model, const EditingTarget& target)
{
    if (const auto* key = target.key())
        return model.keycodeAt(key->layer, key->row, key->col);
    if (const auto* encoder = target.encoder())
        return model.encoderKeycodeAt(encoder->layer, encoder->index, encoder->cw);
    const auto* tapDance = target.tapDance();
    if (!inRange(tapDance->index, model.tapDances.size()))
        return 0;
    const Keycode* slot = model.tapDances[static_cast<size_t>(tapDance->index)].slot(tapDance->slot);
    return slot ? *slot : 0;
}

bool stageKeycode(DeviceModel& model,
                  const EditingTarget& target,
                  Keycode code,
                  const std::optional<std::string>& label)
{
    std::map<std::string, PresetSlotLabel> PresetLabelOverlay::*labels = nullptr;
    std::string labelKey;
    if (const auto* key = target.key()) {
        if (!inRange(key->layer, model.keymap.size()))
            return false;
        auto& layer = model.keymap[static_cast<size_t>(key->layer)];
        if (!inRange(key->row, layer.size()) || !inRange(key->col, layer[static_cast<size_t>(key->row)].size()))
            return false;
        layer[static_cast<size_t>(key->row)][static_cast<size_t>(key->col)] = code;
        labels = &PresetLabelOverlay::keyLabels;
        labelKey = keyLabelKey(key->layer, key->row, key->col);
    } else if (const auto* encoder = target.encoder()) {
        if (!inRange(encoder->layer, model.encoderMap.size()) ||
            !inRange(encoder->index, model.encoderMap[static_cast<size_t>(encoder->layer)].size()))
            return false;
        auto& pair = model.encoderMap[static_cast<size_t>(encoder->layer)][static_cast<size_t>(encoder->index)];
        if (pair.size() < 2)
            return false;
        pair[encoder->cw ? 1 : 0] = code;
        labels = &PresetLabelOverlay::encoderLabels;
        labelKey = encoderLabelKey(encoder->layer, encoder->index, encoder->cw);
    } else {
        const auto* tapDance = target.tapDance();
        if (!inRange(tapDance->index, model.tapDances.size()))
            return false;
        Keycode* slot = model.tapDances[static_cast<size_t>(tapDance->index)].slot(tapDance->slot);
        if (!slot)
            return false;
        *slot = code;
        labels = &PresetLabelOverlay::tapDanceLabels;
        labelKey = tapDanceLabelKey(tapDance->index, tapDance->slot);
    }

    if (label) {
        const std::string text = trimmed(*label);
        auto& map = ensureOverlay(model).*labels;
        if (text.empty())
            map.erase(labelKey);
        else
            map[labelKey] = PresetSlotLabel{code, text};
    }
    model.dirty = true;
    return true;
}

bool stageTappingTerm(DeviceModel& model, int index, Keycode milliseconds)
{
    if (!inRange(index, model.tapDances.size()))
        return false;
    const Keycode term = milliseconds ? milliseconds : Keycode(200);
    Keycode& stored = model.tapDances[static_cast<size_t>(index)].tappingTerm;
    if (stored != term) {
        stored = term;
        model.dirty = true;
    }
    return true;
}

Expected<Keycode> safeExpressionKeycode(std::string_view expression, bool legacyKeycodes)
{
    if (auto refusal = validateExpression(expression, legacyKeycodes))
        return unexpected(Error{*refusal});
    const auto code = parseKeycodeExpression(expression, legacyKeycodes);
    if (!code)
        return unexpected(Error{"Unrecognized QMK expression \"" + trimmed(expression) + "\""});
    return *code;
}

AlertRequest unlockFirmwareCustomAlert(int layer, int row, int col, const std::string& name, Keycode code)
{
    AlertRequest alert;
    alert.style = AlertStyle::warning;
    alert.message = "Unlock Firmware-Custom Key?";
    alert.informativeText = "Layer " + std::to_string(layer) + " (r" + std::to_string(row) + ",c" +
                            std::to_string(col) + ") currently holds " + name + " (" + hex4(code) +
                            "), a QMK QK_KB/QK_USER firmware keycode commonly used for Bluetooth pairing or "
                            "hardware modes.\n\nUnlock this slot for editing?";
    alert.buttons = {"Keep Locked", "Unlock & Edit"};
    return alert;
}

std::string hardwareReservedMessage(int row, int col)
{
    return "Hardware-reserved slot (r" + std::to_string(row) + ",c" + std::to_string(col) + ") cannot be remapped.";
}

} // namespace keyglass
