#pragma once
// What the keycode picker offers beyond the fixed T3 and media lists: the drawn keyboard of basic
// keys, the layer, mod-tap, one-shot, mouse, media, lighting and quantum sections, and the search over
// all of it. Codes are in the pad's own numbering; titles are the ones the keycap shows for the code.

#include "keycodes/PickerCatalogue.h"
#include "model/DeviceModel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

/// One pickable (or shown-but-refused) keycode.
struct PickerEntry
{
    std::string id;
    std::string title;    // the keycap title of the code
    std::string subtitle; // the QMK expression, or the option's own subtitle
    std::string names;    // QMK key name, aliases and former names, space separated (searched)
    Keycode code = 0;
    std::optional<std::string> blocked; // the safety reason: shown, never picked

    bool operator==(const PickerEntry&) const = default;
};

struct PickerSection
{
    std::string id;
    std::string title;
    std::vector<PickerEntry> entries;
};

/// A key of the drawn keyboard, placed in key units inside its block.
struct BasicKeySlot
{
    std::uint8_t usage = 0;
    float x = 0;
    float y = 0;
    float w = 1;
    float h = 1;
};

struct BasicKeyBlock
{
    std::string title;
    float width = 0; // in key units
    float height = 0;
    std::vector<BasicKeySlot> keys;
};

/// The drawn keyboard: main block (with the modifiers), F13-F24, navigation and editing, numpad, and
/// the ISO/JIS extras. Every usage appears once.
const std::vector<BasicKeyBlock>& basicKeyboard();

/// The QMK modifier bits of the "Modifiers:" row (QMK LCTL/LSFT/LALT/LGUI in the high byte).
struct ModifierChoice
{
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
    bool gui = false;

    /// The four-bit MOD_* mask: 0x01 Control, 0x02 Shift, 0x04 Alt, 0x08 GUI.
    unsigned mask() const;
};

/// A basic key with the row's modifiers: usage OR 0x0100 Control, 0x0200 Shift, 0x0400 Alt,
/// 0x0800 GUI. The same number in both numberings.
Keycode withModifiers(std::uint8_t usage, ModifierChoice mods);

enum class LayerAction
{
    mo,
    tg,
    to,
    tt,
    osl,
    df,
    lt,
};

/// The QMK name of the action ("MO", "LT").
std::string_view layerActionName(LayerAction action);

/// The code of a layer action in the pad's numbering; none when the layer does not fit the action
/// (LT reaches layers 0-15, the others 0-31) or the pad's numbering has no such code. `tapKey` is
/// used by LT only.
std::optional<Keycode> layerKeycode(LayerAction action, int layer, std::uint8_t tapKey, bool legacyKeycodes);

/// MT(mods, tapKey) in the pad's numbering; none without a modifier. `rightHand` selects the right
/// modifiers.
std::optional<Keycode> modTapKeycode(ModifierChoice mods, bool rightHand, std::uint8_t tapKey, bool legacyKeycodes);

/// The expression a keymap would write for `code`: formatKeycode, or where that gives only hexadecimal,
/// "LT(2, KC_SPC)", "MT(MOD_LCTL, KC_ESC)", "OSM(MOD_LSFT)", "TT(3)" or the key's QMK name, whenever
/// that parses back to `code`.
std::string pickerExpression(Keycode code, bool legacyKeycodes);

/// An entry for `code` (pad numbering): keycap title, pickerExpression as subtitle, QMK names,
/// and the safety reason when the code may never be written.
PickerEntry pickerEntryFor(Keycode code, bool legacyKeycodes, std::string id = {});

/// A catalogue option as an entry, keeping its own title and subtitle.
PickerEntry pickerEntryFor(const PresetKeyOption& option, bool legacyKeycodes);

/// The fixed sections of the Custom tab after the layer and mod-tap builders: "One-Shot Mod",
/// "Mouse", "Media & System", "Lighting" (only for a pad with lighting) and "Quantum", whose boot,
/// reboot, debug and EEPROM codes are present but blocked. Codes the pad's numbering lacks are left out.
std::vector<PickerSection> customSections(bool legacyKeycodes, RGBProtocolKind lighting);

/// Whether `entry` matches a search text: every word of `query` occurs, ignoring ASCII case, in the
/// title, subtitle or names. A blank query matches everything.
bool pickerEntryMatches(const PickerEntry& entry, std::string_view query);

} // namespace keyglass
