#include "store/StatusText.h"

#include "model/Text.h"

#include "keycodes/Keycodes.h"
#include "keycodes/PickerCatalogue.h"

#include <algorithm>

#include <cctype>

namespace keyglass {

namespace {
// The first character of a UTF-8 string, upper-cased when it is ASCII.
std::string firstCharacter(const std::string& text)
{
    if (text.empty())
        return "?";
    const auto lead = static_cast<unsigned char>(text[0]);
    size_t length = 1;
    if (lead >= 0xF0)
        length = 4;
    else if (lead >= 0xE0)
        length = 3;
    else if (lead >= 0xC0)
        length = 2;
    if (length == 1)
        return std::string(1, static_cast<char>(std::toupper(lead)));
    return text.substr(0, std::min(length, text.size()));
}

bool isFocusTrigger(Keycode code)
{
    const Keycode base = code & 0x00FF;
    const Keycode mods = code & 0xFF00;
    return base >= 0x68 && base <= 0x73 && (mods == 0 || mods == 0x0100);
}

bool isMedia(Keycode code)
{
    return (code >= 0x00A8 && code <= 0x00AE) || code == 0x00D9 || code == 0x00DA || code == 0x00F9 || code == 0x00FA ||
           (code >= 0x007F && code <= 0x0081);
}

bool isHardware(Keycode code)
{
    return code == 0x00F1 || code == 0x00F2 || (code >= 0x7E00 && code <= 0x7E1F);
}

bool isLayerKey(Keycode code)
{
    return (code >= 0x5200 && code <= 0x523F) || (code >= 0x5260 && code <= 0x527F);
}

bool isNavigation(Keycode code)
{
    const Keycode base = code & 0x00FF;
    return base >= 0x49 && base <= 0x52;
}

bool isNumber(Keycode code)
{
    return (code >= 0x1E && code <= 0x27) || (code >= 0x53 && code <= 0x63);
}

bool isShortcut(Keycode code)
{
    return code >= 0x0100 && code <= 0x0FFF;
}

bool isT3Command(Keycode code, bool windows)
{
    static const auto mac = t3Options(false);
    static const auto win = t3Options(true);
    const auto& options = windows ? win : mac;
    return std::any_of(options.begin(), options.end(), [&](const PresetKeyOption& o) { return o.code == code; });
}
} // namespace

std::string layerThemeName(const DeviceModel& device, int layer)
{
    if (device.presetOverlay) {
        const auto name = device.presetOverlay->layerNames.find(layer);
        if (name != device.presetOverlay->layerNames.end() && !trimmed(name->second).empty())
            return trimmed(name->second);
    }

    int bound = 0, focus = 0, media = 0, hardware = 0, layers = 0, navigation = 0, numbers = 0, shortcuts = 0;
    int t3Mac = 0, t3Win = 0;
    auto count = [&](Keycode code) {
        if (code <= 0x0001)
            return;
        ++bound;
        focus += isFocusTrigger(code);
        media += isMedia(code);
        hardware += isHardware(code);
        layers += isLayerKey(code);
        navigation += isNavigation(code);
        numbers += isNumber(code);
        shortcuts += isShortcut(code);
        t3Mac += isShortcut(code) && isT3Command(code, false);
        t3Win += isShortcut(code) && isT3Command(code, true);
    };
    for (const auto& key : device.keys) {
        if (!key.decal)
            count(device.keycodeAt(layer, key.row, key.col));
    }
    if (layer >= 0 && static_cast<size_t>(layer) < device.encoderMap.size()) {
        for (const auto& pair : device.encoderMap[static_cast<size_t>(layer)])
            for (Keycode code : pair)
                count(code);
    }

    if (bound == 0)
        return "Pass-through";
    const auto most = [&](int n) { return 2 * n >= bound; };
    if (most(focus))
        return "App Focus";
    if (hardware >= 2)
        return "BT / HW";
    if (isWindowsStyleLayer(device, layer))
        return t3Win >= 3 ? "Win T3 Code" : "Windows";
    if (t3Mac >= 3)
        return "T3 Code";
    if (most(media))
        return "Media";
    if (most(layers))
        return "Layers";
    if (most(navigation))
        return "Navigation";
    if (most(numbers))
        return "Numpad";
    if (most(shortcuts))
        return "Shortcuts";
    return "Mixed";
}

std::string statusTitle(const std::vector<DeviceModel>& devices)
{
    if (devices.empty())
        return " —";
    std::string title = " ";
    for (size_t i = 0; i < devices.size(); ++i) {
        if (i > 0)
            title += "·";
        title += firstCharacter(trimmed(devices[i].product)) + std::to_string(devices[i].activeLayer);
    }
    return title;
}

std::string statusTooltip(const std::vector<DeviceModel>& devices)
{
    if (devices.empty())
        return "Keyglass v2 — No Vial/VIA devices connected";
    std::string tooltip;
    for (size_t i = 0; i < devices.size(); ++i) {
        if (i > 0)
            tooltip += "  •  ";
        const auto& device = devices[i];
        tooltip += device.displayName() + ": L" + std::to_string(device.activeLayer) + " (" +
                   layerThemeName(device, device.activeLayer) + ")";
    }
    return tooltip;
}

} // namespace keyglass
