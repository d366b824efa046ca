#pragma once
// Every folder and file Keyglass reads or writes, computed from HOME and the XDG variables at call
// time, so tests can point them at a temporary home.

#include <filesystem>
#include <optional>
#include <vector>

namespace keyglass::paths {

std::filesystem::path home();
/// $XDG_CONFIG_HOME/Keyglass (default ~/.config/Keyglass): settings.
std::filesystem::path configDir();
/// $XDG_DATA_HOME/Keyglass (default ~/.local/share/Keyglass): custom presets, automatic backups, skins.
std::filesystem::path dataDir();
/// $XDG_STATE_HOME/Keyglass (default ~/.local/state/Keyglass): the log, demo pad state.
std::filesystem::path stateDir();
std::filesystem::path logFile();
std::filesystem::path settingsFile();
std::filesystem::path customPresetsDir();
std::filesystem::path autoBackupDir();
std::filesystem::path userSkinsDir();
std::filesystem::path demoStateDir();
/// ~/.config/quadgrid-focus.json (App Focus triggers).
std::filesystem::path focusConfigFile();
/// ~/.t3/userdata/keybindings.json (read only).
std::filesystem::path t3KeybindingsFile();

/// Folders holding the data shipped with the program, in lookup order: $KEYGLASS_RESOURCES when set,
/// the source tree's resources/ (a development build), then the installed share/keyglass. Only
/// folders that exist are returned.
std::vector<std::filesystem::path> resourceDirs();
/// The program's own resource folder: $KEYGLASS_RESOURCES when set, else the installed share/keyglass;
/// none when that folder does not exist.
std::optional<std::filesystem::path> programResourceDir();
/// The source tree's resources/, which a development build reads.
std::filesystem::path sourceResourceDir();

} // namespace keyglass::paths
