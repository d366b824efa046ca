#include "input/FocusMap.h"

#include "input/DesktopEntry.h"
#include "keycodes/KeycodeTables.h"
#include "keycodes/KeycodeText.h"
#include "platform/AtomicFile.h"
#include "platform/JsonReading.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

namespace keyglass {

namespace {

using nlohmann::json;

constexpr std::size_t MaxFocusFileBytes = 1024 * 1024;
constexpr const char* ErrorDomain = "FocusMap";

std::uint8_t modifierBits(std::string_view name)
{
    const std::string lower = asciiLower(name);
    if (lower == "ctrl" || lower == "control")
        return 0x01;
    if (lower == "shift")
        return 0x02;
    if (lower == "alt" || lower == "opt" || lower == "option")
        return 0x04;
    if (lower == "cmd" || lower == "command" || lower == "gui" || lower == "meta")
        return 0x08;
    return 0;
}

bool isArrayOfStrings(const json& value)
{
    return value.is_array() && std::all_of(value.begin(), value.end(), [](const json& v) { return v.is_string(); });
}

// The "hotkeys" array when the document has the expected shape.
std::optional<json> hotkeysOf(std::string_view text)
{
    auto parsed = parseJsonCapped(text, MaxFocusFileBytes);
    if (!parsed || !parsed->is_object())
        return std::nullopt;
    json& root = *parsed;
    auto it = root.find("hotkeys");
    if (it == root.end() || !it->is_array())
        return std::nullopt;
    if (!std::all_of(it->begin(), it->end(), [](const json& e) { return e.is_object(); }))
        return std::nullopt;
    return std::move(*it);
}

std::string_view lastComponent(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string withoutExtension(std::string_view name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return std::string(name);
    return std::string(name.substr(0, dot));
}

void removeAll(std::string& text, std::string_view what)
{
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at))
        text.erase(at, what.size());
}

std::set<std::string> modifierNameSet(const json& entry)
{
    std::set<std::string> names;
    const auto it = entry.find("mods");
    if (it == entry.end() || !isArrayOfStrings(*it))
        return names;
    for (const auto& name : *it)
        names.insert(asciiLower(name.get_ref<const std::string&>()));
    return names;
}

bool entryHasKey(const json& entry, const std::string& keyName)
{
    const auto it = entry.find("key");
    return it != entry.end() && it->is_string() && asciiLower(it->get_ref<const std::string&>()) == keyName;
}

std::string reasonOf(const Error& error, const std::filesystem::path& file)
{
    const std::string prefix = file.filename().string() + ": ";
    if (error.message.starts_with(prefix))
        return error.message.substr(prefix.size());
    return error.message;
}

} // namespace

FocusMap parseFocusMap(std::string_view text)
{
    const auto hotkeys = hotkeysOf(text);
    if (!hotkeys)
        return {};
    FocusMap map;
    for (const auto& entry : *hotkeys) {
        const auto key = entry.find("key");
        const auto app = entry.find("app");
        if (key == entry.end() || app == entry.end() || !key->is_string() || !app->is_string())
            continue;
        const auto usage = usageForLabel(key->get_ref<const std::string&>());
        if (!usage)
            continue;
        std::uint8_t mask = 0;
        if (const auto mods = entry.find("mods"); mods != entry.end() && isArrayOfStrings(*mods)) {
            for (const auto& name : *mods)
                mask |= modifierBits(name.get_ref<const std::string&>());
        }
        const std::string& path = app->get_ref<const std::string&>();
        map[static_cast<Keycode>((mask << 8) | *usage)] = FocusEntry{focusAppName(path), path};
    }
    return map;
}

FocusMap loadFocusMap(const std::filesystem::path& file)
{
    const auto text = readFileCapped(file, MaxFocusFileBytes);
    if (!text)
        return {};
    return parseFocusMap(*text);
}

std::optional<std::filesystem::file_time_type> focusFileModificationTime(const std::filesystem::path& file)
{
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(file, ec);
    if (ec)
        return std::nullopt;
    return time;
}

std::string focusAppName(std::string_view appPath)
{
    const std::string_view component = lastComponent(appPath);
    std::string name;
    if (asciiLower(component).ends_with(".desktop")) {
        if (const auto entry = readDesktopEntry(std::filesystem::path(appPath)); entry && !entry->name.empty())
            name = entry->name;
    }
    if (name.empty())
        name = withoutExtension(component);
    removeAll(name, " (Beta)");
    removeAll(name, "Google ");
    return name;
}

const std::vector<Keycode>& focusTriggerCodes()
{
    static const std::vector<Keycode> codes = [] {
        std::vector<Keycode> out;
        for (Keycode code = 0x0068; code <= 0x0073; ++code)
            out.push_back(code);
        for (Keycode code = 0x0168; code <= 0x0173; ++code)
            out.push_back(code);
        return out;
    }();
    return codes;
}

Keycode chooseFocusTrigger(std::optional<Keycode> currentSlotCode, const FocusMap& map)
{
    const auto& triggers = focusTriggerCodes();
    if (currentSlotCode && std::find(triggers.begin(), triggers.end(), *currentSlotCode) != triggers.end())
        return *currentSlotCode;
    for (const Keycode code : triggers) {
        if (!map.contains(code))
            return code;
    }
    return triggers.front();
}

Expected<std::string> focusTextWithBinding(std::string_view existingText, Keycode code, const std::string& appPath)
{
    const auto label = baseLabel(static_cast<std::uint8_t>(code & 0xFF));
    if (!label)
        return unexpected(
            Error("No key name for trigger " + hex4(code), static_cast<int>(FocusBindError::noKeyName), ErrorDomain));
    const std::string keyName = asciiLower(*label);

    std::vector<std::string> modNames;
    const unsigned high = code >> 8;
    if (high & 0x01)
        modNames.emplace_back("ctrl");
    if (high & 0x02)
        modNames.emplace_back("shift");
    if (high & 0x04)
        modNames.emplace_back("alt");
    if (high & 0x08)
        modNames.emplace_back("cmd");
    const std::set<std::string> newSet(modNames.begin(), modNames.end());

    const json existing = hotkeysOf(existingText).value_or(json::array());
    json kept = json::array();
    for (const auto& entry : existing) {
        if (entryHasKey(entry, keyName) && modifierNameSet(entry) == newSet)
            continue;
        json copy = json::object();
        for (const char* member : {"key", "mods", "app"}) {
            if (const auto it = entry.find(member); it != entry.end())
                copy[member] = *it;
        }
        kept.push_back(std::move(copy));
    }
    kept.push_back(json{{"key", keyName}, {"mods", modNames}, {"app", appPath}});

    try {
        return json{{"hotkeys", std::move(kept)}}.dump(2) + "\n";
    } catch (const json::exception&) {
        return unexpected(Error("The application path is not valid UTF-8: " + appPath,
                                static_cast<int>(FocusBindError::notSerialisable),
                                ErrorDomain));
    }
}

Expected<std::string> bindFocusApp(const std::filesystem::path& file, Keycode code, const std::string& appPath)
{
    // A trigger without a key name fails before the file is touched.
    if (!baseLabel(static_cast<std::uint8_t>(code & 0xFF)))
        return unexpected(focusTextWithBinding({}, code, appPath).error());

    std::string existing;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        const auto text = readFileCapped(file, MaxFocusFileBytes);
        if (!text) {
            // Too large, a folder, a FIFO...: what cannot be read cannot be kept, so it is not replaced.
            return unexpected(Error("Could not write " + file.string() + ": the existing file is unreadable (" +
                                        reasonOf(text.error(), file) + ")",
                                    static_cast<int>(FocusBindError::writeFailed),
                                    ErrorDomain));
        }
        if (hotkeysOf(*text)) {
            existing = *text;
        } else if (!text->empty()) {
            // A hand edit with a typo must not cost the user every other binding.
            std::filesystem::path backup = file;
            backup += ".bak";
            if (auto kept = writeFileAtomically(backup, *text); !kept)
                return unexpected(Error("Could not write " + file.string() + ": the existing file could not be kept (" +
                                            reasonOf(kept.error(), backup) + ")",
                                        static_cast<int>(FocusBindError::writeFailed),
                                        ErrorDomain));
        }
    }

    const auto text = focusTextWithBinding(existing, code, appPath);
    if (!text)
        return unexpected(text.error());
    if (auto written = writeFileAtomically(file, *text); !written)
        return unexpected(Error("Could not write " + file.string() + ": " + reasonOf(written.error(), file),
                                static_cast<int>(FocusBindError::writeFailed),
                                ErrorDomain));

    return withoutExtension(lastComponent(appPath));
}

} // namespace keyglass
