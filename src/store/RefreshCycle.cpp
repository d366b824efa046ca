#include "store/RefreshCycle.h"

#include "device/Discovery.h"
#include "presets/PresetStaging.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <set>

namespace keyglass {

namespace {

std::string localShortTime()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%H:%M", &local);
    return buffer;
}

std::string quotedList(const std::vector<std::string>& items)
{
    std::string text = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += "\"" + items[i] + "\"";
    }
    return text + "]";
}

template <typename T> std::set<T> intersection(const std::set<T>& a, const std::set<T>& b)
{
    std::set<T> both;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::inserter(both, both.end()));
    return both;
}

// A fresh load of a pad with staged edits keeps the edits. Values the earlier load could not read are
// placeholders, not edits: they take what this load read, and only what neither load read stays unread.
void keepStagedEdits(DeviceModel& fresh, const DeviceModel& before)
{
    Keymap keymap = before.keymap;
    for (const auto& cell : before.unreadCells) {
        if (fresh.unreadCells.contains(cell))
            continue;
        int layer = -1, row = -1, col = -1;
        if (std::sscanf(cell.c_str(), "%d,%d,%d", &layer, &row, &col) != 3 || layer < 0 || row < 0 || col < 0)
            continue;
        const auto l = static_cast<std::size_t>(layer), r = static_cast<std::size_t>(row),
                   c = static_cast<std::size_t>(col);
        if (l < keymap.size() && r < keymap[l].size() && c < keymap[l][r].size())
            keymap[l][r][c] = fresh.keycodeAt(layer, row, col);
    }
    EncoderMap encoderMap = before.encoderMap;
    for (const auto& slot : before.unreadEncoders) {
        if (fresh.unreadEncoders.contains(slot))
            continue;
        int layer = -1, encoder = -1;
        if (std::sscanf(slot.c_str(), "%d,%d", &layer, &encoder) != 2 || layer < 0)
            continue;
        for (std::size_t j = 0; j < fresh.encoders.size(); ++j) {
            const auto l = static_cast<std::size_t>(layer);
            if (fresh.encoders[j].id == encoder && l < encoderMap.size() && j < encoderMap[l].size() &&
                l < fresh.encoderMap.size() && j < fresh.encoderMap[l].size())
                encoderMap[l][j] = fresh.encoderMap[l][j];
        }
    }
    std::vector<TapDanceData> tapDances = before.tapDances;
    for (const int index : before.unreadTapDances) {
        const auto i = static_cast<std::size_t>(index);
        if (!fresh.unreadTapDances.contains(index) && i < tapDances.size() && i < fresh.tapDances.size())
            tapDances[i] = fresh.tapDances[i];
    }
    fresh.unreadCells = intersection(before.unreadCells, fresh.unreadCells);
    fresh.unreadEncoders = intersection(before.unreadEncoders, fresh.unreadEncoders);
    fresh.unreadTapDances = intersection(before.unreadTapDances, fresh.unreadTapDances);
    fresh.keymap = std::move(keymap);
    fresh.encoderMap = std::move(encoderMap);
    fresh.tapDances = std::move(tapDances);
    fresh.protectedLayerCells = before.protectedLayerCells;
    fresh.dirty = true;
}

} // namespace

RefreshResult loadAndMergeDevices(HidBackend& hid,
                                  const std::map<std::string, DeviceModel>& previous,
                                  const std::vector<DevicePreset>& presets,
                                  const std::map<std::string, std::string>& activePresetIDByDevice)
{
    RefreshResult result;
    for (const auto& endpoint : enumerateEndpoints(hid)) {
        const std::string id = deviceIdentifier(endpoint.vid, endpoint.pid);
        result.endpointIDs.insert(id);
        const auto known = previous.find(id);
        auto loaded = loadDevice(hid, endpoint);
        if (!loaded) {
            if (endpointRefusesAccess(hid, endpoint))
                result.inaccessible.push_back({id, endpoint.product.empty() ? id : endpoint.product});
            if (known != previous.end()) {
                DeviceModel carried = known->second;
                carried.connected = true;
                result.devices.push_back(std::move(carried));
            }
            continue;
        }
        DeviceModel model = std::move(*loaded);
        if (known != previous.end()) {
            const DeviceModel& before = known->second;
            model.presetOverlay = before.presetOverlay;
            model.activeLayer = std::min(before.activeLayer, std::max(0, model.layerCount - 1));
            if (before.dirty) {
                keepStagedEdits(model, before);
            }
        } else {
            model.presetOverlay = overlayForActivePreset(model, activePresetIDByDevice, presets);
        }
        result.devices.push_back(std::move(model));
    }
    result.refreshText = localShortTime();
    return result;
}

std::string refreshLogLine(const std::vector<DeviceModel>& devices)
{
    std::vector<std::string> entries;
    for (const auto& model : devices)
        entries.push_back(model.displayName() + " [" + model.proto.label() + "]");
    return "Refreshed " + std::to_string(devices.size()) + " device(s): " + quotedList(entries);
}

} // namespace keyglass
