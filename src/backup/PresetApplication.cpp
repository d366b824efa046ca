#include "backup/PresetApplication.h"

#include "backup/AutomaticBackups.h"
#include "keycodes/KeycodeSafety.h"
#include "presets/PresetSafety.h"
#include "presets/PresetStaging.h"

namespace keyglass {

Expected<std::filesystem::path> applyPresetToDevice(const DevicePreset& preset, DeviceModel& device)
{
    const auto problems = validatePreset(preset, device.legacyKeycodes());
    if (!problems.empty())
        return unexpected(Error("Blocked unsafe preset: " + problems.front()));
    auto backup = writeAutomaticBackup(device, preset.id);
    if (!backup)
        return unexpected(Error("Auto-backup failed — preset not applied: " + backup.error().message));
    stagePreset(preset, device);
    return backup;
}

std::string presetLoadedToast(const DevicePreset& preset, bool editModeOpened)
{
    return "Auto-backed up & loaded " + preset.name + " — click Apply to flash" +
           (editModeOpened ? " (Edit Mode on)" : "");
}

} // namespace keyglass
