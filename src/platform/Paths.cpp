#include "platform/Paths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace keyglass::paths {

namespace fs = std::filesystem;

namespace {
fs::path fromEnv(const char* name, const fs::path& fallback)
{
    const char* value = std::getenv(name);
    // The XDG rules say a relative value is invalid and must be ignored.
    if (value && *value && fs::path(value).is_absolute())
        return value;
    return fallback;
}
} // namespace

fs::path home()
{
    if (const char* value = std::getenv("HOME"); value && *value)
        return value;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/tmp";
}

fs::path configDir()
{
    return fromEnv("XDG_CONFIG_HOME", home() / ".config") / "Keyglass";
}

fs::path dataDir()
{
    return fromEnv("XDG_DATA_HOME", home() / ".local" / "share") / "Keyglass";
}

fs::path stateDir()
{
    return fromEnv("XDG_STATE_HOME", home() / ".local" / "state") / "Keyglass";
}

fs::path logFile()
{
    return stateDir() / "keyglass.log";
}

fs::path settingsFile()
{
    return configDir() / "defaults.json";
}

fs::path customPresetsDir()
{
    return dataDir() / "Presets";
}

fs::path autoBackupDir()
{
    return dataDir() / "AutoBackups";
}

fs::path userSkinsDir()
{
    return dataDir() / "Skins";
}

fs::path demoStateDir()
{
    return stateDir() / "demo";
}

fs::path focusConfigFile()
{
    return home() / ".config" / "quadgrid-focus.json";
}

fs::path t3KeybindingsFile()
{
    return home() / ".t3" / "userdata" / "keybindings.json";
}

std::vector<fs::path> resourceDirs()
{
    std::vector<fs::path> candidates;
    if (const char* value = std::getenv("KEYGLASS_RESOURCES"); value && *value)
        candidates.emplace_back(value);
    candidates.emplace_back(KG_SOURCE_RESOURCES);
    candidates.emplace_back(KG_INSTALLED_RESOURCES);
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& dir : candidates) {
        if (fs::is_directory(dir, ec))
            found.push_back(dir);
    }
    return found;
}

std::optional<fs::path> programResourceDir()
{
    fs::path dir = KG_INSTALLED_RESOURCES;
    if (const char* value = std::getenv("KEYGLASS_RESOURCES"); value && *value)
        dir = value;
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return std::nullopt;
    return dir;
}

fs::path sourceResourceDir()
{
    return KG_SOURCE_RESOURCES;
}

} // namespace keyglass::paths
