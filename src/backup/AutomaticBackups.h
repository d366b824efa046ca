#pragma once
// Backups written to files: the manual "Back Up" file and the automatic backups taken before a preset
// replaces a layout. Automatic backups live in paths::autoBackupDir(), named
// "<device slug>-before-<reason slug>-yyyyMMdd-HHmmss.json", and the newest 25 per device are kept.

#include "model/DeviceModel.h"
#include "model/Expected.h"

#include <filesystem>
#include <string_view>
#include <vector>

namespace keyglass {

inline constexpr std::size_t AutomaticBackupsKept = 25;

/// Encodes the device's backup document and writes it atomically to `file`.
Expected<std::filesystem::path> writeBackupFile(const DeviceModel& device, const std::filesystem::path& file);

/// Writes one automatic backup of the device (staged edits included), prunes the device's automatic
/// backups to the newest 25 and logs "Auto-backed up <name> to <file>". Returns the file written.
/// Two backups within the same second get distinct names ("...-2.json"), so the older one survives.
Expected<std::filesystem::path> writeAutomaticBackup(const DeviceModel& device, std::string_view reason);

/// The device's automatic backups, newest first by their "savedAt" time (UTC), backups of the same
/// second in the order written. A file counts as the device's when it is a "*-before-*.json" file of
/// the folder whose content carries the device's vid, pid and matrix size, so a renamed pad's older
/// backups are listed (and pruned) and a different pad with the same name never has its files listed.
/// Unreadable files are not listed.
std::vector<std::filesystem::path> listAutomaticBackups(const DeviceModel& device);

} // namespace keyglass
