#pragma once
// Applying a preset to a device: the safety check, the automatic backup that makes it undoable, and
// the staging. The store adds what is its own: persisting the choice, Edit Mode, closing the browser
// and the toast.

#include "model/DeviceModel.h"
#include "model/Expected.h"
#include "presets/DevicePreset.h"

#include <filesystem>
#include <string>

namespace keyglass {

/// Refuses an unsafe preset ("Blocked unsafe preset: <first problem>") and a failed backup
/// ("Auto-backup failed — preset not applied: <reason>"), leaving the device untouched in both cases;
/// otherwise writes an automatic backup tagged with the preset's id, stages the preset and returns the
/// backup file. The error message is the toast to show.
Expected<std::filesystem::path> applyPresetToDevice(const DevicePreset& preset, DeviceModel& device);

/// "Auto-backed up & loaded <name> — click Apply to flash", with " (Edit Mode on)" when Edit Mode was
/// opened.
std::string presetLoadedToast(const DevicePreset& preset, bool editModeOpened);

} // namespace keyglass
