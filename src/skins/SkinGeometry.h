#pragma once
// Where the controls of a skin sit on the drawn photograph, and how strongly the pad's light glows
// around it. Plain numbers, so the rules are tested without a window.

#include "keycodes/Keycodes.h"
#include "model/DeviceModel.h"
#include "skins/HardwareSkinManifest.h"

namespace keyglass {

struct SkinRect
{
    double x = 0, y = 0, w = 0, h = 0;
    double centerX() const { return x + w / 2; }
    double centerY() const { return y + h / 2; }
    bool operator==(const SkinRect&) const = default;
};

/// The largest width × height at `aspectRatio` inside the given box.
SkinRect fitAspect(double boxWidth, double boxHeight, double aspectRatio);

/// (W·w) × (H·h) centred at (W·(x + w/2), H·(y + h/2)).
SkinRect skinKeyRect(const SkinKeySlot& slot, double width, double height);
/// Centred at (W·cx, H·cy) with diameter 2·H·r: the bounding square of the circle.
SkinRect skinCircleRect(double cx, double cy, double r, double width, double height);

/// The keymap cell [layer][row][col], 0 outside the keymap.
Keycode skinKeycode(const DeviceModel& device, int layer, const SkinKeySlot& slot);
/// What the layer button switches to: (active + 1) modulo the layer count, a count below 2 being 1.
int nextSkinLayer(int activeLayer, int layerCount);

inline constexpr double GlowStrokeWidth = 1.5;
inline constexpr double GlowCornerRadius = 14;

/// brightness/255 × 0.42 + 0.12 while the light is on, else 0; at least 0.18 on a pad with a lighting
/// protocol, and 0.14 on one without.
double glowOpacity(const RGBState& rgb);
/// The outline: glow + 0.15, at most 0.85.
double glowStrokeOpacity(double glow);

/// The glow colour as hue, saturation, value fractions (value is always 1).
struct GlowColor
{
    double hue = 0, saturation = 0, value = 1;
};
GlowColor glowColor(const RGBState& rgb);

/// The fallback fill when a colorway image cannot be loaded: sRGB (0.08, 0.09, 0.11).
inline constexpr double MissingImageRGB[3] = {0.08, 0.09, 0.11};

/// The cross-fade between colorways.
inline constexpr int ColorwayFadeMilliseconds = 220;

} // namespace keyglass
