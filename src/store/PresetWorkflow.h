#pragma once
// The preset library operations the HUD and the CLI offer, with the status line each one reports. They
// touch files only; the store records the results (active preset, preset list) and shows the toast.

#include "model/DeviceModel.h"
#include "presets/DevicePreset.h"

#include <map>
#include <optional>
#include <string>

namespace keyglass {

class SettingsStore;

struct PresetOutcome
{
    std::string toast;
    bool isError = false;
    /// The preset written, on success of a save or clone.
    std::optional<DevicePreset> preset;
};

/// Saves the device's current layout as a new custom preset.
PresetOutcome saveLayoutAsPreset(const DeviceModel& model,
                                 const std::string& name,
                                 const std::string& appName,
                                 const std::string& os,
                                 const std::string& category);
/// Writes the device's staged layout back into `active`, which must be a custom preset.
PresetOutcome saveEditsIntoPreset(const DeviceModel& model, const DevicePreset* active);
PresetOutcome cloneIntoLibrary(const DevicePreset& source,
                               const std::string& name,
                               const std::string& appName,
                               const std::string& os);
PresetOutcome deleteFromLibrary(const DevicePreset& preset);

/// Replaces the custom preset `existing` (same id and file) with the given name, application and OS:
/// with the device's current layout when `layout` is given, else with its own layers. Built-in and
/// community presets are refused.
PresetOutcome overwriteCustomPreset(const DevicePreset& existing,
                                    const DeviceModel* layout,
                                    const std::string& name,
                                    const std::string& appName,
                                    const std::string& os,
                                    const std::string& category);

/// What sharing and loading report while no community client is wired in (the client replaces them).
inline constexpr const char* ShareNotConnected = "Share blocked: Loomshare Community is not connected";
inline constexpr const char* CommunityLoadNotConnected =
    "Could not load community presets: Loomshare Community is not connected";
/// Sharing without a community client: the local safety check still runs first, so its message wins.
PresetOutcome shareWithoutCommunityClient(const DevicePreset& preset, bool legacyKeycodes);
PresetOutcome loadCommunityWithoutClient();

/// The preset chosen per device, as kept in the settings (entries whose value is not text are dropped).
std::map<std::string, std::string> loadActivePresetChoices(const SettingsStore& settings, const std::string& key);
bool saveActivePresetChoices(SettingsStore& settings,
                             const std::string& key,
                             const std::map<std::string, std::string>& choices);

} // namespace keyglass
