#pragma once
// The backup document: everything needed to put a pad's configuration back (keymap of every layer,
// knob bindings, tap dances, lighting) plus enough identity to recognise the pad. Written by the manual
// "Back Up" action and before a preset is staged; read back by restore.

#include "model/Expected.h"
#include "model/DeviceModel.h"

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

struct DeviceBackupFile
{
    static constexpr int CurrentFormatVersion = 2;

    int formatVersion = CurrentFormatVersion;
    std::string device; // display name
    std::string vid;    // "0x%04X"
    std::string pid;
    std::string proto; // "VIA v12" / "Vial v6"
    int rows = 0;
    int cols = 0;
    int layers = 0;
    Keymap keymap;         // [layer][row][col]
    EncoderMap encoders;   // [layer][encoder][ccw, cw]
    std::optional<std::vector<TapDanceData>> tapDances; // absent when the pad has none
    std::optional<RGBState> rgb;                       // absent when the lighting kind is "none"
    std::string savedAt;                               // "2026-12-07T10:15:00Z"

    bool operator==(const DeviceBackupFile&) const = default;
};

/// The document for a device as the store holds it, staged edits included; `savedAt` is now.
DeviceBackupFile backupFromDevice(const DeviceModel& device);

/// Pretty-printed JSON with keys sorted by name; optional members are left out when absent.
std::string encodeBackup(const DeviceBackupFile& backup);

/// Strict reading: every member of the written form must be there with the right JSON type and
/// keycodes must lie in 0-65535, else an error describing the first problem. Never throws.
Expected<DeviceBackupFile> decodeBackup(std::string_view text);
/// The same for an already parsed document.
Expected<DeviceBackupFile> backupFromJson(const nlohmann::json& doc);

/// "<display name lower-cased, spaces as hyphens>-backup-yyyyMMdd-HHmm.json" in local time. Path
/// separators in the name become hyphens too, so the proposal is always a single file name.
std::string proposedBackupFileName(const DeviceModel& device);

} // namespace keyglass
