#pragma once
// The presets available on this computer (built-in data shipped beside the program plus the user's own
// JSON files), the pad family a device belongs to, and the user's custom presets: save, clone, delete
// and "save current layout".

#include "model/DeviceModel.h"
#include "model/Expected.h"
#include "presets/DevicePreset.h"
#include "presets/Slug.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

inline constexpr std::string_view ProfileQuadgrid = "quadgrid";
inline constexpr std::string_view ProfileSolodial = "solodial";
inline constexpr std::string_view ProfileGeneric = "generic";

/// Folders searched for built-in presets: "<resource dir>/Presets" for each of paths::resourceDirs().
std::vector<std::filesystem::path> builtInPresetDirs();

/// Built-in presets, then custom ones (paths::customPresetsDir()), each folder walked in file-name
/// order, "*.json" in any letter case. Files that cannot be read or decoded are skipped silently.
/// One preset per id: among built-in folders the first one found wins (so $KEYGLASS_RESOURCES can
/// override the installed set); a custom preset replaces a built-in one with the same id, in its place
/// (a user who copies a built-in file into the custom folder to edit it gets the edited one).
/// `builtIn` follows the folder a preset came from, whatever the file says, so that a custom file can
/// always be deleted and a shipped one never offers to be.
std::vector<DevicePreset> loadPresets();

/// "solodial", "quadgrid" or none: by device id, then display name, then shape (non-decal keys and
/// encoders).
std::optional<std::string> deviceProfile(const DeviceModel& device);
std::string deviceProfileOrGeneric(const DeviceModel& device);

/// The preset's profile (case-insensitive) is the device's, or "generic".
bool presetFitsDevice(const DevicePreset& preset, const DeviceModel& device);

/// paths::customPresetsDir() / (slug(id) + ".json").
std::filesystem::path customPresetFile(const DevicePreset& preset);

/// Writes the preset to its custom file atomically, creating the folder when needed.
Expected<std::filesystem::path> savePreset(const DevicePreset& preset);

/// A saved copy of `source` in the custom library: new id "custom-<profile>-<app slug>-<os>-<8 hex>",
/// the trimmed name (or "<source name> (Custom)"), the trimmed application name (or the source's), OS
/// "macos"/"windows" when `os` names one (any case), else the source's. Layers, tap dances and
/// captions are copied. The copy is neither built in nor a community preset.
Expected<DevicePreset>
clonePreset(const DevicePreset& source, std::string_view name, std::string_view appName, std::string_view os);

/// Removes every file of the custom folder that holds this preset's id. Built-in presets are refused.
Expected<void> deleteCustomPreset(const DevicePreset& preset);

/// The device's current (staged) layout as a new custom preset, not yet saved. Every layer, key, knob
/// direction and tap dance is carried over with its caption (as the device currently shows it) and the
/// layer names, so applying the result to a pad of the same kind reproduces layout and captions.
/// Hardware-reserved and locked cells, and codes the safety rules would refuse, are written as empty
/// expressions ("leave as is"), so the preset always passes validation. An `os` other than
/// "macos"/"windows" is taken from the applied preset, else guessed from layer 0's shortcuts; each
/// layer carries its own os the same way.
DevicePreset presetFromDevice(const DeviceModel& device,
                              std::string_view name,
                              std::string_view appName,
                              std::string_view os,
                              std::string_view category);

/// `existing` with its layers, tap dances and captions replaced by the device's current layout; id,
/// name, application, category and os stay. Used to save edits back into a custom preset.
DevicePreset updatePresetFromDevice(const DevicePreset& existing, const DeviceModel& device);

} // namespace keyglass
