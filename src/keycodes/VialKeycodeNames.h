#pragma once
// Keycode texts as Vial writes them into layout files: the long pre-0.19 QMK names, parametrised
// layer keys, mod-taps ("LGUI_T(KC_A)", "MT(MOD_LCTL, KC_A)"), "LT1(KC_SPACE)", macros "M0" and the
// firmware-custom "USER00". Files from older Vial releases use the older QMK numbering for the ranges
// that moved; what cannot be placed with confidence in that numbering gives none.

#include "model/DeviceModel.h"

#include <optional>
#include <string_view>

namespace keyglass {

/// The keycode a layout file's text stands for: first the QMK expression grammar, then the names Vial
/// writes (current numbering; with `legacyKeycodes`, the older numbering for the ranges that moved).
/// Letter case is ignored. Any input is safe; text longer than a few hundred characters gives none.
std::optional<Keycode> resolveLayoutKeycodeText(std::string_view text, bool legacyKeycodes);

} // namespace keyglass
