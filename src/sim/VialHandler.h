#pragma once
// The Vial sub-commands behind the 0xFE prefix: identity, the compressed definition, encoders, the
// unlock dance and the dynamic entries (tap dances, combos, key overrides).

#include "device/HidBackend.h"
#include "sim/Eeprom.h"
#include "sim/FirmwareRam.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace keyglass::sim {

class VialHandler
{
public:
    /// `definition` is the xz stream served to FE 02; it must outlive the handler.
    VialHandler(const VirtualPadConfig& config,
                Eeprom& eeprom,
                FirmwareRam& ram,
                const std::vector<std::uint8_t>& definition,
                std::function<TimePoint()> now);

    /// While an unlock runs the firmware serves only identification and the unlock itself: any other
    /// request comes back untouched.
    bool heldByUnlock(const RawHidReport& request) const;

    /// Edits the request in place into the answer.
    void handle(RawHidReport& r);

private:
    void handleDynamicEntry(RawHidReport& r);
    void pollUnlock();

    const VirtualPadConfig& m_config;
    Eeprom& m_eeprom;
    FirmwareRam& m_ram;
    const std::vector<std::uint8_t>& m_definition;
    std::function<TimePoint()> m_now;
};

} // namespace keyglass::sim
