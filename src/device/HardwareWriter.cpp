#include "device/HardwareWriter.h"

#include "device/RawHidSession.h"
#include "device/ViaCommands.h"
#include "keycodes/LegacyNumbering.h"

#include <algorithm>
#include <set>
#include <string>

namespace keyglass {

namespace {
const char* const ErrorDomain = "Keyglass";

auto fail(WriteError code, std::string message)
{
    return unexpected(Error(std::move(message), static_cast<int>(code), ErrorDomain));
}

std::set<std::string> writableCells(const DeviceModel& model)
{
    std::set<std::string> cells;
    for (const auto& key : model.keys)
        if (!key.decal)
            cells.insert(cellKey(key.row, key.col));
    for (const auto& encoder : model.encoders)
        if (encoder.hasClick())
            cells.insert(cellKey(*encoder.clickRow, *encoder.clickCol));
    return cells;
}

Keycode encoderCode(const DeviceModel& model, int layer, std::size_t position, int direction)
{
    if (layer < 0 || static_cast<std::size_t>(layer) >= model.encoderMap.size())
        return 0;
    const auto& layerMap = model.encoderMap[static_cast<std::size_t>(layer)];
    if (position >= layerMap.size() || layerMap[position].size() < 2)
        return 0;
    return layerMap[position][static_cast<std::size_t>(direction)];
}

bool echoes(const std::optional<Answer>& answer, std::uint8_t command)
{
    return answer && !answer->empty() && (*answer)[0] == command;
}

// Vial writes: an encoder set comes back as a plain echo of the request; a tap-dance set has its status
// in byte 0 (0 when stored) and the rest of the request echoed. A pad without the feature echoes the
// whole tap-dance request, so its byte 0 stays 0xFE and the write counts as failed.
bool echoesRequest(const std::optional<Answer>& answer, const std::vector<std::uint8_t>& request, std::size_t from)
{
    if (!answer || answer->size() < request.size())
        return false;
    return std::equal(request.begin() + static_cast<std::ptrdiff_t>(from),
                      request.end(),
                      answer->begin() + static_cast<std::ptrdiff_t>(from));
}

bool tapDanceStored(const std::optional<Answer>& answer, const std::vector<std::uint8_t>& request)
{
    return echoesRequest(answer, request, 1) && (*answer)[0] == 0x00;
}
} // namespace

Expected<int> writeDeviceToHardware(HidBackend& backend, const DeviceModel& model)
{
    if (model.isPartial())
        return fail(WriteError::partialModel,
                    "Reload the pad first: " + std::to_string(model.unreadCount()) + " keys could not be read");
    auto session = RawHidSession::open(backend, model.vid, model.pid);
    if (!session)
        return fail(WriteError::open,
                    "Could not open " + model.displayName() + " over RawHID (close Vial.app if open).");

    if (model.proto.isVial()) {
        for (std::size_t i = 0; i < model.tapDances.size(); ++i) {
            const auto index = wireByte(static_cast<int>(i));
            if (!index)
                break;
            const auto request = setTapDanceRequest(*index, model.tapDances[i]);
            if (!tapDanceStored(session->exchange(request), request)) {
                session->close();
                return fail(WriteError::tapDance, "Failed writing Tap Dance " + std::to_string(i));
            }
        }
    }

    int written = 0;
    const auto writable = writableCells(model);
    for (int layer = 0; layer < model.layerCount; ++layer) {
        for (int row = 0; row < model.rows; ++row) {
            for (int col = 0; col < model.cols; ++col) {
                const std::string cell = cellKey(row, col);
                if (model.protectedCells.contains(cell) ||
                    model.protectedLayerCells.contains(layerCellKey(layer, row, col)) ||
                    (!writable.empty() && !writable.contains(cell)))
                    continue;
                const auto l = wireByte(layer), r = wireByte(row), c = wireByte(col);
                if (!l || !r || !c)
                    continue;
                Keycode code = model.keycodeAt(layer, row, col);
                if (model.proto.writesAlignedLayerMoves())
                    code = swapAlignedLayerMoveBlocks(code);
                const auto answer = session->exchange(setKeycodeRequest(*l, *r, *c, code));
                if (!echoes(answer, via::SetKeycode)) {
                    session->close();
                    return fail(WriteError::keycode,
                                "Failed writing L" + std::to_string(layer) + " (" + std::to_string(row) + "," +
                                    std::to_string(col) + ")");
                }
                ++written;
            }
        }
    }

    const bool vial = model.proto.isVial();
    for (int layer = 0; layer < model.layerCount; ++layer) {
        for (std::size_t position = 0; position < model.encoders.size(); ++position) {
            const int id = model.encoders[position].id;
            const auto l = wireByte(layer), e = wireByte(id);
            if (!l || !e)
                continue;
            for (int direction = 0; direction < 2; ++direction) {
                const Keycode code = encoderCode(model, layer, position, direction);
                const bool clockwise = direction == 1;
                if (vial) {
                    const auto request = setVialEncoderRequest(*l, *e, clockwise, code);
                    if (!echoesRequest(session->exchange(request), request, 0)) {
                        session->close();
                        return fail(WriteError::vialEncoder,
                                    "Failed writing Vial encoder " + std::to_string(id) + " on L" +
                                        std::to_string(layer));
                    }
                } else if (!echoes(session->exchange(setViaEncoderRequest(*l, *e, clockwise, code)), via::SetEncoder)) {
                    session->close();
                    return fail(WriteError::viaEncoder,
                                "Failed writing VIA encoder " + std::to_string(id) + " on L" + std::to_string(layer));
                }
            }
            written += 2;
        }
    }

    session->close();
    return written;
}

} // namespace keyglass
