#pragma once
// Restoring a layout file into a device model as staged edits: Keyglass's own backups, VIA keymap
// snapshots, VIA "Save + Load" exports, QMK keymap.json files and Vial .vil files. Nothing reaches the
// pad until the user applies.

#include "model/DeviceModel.h"
#include "model/Expected.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace keyglass {

inline constexpr std::size_t MaxLayoutFileBytes = 16u << 20;

struct ImportResult
{
    enum class Kind
    {
        backup,
        viaSnapshot,
        viaExport,
        qmkKeymap,
        vial,
    };
    Kind kind = Kind::backup;
    /// Slots the file would have changed but that were kept: keycode text the expression parser does
    /// not understand, numbers outside 0-65535, codes the safety rules block, hardware-reserved and
    /// locked cells. Vial's -1 ("no key here") asks for nothing and is not counted.
    int leftUnchanged = 0;
    /// The success toast (not an error).
    std::string toast;
};

/// Reads the file (at most 16 MiB) and stages its keycodes into `device` for the positions that exist
/// in both; everything else in the model keeps its value, and the model becomes dirty. A backup of
/// Keyglass's own also stages its tap dances and, when the pad has the same lighting kind, its lighting
/// values into `device.rgb` (written by the store's lighting path, not by Apply).
/// A VIA export must name this pad's vendor and product id, and a VIA export's or QMK keymap.json's
/// flat layers must hold exactly rows × cols entries: their order is the pad's matrix, row by row.
/// On failure the device is untouched and the error message is the toast to show:
/// "Failed to load file: <reason>" or "Unsupported layout file format".
Expected<ImportResult> loadLayoutFile(const std::filesystem::path& file, DeviceModel& device);

/// The same for a file's contents already in memory; `fileName` is only used in the toast.
Expected<ImportResult> loadLayoutText(std::string_view text, std::string_view fileName, DeviceModel& device);

/// Loads the device's newest automatic backup; fails with "No auto-backup found yet for <name>".
Expected<ImportResult> restoreLatestAutomaticBackup(DeviceModel& device);

} // namespace keyglass
