#pragma once
// The lighting commands (0x07 set, 0x08 get, 0x09 save) in the dialect the pad was built with.

#include "device/HidBackend.h"
#include "sim/Eeprom.h"
#include "sim/FirmwareRam.h"

namespace keyglass::sim {

class LightingHandler
{
public:
    LightingHandler(const VirtualPadConfig& config, Eeprom& eeprom, FirmwareRam& ram);

    /// Edits the request in place into the answer.
    void handle(RawHidReport& r);

private:
    void handleLegacy(RawHidReport& r);
    void handleChannel(RawHidReport& r);
    void save();

    const VirtualPadConfig& m_config;
    Eeprom& m_eeprom;
    FirmwareRam& m_ram;
};

} // namespace keyglass::sim
