#pragma once
// The preset document: a device-independent pad layout for one application and operating system.
// Built-in presets, custom presets and community presets all use this one JSON form. Keycodes are
// always expression strings, so a preset stays readable and can be checked before it reaches a pad.

#include "model/Expected.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

struct PresetLayer
{
    int index = 0; // the device layer this entry fills
    std::string name;
    std::optional<std::string> os;              // "macos" / "windows": overrides the preset's os for labelling
    std::vector<std::vector<std::string>> keys; // [row][col] expressions
    std::optional<std::vector<std::vector<std::string>>> keyLabels; // same shape as keys; "" = no override
    std::optional<std::vector<std::vector<std::string>>> encoders;  // [encoder] = {ccw, cw}
    std::optional<std::vector<std::vector<std::string>>> encoderLabels;

    bool operator==(const PresetLayer&) const = default;
};

struct PresetTapDance
{
    int index = 0;
    std::string onTap;
    std::string onHold;
    std::string onDoubleTap;
    std::string onTapHold;
    int tappingTerm = 0; // milliseconds, 0-65535; 0 is staged as 200
    std::optional<std::vector<std::string>> labels;

    bool operator==(const PresetTapDance&) const = default;
};

struct DevicePreset
{
    int schemaVersion = 1;
    std::string id;
    std::string name;
    std::string appId;
    std::string appName;
    std::string category;
    std::string os;
    std::string deviceProfile;
    std::string description;
    bool builtIn = false;
    std::optional<bool> community;
    std::optional<std::string> author;
    std::optional<bool> verifiedSafe;
    std::optional<std::vector<std::string>> layerNames;
    std::vector<PresetLayer> layers;
    std::optional<std::vector<PresetTapDance>> tapDances;

    bool operator==(const DevicePreset&) const = default;
};

/// Largest preset document decodePreset reads.
constexpr std::size_t MaxPresetDocumentBytes = 4 * 1024 * 1024;
/// The custom preset files read into memory at most, all together; the files beyond are left out.
constexpr std::size_t MaxCustomPresetLibraryBytes = 8 * 1024 * 1024;

/// Reads a preset from parsed JSON. Unknown members are ignored; an optional member given as null
/// counts as absent. The error names the offending member, e.g. `missing member "builtIn"`,
/// `layers[1].keys: expected an array of arrays of strings`, `tapDances[0].tappingTerm: 70000 is
/// outside 0-65535`.
Expected<DevicePreset> presetFromJson(const nlohmann::json& value);

/// Parses and reads a preset document; "not valid JSON: <reason>" when the text does not parse, and
/// refused outright above MaxPresetDocumentBytes.
Expected<DevicePreset> decodePreset(std::string_view jsonText);

/// The JSON form; absent optional members are left out, never written as null.
nlohmann::json presetToJson(const DevicePreset& preset);

/// Pretty-printed (two spaces), keys sorted, ending with a line break.
std::string encodePreset(const DevicePreset& preset);

} // namespace keyglass
