#pragma once
// Finding the skin of a device: the user's skins folder first (by device id, then by skin id), then
// the folders shipped with the program (by skin id only). Nothing is cached; every lookup reads
// skin.json again, so a skin dropped into the folder shows up on the next redraw.

#include "model/DeviceModel.h"
#include "skins/HardwareSkinManifest.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace keyglass {

class Desktop;

struct HardwareSkin
{
    HardwareSkinManifest manifest;
    std::filesystem::path folder; // images resolve against it
};

struct SkinRoots
{
    std::filesystem::path user;
    std::vector<std::filesystem::path> bundles; // in lookup order
};

/// The user root is paths::userSkinsDir(). The shipped roots are, in order, "Skins" in the
/// program's resource folder ($KEYGLASS_RESOURCES when set, else the installed share/keyglass, when
/// it exists) and the source tree's resources/Skins (a development build). Both are probed even when
/// they are the same folder.
SkinRoots defaultSkinRoots();

/// The device profile: "solodial", "quadgrid" or none.
std::optional<std::string> skinID(const DeviceModel& device);

/// Folder names tried in the user root: the device id with ":" made "_", then the skin id.
std::vector<std::string> userSkinCandidates(const DeviceModel& device, const std::string& skinID);

/// The skin for `device`, or none. Writes one log line per outcome and device for the life of the
/// process ("Skin loaded (user): ", "Skin loaded (bundle): ", "Skin lookup: no skinID for ",
/// "Skin lookup FAILED for ").
std::optional<HardwareSkin> findSkin(const DeviceModel& device, const SkinRoots& roots = defaultSkinRoots());

/// Creates the user skins folder (a failure is ignored) and shows it in the file browser.
void openSkinsFolder(Desktop& desktop, const std::filesystem::path& folder);

/// Forgets which lookup lines were written, so a test sees them again. Not for production use.
void forgetLoggedSkinLookups();

} // namespace keyglass
