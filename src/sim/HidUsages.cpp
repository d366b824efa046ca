#include "sim/HidUsages.h"

namespace keyglass {

namespace {

void pressRelease(std::vector<HidUsageEvent>& out, std::uint16_t page, std::uint16_t usage)
{
    out.push_back({page, usage, 1});
    out.push_back({page, usage, 0});
}

// QMK's consumer keys KC_MUTE (0xA8) .. KC_BRID (0xBE), in keycode order.
constexpr std::uint16_t ConsumerUsages[] = {
    0x0E2, // 0xA8 mute
    0x0E9, // 0xA9 volume up
    0x0EA, // 0xAA volume down
    0x0B5, // 0xAB next track
    0x0B6, // 0xAC previous track
    0x0B7, // 0xAD stop
    0x0CD, // 0xAE play/pause
    0x183, // 0xAF media select
    0x0B8, // 0xB0 eject
    0x18A, // 0xB1 mail
    0x192, // 0xB2 calculator
    0x194, // 0xB3 my computer
    0x221, // 0xB4 www search
    0x223, // 0xB5 www home
    0x224, // 0xB6 www back
    0x225, // 0xB7 www forward
    0x226, // 0xB8 www stop
    0x227, // 0xB9 www refresh
    0x22A, // 0xBA www favourites
    0x0B3, // 0xBB fast forward
    0x0B4, // 0xBC rewind
    0x06F, // 0xBD brightness up
    0x070, // 0xBE brightness down
};

constexpr std::uint16_t AcPan = 0x238;
constexpr std::int32_t CursorStep = 8;

bool mouseKey(std::uint8_t code, bool modern, std::vector<HidUsageEvent>& out)
{
    // Wheel up/down are recognised in both numberings: neither range is used for anything else.
    if (code == 0xD9 || code == 0xF9) {
        out.push_back({HidPageGenericDesktop, HidUsageWheel, 1});
        return true;
    }
    if (code == 0xDA || code == 0xFA) {
        out.push_back({HidPageGenericDesktop, HidUsageWheel, -1});
        return true;
    }
    const int base = modern ? 0xCD : 0xF0;
    const int offset = code - base;
    if (offset < 0)
        return false;
    if (offset <= 3) { // up, down, left, right
        const std::uint16_t axis = offset <= 1 ? 0x31 : 0x30;
        const std::int32_t step = (offset == 0 || offset == 2) ? -CursorStep : CursorStep;
        out.push_back({HidPageGenericDesktop, axis, step});
        return true;
    }
    const int buttons = modern ? 8 : 5;
    if (offset >= 4 && offset < 4 + buttons) {
        pressRelease(out, HidPageButton, static_cast<std::uint16_t>(offset - 3));
        return true;
    }
    const int wheelLeft = modern ? 0xDB : 0xFB;
    if (code == wheelLeft) {
        out.push_back({HidPageConsumer, AcPan, -1});
        return true;
    }
    if (code == wheelLeft + 1) {
        out.push_back({HidPageConsumer, AcPan, 1});
        return true;
    }
    return false; // acceleration keys change the firmware's state only
}

} // namespace

std::vector<HidUsageEvent> modifierEvents(std::uint8_t mods, std::int32_t value)
{
    std::vector<HidUsageEvent> out;
    const std::uint16_t first = (mods & 0x10) ? 0xE4 : 0xE0;
    for (int bit = 0; bit < 4; ++bit) {
        if (mods & (1u << bit))
            out.push_back({HidPageKeyboard, static_cast<std::uint16_t>(first + bit), value});
    }
    return out;
}

std::vector<HidUsageEvent> basicKeyTap(std::uint8_t code, bool modernNumbering)
{
    std::vector<HidUsageEvent> out;
    if (code >= 0x04 && code <= 0xA4) {
        pressRelease(out, HidPageKeyboard, code);
    } else if (code >= 0xA5 && code <= 0xA7) { // power, sleep, wake: system control
        pressRelease(out, HidPageGenericDesktop, static_cast<std::uint16_t>(0x81 + (code - 0xA5)));
    } else if (code >= 0xA8 && code <= 0xBE) {
        pressRelease(out, HidPageConsumer, ConsumerUsages[code - 0xA8]);
    } else if (code >= 0xE0 && code <= 0xE7) {
        pressRelease(out, HidPageKeyboard, code);
    } else {
        mouseKey(code, modernNumbering, out);
    }
    return out;
}

} // namespace keyglass
