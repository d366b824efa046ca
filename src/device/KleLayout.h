#pragma once
// The physical layout of a keyboard from the keyboard-layout-editor key list of its definition
// ("layouts" -> "keymap"): key positions in key units, rotation and second rectangles, layout options,
// and the encoder legends.

#include "model/DeviceModel.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace keyglass {

/// The most keys and encoders a layout may have: far beyond any real board, and each costs one request
/// per layer at every load. A definition over either is refused.
constexpr std::size_t MaxLayoutKeys = 1024;
constexpr std::size_t MaxLayoutEncoders = 64;
/// Layout options share one 32-bit value; a definition cannot name more options than it has bits.
constexpr std::size_t MaxLayoutOptions = 32;
/// Furthest a key may sit from the origin, and the largest cap side, in key units. Beyond these a
/// property is ignored: nothing real comes close, and the deck must stay drawable.
constexpr double MaxLayoutCoordinate = 512;
constexpr double MaxKeySide = 32;

/// A knob as the layout names it: Vial's "index,direction" legends carry no push switch; a VIA legend
/// "e<index>" marks the key it sits on as the knob's push.
struct LayoutEncoder
{
    int index = 0;
    std::optional<int> clickRow;
    std::optional<int> clickCol;
    std::optional<LayoutChoice> option;

    bool operator==(const LayoutEncoder&) const = default;
};

struct ParsedLayout
{
    std::vector<PhysicalKey> keys;       // sorted by y, then x
    std::vector<int> encoderIndices;     // distinct, ascending
    std::vector<LayoutEncoder> encoders; // in layout order, one per encoder legend
};

/// Walks the key list. Anything that is not a row array is skipped without moving down a row; legends
/// "row,col" become keys, legends with a later line "e" name an encoder ("index,direction"), a later
/// line "e<index>" makes the key also that encoder's push, a fourth line "group,choice" puts the key in
/// a layout option, and a decal without a position becomes a decal key at r0c0. Rotation follows the
/// layout editor: "rx"/"ry" move the rotation origin and put the cursor there, "r" holds until changed,
/// and each row starts again at x = rx. Never fails: unusable items add nothing. The walk stops once
/// there are more than MaxLayoutKeys keys or MaxLayoutEncoders encoders.
ParsedLayout parseLayout(const nlohmann::json& keymap);

/// "layouts" -> "labels": a string is a toggle, an array is [title, choice...]. Entries that are
/// neither keep their place (options are numbered by position) as a toggle without title.
std::vector<LayoutOptionLabel> parseLayoutLabels(const nlohmann::json& labels);

/// The chosen choice of every option, from the pad's 32-bit value: the last option sits in the lowest
/// bits, each taking as many bits as its choices need. A value naming a choice the option does not
/// have reads as the first choice.
std::vector<int> decodeLayoutOptions(const std::vector<LayoutOptionLabel>& labels, std::uint32_t value);
/// The inverse; choices out of range are written as 0.
std::uint32_t encodeLayoutOptions(const std::vector<LayoutOptionLabel>& labels, const std::vector<int>& choices);

/// True for keys without an option and for keys of the chosen choice of their option (options the
/// labels do not name take their first choice).
bool isChosen(const std::optional<LayoutChoice>& option, const std::vector<int>& choices);
/// Only what the chosen options show.
ParsedLayout chooseLayout(const ParsedLayout& layout, const std::vector<int>& choices);

/// One encoder is "Knob", several are "Knob <index>". A knob's push is the key its "e<index>" legend
/// sits on; without one, a single knob clicks the only key when there is exactly one non-decal key.
std::vector<PhysicalEncoder> nameEncoders(const ParsedLayout& layout);
/// The same for bare encoder indices (Vial legends).
std::vector<PhysicalEncoder> nameVialEncoders(const std::vector<int>& indices, const std::vector<PhysicalKey>& keys);

} // namespace keyglass
