#pragma once
// What the emulated firmware holds in RAM only: it is lost on a power cycle, unlike the EEPROM.

#include "sim/VirtualPadConfig.h"

namespace keyglass::sim {

struct FirmwareRam
{
    /// The light as it is now; the EEPROM keeps the saved one.
    VirtualLighting lighting;
    bool unlocked = true;
    bool unlockInProgress = false;
    int unlockCounter = 0;
    int deviceIndications = 0;
};

/// QMK's current keycode numbering (Vial protocol 6, VIA protocol 11) rather than the legacy one.
inline bool modernKeycodes(const VirtualPadConfig& config)
{
    return config.vial ? config.vialVersion >= 6 : config.viaVersion >= 11;
}

/// A locked Vial pad refuses to store the bootloader key through its own commands.
inline Keycode firewall(const VirtualPadConfig& config, const FirmwareRam& ram, Keycode code)
{
    const Keycode boot = modernKeycodes(config) ? 0x7C00 : 0x5C00;
    return (config.vial && !ram.unlocked && code == boot) ? 0 : code;
}

} // namespace keyglass::sim
