#pragma once
// Linux applications for App Focus: the picker's "Bind New App..." accepts a .desktop file or the path
// of an executable, and the shell launches and recognises the application from it.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

struct DesktopEntry
{
    std::string name;
    std::vector<std::string> exec; // argv, field codes removed
    std::string startupWMClass;
    std::string iconName;
    /// DBusActivatable=true: the application is started and raised through D-Bus under its desktop
    /// file id (org.freedesktop.Application).
    bool dbusActivatable = false;

    bool operator==(const DesktopEntry&) const = default;
};

/// The [Desktop Entry] group of a .desktop file: the unlocalised Name, Exec split into arguments
/// with its quoting rules (field codes such as %f and %U removed, %% kept as %), StartupWMClass,
/// Icon and DBusActivatable. None when the file cannot be read or has no such group.
std::optional<DesktopEntry> readDesktopEntry(const std::filesystem::path& file);
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text);

/// What to run to start the application at `appPath`: a .desktop file's Exec arguments, otherwise the
/// path itself. Empty when there is nothing to run.
std::vector<std::string> launchCommandFor(std::string_view appPath);

} // namespace keyglass
