#pragma once
// What a QMK firmware puts on its keyboard, mouse and consumer-control interfaces for one keycode.

#include <cstdint>
#include <vector>

namespace keyglass {

constexpr std::uint16_t HidPageGenericDesktop = 0x01;
constexpr std::uint16_t HidPageKeyboard = 0x07;
constexpr std::uint16_t HidPageButton = 0x09;
constexpr std::uint16_t HidPageConsumer = 0x0C;
constexpr std::uint16_t HidUsageWheel = 0x38;

struct HidUsageEvent
{
    std::uint16_t page = 0;
    std::uint16_t usage = 0;
    std::int32_t value = 0;
    bool operator==(const HidUsageEvent&) const = default;
};

/// Press and release of a basic keycode (0x00-0xFF). `modernNumbering` selects where the mouse keys
/// sit (0xCD.. in QMK's current numbering, 0xF0.. in the legacy VIA one); the wheel is recognised in
/// both. Codes that send nothing (KC_NO, unassigned codes) give no events.
std::vector<HidUsageEvent> basicKeyTap(std::uint8_t code, bool modernNumbering);

/// Keyboard-page modifier usages for QMK's five-bit modifier field (0x01 Ctrl, 0x02 Shift, 0x04 Alt,
/// 0x08 GUI, 0x10 right hand), in Ctrl, Shift, Alt, GUI order, each with `value`.
std::vector<HidUsageEvent> modifierEvents(std::uint8_t mods, std::int32_t value);

} // namespace keyglass
