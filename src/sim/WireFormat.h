#pragma once
// The bytes of the RawHID wire as the emulated firmware reads and writes them.

#include "device/HidBackend.h"

#include <cstddef>
#include <cstdint>

namespace keyglass::sim {

/// The emulator keeps its own command table on purpose rather than sharing the program's: it is an
/// independent oracle of the device code, so a wrong id on either side shows up as a failing exchange
/// instead of agreeing with itself.
enum class ViaCommand : std::uint8_t
{
    GetProtocolVersion = 0x01,
    GetKeyboardValue = 0x02,
    SetKeyboardValue = 0x03,
    GetKeycode = 0x04,
    SetKeycode = 0x05,
    KeymapReset = 0x06,
    LightingSet = 0x07,
    LightingGet = 0x08,
    LightingSave = 0x09,
    EepromReset = 0x0A,
    BootloaderJump = 0x0B,
    MacroGetCount = 0x0C,
    MacroGetBufferSize = 0x0D,
    MacroGetBuffer = 0x0E,
    MacroSetBuffer = 0x0F,
    MacroReset = 0x10,
    GetLayerCount = 0x11,
    KeymapGetBuffer = 0x12,
    KeymapSetBuffer = 0x13,
    EncoderGet = 0x14,
    EncoderSet = 0x15,
    VialPrefix = 0xFE,
};

/// What byte 0 of an answer becomes when the firmware does not handle the command.
constexpr std::uint8_t IdUnhandled = 0xFF;
/// Payload bytes of one bulk read or write (32 minus the four header bytes).
constexpr int MaxBulk = 28;

constexpr std::uint8_t byteOf(ViaCommand command)
{
    return static_cast<std::uint8_t>(command);
}

constexpr bool isCommand(std::uint8_t byte, ViaCommand command)
{
    return byte == byteOf(command);
}

inline void putBe16(RawHidReport& r, std::size_t at, std::uint16_t v)
{
    if (at + 1 >= r.size())
        return;
    r[at] = static_cast<std::uint8_t>(v >> 8);
    r[at + 1] = static_cast<std::uint8_t>(v & 0xFF);
}

inline void putBe32(RawHidReport& r, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        r[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

inline void putLe16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline std::uint16_t be16(const RawHidReport& r, std::size_t at)
{
    return static_cast<std::uint16_t>((r[at] << 8) | r[at + 1]);
}

inline std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

} // namespace keyglass::sim
