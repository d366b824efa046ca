#pragma once
// Keycap captions for the keys beyond the fixed label table: modifiers, system, media and mouse
// keys, mod-tap and layer-tap, the layer functions and every other code QMK names. Reads only
// prebuilt tables; safe to call from any thread.

#include "keycodes/Keycodes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace keyglass {

/// A short label for a basic usage the fixed label table leaves out ("PrtSc", "L Shift", "Btn 3");
/// the modifier keys follow `windowsStyle` ("L Alt" / "L Opt", "L Win" / "L ⌘").
std::optional<std::string_view> extraBasicLabel(std::uint8_t usage, bool windowsStyle);

/// The character Shift gives on a US layout ("!" for the 1 key), or none.
std::optional<std::string_view> shiftedSymbol(std::uint8_t usage);

/// A five-bit QMK modifier set (0x10 = right hand) as words: "Ctrl", "Ctrl+Shift", "Meh", "Hyper",
/// "RAlt"; Windows or macOS names by `windowsStyle`.
std::string modifierSetName(unsigned mods, bool windowsStyle);

/// The caption of a current-numbering code above the plain modifier range (0x1000 and up) or a
/// named basic key, or none when QMK gives it no meaning. `raw` is stored in the result.
std::optional<KeyAction> describeExtendedKeycode(Keycode raw, Keycode current, bool windowsStyle);

} // namespace keyglass
