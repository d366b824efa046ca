#pragma once
// The VIA/Vial requests Keyglass sends and how their answers are read. VIA keycodes and the protocol
// version are big-endian; Vial's own fields (version, UID, definition size and block, tap-dance
// entries) are little-endian, while keycodes in Vial's encoder commands are big-endian again.

#include "device/RawHidSession.h"
#include "model/DeviceModel.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace keyglass {

namespace via {
constexpr std::uint8_t GetProtocolVersion = 0x01;
constexpr std::uint8_t GetKeycode = 0x04;
constexpr std::uint8_t SetKeycode = 0x05;
constexpr std::uint8_t LightingSet = 0x07;
constexpr std::uint8_t LightingGet = 0x08;
constexpr std::uint8_t LightingSave = 0x09;
constexpr std::uint8_t GetLayerCount = 0x11;
constexpr std::uint8_t GetKeymapBuffer = 0x12;
constexpr std::uint8_t GetEncoder = 0x14;
constexpr std::uint8_t SetEncoder = 0x15;
constexpr std::uint8_t VialPrefix = 0xFE;
/// Byte 0 of the answer to a command the firmware does not handle.
constexpr std::uint8_t Unhandled = 0xFF;
/// Data bytes one keymap-buffer request carries.
constexpr int MaxBulkBytes = 28;

constexpr std::uint8_t VialGetKeyboardId = 0x00;
constexpr std::uint8_t VialGetDefinitionSize = 0x01;
constexpr std::uint8_t VialGetDefinitionBlock = 0x02;
constexpr std::uint8_t VialGetEncoder = 0x03;
constexpr std::uint8_t VialSetEncoder = 0x04;
constexpr std::uint8_t VialDynamicEntry = 0x0D;

constexpr std::uint8_t DynamicEntryCounts = 0x00;
constexpr std::uint8_t TapDanceGet = 0x01;
constexpr std::uint8_t TapDanceSet = 0x02;

/// The count is one byte; every entry it reports is read.
constexpr int MaxTapDanceEntries = 255;
constexpr int DefaultLayerCount = 4;
constexpr int MaxLayerCount = 32;
} // namespace via

using Answer = std::vector<std::uint8_t>;

/// A layer, row, column, encoder or entry number as one wire byte; none when it does not fit, so a
/// large number is never folded onto a smaller slot.
std::optional<std::uint8_t> wireByte(int value);

std::uint16_t readU16BE(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint16_t readU16LE(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint32_t readU32LE(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint64_t readU64LE(std::span<const std::uint8_t> bytes, std::size_t offset);

struct VialKeyboardId
{
    int vialVersion = 0;
    std::uint64_t uid = 0;
};

/// Hardware layer keys that must stay where they are on every layer.
bool isHardwareReservedKeycode(Keycode code);

/// The handshake and reads used while loading. Each returns none when the answer is missing or fails
/// its check; callers fall back to their documented default.
std::optional<int> readProtocolVersion(RawHidSession& session);
/// 1...32 as reported; any other outcome gives 4.
int readLayerCount(RawHidSession& session);
std::optional<VialKeyboardId> readVialKeyboardId(RawHidSession& session);
/// Keycode get: none unless the answer echoes the request (0x04, layer, row, column).
std::optional<Keycode> readKeycode(RawHidSession& session, int layer, int row, int col);
/// Keymap get buffer: `size` (at most 28) bytes of the keymap from byte `offset`. None unless the answer
/// echoes command, offset and size; `refused` is set when the pad answers the command as unknown.
std::optional<std::vector<std::uint8_t>>
readKeymapBuffer(RawHidSession& session, std::uint16_t offset, std::uint8_t size, bool* refused = nullptr);
/// VIA encoder get: keycode of one direction. `checkEcho` requires byte 0 to be 0x14.
std::optional<Keycode> readViaEncoder(RawHidSession& session, int layer, int encoder, bool clockwise, bool checkEcho);
/// Vial encoder get: {counter-clockwise, clockwise}.
std::optional<std::pair<Keycode, Keycode>> readVialEncoder(RawHidSession& session, int layer, int encoder);
std::optional<int> readTapDanceCount(RawHidSession& session);
std::optional<TapDanceData> readTapDance(RawHidSession& session, int index);

/// Requests of the writes, exactly as sent.
std::vector<std::uint8_t> setKeycodeRequest(std::uint8_t layer, std::uint8_t row, std::uint8_t col, Keycode code);
std::vector<std::uint8_t> setViaEncoderRequest(std::uint8_t layer, std::uint8_t encoder, bool clockwise, Keycode code);
std::vector<std::uint8_t> setVialEncoderRequest(std::uint8_t layer, std::uint8_t encoder, bool clockwise, Keycode code);
std::vector<std::uint8_t> setTapDanceRequest(std::uint8_t index, const TapDanceData& entry);

} // namespace keyglass
