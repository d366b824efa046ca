#include "presets/PresetStaging.h"

#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/KeycodeText.h"
#include "presets/PresetLibrary.h"

#include <algorithm>

namespace keyglass {

namespace {

constexpr Keycode DefaultTappingTerm = 200;

int clampedSize(size_t size)
{
    return static_cast<int>(std::min<size_t>(size, 0x7FFFFFFF));
}

// The keycode a preset slot stages, or none when it must be left alone.
std::optional<Keycode> stageableCode(std::string_view expression, bool legacy)
{
    if (validateExpression(expression, legacy))
        return std::nullopt;
    return parseKeycodeExpression(expression, legacy);
}

void addCaption(PresetLabelOverlay& overlay,
                std::map<std::string, PresetSlotLabel>& labels,
                const std::string& key,
                std::optional<int> layer,
                std::string_view expression,
                std::string_view caption,
                bool legacy)
{
    const std::string text(trimWhitespace(caption));
    if (text.empty())
        return;
    const auto code = parseKeycodeExpression(expression, legacy);
    if (!code)
        return;
    labels[key] = PresetSlotLabel{*code, text};
    if (layer)
        overlay.layerCodeFallback[*layer].emplace(*code, text);
}

const std::string* captionAt(const std::optional<std::vector<std::vector<std::string>>>& grid, size_t a, size_t b)
{
    if (!grid || a >= grid->size() || b >= (*grid)[a].size())
        return nullptr;
    return &(*grid)[a][b];
}

KeyAction withCaption(KeyAction action, const std::optional<std::string>& caption)
{
    if (caption && !action.isEmpty && !action.isTransparent)
        action.title = *caption;
    return action;
}

} // namespace

std::string keyLabelKey(int layer, int row, int col)
{
    return std::to_string(layer) + "," + std::to_string(row) + "," + std::to_string(col);
}

std::string encoderLabelKey(int layer, int encoder, bool clockwise)
{
    return std::to_string(layer) + "," + std::to_string(encoder) + "," + (clockwise ? "1" : "0");
}

std::string tapDanceLabelKey(int index, int slot)
{
    return std::to_string(index) + "," + std::to_string(slot);
}

PresetLabelOverlay buildLabelOverlay(const DevicePreset& preset, bool legacyKeycodes)
{
    PresetLabelOverlay overlay;
    overlay.presetID = preset.id;
    overlay.presetName = preset.name;
    overlay.appName = preset.appName;
    overlay.os = preset.os;
    overlay.builtIn = preset.builtIn;

    for (const PresetLayer& layer : preset.layers) {
        const int l = layer.index;
        std::string name = layer.name;
        if (trimWhitespace(name).empty() && preset.layerNames && l >= 0 &&
            static_cast<size_t>(l) < preset.layerNames->size())
            name = (*preset.layerNames)[static_cast<size_t>(l)];
        overlay.layerNames.emplace(l, name);
        overlay.layerOS.emplace(l, asciiLower(layer.os.value_or(preset.os)));

        for (size_t r = 0; r < layer.keys.size(); ++r) {
            for (size_t c = 0; c < layer.keys[r].size(); ++c) {
                if (const std::string* caption = captionAt(layer.keyLabels, r, c))
                    addCaption(overlay,
                               overlay.keyLabels,
                               keyLabelKey(l, static_cast<int>(r), static_cast<int>(c)),
                               l,
                               layer.keys[r][c],
                               *caption,
                               legacyKeycodes);
            }
        }
        if (layer.encoders) {
            for (size_t e = 0; e < layer.encoders->size(); ++e) {
                const auto& directions = (*layer.encoders)[e];
                for (size_t d = 0; d < std::min<size_t>(2, directions.size()); ++d) {
                    if (const std::string* caption = captionAt(layer.encoderLabels, e, d))
                        addCaption(overlay,
                                   overlay.encoderLabels,
                                   encoderLabelKey(l, static_cast<int>(e), d == 1),
                                   l,
                                   directions[d],
                                   *caption,
                                   legacyKeycodes);
                }
            }
        }
    }
    if (preset.tapDances) {
        for (const PresetTapDance& td : *preset.tapDances) {
            if (!td.labels)
                continue;
            const std::string* slots[] = {&td.onTap, &td.onHold, &td.onDoubleTap, &td.onTapHold};
            for (size_t s = 0; s < 4 && s < td.labels->size(); ++s)
                addCaption(overlay,
                           overlay.tapDanceLabels,
                           tapDanceLabelKey(td.index, static_cast<int>(s)),
                           std::nullopt,
                           *slots[s],
                           (*td.labels)[s],
                           legacyKeycodes);
        }
    }
    return overlay;
}

StageSummary stagePreset(const DevicePreset& preset, DeviceModel& device)
{
    StageSummary summary;
    const bool legacy = device.legacyKeycodes();
    const bool solodial = deviceProfileOrGeneric(device) == ProfileSolodial;
    const int layerCount = std::min(device.layerCount, clampedSize(device.keymap.size()));

    for (const PresetLayer& layer : preset.layers) {
        const int l = layer.index;
        if (l < 0 || l >= layerCount)
            continue;
        auto& rows = device.keymap[static_cast<size_t>(l)];
        const int rowCount = std::min({clampedSize(layer.keys.size()), device.rows, clampedSize(rows.size())});
        for (int r = 0; r < rowCount; ++r) {
            const auto& expressions = layer.keys[static_cast<size_t>(r)];
            auto& cells = rows[static_cast<size_t>(r)];
            const int colCount = std::min({clampedSize(expressions.size()), device.cols, clampedSize(cells.size())});
            for (int c = 0; c < colCount; ++c) {
                const std::string_view expression = trimWhitespace(expressions[static_cast<size_t>(c)]);
                if (expression.empty())
                    continue;
                const auto code = (solodial && r == 0 && c == 0) || device.isProtected(l, r, c)
                                      ? std::nullopt
                                      : stageableCode(expression, legacy);
                if (!code) {
                    ++summary.skippedSlots;
                    continue;
                }
                cells[static_cast<size_t>(c)] = *code;
            }
        }

        if (!layer.encoders || l >= clampedSize(device.encoderMap.size()))
            continue;
        auto& entries = device.encoderMap[static_cast<size_t>(l)];
        const int encoderCount = std::min(clampedSize(layer.encoders->size()), clampedSize(entries.size()));
        for (int e = 0; e < encoderCount; ++e) {
            const auto& directions = (*layer.encoders)[static_cast<size_t>(e)];
            auto& entry = entries[static_cast<size_t>(e)];
            if (entry.size() < 2)
                continue;
            for (size_t d = 0; d < std::min<size_t>(2, directions.size()); ++d) {
                const std::string_view expression = trimWhitespace(directions[d]);
                if (expression.empty())
                    continue;
                const auto code = stageableCode(expression, legacy);
                if (!code) {
                    ++summary.skippedSlots;
                    continue;
                }
                entry[d] = *code;
            }
        }
    }

    if (preset.tapDances) {
        const int tapDanceCount = std::min(device.tapDanceCount, clampedSize(device.tapDances.size()));
        for (const PresetTapDance& td : *preset.tapDances) {
            if (td.index < 0 || td.index >= tapDanceCount)
                continue;
            TapDanceData& target = device.tapDances[static_cast<size_t>(td.index)];
            const std::string* slots[] = {&td.onTap, &td.onHold, &td.onDoubleTap, &td.onTapHold};
            for (int s = 0; s < 4; ++s)
                *target.slot(s) = stageableCode(trimWhitespace(*slots[s]), legacy).value_or(0);
            const int term = std::clamp(td.tappingTerm, 0, 0xFFFF);
            target.tappingTerm = term == 0 ? DefaultTappingTerm : static_cast<Keycode>(term);
        }
    }

    device.presetOverlay = buildLabelOverlay(preset, legacy);
    device.dirty = true;
    return summary;
}

std::optional<std::string>
slotCaption(const DeviceModel& device, CaptionSlot kind, const std::string& positionKey, int layer, Keycode current)
{
    if (!device.presetOverlay)
        return std::nullopt;
    const PresetLabelOverlay& overlay = *device.presetOverlay;
    const auto& labels = kind == CaptionSlot::key       ? overlay.keyLabels
                         : kind == CaptionSlot::encoder ? overlay.encoderLabels
                                                        : overlay.tapDanceLabels;
    if (const auto it = labels.find(positionKey);
        it != labels.end() && it->second.code == current && !it->second.label.empty())
        return it->second.label;
    if (const auto perLayer = overlay.layerCodeFallback.find(layer); perLayer != overlay.layerCodeFallback.end()) {
        if (const auto it = perLayer->second.find(current); it != perLayer->second.end() && !it->second.empty())
            return it->second;
    }
    return std::nullopt;
}

KeyAction
labelledKeyAction(const DeviceModel& device, int layer, int row, int col, const T3Map& t3Map, const FocusMap& focusMap)
{
    const Keycode code = device.keycodeAt(layer, row, col);
    const KeyAction action =
        describeKeycode(code, device.legacyKeycodes(), isWindowsStyleLayer(device, layer), t3Map, focusMap);
    return withCaption(action, slotCaption(device, CaptionSlot::key, keyLabelKey(layer, row, col), layer, code));
}

KeyAction labelledEncoderAction(
    const DeviceModel& device, int layer, int encoder, bool clockwise, const T3Map& t3Map, const FocusMap& focusMap)
{
    const Keycode code = device.encoderKeycodeAt(layer, encoder, clockwise);
    const KeyAction action =
        describeKeycode(code, device.legacyKeycodes(), isWindowsStyleLayer(device, layer), t3Map, focusMap);
    return withCaption(
        action, slotCaption(device, CaptionSlot::encoder, encoderLabelKey(layer, encoder, clockwise), layer, code));
}

KeyAction labelledTapDanceAction(
    const DeviceModel& device, int index, int slot, int layer, const T3Map& t3Map, const FocusMap& focusMap)
{
    Keycode code = 0;
    if (index >= 0 && static_cast<size_t>(index) < device.tapDances.size()) {
        if (const Keycode* value = device.tapDances[static_cast<size_t>(index)].slot(slot))
            code = *value;
    }
    const KeyAction action =
        describeKeycode(code, device.legacyKeycodes(), isWindowsStyleLayer(device, layer), t3Map, focusMap);
    return withCaption(action, slotCaption(device, CaptionSlot::tapDance, tapDanceLabelKey(index, slot), layer, code));
}

std::optional<PresetLabelOverlay>
overlayForActivePreset(const DeviceModel& device,
                       const std::map<std::string, std::string>& activePresetIDByDevice,
                       const std::vector<DevicePreset>& presets)
{
    const auto chosen = activePresetIDByDevice.find(device.id);
    if (chosen == activePresetIDByDevice.end())
        return std::nullopt;
    for (const DevicePreset& preset : presets) {
        if (preset.id == chosen->second)
            return buildLabelOverlay(preset, device.legacyKeycodes());
    }
    return std::nullopt;
}

} // namespace keyglass
