#pragma once
// "Start at login": an XDG autostart entry, $XDG_CONFIG_HOME/autostart/keyglass.desktop, that session
// managers (GNOME, KDE, Xfce, LXQt...) read when the user logs in.

#include "model/Expected.h"

#include <filesystem>
#include <string>

namespace keyglass::autostart {

/// $XDG_CONFIG_HOME/autostart/keyglass.desktop (default ~/.config/autostart/keyglass.desktop).
std::filesystem::path entryFile();

/// True when the entry exists and is not switched off inside ("Hidden=true", or GNOME's
/// "X-GNOME-Autostart-enabled=false", which desktop settings tools write instead of deleting it).
bool isEnabled();

/// The entry's text: starts `executable` (quoted for the Exec key as needed) with no arguments.
std::string entryText(const std::filesystem::path& executable);

/// Writes the entry atomically, replacing one that is there.
Expected<void> enable(const std::filesystem::path& executable);
/// Removes the entry; succeeds when there is none.
Expected<void> disable();

} // namespace keyglass::autostart
