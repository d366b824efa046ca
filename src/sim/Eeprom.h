#pragma once
// The emulated EEPROM: keymap, encoders, tap dances, combos, key overrides, macros, the saved light and
// the layout options, as the firmware persists them, and their JSON state file.

#include "model/Expected.h"
#include "sim/VirtualPadConfig.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace keyglass::sim {

/// The ten raw bytes of one Vial combo or key override.
using DynamicEntry = std::array<std::uint8_t, 10>;

enum class EntryTable
{
    combos,
    keyOverrides,
};

/// A tap dance as the firmware's factory reset leaves it.
TapDanceData defaultTapDance();

class Eeprom
{
public:
    /// `config` must outlive the EEPROM; its contents are the factory state.
    explicit Eeprom(const VirtualPadConfig& config);

    /// Keys and encoders out of range read 0 and ignore writes; a write reports whether it landed.
    Keycode keycode(int layer, int row, int col) const;
    bool setKeycode(int layer, int row, int col, Keycode code);
    Keycode encoder(int layer, int index, bool clockwise) const;
    bool setEncoder(int layer, int index, bool clockwise, Keycode code);

    /// The keymap as one run of keycodes, layer by layer, row by row, the way bulk reads walk it.
    std::size_t keySlots() const { return m_keymap.size(); }
    Keycode keycodeAt(std::size_t slot) const { return m_keymap[slot]; }
    void setKeycodeAt(std::size_t slot, Keycode code) { m_keymap[slot] = code; }

    int tapDanceCount() const { return static_cast<int>(m_tapDances.size()); }
    /// A default entry when out of range.
    TapDanceData tapDance(int index) const;
    bool setTapDance(int index, const TapDanceData& entry);

    std::size_t entryCount(EntryTable table) const { return entries(table).size(); }
    /// An all-zero entry when out of range.
    DynamicEntry entry(EntryTable table, std::size_t index) const;
    bool setEntry(EntryTable table, std::size_t index, const DynamicEntry& entry);

    const std::vector<std::uint8_t>& macros() const { return m_macros; }
    /// 0 past the end of the buffer; writes there are dropped.
    std::uint8_t macroByte(std::size_t at) const { return at < m_macros.size() ? m_macros[at] : 0; }
    void setMacroByte(std::size_t at, std::uint8_t byte);
    void clearMacros();

    const VirtualLighting& savedLighting() const { return m_savedLighting; }
    void saveLighting(const VirtualLighting& light);
    int lightingSaveCount() const { return m_lightingSaves; }

    std::uint32_t layoutOptions() const { return m_layoutOptions; }
    void setLayoutOptions(std::uint32_t options) { m_layoutOptions = options; }

    /// The dynamic keymap reset (VIA 0x06): keys and encoders back to the factory state, and on a Vial
    /// build the tap dances and key overrides too; macros, light and layout options stay.
    void resetDynamicKeymap();

    /// Writes that came over the wire mark the EEPROM changed so the state file can follow it.
    void markChanged() { m_changed = true; }
    /// Whether anything changed since the last call.
    bool takeChanged() { return std::exchange(m_changed, false); }

    std::string stateJson() const;
    /// A file that is malformed anywhere, or made for another matrix, changes nothing.
    Expected<void> loadStateJson(std::string_view text);

private:
    void fillFromConfig();
    std::size_t keyIndex(int layer, int row, int col) const;
    std::size_t encoderIndex(int layer, int index, bool clockwise) const;
    bool hasKey(int layer, int row, int col) const;
    bool hasEncoder(int layer, int index) const;
    const std::vector<DynamicEntry>& entries(EntryTable table) const;
    std::vector<DynamicEntry>& entries(EntryTable table);

    const VirtualPadConfig& m_config;
    std::vector<Keycode> m_keymap;   // layer -> row -> col
    std::vector<Keycode> m_encoders; // layer -> encoder -> {ccw, cw}
    std::vector<TapDanceData> m_tapDances;
    std::vector<DynamicEntry> m_combos;
    std::vector<DynamicEntry> m_keyOverrides;
    std::vector<std::uint8_t> m_macros;
    VirtualLighting m_savedLighting;
    int m_lightingSaves = 0;
    std::uint32_t m_layoutOptions = 0;
    bool m_changed = false;
};

} // namespace keyglass::sim
