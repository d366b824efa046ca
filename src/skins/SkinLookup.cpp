#include "skins/SkinLookup.h"

#include "platform/Desktop.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "presets/PresetLibrary.h"

#include <mutex>
#include <set>

namespace keyglass {

namespace fs = std::filesystem;

namespace {

std::mutex loggedMutex;
std::set<std::string>& loggedKeys()
{
    static std::set<std::string> keys;
    return keys;
}

void logOnce(const std::string& key, const std::string& line)
{
    {
        std::lock_guard lock(loggedMutex);
        if (!loggedKeys().insert(key).second)
            return;
    }
    logLine(line);
}

std::optional<HardwareSkin> tryFolder(const fs::path& folder)
{
    auto manifest = readSkinManifest(folder / "skin.json");
    if (!manifest)
        return std::nullopt;
    return HardwareSkin{std::move(*manifest), folder};
}

std::string bracketed(const std::vector<fs::path>& roots)
{
    std::string out = "[";
    for (std::size_t i = 0; i < roots.size(); ++i)
        out += (i ? ", \"" : "\"") + roots[i].string() + "\"";
    return out + "]";
}

} // namespace

SkinRoots defaultSkinRoots()
{
    SkinRoots roots;
    roots.user = paths::userSkinsDir();
    if (const auto program = paths::programResourceDir())
        roots.bundles.push_back(*program / "Skins");
    roots.bundles.push_back(paths::sourceResourceDir() / "Skins");
    return roots;
}

std::optional<std::string> skinID(const DeviceModel& device)
{
    return deviceProfile(device);
}

std::vector<std::string> userSkinCandidates(const DeviceModel& device, const std::string& skinID)
{
    std::string byDevice = device.id;
    for (char& c : byDevice)
        if (c == ':')
            c = '_';
    std::vector<std::string> names;
    // An id that is not a plain folder name (a virtual pad's can be anything) is not tried.
    if (!byDevice.empty() && byDevice != "." && byDevice != ".." && byDevice.find('/') == std::string::npos)
        names.push_back(byDevice);
    names.push_back(skinID);
    return names;
}

std::optional<HardwareSkin> findSkin(const DeviceModel& device, const SkinRoots& roots)
{
    const auto id = skinID(device);
    if (!id) {
        logOnce("nil:" + device.id,
                "Skin lookup: no skinID for " + device.displayName() + " (" + device.id + ", enc=" +
                    std::to_string(device.encoders.size()) + ", keys=" + std::to_string(device.keys.size()) + ")");
        return std::nullopt;
    }
    for (const auto& name : userSkinCandidates(device, *id)) {
        if (auto skin = tryFolder(roots.user / name)) {
            logOnce("ok:" + device.id, "Skin loaded (user): " + skin->folder.string());
            return skin;
        }
    }
    for (const auto& root : roots.bundles) {
        if (auto skin = tryFolder(root / *id)) {
            logOnce("ok:" + device.id, "Skin loaded (bundle): " + skin->folder.string());
            return skin;
        }
    }
    logOnce("miss:" + device.id, "Skin lookup FAILED for " + *id + " — checked: " + bracketed(roots.bundles));
    return std::nullopt;
}

void openSkinsFolder(Desktop& desktop, const fs::path& folder)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    desktop.openFolder(folder);
}

void forgetLoggedSkinLookups()
{
    std::lock_guard lock(loggedMutex);
    loggedKeys().clear();
}

} // namespace keyglass
