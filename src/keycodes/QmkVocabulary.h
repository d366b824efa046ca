#pragma once
// QMK's own keycode vocabulary, generated from its keycode data (QmkKeycodeTable.inc): every named
// code with its group, key, label and aliases, in the current numbering. Immutable; safe to read
// from any thread.

#include "model/Keycode.h"

#include <optional>
#include <span>
#include <string_view>

namespace keyglass {

struct QmkKeycode
{
    Keycode code;
    std::string_view group;   // "basic", "mouse", "quantum", ...
    std::string_view key;     // "KC_LEFT_SHIFT"
    std::string_view label;   // "Left Shift"
    std::string_view aliases; // "KC_LSFT", names separated by single spaces
    std::string_view former;  // names older data versions used for this key ("RGB_TOG")
};

/// Every named code, ordered by code.
std::span<const QmkKeycode> qmkKeycodes();

/// The entry of a current-numbering code, or null.
const QmkKeycode* findQmkKeycode(Keycode code);

/// The current-numbering code of a QMK key, alias or former name, also the numbered families beyond
/// the data's first 32 (QK_KB_40, QK_USER_100, QK_MACRO_90). `upperCaseName` is ASCII upper-cased.
std::optional<Keycode> qmkKeycodeByName(std::string_view upperCaseName);

/// Calls `f` with each name of a space-separated list.
template <typename F> void forEachName(std::string_view names, F&& f)
{
    while (!names.empty()) {
        const std::size_t space = names.find(' ');
        f(names.substr(0, space));
        if (space == std::string_view::npos)
            break;
        names.remove_prefix(space + 1);
    }
}

// Firmware-custom ranges of the current numbering; the old numbering had one, 0x5F80-0x5FFF.
constexpr Keycode QkKbFirst = 0x7E00;
constexpr Keycode QkKbLast = 0x7E3F;
constexpr Keycode QkUserFirst = 0x7E40;
constexpr Keycode QkUserLast = 0x7FFF;
constexpr Keycode QkMacroFirst = 0x7700;
constexpr Keycode QkMacroLast = 0x777F;

} // namespace keyglass
