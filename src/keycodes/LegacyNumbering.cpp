#include "keycodes/LegacyNumbering.h"

#include <array>

namespace keyglass {

namespace {

// A run of consecutive codes that moved as a block.
struct Block
{
    Keycode current;
    Keycode legacy;
    Keycode count;
};

// Old places from QMK's own headers of 0.17/0.18 and their compile-time checks (BL_ON 0x5CBB,
// RGB_TOG 0x5CC2, SC_LSPO 0x5CD7), VIA's custom ranges and the mouse block of VIA builds.
constexpr Block Blocks[] = {
    {0x00CD, 0x00F0, 9},  // mouse cursor and buttons 1-5 (buttons 6-8 had no code)
    {0x00D9, 0x00F9, 7},  // wheel and acceleration
    {0x7C00, 0x5C00, 1},  // QK_BOOT
    {0x7C02, 0x5C01, 1},  // DB_TOGG
    {0x7C16, 0x5C16, 1},  // QK_GESC
    {0x7C1A, 0x5CD7, 1},  // SC_LSPO
    {0x7800, 0x5CBB, 2},  // BL_ON, BL_OFF
    {0x7802, 0x5CBF, 1},  // BL_TOGG
    {0x7803, 0x5CBD, 2},  // BL_DOWN, BL_UP
    {0x7805, 0x5CC0, 2},  // BL_STEP, BL_BRTG
    {0x7820, 0x5CC2, 20}, // RGB_TOG ... RGB_M_T, in the same order
    {0x7C77, 0x5F10, 2},  // FN_MO13, FN_MO23
    {0x7700, 0x5F12, 16}, // MACRO00-MACRO15
    {0x7E00, 0x5F80, 16}, // USER00-USER15, now QK_KB_0-15
};

// Layer functions: current base, old base, layer count both can hold.
struct LayerFunction
{
    Keycode current;
    Keycode legacy;
    Keycode layers;
};

constexpr LayerFunction LayerFunctions[] = {
    {0x5200, 0x5010, 16}, // TO
    {0x5220, 0x5100, 32}, // MO
    {0x5240, 0x5200, 32}, // DF
    {0x5260, 0x5300, 32}, // TG
    {0x5280, 0x5400, 32}, // OSL
    {0x52A0, 0x5500, 32}, // OSM (a modifier set)
    {0x52C0, 0x5800, 32}, // TT
};

bool basicIsShared(Keycode usage)
{
    return usage <= 0x00BE || (usage >= 0x00E0 && usage <= 0x00E7);
}

std::optional<Keycode> basicToLegacy(Keycode usage)
{
    if (basicIsShared(usage))
        return usage;
    for (const Block& block : Blocks) {
        if (block.current <= 0xFF && usage >= block.current && usage < block.current + block.count)
            return static_cast<Keycode>(block.legacy + (usage - block.current));
    }
    return std::nullopt;
}

std::optional<Keycode> basicFromLegacy(Keycode usage)
{
    if (basicIsShared(usage))
        return usage;
    for (const Block& block : Blocks) {
        if (block.legacy <= 0xFF && usage >= block.legacy && usage < block.legacy + block.count)
            return static_cast<Keycode>(block.current + (usage - block.legacy));
    }
    return std::nullopt;
}

// A code whose low byte is a basic key under a fixed high part (modifiers, mod-tap, layer-tap, swap
// hands): the high part maps to `high`, the key is translated with `basic`.
template <typename Translate> std::optional<Keycode> withKey(Keycode code, Keycode high, Translate basic)
{
    const auto key = basic(static_cast<Keycode>(code & 0xFF));
    if (!key)
        return std::nullopt;
    return static_cast<Keycode>(high | *key);
}

} // namespace

std::optional<Keycode> toLegacyNumbering(Keycode current)
{
    if (current <= 0x00FF)
        return basicToLegacy(current);
    if (current <= 0x1FFF) // modifiers
        return withKey(current, current & 0xFF00, basicToLegacy);
    if (current <= 0x3FFF) // mod-tap
        return withKey(current, static_cast<Keycode>((current & 0x1F00) | 0x6000), basicToLegacy);
    if (current <= 0x4FFF) // layer-tap
        return withKey(current, current & 0xFF00, basicToLegacy);
    if (current <= 0x51FF) { // layer-modifier: the old form has four layer and four modifier bits
        const unsigned layer = (current >> 5) & 0x0F;
        const unsigned mods = current & 0x1F;
        if (mods > 0x0F)
            return std::nullopt;
        return static_cast<Keycode>(0x5900 | (layer << 4) | mods);
    }
    for (const LayerFunction& function : LayerFunctions) {
        if (current >= function.current && current < function.current + 0x20) {
            const unsigned n = current - function.current;
            if (n >= function.layers)
                return std::nullopt;
            return static_cast<Keycode>(function.legacy + n);
        }
    }
    if (current >= 0x5600 && current <= 0x56EF) { // swap-hands tap; from 0x56F0 on are its actions
        const auto code = withKey(current, 0x5600, basicToLegacy);
        if (!code || *code >= 0x56F0)
            return std::nullopt;
        return code;
    }
    if ((current >= 0x56F0 && current <= 0x57FF) || current >= 0x8000) // swap-hands actions, tap dance, unicode
        return current;
    for (const Block& block : Blocks) {
        if (block.current > 0xFF && current >= block.current && current < block.current + block.count)
            return static_cast<Keycode>(block.legacy + (current - block.current));
    }
    return std::nullopt;
}

std::optional<Keycode> fromLegacyNumbering(Keycode legacy)
{
    if (legacy <= 0x00FF)
        return basicFromLegacy(legacy);
    if (legacy <= 0x1FFF)
        return withKey(legacy, legacy & 0xFF00, basicFromLegacy);
    if (legacy >= 0x4000 && legacy <= 0x4FFF)
        return withKey(legacy, legacy & 0xFF00, basicFromLegacy);
    if (legacy >= 0x6000 && legacy <= 0x7FFF)
        return withKey(legacy, static_cast<Keycode>((legacy & 0x1F00) | 0x2000), basicFromLegacy);
    if (legacy >= 0x5000 && legacy <= 0x500F) // TO(n) as QMK 0.18 wrote it
        return static_cast<Keycode>(0x5200 | (legacy & 0x0F));
    if (legacy >= 0x5900 && legacy <= 0x59FF) {
        const unsigned layer = (legacy >> 4) & 0x0F;
        return static_cast<Keycode>(0x5000 | (layer << 5) | (legacy & 0x0F));
    }
    for (const LayerFunction& function : LayerFunctions) {
        if (legacy >= function.legacy && legacy < function.legacy + function.layers)
            return static_cast<Keycode>(function.current + (legacy - function.legacy));
    }
    if (legacy >= 0x5600 && legacy <= 0x56EF)
        return withKey(legacy, 0x5600, basicFromLegacy);
    if ((legacy >= 0x56F0 && legacy <= 0x57FF) || legacy >= 0x8000)
        return legacy;
    for (const Block& block : Blocks) {
        if (block.legacy > 0xFF && legacy >= block.legacy && legacy < block.legacy + block.count)
            return static_cast<Keycode>(block.current + (legacy - block.legacy));
    }
    return std::nullopt;
}

Keycode swapAlignedLayerMoveBlocks(Keycode code)
{
    if (code >= 0x5000 && code <= 0x501F)
        return static_cast<Keycode>(code ^ 0x0010);
    return code;
}

std::optional<Keycode> toCurrentNumbering(Keycode code, bool legacyKeycodes)
{
    if (!legacyKeycodes)
        return code;
    return fromLegacyNumbering(code);
}

} // namespace keyglass
