#include "presets/PresetLibrary.h"

#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/KeycodeText.h"
#include "keycodes/Keycodes.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "presets/PresetStaging.h"

#include <algorithm>
#include <map>
#include <random>

namespace keyglass {

namespace fs = std::filesystem;

namespace {

// A preset folder is user-writable; a runaway tree (or a symlink farm) must not stall a refresh.
constexpr std::size_t MaxFilesPerFolder = 4096;

std::vector<fs::path> jsonFilesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return files;
    const auto options = fs::directory_options::skip_permission_denied;
    for (fs::recursive_directory_iterator it(folder, options, ec), end; !ec && it != end; it.increment(ec)) {
        if (files.size() >= MaxFilesPerFolder)
            break;
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        if (asciiLower(it->path().extension().string()) == ".json")
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<DevicePreset> readPresetFile(const fs::path& file)
{
    const auto text = readFileCapped(file, MaxPresetDocumentBytes);
    if (!text)
        return std::nullopt;
    auto preset = decodePreset(*text);
    if (!preset)
        return std::nullopt;
    return std::move(*preset);
}

std::optional<std::string> normalisedOs(std::string_view os)
{
    const std::string lower = asciiLower(trimWhitespace(os));
    if (lower == "macos" || lower == "windows")
        return lower;
    return std::nullopt;
}

std::string randomSuffix()
{
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    const std::uint64_t value = rng();
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 8; ++i)
        out.push_back(Hex[(value >> (i * 4)) & 0xF]);
    return out;
}

std::string osOfLayer(const DeviceModel& device, int layer)
{
    if (device.presetOverlay) {
        if (const auto it = device.presetOverlay->layerOS.find(layer); it != device.presetOverlay->layerOS.end()) {
            if (auto os = normalisedOs(it->second))
                return *os;
        }
    }
    return isWindowsStyleLayer(device, layer) ? "windows" : "macos";
}

// A code that would not survive validatePreset (or a slot that staging never writes) is saved as ""
// so the preset stays applicable; the target pad then keeps whatever it has there.
std::string savedExpression(Keycode code, bool legacy)
{
    if (keycodeBlockReason(code, {}, legacy))
        return {};
    return formatKeycode(code, legacy);
}

// `chosenOs`, when the user named one, is every layer's os; otherwise each layer keeps its own.
void fillLayoutFromDevice(DevicePreset& preset, const DeviceModel& device, std::optional<std::string> chosenOs)
{
    const bool legacy = device.legacyKeycodes();
    const bool solodial = deviceProfile(device) == std::string(ProfileSolodial);
    preset.layers.clear();
    std::vector<std::string> layerNames;
    const int layerCount = static_cast<int>(device.keymap.size());
    for (int l = 0; l < layerCount; ++l) {
        PresetLayer layer;
        layer.index = l;
        layer.name = "Layer " + std::to_string(l);
        if (device.presetOverlay) {
            if (const auto it = device.presetOverlay->layerNames.find(l);
                it != device.presetOverlay->layerNames.end() && !trimWhitespace(it->second).empty())
                layer.name = it->second;
        }
        layer.os = chosenOs ? *chosenOs : osOfLayer(device, l);
        layerNames.push_back(layer.name);

        bool anyKeyLabel = false;
        std::vector<std::vector<std::string>> labels;
        const auto& rows = device.keymap[static_cast<size_t>(l)];
        for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
            auto& keyRow = layer.keys.emplace_back();
            auto& labelRow = labels.emplace_back();
            const auto& cells = rows[static_cast<size_t>(r)];
            for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
                const Keycode code = cells[static_cast<size_t>(c)];
                const bool fixed = device.isProtected(l, r, c) || (solodial && r == 0 && c == 0);
                keyRow.push_back(fixed ? std::string() : savedExpression(code, legacy));
                std::string caption;
                if (!keyRow.back().empty()) {
                    if (auto found = slotCaption(device, CaptionSlot::key, keyLabelKey(l, r, c), l, code))
                        caption = *found;
                }
                anyKeyLabel = anyKeyLabel || !caption.empty();
                labelRow.push_back(std::move(caption));
            }
        }
        if (anyKeyLabel)
            layer.keyLabels = std::move(labels);

        if (l < static_cast<int>(device.encoderMap.size())) {
            std::vector<std::vector<std::string>> encoders;
            std::vector<std::vector<std::string>> encoderLabels;
            bool anyEncoderLabel = false;
            const auto& entries = device.encoderMap[static_cast<size_t>(l)];
            for (int e = 0; e < static_cast<int>(entries.size()); ++e) {
                const auto& entry = entries[static_cast<size_t>(e)];
                auto& expressions = encoders.emplace_back();
                auto& captions = encoderLabels.emplace_back();
                for (int d = 0; d < 2; ++d) {
                    if (entry.size() < 2) {
                        expressions.emplace_back();
                        captions.emplace_back();
                        continue;
                    }
                    const Keycode code = entry[static_cast<size_t>(d)];
                    expressions.push_back(savedExpression(code, legacy));
                    std::string caption;
                    if (!expressions.back().empty()) {
                        if (auto found =
                                slotCaption(device, CaptionSlot::encoder, encoderLabelKey(l, e, d == 1), l, code))
                            caption = *found;
                    }
                    anyEncoderLabel = anyEncoderLabel || !caption.empty();
                    captions.push_back(std::move(caption));
                }
            }
            if (!encoders.empty())
                layer.encoders = std::move(encoders);
            if (anyEncoderLabel)
                layer.encoderLabels = std::move(encoderLabels);
        }
        preset.layers.push_back(std::move(layer));
    }
    preset.layerNames = std::move(layerNames);

    if (device.tapDances.empty()) {
        preset.tapDances.reset();
        return;
    }
    std::vector<PresetTapDance> tapDances;
    for (int i = 0; i < static_cast<int>(device.tapDances.size()); ++i) {
        const TapDanceData& source = device.tapDances[static_cast<size_t>(i)];
        PresetTapDance td;
        td.index = i;
        std::string* const targets[] = {&td.onTap, &td.onHold, &td.onDoubleTap, &td.onTapHold};
        std::vector<std::string> captions;
        bool anyCaption = false;
        for (int s = 0; s < 4; ++s) {
            const Keycode code = *source.slot(s);
            // An empty tap-dance expression stages as 0x0000, so KC_NO is written as "".
            *targets[s] = code == 0 ? std::string() : savedExpression(code, legacy);
            std::string caption;
            if (!targets[s]->empty() && device.presetOverlay) {
                const auto& labels = device.presetOverlay->tapDanceLabels;
                if (const auto found = labels.find(tapDanceLabelKey(i, s));
                    found != labels.end() && found->second.code == code)
                    caption = found->second.label;
            }
            anyCaption = anyCaption || !caption.empty();
            captions.push_back(std::move(caption));
        }
        td.tappingTerm = source.tappingTerm;
        if (anyCaption)
            td.labels = std::move(captions);
        tapDances.push_back(std::move(td));
    }
    preset.tapDances = std::move(tapDances);
}

} // namespace

std::vector<fs::path> builtInPresetDirs()
{
    std::vector<fs::path> dirs;
    for (const auto& dir : paths::resourceDirs())
        dirs.push_back(dir / "Presets");
    return dirs;
}

std::vector<DevicePreset> loadPresets()
{
    std::vector<DevicePreset> presets;
    std::map<std::string, size_t> byId;
    for (const auto& dir : builtInPresetDirs()) {
        for (const auto& file : jsonFilesIn(dir)) {
            auto preset = readPresetFile(file);
            if (!preset || byId.contains(preset->id))
                continue;
            preset->builtIn = true;
            byId.emplace(preset->id, presets.size());
            presets.push_back(std::move(*preset));
        }
    }
    std::map<std::string, bool> seenCustom;
    std::uintmax_t budget = MaxCustomPresetLibraryBytes;
    int skipped = 0;
    for (const auto& file : jsonFilesIn(paths::customPresetsDir())) {
        // A preset in memory takes several times its file's size: past the budget, files are left out.
        std::error_code sizeError;
        const std::uintmax_t size = fs::file_size(file, sizeError);
        if (sizeError || size > budget) {
            skipped += !sizeError;
            continue;
        }
        budget -= size;
        auto preset = readPresetFile(file);
        if (!preset || seenCustom.contains(preset->id))
            continue;
        preset->builtIn = false;
        seenCustom.emplace(preset->id, true);
        if (const auto it = byId.find(preset->id); it != byId.end()) {
            presets[it->second] = std::move(*preset);
        } else {
            byId.emplace(preset->id, presets.size());
            presets.push_back(std::move(*preset));
        }
    }
    if (skipped > 0)
        logLine("Custom presets: " + std::to_string(skipped) + " files left out, the library holds at most " +
                std::to_string(MaxCustomPresetLibraryBytes / (1024 * 1024)) + " MiB");
    return presets;
}

std::optional<std::string> deviceProfile(const DeviceModel& device)
{
    const std::string id = asciiUpper(device.id);
    const std::string name = asciiLower(device.displayName());
    if (id == "5831:4249" || name.find("solodial") != std::string::npos)
        return std::string(ProfileSolodial);
    if (id == "1A86:FE16" || name.find("quad") != std::string::npos)
        return std::string(ProfileQuadgrid);
    const auto keys =
        std::count_if(device.keys.begin(), device.keys.end(), [](const PhysicalKey& k) { return !k.decal; });
    const auto encoders = device.encoders.size();
    if (encoders == 1 && keys <= 2)
        return std::string(ProfileSolodial);
    if (encoders == 3 && keys <= 20)
        return std::string(ProfileQuadgrid);
    return std::nullopt;
}

std::string deviceProfileOrGeneric(const DeviceModel& device)
{
    return deviceProfile(device).value_or(std::string(ProfileGeneric));
}

bool presetFitsDevice(const DevicePreset& preset, const DeviceModel& device)
{
    const std::string profile = asciiLower(preset.deviceProfile);
    const auto own = deviceProfile(device);
    return profile == ProfileGeneric || (own && profile == *own);
}

fs::path customPresetFile(const DevicePreset& preset)
{
    return paths::customPresetsDir() / (slug(preset.id) + ".json");
}

Expected<fs::path> savePreset(const DevicePreset& preset)
{
    const fs::path file = customPresetFile(preset);
    if (auto written = writeFileAtomically(file, encodePreset(preset)); !written)
        return unexpected(written.error());
    return file;
}

Expected<DevicePreset>
clonePreset(const DevicePreset& source, std::string_view name, std::string_view appName, std::string_view os)
{
    DevicePreset clone = source;
    clone.name = trimmed(name);
    if (clone.name.empty())
        clone.name = source.name + " (Custom)";
    const std::string app = trimmed(appName);
    if (!app.empty() && app != source.appName) {
        clone.appName = app;
        clone.appId = slug(app);
    }
    clone.os = normalisedOs(os).value_or(source.os);
    clone.id = "custom-" + source.deviceProfile + "-" + slug(clone.appName) + "-" + clone.os + "-" + randomSuffix();
    clone.description = "Custom preset cloned from " + source.name;
    clone.builtIn = false;
    // A clone is the user's own: it belongs in "My Presets", not the community list.
    clone.community.reset();
    clone.verifiedSafe.reset();
    if (auto saved = savePreset(clone); !saved)
        return unexpected(saved.error());
    return clone;
}

Expected<void> deleteCustomPreset(const DevicePreset& preset)
{
    if (preset.builtIn)
        return unexpected(Error("Built-in presets cannot be deleted"));
    std::error_code ec;
    int removed = 0;
    const fs::path expected = customPresetFile(preset);
    for (const auto& file : jsonFilesIn(paths::customPresetsDir())) {
        const auto onDisk = readPresetFile(file);
        if ((onDisk && onDisk->id == preset.id) || (!onDisk && file == expected)) {
            if (fs::remove(file, ec))
                ++removed;
            else if (ec)
                return unexpected(Error(file.filename().string() + ": " + ec.message()));
        }
    }
    if (removed == 0)
        return unexpected(Error("No custom preset file holds \"" + preset.id + "\""));
    return {};
}

DevicePreset presetFromDevice(const DeviceModel& device,
                              std::string_view name,
                              std::string_view appName,
                              std::string_view os,
                              std::string_view category)
{
    DevicePreset preset;
    preset.schemaVersion = 1;
    preset.name = trimmed(name);
    if (preset.name.empty())
        preset.name = device.displayName() + " Layout";
    preset.appName = trimmed(appName);
    if (preset.appName.empty())
        preset.appName = device.presetOverlay && !device.presetOverlay->appName.empty() ? device.presetOverlay->appName
                                                                                        : std::string("Custom");
    preset.appId = slug(preset.appName);
    preset.category = trimmed(category);
    if (preset.category.empty())
        preset.category = "Custom";
    if (auto chosen = normalisedOs(os)) {
        preset.os = *chosen;
    } else if (device.presetOverlay && normalisedOs(device.presetOverlay->os)) {
        preset.os = *normalisedOs(device.presetOverlay->os);
    } else {
        preset.os = isWindowsStyleLayer(device, 0) ? "windows" : "macos";
    }
    preset.deviceProfile = deviceProfileOrGeneric(device);
    preset.id = "custom-" + preset.deviceProfile + "-" + slug(preset.appName) + "-" + preset.os + "-" + randomSuffix();
    preset.description = "Saved from " + device.displayName();
    preset.builtIn = false;
    fillLayoutFromDevice(preset, device, normalisedOs(os));
    return preset;
}

DevicePreset updatePresetFromDevice(const DevicePreset& existing, const DeviceModel& device)
{
    DevicePreset preset = existing;
    fillLayoutFromDevice(preset, device, std::nullopt);
    return preset;
}

} // namespace keyglass
