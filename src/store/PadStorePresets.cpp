// The store's preset operations: choosing, saving, cloning, deleting and sharing presets. The rules
// live in PresetWorkflow; these members sequence them with the store's state, toasts and notify().

#include "store/PadStore.h"

#include "backup/AutomaticBackups.h"
#include "backup/DeviceBackupFile.h"
#include "backup/LayoutImport.h"
#include "backup/PresetApplication.h"
#include "device/Discovery.h"
#include "device/HardwareWriter.h"
#include "device/Lighting.h"
#include "input/FocusMap.h"
#include "input/HIDInputWatcher.h"
#include "input/LiveMatch.h"
#include "input/T3Map.h"
#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/KeycodeText.h"
#include "platform/Desktop.h"
#include "platform/DeviceAccess.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "presets/PresetLibrary.h"
#include "presets/PresetSafety.h"
#include "presets/PresetStaging.h"
#include "store/BackupWorkflow.h"
#include "store/LightingWrites.h"
#include "store/PreferredSize.h"
#include "store/PresetWorkflow.h"
#include "store/RefreshCycle.h"
#include "store/Staging.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace keyglass {

void PadStore::persistActivePresets()
{
    // The choice still holds for this session; the user learns that it will not survive a restart.
    if (!saveActivePresetChoices(m_services.settings, ActivePresetSettingsKey, m_activePresetIDByDevice))
        showToast("Could not save settings (details in keyglass.log)", true);
}

const DevicePreset* PadStore::activePreset(const std::string& deviceID) const
{
    const auto chosen = m_activePresetIDByDevice.find(deviceID);
    if (chosen == m_activePresetIDByDevice.end())
        return nullptr;
    const auto it = std::find_if(m_availablePresets.begin(), m_availablePresets.end(), [&](const DevicePreset& p) {
        return p.id == chosen->second;
    });
    return it == m_availablePresets.end() ? nullptr : &*it;
}

void PadStore::applyPreset(const DevicePreset& preset, const std::string& deviceID, bool openEditMode)
{
    DeviceModel* model = mutableDevice(deviceID);
    if (!model)
        return;
    if (auto applied = applyPresetToDevice(preset, *model); !applied) {
        showToast(applied.error().message, true);
        return;
    }
    m_activePresetIDByDevice[deviceID] = preset.id;
    if (openEditMode)
        m_editMode = true;
    m_showingPresets = false;
    showToast(presetLoadedToast(preset, openEditMode), false);
    persistActivePresets();
}

void PadStore::saveCurrentAsPreset(const std::string& deviceID,
                                   const std::string& name,
                                   const std::string& appName,
                                   const std::string& os,
                                   const std::string& category)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    const PresetOutcome outcome = saveLayoutAsPreset(*model, name, appName, os, category);
    if (outcome.preset) {
        m_activePresetIDByDevice[deviceID] = outcome.preset->id;
        m_availablePresets = loadPresets();
    }
    showToast(outcome.toast, outcome.isError);
    if (outcome.preset)
        persistActivePresets();
}

void PadStore::saveEditsToActivePreset(const std::string& deviceID)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    const PresetOutcome outcome = saveEditsIntoPreset(*model, activePreset(deviceID));
    if (outcome.preset)
        m_availablePresets = loadPresets();
    showToast(outcome.toast, outcome.isError);
}

void PadStore::clonePreset(const DevicePreset& source,
                           const std::string& deviceID,
                           const std::string& name,
                           const std::string& appName,
                           const std::string& os)
{
    const PresetOutcome outcome = cloneIntoLibrary(source, name, appName, os);
    if (outcome.preset)
        m_availablePresets = loadPresets();
    showToast(outcome.toast, outcome.isError);
    if (outcome.preset)
        applyPreset(*outcome.preset, deviceID, true);
}

void PadStore::deletePreset(const DevicePreset& preset)
{
    const PresetOutcome outcome = deleteFromLibrary(preset);
    if (!outcome.isError) {
        std::erase_if(m_activePresetIDByDevice, [&](const auto& entry) { return entry.second == preset.id; });
        m_availablePresets = loadPresets();
    }
    showToast(outcome.toast, outcome.isError);
    if (!outcome.isError)
        persistActivePresets();
}

void PadStore::overwriteWithCurrentLayout(const std::string& deviceID,
                                          const DevicePreset& existing,
                                          const std::string& name,
                                          const std::string& appName,
                                          const std::string& os,
                                          const std::string& category)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    const PresetOutcome outcome = overwriteCustomPreset(existing, model, name, appName, os, category);
    if (outcome.preset) {
        m_activePresetIDByDevice[deviceID] = outcome.preset->id;
        persistActivePresets();
        m_availablePresets = loadPresets();
    }
    showToast(outcome.toast, outcome.isError);
}

void PadStore::overwriteAndEditPreset(const DevicePreset& existing,
                                      const std::string& deviceID,
                                      const std::string& name,
                                      const std::string& appName,
                                      const std::string& os)
{
    const PresetOutcome outcome = overwriteCustomPreset(existing, nullptr, name, appName, os, {});
    if (outcome.preset)
        m_availablePresets = loadPresets();
    showToast(outcome.toast, outcome.isError);
    if (outcome.preset)
        applyPreset(*outcome.preset, deviceID, true);
}

void PadStore::sharePreset(const DevicePreset& preset, const std::string& deviceID)
{
    const DeviceModel* model = device(deviceID);
    if (!m_community) {
        const PresetOutcome outcome = shareWithoutCommunityClient(preset, model && model->legacyKeycodes());
        showToast(outcome.toast, outcome.isError);
        return;
    }
    // Local and final: a preset with a blocked keycode never leaves the machine.
    if (const auto problems = validatePreset(preset, model && model->legacyKeycodes()); !problems.empty()) {
        showToast("Blocked by safety check: " + problems.front(), true);
        return;
    }
    const std::string fullName = m_services.desktop.userFullName();
    std::string publishing = "Validating & publishing \"";
    publishing += preset.name;
    publishing += "\" to Loomshare\u2026";
    showToast(std::move(publishing), false);
    m_community->publish(outgoingCommunityPreset(preset, fullName), m_alive, [this](Expected<std::string> shared) {
        if (!shared) {
            showToast("Share blocked: " + shared.error().message, true);
            return;
        }
        m_services.desktop.setClipboardText(*shared);
        loadCommunityPresets();
        showToast("Shared! Link copied: " + *shared, false);
    });
}

void PadStore::loadCommunityPresets()
{
    if (!m_community) {
        const PresetOutcome outcome = loadCommunityWithoutClient();
        m_isLoadingCommunityPresets = false;
        showToast(outcome.toast, outcome.isError);
        return;
    }
    // Loads may overlap; each applies its own result, and the list counts as loading until the last
    // one has come back.
    ++m_communityLoadsInFlight;
    m_isLoadingCommunityPresets = true;
    notify();
    m_community->loadPresets(m_alive, [this](Expected<std::vector<DevicePreset>> loaded) {
        m_communityLoadsInFlight = std::max(0, m_communityLoadsInFlight - 1);
        m_isLoadingCommunityPresets = m_communityLoadsInFlight > 0;
        if (!loaded) {
            showToast("Could not load community presets: " + loaded.error().message, true);
            return;
        }
        m_communityPresets = std::move(*loaded);
        notify();
    });
}

void PadStore::openCustomPresetsFolder()
{
    std::error_code ec;
    std::filesystem::create_directories(paths::customPresetsDir(), ec);
    m_services.desktop.openFolder(paths::customPresetsDir());
}

} // namespace keyglass
