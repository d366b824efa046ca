#include "store/PresetWorkflow.h"

#include "model/Text.h"
#include "platform/SettingsStore.h"
#include "presets/PresetLibrary.h"
#include "presets/PresetSafety.h"

namespace keyglass {

PresetOutcome saveLayoutAsPreset(const DeviceModel& model,
                                 const std::string& name,
                                 const std::string& appName,
                                 const std::string& os,
                                 const std::string& category)
{
    DevicePreset preset = presetFromDevice(model, name, appName, os, category);
    if (auto saved = savePreset(preset); !saved)
        return {"Failed to save preset: " + saved.error().message, true, std::nullopt};
    std::string toast = "Saved custom preset \"" + preset.name + "\"";
    return {std::move(toast), false, std::move(preset)};
}

PresetOutcome saveEditsIntoPreset(const DeviceModel& model, const DevicePreset* active)
{
    if (!active || active->builtIn || active->community.value_or(false))
        return {"No custom preset is active on " + model.displayName() + " — use Save Current in the presets library",
                true,
                std::nullopt};
    DevicePreset updated = updatePresetFromDevice(*active, model);
    if (auto saved = savePreset(updated); !saved)
        return {"Failed to save preset: " + saved.error().message, true, std::nullopt};
    std::string toast = "Saved custom preset \"" + updated.name + "\"";
    return {std::move(toast), false, std::move(updated)};
}

PresetOutcome
cloneIntoLibrary(const DevicePreset& source, const std::string& name, const std::string& appName, const std::string& os)
{
    auto clone = clonePreset(source, name, appName, os);
    if (!clone)
        return {"Failed to clone preset: " + clone.error().message, true, std::nullopt};
    std::string toast = "Cloned \"" + clone->name + "\" — edit keys, then save or Apply";
    return {std::move(toast), false, std::move(*clone)};
}

PresetOutcome deleteFromLibrary(const DevicePreset& preset)
{
    if (!deleteCustomPreset(preset))
        return {"Could not delete preset", true, std::nullopt};
    return {"Deleted custom preset \"" + preset.name + "\"", false, std::nullopt};
}

PresetOutcome overwriteCustomPreset(const DevicePreset& existing,
                                    const DeviceModel* layout,
                                    const std::string& name,
                                    const std::string& appName,
                                    const std::string& os,
                                    const std::string& category)
{
    if (existing.builtIn || existing.community.value_or(false))
        return {"Failed to save preset: \"" + existing.name + "\" is not a custom preset", true, std::nullopt};
    DevicePreset updated = existing;
    if (layout) {
        updated = presetFromDevice(*layout, name, appName, os, category.empty() ? existing.category : category);
        updated.id = existing.id;
    } else {
        // Empty fields keep the old values; a new OS becomes every layer's.
        if (const std::string trimmedName = trimmed(name); !trimmedName.empty())
            updated.name = trimmedName;
        if (const std::string app = trimmed(appName); !app.empty() && app != existing.appName) {
            updated.appName = app;
            updated.appId = slug(app);
        }
        const std::string lowerOs = asciiLower(trimWhitespace(os));
        if ((lowerOs == "macos" || lowerOs == "windows") && lowerOs != existing.os) {
            updated.os = lowerOs;
            for (auto& layer : updated.layers)
                layer.os = lowerOs;
        }
    }
    if (auto saved = savePreset(updated); !saved)
        return {"Failed to save preset: " + saved.error().message, true, std::nullopt};
    std::string toast = "Saved custom preset \"" + updated.name + "\"";
    return {std::move(toast), false, std::move(updated)};
}

PresetOutcome shareWithoutCommunityClient(const DevicePreset& preset, bool legacyKeycodes)
{
    if (const auto problems = validatePreset(preset, legacyKeycodes); !problems.empty())
        return {"Blocked by safety check: " + problems.front(), true, std::nullopt};
    return {ShareNotConnected, true, std::nullopt};
}

PresetOutcome loadCommunityWithoutClient()
{
    return {CommunityLoadNotConnected, true, std::nullopt};
}

std::map<std::string, std::string> loadActivePresetChoices(const SettingsStore& settings, const std::string& key)
{
    std::map<std::string, std::string> choices;
    if (auto stored = settings.value(key); stored && stored->is_object()) {
        for (const auto& [deviceID, presetID] : stored->items()) {
            if (presetID.is_string())
                choices[deviceID] = presetID.get<std::string>();
        }
    }
    return choices;
}

bool saveActivePresetChoices(SettingsStore& settings,
                             const std::string& key,
                             const std::map<std::string, std::string>& choices)
{
    nlohmann::json value = nlohmann::json::object();
    for (const auto& [deviceID, presetID] : choices)
        value[deviceID] = presetID;
    return settings.setValue(key, value);
}

} // namespace keyglass
