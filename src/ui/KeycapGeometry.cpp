#include "ui/KeycapGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

    auto drawn = [&](std::size_t i) { return !keys[i].decal && !(i < hiddenKeys.size() && hiddenKeys[i]); };

    // Key block: caps shifted so the top-left cap touches the origin.
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    std::size_t capCount = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!drawn(i))
            continue;
        ++capCount;
        minX = std::min(minX, keys[i].x);
        minY = std::min(minY, keys[i].y);
        maxX = std::max(maxX, keys[i].x + keys[i].w);
        maxY = std::max(maxY, keys[i].y + keys[i].h);
    }
    const double blockW = capCount ? (maxX - minX) * m.unit : 0;
    const double blockH = capCount ? (maxY - minY) * m.unit : 0;

    auto placeKeys = [&](double originX, double originY) {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (!drawn(i))
                continue;
            DeckRect r = keyRect(keys[i], m);
            r.x += originX - minX * m.unit;
            r.y += originY - minY * m.unit;
            layout.keys[i] = r;
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
    } else if (capCount == 0 || (maxX - minX) <= NarrowGridUnits) {
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
        if (r.w > 0 && r.h > 0 && r.contains(x, y))
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
