#include "device/ViaCommands.h"

namespace keyglass {

std::optional<std::uint8_t> wireByte(int value)
{
    if (value < 0 || value > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

std::uint16_t readU16BE(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    if (offset + 2 > bytes.size())
        return 0;
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

std::uint16_t readU16LE(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    if (offset + 2 > bytes.size())
        return 0;
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t readU32LE(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    if (offset + 4 > bytes.size())
        return 0;
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[offset + static_cast<std::size_t>(i)];
    return value;
}

std::uint64_t readU64LE(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    if (offset + 8 > bytes.size())
        return 0;
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes[offset + static_cast<std::size_t>(i)];
    return value;
}

bool isHardwareReservedKeycode(Keycode code)
{
    return code == 0x00F1 || code == 0x00F2;
}

std::optional<int> readProtocolVersion(RawHidSession& session)
{
    const auto answer = session.exchange({via::GetProtocolVersion});
    if (!answer || answer->size() < 3 || (*answer)[0] != via::GetProtocolVersion)
        return std::nullopt;
    return readU16BE(*answer, 1);
}

int readLayerCount(RawHidSession& session)
{
    const auto answer = session.exchange({via::GetLayerCount});
    if (!answer || answer->size() < 2 || (*answer)[0] != via::GetLayerCount)
        return via::DefaultLayerCount;
    const int count = (*answer)[1];
    return count >= 1 && count <= via::MaxLayerCount ? count : via::DefaultLayerCount;
}

std::optional<VialKeyboardId> readVialKeyboardId(RawHidSession& session)
{
    const auto answer = session.exchange({via::VialPrefix, via::VialGetKeyboardId});
    if (!answer || answer->size() < 12)
        return std::nullopt;
    const std::uint32_t version = readU32LE(*answer, 0);
    // A version that does not fit an int is certainly not one we speak; keep it visibly too new.
    return VialKeyboardId{version > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(version), readU64LE(*answer, 4)};
}

std::optional<Keycode> readKeycode(RawHidSession& session, int layer, int row, int col)
{
    const auto l = wireByte(layer), r = wireByte(row), c = wireByte(col);
    if (!l || !r || !c)
        return std::nullopt;
    const auto answer = session.exchange({via::GetKeycode, *l, *r, *c});
    if (!answer || answer->size() < 6 || (*answer)[0] != via::GetKeycode || (*answer)[1] != *l || (*answer)[2] != *r ||
        (*answer)[3] != *c)
        return std::nullopt;
    return readU16BE(*answer, 4);
}

std::optional<std::vector<std::uint8_t>>
readKeymapBuffer(RawHidSession& session, std::uint16_t offset, std::uint8_t size, bool* refused)
{
    if (size > via::MaxBulkBytes)
        return std::nullopt;
    const auto hi = static_cast<std::uint8_t>(offset >> 8), lo = static_cast<std::uint8_t>(offset & 0xFF);
    const auto answer = session.exchange({via::GetKeymapBuffer, hi, lo, size});
    if (refused)
        *refused = answer && !answer->empty() && (*answer)[0] == via::Unhandled;
    if (!answer || answer->size() < 4u + size || (*answer)[0] != via::GetKeymapBuffer || (*answer)[1] != hi ||
        (*answer)[2] != lo || (*answer)[3] != size)
        return std::nullopt;
    return std::vector<std::uint8_t>(answer->begin() + 4, answer->begin() + 4 + size);
}

std::optional<Keycode> readViaEncoder(RawHidSession& session, int layer, int encoder, bool clockwise, bool checkEcho)
{
    const auto l = wireByte(layer), e = wireByte(encoder);
    if (!l || !e)
        return std::nullopt;
    const std::uint8_t direction = clockwise ? 1 : 0;
    const auto answer = session.exchange({via::GetEncoder, *l, *e, direction});
    if (!answer || answer->size() < 6 || (checkEcho && (*answer)[0] != via::GetEncoder))
        return std::nullopt;
    return readU16BE(*answer, 4);
}

std::optional<std::pair<Keycode, Keycode>> readVialEncoder(RawHidSession& session, int layer, int encoder)
{
    const auto l = wireByte(layer), e = wireByte(encoder);
    if (!l || !e)
        return std::nullopt;
    const auto answer = session.exchange({via::VialPrefix, via::VialGetEncoder, *l, *e});
    if (!answer || answer->size() < 4)
        return std::nullopt;
    return std::make_pair(readU16BE(*answer, 0), readU16BE(*answer, 2));
}

std::optional<int> readTapDanceCount(RawHidSession& session)
{
    const auto answer = session.exchange({via::VialPrefix, via::VialDynamicEntry, via::DynamicEntryCounts});
    if (!answer || answer->size() < 4)
        return std::nullopt;
    return (*answer)[0];
}

std::optional<TapDanceData> readTapDance(RawHidSession& session, int index)
{
    const auto i = wireByte(index);
    if (!i)
        return std::nullopt;
    const auto answer = session.exchange({via::VialPrefix, via::VialDynamicEntry, via::TapDanceGet, *i});
    if (!answer || answer->size() < 11 || (*answer)[0] != 0)
        return std::nullopt;
    TapDanceData entry;
    entry.onTap = readU16LE(*answer, 1);
    entry.onHold = readU16LE(*answer, 3);
    entry.onDoubleTap = readU16LE(*answer, 5);
    entry.onTapHold = readU16LE(*answer, 7);
    entry.tappingTerm = readU16LE(*answer, 9);
    return entry;
}

namespace {
std::uint8_t high(Keycode code)
{
    return static_cast<std::uint8_t>(code >> 8);
}
std::uint8_t low(Keycode code)
{
    return static_cast<std::uint8_t>(code & 0xFF);
}
} // namespace

std::vector<std::uint8_t> setKeycodeRequest(std::uint8_t layer, std::uint8_t row, std::uint8_t col, Keycode code)
{
    return {via::SetKeycode, layer, row, col, high(code), low(code)};
}

std::vector<std::uint8_t> setViaEncoderRequest(std::uint8_t layer, std::uint8_t encoder, bool clockwise, Keycode code)
{
    return {via::SetEncoder, layer, encoder, static_cast<std::uint8_t>(clockwise ? 1 : 0), high(code), low(code)};
}

std::vector<std::uint8_t> setVialEncoderRequest(std::uint8_t layer, std::uint8_t encoder, bool clockwise, Keycode code)
{
    return {via::VialPrefix,
            via::VialSetEncoder,
            layer,
            encoder,
            static_cast<std::uint8_t>(clockwise ? 1 : 0),
            high(code),
            low(code)};
}

std::vector<std::uint8_t> setTapDanceRequest(std::uint8_t index, const TapDanceData& entry)
{
    std::vector<std::uint8_t> request{via::VialPrefix, via::VialDynamicEntry, via::TapDanceSet, index};
    for (Keycode field : {entry.onTap, entry.onHold, entry.onDoubleTap, entry.onTapHold, entry.tappingTerm}) {
        request.push_back(low(field));
        request.push_back(high(field));
    }
    return request;
}

} // namespace keyglass
