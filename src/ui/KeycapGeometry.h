#pragma once
// Where every control of a deck sits, in widget points. Painting and hit-testing both read these
// rectangles, so a click lands on exactly the keycap that was drawn there.

#include "model/DeviceModel.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace keyglass {

struct DeckRect
{
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;

    double right() const { return x + w; }
    double bottom() const { return y + h; }
    double centerX() const { return x + w / 2; }
    double centerY() const { return y + h / 2; }
    bool contains(double px, double py) const { return px >= x && px < x + w && py >= y && py < y + h; }
    bool operator==(const DeckRect&) const = default;
};

/// A cap as drawn: its rectangle, the second rectangle of stepped and ISO Enter caps, and the rotation
/// (degrees, clockwise) about an origin. Rectangles are before the rotation, in the same coordinates
/// as the origin.
struct KeyShape
{
    DeckRect primary;
    std::optional<DeckRect> secondary;
    double angle = 0;
    double originX = 0;
    double originY = 0;

    bool rotated() const { return angle != 0; }
    /// The same shape moved by (dx, dy).
    KeyShape translated(double dx, double dy) const;
    /// Whether a point lies on the drawn (rotated) cap.
    bool contains(double px, double py) const;
    /// The smallest upright rectangle around the drawn cap.
    DeckRect bounds() const;
    bool operator==(const KeyShape&) const = default;
};

struct DeckMetrics
{
    double unit = 62;         // one key unit in points
    double gap = 6;           // space between neighbouring caps
    double knobDiameter = 78; // a regular knob
    double largeKnobDiameter = 178;
    double knobChipHeight = 28; // the direction chips under a knob
    double spacing = 18;        // between the key block and the knob block
};

/// A knob's three touch zones: the turn directions under the dial and the dial face itself.
struct KnobZones
{
    DeckRect dial;
    DeckRect ccw;
    DeckRect cw;
};

enum class KnobZone
{
    none,
    ccw,
    center,
    cw,
};

struct DeckLayout
{
    /// One per entry of the keys passed in; an empty rectangle for a key that is not drawn. For a
    /// rotated or stepped cap this is the rectangle around the drawn shape.
    std::vector<DeckRect> keys;
    /// Parallel to `keys`: the drawn shape of each cap, in deck points.
    std::vector<KeyShape> shapes;
    /// One per encoder: the cell that holds the dial and its direction chips.
    std::vector<DeckRect> knobs;
    bool largeKnob = false;
    double width = 0;
    double height = 0;
};

/// A key's cap in points, relative to the key block's top-left corner.
DeckRect keyRect(const PhysicalKey& key, const DeckMetrics& metrics);

/// A key's cap in points with its second rectangle and rotation, relative to the key block's origin.
KeyShape keyShape(const PhysicalKey& key, const DeckMetrics& metrics);

/// The zones of a knob cell.
KnobZones knobZones(const DeckRect& cell, bool large, const DeckMetrics& metrics);
/// Which zone a point falls in. The dial counts only inside its circle, and only when it is a button.
KnobZone knobZoneAt(const KnobZones& zones, double x, double y, bool dialIsButton);

/// Places keys and knobs. Decals and the push switches of knobs (`hiddenKeys[i]` true) take no cap.
/// A pad with one knob and at most two caps gets the large knob with its caps under it; a narrow
/// grid gets its knobs in a column to the right; anything wider gets them in a row above the keys.
DeckLayout layoutDeck(const std::vector<PhysicalKey>& keys,
                      const std::vector<bool>& hiddenKeys,
                      std::size_t encoderCount,
                      const DeckMetrics& metrics = {});

/// The index of the drawn key under a point, following the drawn shape of rotated and stepped caps.
std::optional<std::size_t> keyAt(const DeckLayout& layout, double x, double y);
/// The index of the knob cell under a point.
std::optional<std::size_t> knobAt(const DeckLayout& layout, double x, double y);

} // namespace keyglass
