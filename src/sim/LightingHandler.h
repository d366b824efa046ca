#pragma once
// The lighting commands (0x07 set, 0x08 get, 0x09 save) as the compiled-in QMK lighting feature
// answers them, in the legacy or the channel framing.

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
    /// QMK's value ids of one feature, shared by both framings.
    enum class Value
    {
        brightness,
        effect,
        speed,
        color,
        breathing,
        unknown,
    };
    void handleLegacy(RawHidReport& r);
    void handleChannel(RawHidReport& r);
    void handleVialRgb(RawHidReport& r, bool get);
    /// Reads or writes one value with its data at `at`; `keyboardLevel` is the keyboard's own handler,
    /// which keeps what it is sent while the light is off.
    void value(RawHidReport& r, std::size_t at, Value v, bool get, bool keyboardLevel);
    void save();

    const VirtualPadConfig& m_config;
    Eeprom& m_eeprom;
    FirmwareRam& m_ram;
};

} // namespace keyglass::sim
