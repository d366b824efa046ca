#include "presets/PresetSafety.h"

#include "keycodes/KeycodeSafety.h"
#include "presets/DevicePreset.h"

#include <array>

namespace keyglass {

namespace {

void checkInto(std::vector<std::string>& problems,
               const std::string& where,
               std::string_view expression,
               bool legacyKeycodes)
{
    if (auto message = validateExpression(expression, legacyKeycodes))
        problems.push_back(where + *message);
}

} // namespace

std::vector<std::string> validatePreset(const DevicePreset& preset, bool legacyKeycodes)
{
    std::vector<std::string> problems;
    for (const PresetLayer& layer : preset.layers) {
        const std::string layerPrefix = "L" + std::to_string(layer.index);
        for (std::size_t r = 0; r < layer.keys.size(); ++r) {
            for (std::size_t c = 0; c < layer.keys[r].size(); ++c) {
                const std::string where = layerPrefix + " (" + std::to_string(r) + "," + std::to_string(c) + "): ";
                checkInto(problems, where, layer.keys[r][c], legacyKeycodes);
            }
        }
        if (!layer.encoders)
            continue;
        for (std::size_t e = 0; e < layer.encoders->size(); ++e) {
            const auto& directions = (*layer.encoders)[e];
            // Only counter-clockwise and clockwise reach the pad; anything after them is never staged.
            for (std::size_t d = 0; d < directions.size() && d < 2; ++d)
                checkInto(problems, layerPrefix + " enc " + std::to_string(e) + ": ", directions[d], legacyKeycodes);
        }
    }
    if (preset.tapDances) {
        for (const PresetTapDance& dance : *preset.tapDances) {
            const std::array<const std::string*, 4> slots = {
                &dance.onTap, &dance.onHold, &dance.onDoubleTap, &dance.onTapHold};
            for (std::size_t s = 0; s < slots.size(); ++s) {
                const std::string where = "TD(" + std::to_string(dance.index) + ") slot " + std::to_string(s) + ": ";
                checkInto(problems, where, *slots[s], legacyKeycodes);
            }
        }
    }
    return problems;
}

} // namespace keyglass
