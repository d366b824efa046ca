#pragma once
// VIA keyboard definitions the user adds: a plain VIA pad carries no definition of its own, so one
// stored under its vendor and product id gives it its real layout, matrix and layout options instead
// of the probed grid. Stored as $XDG_DATA_HOME/Keyglass/Definitions/<VID>_<PID>.json.

#include "model/Expected.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

/// Real definitions are well under 64 KiB; a file beyond this is refused before parsing.
constexpr std::size_t MaxViaDefinitionFileBytes = 1024 * 1024;

struct ViaDefinitionSummary
{
    std::string name;
    int vid = 0;
    int pid = 0;
    int rows = 0;
    int cols = 0;
    int keyCount = 0;    // every key of every layout option
    int optionCount = 0; // entries of "layouts" -> "labels"

    /// "%04X:%04X".
    std::string deviceID() const;
    bool operator==(const ViaDefinitionSummary&) const = default;
};

/// Checks a VIA v3 definition: "name", "vendorId" and "productId" (hex text such as "0x6F75"),
/// "matrix" {"rows", "cols"} within one wire byte, "layouts" -> "keymap" whose keys sit inside the
/// matrix, and, when present, "layouts" -> "labels" and "menus" as arrays. Every problem is listed.
Expected<ViaDefinitionSummary> validateViaDefinition(const nlohmann::json& definition);
/// Parses (capped in size and depth) and validates definition text.
Expected<nlohmann::json> parseViaDefinition(std::string_view text);

std::filesystem::path viaDefinitionsDir();
/// "<VID>_<PID>.json", four upper-case hex digits each.
std::filesystem::path viaDefinitionPath(int vid, int pid);

/// Validates the file and stores it atomically under its vendor and product id, replacing an earlier one.
Expected<ViaDefinitionSummary> addViaDefinitionFile(const std::filesystem::path& file);
Expected<ViaDefinitionSummary> addViaDefinitionText(std::string_view text);
/// The stored definitions that still validate, by device identifier.
std::vector<ViaDefinitionSummary> listViaDefinitions();
/// False when none was stored for the pad.
Expected<bool> removeViaDefinition(int vid, int pid);
/// The stored definition of a pad, when there is one and it still validates.
std::optional<nlohmann::json> storedViaDefinition(int vid, int pid);

/// "1A86:FE16", "1a86_fe16" or "0x1A86:0xFE16" as vendor and product id.
std::optional<std::pair<int, int>> parseDeviceID(std::string_view text);

} // namespace keyglass
