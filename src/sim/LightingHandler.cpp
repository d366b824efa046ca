#include "sim/LightingHandler.h"

#include "sim/WireFormat.h"

#include <algorithm>

namespace keyglass::sim {

namespace {
constexpr std::uint8_t CustomChannel = 0, BacklightChannel = 1, RgblightChannel = 2, RgbMatrixChannel = 3,
                       LedMatrixChannel = 5;

// VialRGB value ids.
constexpr std::uint8_t VialRgbInfo = 0x40, VialRgbMode = 0x41, VialRgbSupported = 0x42;
constexpr std::uint16_t VialRgbProtocol = 1;
constexpr std::uint8_t VialRgbMaxBrightness = 255;
constexpr std::size_t VialRgbIdsPerPage = 15;
} // namespace

LightingHandler::LightingHandler(const VirtualPadConfig& config, Eeprom& eeprom, FirmwareRam& ram)
    : m_config(config), m_eeprom(eeprom), m_ram(ram)
{
}

void LightingHandler::save()
{
    m_eeprom.saveLighting(m_ram.lighting);
    m_eeprom.markChanged();
}

void LightingHandler::handle(RawHidReport& r)
{
    switch (m_config.lighting) {
    case LightingDialect::none:
        r[0] = IdUnhandled;
        break;
    case LightingDialect::legacyRgblight:
        handleLegacy(r);
        break;
    case LightingDialect::channel:
        handleChannel(r);
        break;
    }
}

void LightingHandler::value(RawHidReport& r, std::size_t at, Value v, bool get, bool keyboardLevel)
{
    auto& light = m_ram.lighting;
    const bool rgblight = m_config.lightingFeature == LightingFeature::rgblight && !keyboardLevel;
    // rgblight's mode and HSV setters return early while it is disabled: those writes are lost.
    const bool lost = !get && rgblight && !light.enabled;
    switch (v) {
    case Value::brightness:
        if (get)
            r[at] = light.brightness;
        else if (!lost)
            light.brightness = r[at];
        break;
    case Value::effect:
        if (get) {
            r[at] = light.effect();
        } else if (r[at] == 0) {
            light.enabled = false;
        } else {
            // rgblight sets the mode before it enables, so a mode sent while off is dropped and the
            // stored one comes back.
            if (!lost)
                light.mode = r[at];
            light.enabled = true;
        }
        break;
    case Value::speed:
        if (get)
            r[at] = light.speed;
        else
            light.speed = r[at];
        break;
    case Value::color:
        if (get) {
            r[at] = light.hue;
            r[at + 1] = light.sat;
        } else if (!lost) {
            light.hue = r[at];
            light.sat = r[at + 1];
        }
        break;
    case Value::breathing:
        if (get)
            r[at] = light.mode ? 1 : 0;
        else
            light.mode = r[at] ? 1 : 0;
        break;
    case Value::unknown:
        break; // every lighting handler ignores ids it does not know: plain echo
    }
}

void LightingHandler::handleLegacy(RawHidReport& r)
{
    if (isCommand(r[0], ViaCommand::LightingSave)) {
        save();
        return;
    }
    const bool get = isCommand(r[0], ViaCommand::LightingGet);
    Value v = Value::unknown;
    switch (m_config.lightingFeature) {
    case LightingFeature::rgblight:
    case LightingFeature::rgbMatrix:
        v = r[1] == 0x80   ? Value::brightness
            : r[1] == 0x81 ? Value::effect
            : r[1] == 0x82 ? Value::speed
            : r[1] == 0x83 ? Value::color
                           : Value::unknown;
        break;
    case LightingFeature::backlight:
        v = r[1] == 0x09 ? Value::brightness : r[1] == 0x0A ? Value::breathing : Value::unknown;
        break;
    case LightingFeature::vialRgb:
        handleVialRgb(r, get);
        return;
    case LightingFeature::ledMatrix:
        break; // vial-qmk has no legacy ids for it
    }
    value(r, 2, v, get, false);
}

void LightingHandler::handleVialRgb(RawHidReport& r, bool get)
{
    auto& light = m_ram.lighting;
    const auto& supported = m_config.vialRgbEffects;
    switch (r[1]) {
    case VialRgbInfo:
        if (get) {
            putLe16(&r[2], VialRgbProtocol);
            r[4] = VialRgbMaxBrightness;
        }
        break;
    case VialRgbMode:
        if (get) {
            putLe16(&r[2], light.effect());
            r[4] = light.speed;
            r[5] = light.hue;
            r[6] = light.sat;
            r[7] = light.brightness;
        } else {
            const std::uint16_t mode = le16(&r[2]);
            if (mode == 0) {
                light.enabled = false;
            } else if (std::find(supported.begin(), supported.end(), mode) != supported.end() && mode <= 0xFF) {
                light.enabled = true;
                light.mode = static_cast<std::uint8_t>(mode);
            }
            light.speed = r[4];
            light.hue = r[5];
            light.sat = r[6];
            light.brightness = r[7];
        }
        break;
    case VialRgbSupported:
        if (get) {
            const std::uint16_t after = le16(&r[2]);
            std::size_t n = 0;
            for (std::uint16_t id : supported)
                if (id > after && n < VialRgbIdsPerPage)
                    putLe16(&r[2 + 2 * n++], id);
            for (; n < VialRgbIdsPerPage; ++n)
                putLe16(&r[2 + 2 * n], 0xFFFF);
        }
        break;
    default:
        break;
    }
}

void LightingHandler::handleChannel(RawHidReport& r)
{
    const std::uint8_t channel = r[1];
    const auto feature = m_config.lightingFeature;
    const bool keyboardChannel = m_config.keyboardLightingChannel == channel;
    const bool compiled = keyboardChannel || (channel == BacklightChannel && feature == LightingFeature::backlight) ||
                          (channel == RgblightChannel && feature == LightingFeature::rgblight) ||
                          (channel == RgbMatrixChannel && feature == LightingFeature::rgbMatrix) ||
                          (channel == LedMatrixChannel && feature == LightingFeature::ledMatrix);
    // The custom channel and every channel without its feature go to the keyboard's default handler.
    if (!compiled || (channel == CustomChannel && !keyboardChannel)) {
        r[0] = IdUnhandled;
        return;
    }
    if (isCommand(r[0], ViaCommand::LightingSave)) {
        save();
        return;
    }
    const bool get = isCommand(r[0], ViaCommand::LightingGet);
    const std::uint8_t id = r[2];
    Value v = Value::unknown;
    if (keyboardChannel) {
        v = id == 1   ? Value::effect
            : id == 2 ? Value::brightness
            : id == 3 ? Value::speed
            : id == 4 ? Value::color
                      : Value::unknown;
    } else if (channel == BacklightChannel) {
        v = id == 1 ? Value::brightness : id == 2 ? Value::breathing : Value::unknown;
    } else {
        v = id == 1                                  ? Value::brightness
            : id == 2                                ? Value::effect
            : id == 3                                ? Value::speed
            : id == 4 && channel != LedMatrixChannel ? Value::color
                                                     : Value::unknown;
    }
    value(r, 3, v, get, keyboardChannel);
}

} // namespace keyglass::sim
