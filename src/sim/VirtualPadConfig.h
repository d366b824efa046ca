#pragma once
// What a virtual pad is built from: the firmware's identity, matrix, factory keymap and the features
// compiled in. Every part of the emulator reads it; none of them changes it after the pad is made.

#include "model/DeviceModel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace keyglass {

/// How the lighting commands are framed.
enum class LightingDialect
{
    none,           // no lighting compiled in: 0x07/0x08/0x09 answer 0xFF
    legacyRgblight, // one value id, data from byte 2 (VIA <= 10 and every Vial build)
    channel,        // [cmd, channel, value id, data from byte 3] (VIA >= 11)
};

/// The QMK lighting feature compiled in, which decides the value ids and channels that answer.
/// Legacy form: rgblight and RGB Matrix take 0x80-0x83, backlight 0x09/0x0A, VialRGB 0x40-0x44.
/// Channel form: backlight is channel 1, rgblight 2, RGB Matrix 3, LED Matrix 5; VialRGB has none.
enum class LightingFeature
{
    rgblight,
    backlight,
    rgbMatrix,
    ledMatrix,
    vialRgb,
};

/// The pad's light as the firmware keeps it. `mode` survives switching off: real rgblight remembers
/// its mode while disabled.
struct VirtualLighting
{
    bool enabled = true;
    std::uint8_t mode = 1;
    std::uint8_t brightness = 180;
    std::uint8_t speed = 2;
    std::uint8_t hue = 170;
    std::uint8_t sat = 255;

    /// What a "get effect" answers: rgblight reports 0 while off.
    std::uint8_t effect() const { return enabled ? mode : 0; }
    bool operator==(const VirtualLighting&) const = default;
};

/// A matrix cell.
struct MatrixCell
{
    int row = 0;
    int col = 0;
    bool operator==(const MatrixCell&) const = default;
};

/// Keys the firmware handles itself, before the keymap: 0x00F1 steps one layer down, 0x00F2 one up.
struct HardwareLayerKey
{
    MatrixCell cell;
    Keycode code = 0x00F1;
};

struct VirtualPadConfig
{
    int vid = 0;
    int pid = 0;
    std::string manufacturer;
    std::string product;
    std::string serial;

    /// 0 picks the personality's version: 9 for Vial builds, 12 for plain VIA.
    int viaVersion = 0;

    bool vial = false;
    std::uint32_t vialVersion = 6;
    std::uint64_t vialUid = 0;
    /// Keyboard definition as JSON text; served minified and xz-compressed. Text that is not JSON is
    /// compressed as it is (a broken definition is a legitimate test subject).
    std::string definitionJson;
    /// Served instead of the compressed definition when set (exact bytes, for tests).
    std::optional<std::vector<std::uint8_t>> definitionBlob;
    /// A Vial build without VIAL_INSECURE boots locked and unlocks only while its unlock keys are held
    /// through the unlock polls; an insecure build is always unlocked and has no bootloader command.
    bool vialInsecure = false;
    /// The keys a secure build wants held to unlock; (0, 0) when none are given (a pad made from a
    /// definition takes its first layout key).
    std::vector<MatrixCell> unlockKeys;

    int rows = 1;
    int cols = 1;
    int layers = 4;
    /// keymap[layer][row][col]; missing entries are KC_NO.
    Keymap keymap;

    int encoderCount = 0;
    /// encoderMap[layer][encoder] = {counter-clockwise, clockwise}.
    EncoderMap encoderMap;
    /// The push switch of each encoder, by encoder index (none for a wheel without push).
    std::vector<std::optional<MatrixCell>> encoderClicks;
    /// VIA 0x14/0x15 compiled in; by default VIA >= 10 without Vial.
    std::optional<bool> viaEncoderCommands;

    std::vector<TapDanceData> tapDances;
    int comboCount = 0;
    int keyOverrideCount = 0;

    LightingDialect lighting = LightingDialect::none;
    LightingFeature lightingFeature = LightingFeature::rgblight;
    VirtualLighting lightingValues;
    /// Channel form only: a keyboard-level handler that takes this channel before QMK's own, with the
    /// value ids 1 effect, 2 brightness, 3 speed, 4 colour (-1: none; QMK's custom channel is 0).
    int keyboardLightingChannel = -1;
    /// VialRGB: the effect ids the firmware reports as supported (0 and 1 are always there).
    std::vector<std::uint16_t> vialRgbEffects;

    std::vector<HardwareLayerKey> hardwareLayerKeys;

    int macroCount = 16;
    int macroBufferSize = 512;
    std::uint32_t layoutOptions = 0;
    std::uint32_t firmwareVersion = 0;
};

} // namespace keyglass
