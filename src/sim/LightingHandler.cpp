#include "sim/LightingHandler.h"

#include "sim/WireFormat.h"

namespace keyglass::sim {

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

void LightingHandler::handleLegacy(RawHidReport& r)
{
    auto& light = m_ram.lighting;
    if (isCommand(r[0], ViaCommand::LightingSave)) {
        save();
        return;
    }
    const bool get = isCommand(r[0], ViaCommand::LightingGet);
    switch (r[1]) {
    case 0x80:
        if (get)
            r[2] = light.brightness;
        else
            light.brightness = r[2];
        break;
    case 0x81:
        if (get) {
            r[2] = light.mode; // rgblight reports its mode even while switched off
        } else if (r[2] == 0) {
            light.enabled = false;
        } else {
            light.enabled = true;
            light.mode = r[2];
        }
        break;
    case 0x82:
        if (get)
            r[2] = light.speed;
        else
            light.speed = r[2];
        break;
    case 0x83:
        if (get) {
            r[2] = light.hue;
            r[3] = light.sat;
        } else {
            light.hue = r[2];
            light.sat = r[3];
        }
        break;
    default:
        break; // every lighting handler ignores ids it does not know: plain echo
    }
}

void LightingHandler::handleChannel(RawHidReport& r)
{
    constexpr std::uint8_t Custom = 1, Rgblight = 2;
    const std::uint8_t channel = r[1];
    if (channel != Custom && !(channel == Rgblight && m_config.rgblightChannel)) {
        r[0] = IdUnhandled;
        return;
    }
    if (isCommand(r[0], ViaCommand::LightingSave)) {
        save();
        return;
    }
    // Channel 1 is the keyboard's own values: 1 effect, 2 brightness, 3 speed, 4 colour. Channel 2 is
    // QMK's rgblight: 1 brightness, 2 effect, 3 speed, 4 colour.
    std::uint8_t id = r[2];
    if (channel == Rgblight && (id == 1 || id == 2))
        id = id == 1 ? 2 : 1;
    auto& light = m_ram.lighting;
    const bool get = isCommand(r[0], ViaCommand::LightingGet);
    switch (id) {
    case 1:
        if (get) {
            r[3] = light.effect();
        } else if (r[3] == 0) {
            light.enabled = false;
        } else {
            light.enabled = true;
            light.mode = r[3];
        }
        break;
    case 2:
        if (get)
            r[3] = light.brightness;
        else
            light.brightness = r[3];
        break;
    case 3:
        if (get)
            r[3] = light.speed;
        else
            light.speed = r[3];
        break;
    case 4:
        if (get) {
            r[3] = light.hue;
            r[4] = light.sat;
        } else {
            light.hue = r[3];
            light.sat = r[4];
        }
        break;
    default:
        break;
    }
}

} // namespace keyglass::sim
