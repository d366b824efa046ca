#include "skins/SkinGeometry.h"

#include <algorithm>

namespace keyglass {

SkinRect fitAspect(double boxWidth, double boxHeight, double aspectRatio)
{
    if (!(aspectRatio > 0) || boxWidth <= 0 || boxHeight <= 0)
        return {};
    double w = boxWidth;
    double h = w / aspectRatio;
    if (h > boxHeight) {
        h = boxHeight;
        w = h * aspectRatio;
    }
    return SkinRect{(boxWidth - w) / 2, (boxHeight - h) / 2, w, h};
}

SkinRect skinKeyRect(const SkinKeySlot& slot, double width, double height)
{
    const double w = width * slot.w;
    const double h = height * slot.h;
    const double cx = width * (slot.x + slot.w / 2);
    const double cy = height * (slot.y + slot.h / 2);
    return SkinRect{cx - w / 2, cy - h / 2, w, h};
}

SkinRect skinCircleRect(double cx, double cy, double r, double width, double height)
{
    const double d = 2 * height * r;
    return SkinRect{width * cx - d / 2, height * cy - d / 2, d, d};
}

Keycode skinKeycode(const DeviceModel& device, int layer, const SkinKeySlot& slot)
{
    return device.keycodeAt(layer, slot.row, slot.col);
}

int nextSkinLayer(int activeLayer, int layerCount)
{
    const int count = layerCount < 2 ? 1 : layerCount;
    return ((activeLayer + 1) % count + count) % count;
}

double glowOpacity(const RGBState& rgb)
{
    if (rgb.kind == RGBProtocolKind::none)
        return 0.14;
    const double lit = rgb.isOn() ? rgb.brightness / 255.0 * 0.42 + 0.12 : 0.0;
    return std::max(lit, 0.18);
}

double glowStrokeOpacity(double glow)
{
    return std::min(glow + 0.15, 0.85);
}

GlowColor glowColor(const RGBState& rgb)
{
    return GlowColor{rgb.hue / 255.0, rgb.sat / 255.0, 1.0};
}

} // namespace keyglass
