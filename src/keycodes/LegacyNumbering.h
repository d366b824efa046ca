#pragma once
// The keycode numbering of QMK before 0.19 (VIA protocol 10 and older, Vial protocol 5 and older)
// against the current one. Only codes whose old place is documented are translated; the rest have
// no counterpart, so a translation never lands on a different key.

#include "model/Keycode.h"

#include <optional>

namespace keyglass {

/// Where a current-numbering code sat in the old numbering.
std::optional<Keycode> toLegacyNumbering(Keycode current);

/// The current-numbering code of an old-numbering code. TO(n) has two old forms: 0x5010 | n as QMK
/// 0.17 and Vial wrote it, and 0x5000 | n from QMK 0.18; both read as TO(n), the first is written.
std::optional<Keycode> fromLegacyNumbering(Keycode legacy);

/// QMK 0.18 (VIA protocol 10) kept the old numbering but moved TO(n) to 0x5000 | n, where the old
/// numbering has it at 0x5010 | n. Pads of that firmware are read and written through this swap of
/// the two blocks: it is its own inverse, so a code read and written back is never changed.
Keycode swapAlignedLayerMoveBlocks(Keycode code);

/// `code` of a pad in the current numbering: translated when `legacyKeycodes`, else unchanged.
std::optional<Keycode> toCurrentNumbering(Keycode code, bool legacyKeycodes);

} // namespace keyglass
