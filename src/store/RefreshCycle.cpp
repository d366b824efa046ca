#include "store/RefreshCycle.h"

#include "device/Discovery.h"
#include "presets/PresetStaging.h"

#include <algorithm>
#include <chrono>
#include <ctime>

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
                model.keymap = before.keymap;
                model.encoderMap = before.encoderMap;
                model.tapDances = before.tapDances;
                model.protectedLayerCells = before.protectedLayerCells;
                model.dirty = true;
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
