#pragma once
// What a keycap, knob face or tap-dance row shows for a keycode, and the rule that picks Windows or
// macOS modifier names for a layer.

#include "model/DeviceModel.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace keyglass {

struct KeyAction
{
    Keycode raw = 0;
    std::string title;    // the large caption
    std::string shortcut; // the key combination, expression or hint under it
    bool isTransparent = false;
    bool isEmpty = false;

    bool operator==(const KeyAction&) const = default;
};

/// Look-up key of the T3 keybindings ("mod+shift+o") -> command title.
using T3Map = std::map<std::string, std::string, std::less<>>;

/// An App Focus target: the application brought to the front by a trigger keycode.
struct FocusEntry
{
    std::string name;
    std::string path;

    bool operator==(const FocusEntry&) const = default;
};
using FocusMap = std::map<Keycode, FocusEntry>;

/// The QMK name used when formatting a basic usage ("KC_A", "KC_ENT", "KC_F13"); none for usages
/// without a label and for keypad and symbol keys that have no short name.
std::optional<std::string> basicKeyName(std::uint8_t code);

/// The caption of `code`. `windowsStyle` comes from isWindowsStyleLayer for the layer being shown.
/// Never returns an empty title. Reads only prebuilt tables; safe to call from any thread.
KeyAction
describeKeycode(Keycode code, bool legacyKeycodes, bool windowsStyle, const T3Map& t3Map, const FocusMap& focusMap);

/// True when `layer` of `device` should show Windows modifier names: the applied preset says so for
/// that layer, or the layer holds more than three Control-only shortcuts and fewer GUI-only ones.
bool isWindowsStyleLayer(const DeviceModel& device, int layer);

} // namespace keyglass
