#pragma once
// Small presets for the community tests: a safe one and one carrying a bootloader key.

#include "presets/DevicePreset.h"

#include <string>

namespace keyglass::test {

inline DevicePreset sharePreset(std::string name = "Photo Tools", std::string firstKey = "LCTL(KC_Z)")
{
    DevicePreset p;
    p.id = "custom-photo-tools";
    p.name = std::move(name);
    p.appId = "photoshop";
    p.appName = "Photoshop";
    p.category = "Design";
    p.os = "macos";
    p.deviceProfile = "quadgrid";
    p.description = "Undo and brushes";
    PresetLayer layer;
    layer.index = 0;
    layer.name = "Base";
    layer.keys = {{firstKey, "KC_B", "", "KC_E"}, {"KC_1", "KC_2", "KC_3", "KC_4"}};
    layer.encoders = std::vector<std::vector<std::string>>{{"KC_VOLD", "KC_VOLU"}};
    p.layers.push_back(layer);
    return p;
}

inline DevicePreset blockedPreset()
{
    return sharePreset("Sneaky", "QK_BOOT");
}

} // namespace keyglass::test
