#pragma once
// What the emulated firmware holds in RAM only: it is lost on a power cycle, unlike the EEPROM.

#include "platform/Clock.h"
#include "sim/VirtualPadConfig.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace keyglass::sim {

struct FirmwareRam
{
    /// The light as it is now; the EEPROM keeps the saved one.
    VirtualLighting lighting;
    bool unlocked = true;
    bool unlockInProgress = false;
    int unlockCounter = 0;
    /// When the unlock counter last stepped down; it steps at most once per 100 ms.
    std::optional<TimePoint> lastUnlockStep;
    /// Switches held down right now (the unlock keys are checked against them).
    std::vector<MatrixCell> held;
    int deviceIndications = 0;
    int bootloaderJumps = 0;

    bool isHeld(MatrixCell cell) const { return std::find(held.begin(), held.end(), cell) != held.end(); }
};

/// QMK's current keycode numbering (Vial protocol 6, VIA protocol 11) rather than the legacy one.
inline bool modernKeycodes(const VirtualPadConfig& config)
{
    return config.vial ? config.vialVersion >= 6 : config.viaVersion >= 11;
}

/// A Vial build without VIAL_INSECURE boots locked.
inline bool bootsUnlocked(const VirtualPadConfig& config)
{
    return !config.vial || config.vialInsecure;
}

/// A locked Vial pad refuses to store the bootloader key through its own commands.
inline Keycode firewall(const VirtualPadConfig& config, const FirmwareRam& ram, Keycode code)
{
    const Keycode boot = modernKeycodes(config) ? 0x7C00 : 0x5C00;
    return (config.vial && !ram.unlocked && code == boot) ? 0 : code;
}

} // namespace keyglass::sim
