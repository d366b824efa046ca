#pragma once
// The VIA commands: protocol version, keyboard values, keymap, macros, encoders. Lighting commands
// go to the lighting handler.

#include "device/HidBackend.h"
#include "sim/Eeprom.h"
#include "sim/FirmwareRam.h"
#include "sim/LightingHandler.h"

#include <cstdint>
#include <functional>

namespace keyglass::sim {

class ViaHandler
{
public:
    /// `uptimeMs` answers the uptime query; it is asked only for that query.
    ViaHandler(const VirtualPadConfig& config,
               Eeprom& eeprom,
               FirmwareRam& ram,
               LightingHandler& lighting,
               std::function<std::uint32_t()> uptimeMs);

    /// Edits the request in place into the answer.
    void handle(RawHidReport& r);

private:
    void handleKeyboardValue(RawHidReport& r, bool set);
    void handleKeymapBuffer(RawHidReport& r);
    void handleEncoder(RawHidReport& r);
    bool locked() const { return m_config.vial && !m_ram.unlocked; }

    const VirtualPadConfig& m_config;
    Eeprom& m_eeprom;
    FirmwareRam& m_ram;
    LightingHandler& m_lighting;
    std::function<std::uint32_t()> m_uptimeMs;
};

} // namespace keyglass::sim
