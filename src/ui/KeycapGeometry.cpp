#include "ui/KeycapGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace keyglass {

namespace {
constexpr double ChipGap = 6;
constexpr double MinChipWidth = 72;
constexpr double NarrowGridUnits = 6.0;

double knobCellWidth(bool large, const DeckMetrics& m)
{
    if (large)
        return m.largeKnobDiameter + 70; // room for readable direction captions beside the big dial
    return std::max(m.knobDiameter, 2 * MinChipWidth + ChipGap);
}

double knobCellHeight(bool large, const DeckMetrics& m)
{
    const double dial = large ? m.largeKnobDiameter : m.knobDiameter;
    return dial + ChipGap + m.knobChipHeight;
}
} // namespace

namespace {
constexpr double Pi = 3.14159265358979323846;

// Rotates (x, y) about (ox, oy) by `degrees`, clockwise on screen (y grows downwards).
std::pair<double, double> rotatePoint(double x, double y, double ox, double oy, double degrees)
{
    const double a = degrees * Pi / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    const double dx = x - ox, dy = y - oy;
    return {ox + dx * c - dy * s, oy + dx * s + dy * c};
}

void extend(DeckRect& box, bool& any, const DeckRect& r, const KeyShape& shape)
{
    const double xs[2] = {r.x, r.right()}, ys[2] = {r.y, r.bottom()};
    for (double x : xs)
        for (double y : ys) {
            const auto [px, py] = rotatePoint(x, y, shape.originX, shape.originY, shape.angle);
            if (!any) {
                box = DeckRect{px, py, 0, 0};
                any = true;
                continue;
            }
            const double left = std::min(box.x, px), top = std::min(box.y, py);
            const double right = std::max(box.right(), px), bottom = std::max(box.bottom(), py);
            box = DeckRect{left, top, right - left, bottom - top};
        }
}

// The key's outline without the gap between caps: what the key block is measured by.
KeyShape outlineShape(const PhysicalKey& key, const DeckMetrics& m)
{
    KeyShape shape;
    shape.primary = DeckRect{key.x * m.unit, key.y * m.unit, key.w * m.unit, key.h * m.unit};
    if (key.hasSecondary())
        shape.secondary =
            DeckRect{(key.x + key.x2) * m.unit, (key.y + key.y2) * m.unit, key.w2 * m.unit, key.h2 * m.unit};
    shape.angle = key.r;
    shape.originX = key.rx * m.unit;
    shape.originY = key.ry * m.unit;
    return shape;
}

DeckRect inset(const DeckRect& r, double by)
{
    return DeckRect{r.x + by, r.y + by, std::max(0.0, r.w - 2 * by), std::max(0.0, r.h - 2 * by)};
}
} // namespace

KeyShape KeyShape::translated(double dx, double dy) const
{
    KeyShape moved = *this;
    moved.primary.x += dx;
    moved.primary.y += dy;
    if (moved.secondary) {
        moved.secondary->x += dx;
        moved.secondary->y += dy;
    }
    moved.originX += dx;
    moved.originY += dy;
    return moved;
}

bool KeyShape::contains(double px, double py) const
{
    const auto [x, y] = rotatePoint(px, py, originX, originY, -angle);
    return primary.contains(x, y) || (secondary && secondary->contains(x, y));
}

DeckRect KeyShape::bounds() const
{
    DeckRect box;
    bool any = false;
    extend(box, any, primary, *this);
    if (secondary)
        extend(box, any, *secondary, *this);
    return box;
}

KeyShape keyShape(const PhysicalKey& key, const DeckMetrics& m)
{
    KeyShape shape = outlineShape(key, m);
    shape.primary = inset(shape.primary, m.gap / 2);
    if (shape.secondary)
        shape.secondary = inset(*shape.secondary, m.gap / 2);
    return shape;
}

DeckRect keyRect(const PhysicalKey& key, const DeckMetrics& m)
{
    const double inset = m.gap / 2;
    return DeckRect{key.x * m.unit + inset,
                    key.y * m.unit + inset,
                    std::max(0.0, key.w * m.unit - m.gap),
                    std::max(0.0, key.h * m.unit - m.gap)};
}

KnobZones knobZones(const DeckRect& cell, bool large, const DeckMetrics& m)
{
    const double dial = large ? m.largeKnobDiameter : m.knobDiameter;
    KnobZones zones;
    zones.dial = DeckRect{cell.centerX() - dial / 2, cell.y, dial, dial};
    const double chipY = cell.y + dial + ChipGap;
    const double chipW = (cell.w - ChipGap) / 2;
    zones.ccw = DeckRect{cell.x, chipY, chipW, m.knobChipHeight};
    zones.cw = DeckRect{cell.x + chipW + ChipGap, chipY, chipW, m.knobChipHeight};
    return zones;
}

KnobZone knobZoneAt(const KnobZones& zones, double x, double y, bool dialIsButton)
{
    if (zones.ccw.contains(x, y))
        return KnobZone::ccw;
    if (zones.cw.contains(x, y))
        return KnobZone::cw;
    if (dialIsButton) {
        const double r = zones.dial.w / 2;
        const double dx = x - zones.dial.centerX();
        const double dy = y - zones.dial.centerY();
        if (dx * dx + dy * dy <= r * r)
            return KnobZone::center;
    }
    return KnobZone::none;
}

DeckLayout layoutDeck(const std::vector<PhysicalKey>& keys,
                      const std::vector<bool>& hiddenKeys,
                      std::size_t encoderCount,
                      const DeckMetrics& m)
{
    DeckLayout layout;
    layout.keys.assign(keys.size(), DeckRect{});
    layout.shapes.assign(keys.size(), KeyShape{});

    auto drawn = [&](std::size_t i) { return !keys[i].decal && !(i < hiddenKeys.size() && hiddenKeys[i]); };

    // Key block: caps shifted so the top-left cap touches the origin. Rotated caps count with the
    // rectangle around their drawn shape.
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    std::size_t capCount = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!drawn(i))
            continue;
        ++capCount;
        const DeckRect outline = outlineShape(keys[i], m).bounds();
        minX = std::min(minX, outline.x);
        minY = std::min(minY, outline.y);
        maxX = std::max(maxX, outline.right());
        maxY = std::max(maxY, outline.bottom());
    }
    const double blockW = capCount ? (maxX - minX) : 0;
    const double blockH = capCount ? (maxY - minY) : 0;

    auto placeKeys = [&](double originX, double originY) {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (!drawn(i))
                continue;
            layout.shapes[i] = keyShape(keys[i], m).translated(originX - minX, originY - minY);
            layout.keys[i] = layout.shapes[i].bounds();
        }
    };

    layout.largeKnob = encoderCount == 1 && capCount <= 2;
    const double cellW = knobCellWidth(layout.largeKnob, m);
    const double cellH = knobCellHeight(layout.largeKnob, m);

    if (encoderCount == 0) {
        placeKeys(0, 0);
        layout.width = blockW;
        layout.height = blockH;
    } else if (layout.largeKnob) {
        layout.width = std::max(cellW, blockW);
        layout.knobs.push_back(DeckRect{(layout.width - cellW) / 2, 0, cellW, cellH});
        const double keysTop = capCount ? cellH + m.spacing : cellH;
        placeKeys((layout.width - blockW) / 2, keysTop);
        layout.height = capCount ? keysTop + blockH : cellH;
    } else if (capCount == 0 || blockW <= NarrowGridUnits * m.unit) {
        const double colX = capCount ? blockW + m.spacing : 0;
        const double colH = encoderCount * cellH + (encoderCount - 1) * m.gap;
        // Centre the shorter of the two blocks against the taller one.
        const double keysTop = colH > blockH ? (colH - blockH) / 2 : 0;
        const double knobsTop = blockH > colH ? (blockH - colH) / 2 : 0;
        placeKeys(0, keysTop);
        for (std::size_t e = 0; e < encoderCount; ++e)
            layout.knobs.push_back(DeckRect{colX, knobsTop + e * (cellH + m.gap), cellW, cellH});
        layout.width = colX + cellW;
        layout.height = std::max(colH, blockH);
    } else {
        for (std::size_t e = 0; e < encoderCount; ++e)
            layout.knobs.push_back(DeckRect{e * (cellW + m.spacing), 0, cellW, cellH});
        const double rowW = encoderCount * cellW + (encoderCount - 1) * m.spacing;
        placeKeys(0, cellH + m.spacing);
        layout.width = std::max(rowW, blockW);
        layout.height = cellH + m.spacing + blockH;
    }
    return layout;
}

std::optional<std::size_t> keyAt(const DeckLayout& layout, double x, double y)
{
    for (std::size_t i = 0; i < layout.keys.size(); ++i) {
        const DeckRect& r = layout.keys[i];
        if (r.w <= 0 || r.h <= 0 || !r.contains(x, y))
            continue;
        if (i >= layout.shapes.size() || layout.shapes[i].contains(x, y))
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> knobAt(const DeckLayout& layout, double x, double y)
{
    for (std::size_t i = 0; i < layout.knobs.size(); ++i)
        if (layout.knobs[i].contains(x, y))
            return i;
    return std::nullopt;
}

} // namespace keyglass
