#pragma once
// Live input: what the firmware sends to the host for a key press, a knob detent or a knob click,
// with QMK's layer state (momentary, toggled, default layers, and the firmware's own layer keys).

#include "sim/Eeprom.h"
#include "sim/HidUsages.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace keyglass::sim {

class InputEmitter
{
public:
    /// `config` and `eeprom` must outlive the emitter; the keymap is read at every press.
    InputEmitter(const VirtualPadConfig& config, const Eeprom& eeprom);

    /// Taps the key at (row, col) on the active layer; nothing for a cell outside the matrix.
    std::vector<HidUsageEvent> press(int row, int col);
    /// One detent of encoder `index`; nothing for an encoder the pad does not have.
    std::vector<HidUsageEvent> turn(int index, bool clockwise);
    /// The matrix cell of encoder `index`'s push switch, when it has one.
    std::optional<MatrixCell> clickCell(int index) const;

    void setActiveLayer(int layer);
    int activeLayer() const;
    /// Back to the default layer with nothing held, as after power-up.
    void reset();

private:
    Keycode resolveKey(int row, int col) const;
    Keycode resolveEncoder(int index, bool clockwise) const;
    void tap(Keycode code, std::vector<HidUsageEvent>& out, int depth);
    void stepLayer(Keycode hardwareKey);
    void releaseHeldLayer(std::optional<int> held);

    const VirtualPadConfig& m_config;
    const Eeprom& m_eeprom;
    std::uint32_t m_layerState = 0;
    std::uint32_t m_defaultLayerState = 1;
    std::optional<int> m_heldLayer; // MO/OSL held across the next tap
};

} // namespace keyglass::sim
