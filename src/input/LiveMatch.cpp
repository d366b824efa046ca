#include "input/LiveMatch.h"

#include "input/HIDInputWatcher.h"
#include "keycodes/LegacyNumbering.h"

#include <algorithm>

namespace keyglass {

namespace {

constexpr Keycode TapDanceHighByte = 0x57;

// An old-numbering pad's bindings are compared as the same keys in the current numbering, like the
// live code itself; a binding without a counterpart is compared as it is.
bool bindingMatches(const DeviceModel& device, Keycode bound, Keycode code)
{
    if (!device.legacyKeycodes())
        return keycodesMatch(bound, code);
    return keycodesMatch(toCurrentNumbering(bound, true).value_or(bound),
                         toCurrentNumbering(code, true).value_or(code));
}

// The tap-dance id when `bound` is TD(n) for an existing entry whose slot carries `code`.
std::optional<std::string> tapDanceMatch(const DeviceModel& device, Keycode bound, Keycode code)
{
    if ((bound >> 8) != TapDanceHighByte)
        return std::nullopt;
    const int n = bound & 0xFF;
    if (n >= device.tapDanceCount || n >= static_cast<int>(device.tapDances.size()))
        return std::nullopt;
    for (int slot = 0; slot < 4; ++slot) {
        if (bindingMatches(device, *device.tapDances[static_cast<size_t>(n)].slot(slot), code))
            return "td-" + std::to_string(n) + "-" + std::to_string(slot);
    }
    return std::nullopt;
}

std::optional<std::string> matchOnLayer(const DeviceModel& device, int layer, Keycode code)
{
    for (const auto& key : device.keys) {
        if (key.decal)
            continue;
        const Keycode bound = device.keycodeAt(layer, key.row, key.col);
        if (bindingMatches(device, bound, code))
            return "k-" + std::to_string(key.row) + "-" + std::to_string(key.col);
        if (auto id = tapDanceMatch(device, bound, code))
            return id;
    }

    const auto* layerEncoders = layer >= 0 && layer < static_cast<int>(device.encoderMap.size())
                                    ? &device.encoderMap[static_cast<size_t>(layer)]
                                    : nullptr;
    for (size_t j = 0; j < device.encoders.size(); ++j) {
        const std::string prefix = "e-" + std::to_string(j);
        if (layerEncoders && j < layerEncoders->size()) {
            const auto& pair = (*layerEncoders)[j];
            if (pair.size() >= 2) {
                if (bindingMatches(device, pair[0], code))
                    return prefix + "-ccw";
                if (bindingMatches(device, pair[1], code))
                    return prefix + "-cw";
            }
        }
        const auto& encoder = device.encoders[j];
        if (encoder.hasClick()) {
            const Keycode bound = device.keycodeAt(layer, *encoder.clickRow, *encoder.clickCol);
            if (bindingMatches(device, bound, code))
                return prefix + "-click";
            if (auto id = tapDanceMatch(device, bound, code))
                return id;
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<int> layerSearchOrder(const DeviceModel& device)
{
    std::vector<int> order;
    const int count = std::max(device.layerCount, 0);
    const int active = device.activeLayer;
    if (active >= 0 && active < count)
        order.push_back(active);
    if (active >= 0) {
        const int paired = active ^ 1;
        if (paired < count && std::find(order.begin(), order.end(), paired) == order.end())
            order.push_back(paired);
    }
    for (int layer = 0; layer < count; ++layer) {
        if (std::find(order.begin(), order.end(), layer) == order.end())
            order.push_back(layer);
    }
    return order;
}

std::optional<LiveMatch> findLiveMatch(const DeviceModel& device, Keycode code)
{
    for (const int layer : layerSearchOrder(device)) {
        if (auto id = matchOnLayer(device, layer, code))
            return LiveMatch{layer, std::move(*id)};
    }
    return std::nullopt;
}

} // namespace keyglass
