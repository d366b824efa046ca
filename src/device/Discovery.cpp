#include "device/Discovery.h"

#include "device/Definition.h"
#include "device/KeymapRead.h"
#include "device/KleLayout.h"
#include "device/LayoutOptions.h"
#include "device/Lighting.h"
#include "device/RawHidSession.h"
#include "device/ViaCommands.h"
#include "device/ViaDefinitions.h"
#include "device/ViaLayout.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/LegacyNumbering.h"
#include "platform/Log.h"

#include <algorithm>
#include <chrono>
#include <map>

namespace keyglass {

namespace {
constexpr int MaxVialVersion = 6;
constexpr int ViaEncoderProbeLimit = 6;
constexpr int MinViaVersionWithEncoders = 11;

Keymap emptyKeymap(int layers, int rows, int cols)
{
    return Keymap(static_cast<std::size_t>(layers),
                  std::vector<std::vector<Keycode>>(static_cast<std::size_t>(rows),
                                                    std::vector<Keycode>(static_cast<std::size_t>(cols), 0)));
}

EncoderMap emptyEncoderMap(int layers, std::size_t encoders)
{
    return EncoderMap(static_cast<std::size_t>(layers), std::vector<std::vector<Keycode>>(encoders, {0, 0}));
}

// VIA's USER00.. codes at 0x5F80 belong to the pad up to protocol 11; protocol 12 moved them into QK_KB,
// and from then on 0x5F80 is no custom code.
void markFirmwareCustom(DeviceModel& model, int layer, int row, int col, Keycode code)
{
    const bool viaUserRange = code >= 0x5F80 && code <= 0x5FFF;
    if (viaUserRange ? model.proto.viaVersion() <= 11 : isFirmwareCustomKeycode(code))
        model.protectedLayerCells.insert(layerCellKey(layer, row, col));
}

DeviceModel baseModel(const RawHIDEndpointInfo& endpoint)
{
    DeviceModel model;
    model.id = endpoint.id();
    model.vid = endpoint.vid;
    model.pid = endpoint.pid;
    model.manufacturer = endpoint.manufacturer;
    model.product = endpoint.product;
    model.serial = endpoint.serial;
    model.connected = true;
    model.liveRead = true;
    return model;
}

// The pad's layout options are asked only when the definition has options to choose from.
Expected<DefinitionLayout> layoutWithPadOptions(RawHidSession& session, const nlohmann::json& definition)
{
    auto layout = layoutFromDefinition(definition);
    if (!layout || layout->labels.empty())
        return layout;
    const auto options = readLayoutOptions(session);
    if (!options || *options == 0)
        return layout;
    return layoutFromDefinition(definition, *options);
}

// QMK 0.18 placed TO(n) where the old numbering the model keeps has other codes; see LegacyNumbering.
void swapLayerMovesOfProtocol10(DeviceModel& model)
{
    if (!model.proto.writesAlignedLayerMoves())
        return;
    for (auto& layer : model.keymap)
        for (auto& row : layer)
            for (Keycode& code : row)
                code = swapAlignedLayerMoveBlocks(code);
}

void markHardwareReserved(DeviceModel& model)
{
    for (int row = 0; row < model.rows; ++row) {
        for (int col = 0; col < model.cols; ++col) {
            const Keycode base = model.keymap[0][row][col];
            if (!isHardwareReservedKeycode(base))
                continue;
            const bool sameEverywhere = std::all_of(
                model.keymap.begin(), model.keymap.end(), [&](const auto& layer) { return layer[row][col] == base; });
            if (sameEverywhere)
                model.protectedCells.insert(cellKey(row, col));
        }
    }
}

// The matrix, keys, knobs and options a definition gives.
void adoptLayout(DeviceModel& model, DefinitionLayout&& layout)
{
    model.rows = layout.rows;
    model.cols = layout.cols;
    model.keys = std::move(layout.keys);
    model.encoders = std::move(layout.encoders);
    model.layoutLabels = std::move(layout.labels);
    model.layoutOptions = layout.layoutOptions;
    model.keymap = emptyKeymap(model.layerCount, model.rows, model.cols);
}

// Every layer's keys of a pad whose matrix a definition gives: the keymap buffer's geometry is known,
// so it is read in bulk, with a key's own request where the bulk read has no answer for it.
void readDefinedKeys(RawHidSession& session, DeviceModel& model)
{
    const auto bulk = readKeymapBulk(session, model.rows, model.cols, 0, model.layerCount);
    for (int layer = 0; layer < model.layerCount; ++layer) {
        for (const auto& key : model.keys) {
            if (key.decal || key.row < 0 || key.col < 0 || key.row >= model.rows || key.col >= model.cols)
                continue;
            auto code = bulk.at(layer, key.row, key.col);
            if (!code)
                code = readKeycode(session, layer, key.row, key.col);
            if (code)
                model.keymap[layer][key.row][key.col] = *code;
            else
                model.unreadCells.insert(layerCellKey(layer, key.row, key.col));
        }
    }
    swapLayerMovesOfProtocol10(model);
    for (int layer = 0; layer < model.layerCount; ++layer)
        for (const auto& key : model.keys)
            if (!key.decal && key.row >= 0 && key.col >= 0 && key.row < model.rows && key.col < model.cols)
                markFirmwareCustom(model, layer, key.row, key.col, model.keymap[layer][key.row][key.col]);
}

// A plain VIA pad whose definition the user added: the definition's matrix, keys, knobs and options
// replace the probe, and only the keys it shows are read.
bool loadViaWithDefinition(RawHidSession& session, DeviceModel& model, int viaVersion, const nlohmann::json& definition)
{
    auto layout = layoutWithPadOptions(session, definition);
    if (!layout || layout->rows < 1 || layout->cols < 1)
        return false;
    model.proto = DeviceProtocol::via(viaVersion);
    adoptLayout(model, std::move(*layout));
    readDefinedKeys(session, model);
    markHardwareReserved(model);

    // Encoder commands arrived with protocol 10, and only builds with an encoder map answer them;
    // without them the knobs have no bindings to read or write, and their push keys stay plain keys.
    if (viaVersion < 10 || (!model.encoders.empty() && !readViaEncoder(session, 0, model.encoders[0].id, false, true)))
        model.encoders.clear();
    model.encoderMap = emptyEncoderMap(model.layerCount, model.encoders.size());
    for (int layer = 0; layer < model.layerCount; ++layer) {
        for (std::size_t j = 0; j < model.encoders.size(); ++j) {
            const int index = model.encoders[j].id;
            const auto ccw = readViaEncoder(session, layer, index, false, true);
            const auto cw = readViaEncoder(session, layer, index, true, true);
            if (ccw && cw)
                model.encoderMap[layer][j] = {*ccw, *cw};
            else
                model.unreadEncoders.insert(std::to_string(layer) + "," + std::to_string(index));
        }
    }
    auto lighting = readViaLighting(session, viaVersion);
    model.rgb = lighting.state;
    model.lightingEffectIds = std::move(lighting.effectIds);
    model.activeLayer = 0;
    return true;
}

bool loadVial(RawHidSession& session, DeviceModel& model, int viaVersion, const VialKeyboardId& id)
{
    const auto definition = fetchDefinition(session);
    if (!definition)
        return false;
    auto layout = layoutWithPadOptions(session, *definition);
    if (!layout)
        return false;

    model.proto = DeviceProtocol::vial(viaVersion, id.vialVersion, id.uid);
    adoptLayout(model, std::move(*layout));
    readDefinedKeys(session, model);

    model.encoderMap = emptyEncoderMap(model.layerCount, model.encoders.size());
    for (int layer = 0; layer < model.layerCount; ++layer) {
        for (std::size_t j = 0; j < model.encoders.size(); ++j) {
            if (const auto pair = readVialEncoder(session, layer, model.encoders[j].id))
                model.encoderMap[layer][j] = {pair->first, pair->second};
            else
                model.unreadEncoders.insert(std::to_string(layer) + "," + std::to_string(model.encoders[j].id));
        }
    }

    if (const auto count = readTapDanceCount(session); count && *count > 0) {
        model.tapDanceCount = *count;
        // Every entry keeps its index: TD(n) on a key and the n-th set request both address entry n, so
        // a missing answer leaves a marked placeholder rather than moving later entries up.
        const int entries = std::min(*count, via::MaxTapDanceEntries);
        for (int i = 0; i < entries; ++i) {
            if (const auto entry = readTapDance(session, i)) {
                model.tapDances.push_back(*entry);
            } else {
                model.tapDances.push_back(TapDanceData{});
                model.unreadTapDances.insert(i);
            }
        }
    }

    auto lighting = readVialLighting(session, *definition);
    model.rgb = lighting.state;
    model.lightingEffectIds = std::move(lighting.effectIds);
    model.activeLayer = model.layerCount > 1 ? 1 : 0;
    return true;
}

/// The upper layers of a VIA-only pad in bulk. The probe only guesses the matrix from the cells in use,
/// and the keymap buffer is laid out by the firmware's real matrix, so the guess is checked: the buffer's
/// layer 0 must equal the probe and the last non-zero cell above it must match a per-key read. When it
/// does not, the matrix is larger than it looks and nothing of the buffer is used.
std::optional<BulkKeymap>
bulkUpperLayers(RawHidSession& session, const DeviceModel& model, const std::vector<std::vector<Keycode>>& layer0)
{
    if (model.layerCount < 2)
        return std::nullopt;
    auto bulk = readKeymapBulk(session, model.rows, model.cols, 0, model.layerCount);
    if (bulk.refused)
        return std::nullopt;
    for (int row = 0; row < model.rows; ++row)
        for (int col = 0; col < model.cols; ++col)
            if (bulk.at(0, row, col) != layer0[row][col])
                return std::nullopt;
    int layer = model.layerCount - 1, row = model.rows - 1, col = model.cols - 1;
    for (int i = static_cast<int>(bulk.codes.size()) - 1; i >= model.rows * model.cols; --i) {
        if (bulk.codes[i].value_or(0) != 0) {
            layer = i / (model.rows * model.cols);
            row = i / model.cols % model.rows;
            col = i % model.cols;
            break;
        }
    }
    const auto check = readKeycode(session, layer, row, col);
    if (!check || bulk.at(layer, row, col) != *check)
        return std::nullopt;
    return bulk;
}

void loadViaOnly(RawHidSession& session, DeviceModel& model, int viaVersion)
{
    model.proto = DeviceProtocol::via(viaVersion);
    auto probe = probeMatrix(session);
    model.rows = probe.rows;
    model.cols = probe.cols;
    model.keymap = emptyKeymap(model.layerCount, model.rows, model.cols);
    model.keymap[0] = std::move(probe.layer0);
    const auto bulk = bulkUpperLayers(session, model, model.keymap[0]);
    for (int layer = 1; layer < model.layerCount; ++layer)
        for (int row = 0; row < model.rows; ++row)
            for (int col = 0; col < model.cols; ++col) {
                auto code = bulk ? bulk->at(layer, row, col) : std::nullopt;
                if (!code)
                    code = readKeycode(session, layer, row, col);
                if (code)
                    model.keymap[layer][row][col] = *code;
                else
                    model.unreadCells.insert(layerCellKey(layer, row, col));
            }

    swapLayerMovesOfProtocol10(model);

    for (int layer = 0; layer < model.layerCount; ++layer)
        for (int row = 0; row < model.rows; ++row)
            for (int col = 0; col < model.cols; ++col)
                markFirmwareCustom(model, layer, row, col, model.keymap[layer][row][col]);
    markHardwareReserved(model);

    int encoderCount = 0;
    if (viaVersion >= MinViaVersionWithEncoders) {
        for (int k = 0; k < ViaEncoderProbeLimit; ++k) {
            const auto ccw = readViaEncoder(session, 0, k, false, true);
            const auto cw = readViaEncoder(session, 0, k, true, true);
            if (!ccw || !cw)
                break;
            if (*ccw != 0 || *cw != 0)
                encoderCount = k + 1;
        }
    }
    model.encoderMap = emptyEncoderMap(model.layerCount, static_cast<std::size_t>(encoderCount));
    for (int layer = 0; layer < model.layerCount; ++layer) {
        for (int k = 0; k < encoderCount; ++k) {
            const auto ccw = readViaEncoder(session, layer, k, false, false);
            const auto cw = readViaEncoder(session, layer, k, true, false);
            if (ccw && cw)
                model.encoderMap[layer][k] = {*ccw, *cw};
            else
                model.unreadEncoders.insert(std::to_string(layer) + "," + std::to_string(k));
        }
    }

    auto layout = viaOnlyLayout(model.rows, model.cols, model.keymap, model.protectedCells, encoderCount);
    model.keys = std::move(layout.keys);
    model.encoders = std::move(layout.encoders);
    auto lighting = readViaLighting(session, viaVersion);
    model.rgb = lighting.state;
    model.lightingEffectIds = std::move(lighting.effectIds);
    model.activeLayer = 0;
}
} // namespace

std::vector<RawHIDEndpointInfo> enumerateEndpoints(HidBackend& backend)
{
    std::map<std::string, RawHIDEndpointInfo> byId;
    for (const auto& info : backend.enumerate(RawHidUsagePage, RawHidUsage)) {
        if (info.usagePage != RawHidUsagePage || info.usage != RawHidUsage)
            continue;
        if (info.vid == 0 && info.pid == 0)
            continue;
        RawHIDEndpointInfo endpoint{info.vid, info.pid, info.manufacturer, info.product, info.serial};
        byId.insert_or_assign(endpoint.id(), std::move(endpoint));
    }
    std::vector<RawHIDEndpointInfo> endpoints;
    endpoints.reserve(byId.size());
    for (auto& [id, endpoint] : byId)
        endpoints.push_back(std::move(endpoint));
    return endpoints;
}

bool endpointRefusesAccess(HidBackend& backend, const RawHIDEndpointInfo& endpoint)
{
    for (const auto& info : backend.enumerate(RawHidUsagePage, RawHidUsage)) {
        if (info.vid != endpoint.vid || info.pid != endpoint.pid)
            continue;
        const auto opened = backend.open(info);
        return !opened && opened.error().code == HidOpenNoPermission;
    }
    return false;
}

std::optional<DeviceModel> loadDevice(HidBackend& backend, const RawHIDEndpointInfo& endpoint, LoadStats* stats)
{
    const TimePoint started = backend.now();
    auto session = RawHidSession::open(backend, endpoint.vid, endpoint.pid);
    if (!session)
        return std::nullopt;
    auto finish = [&] {
        session->close();
        if (stats) {
            stats->exchanges = session->exchangeCount();
            stats->loadMs = std::chrono::duration<double, std::milli>(backend.now() - started).count();
        }
    };

    const auto viaVersion = readProtocolVersion(*session);
    if (!viaVersion) {
        finish();
        return std::nullopt;
    }
    DeviceModel model = baseModel(endpoint);
    model.layerCount = readLayerCount(*session);
    const auto vialId = readVialKeyboardId(*session);

    bool loaded = false;
    if (vialId && vialId->uid != 0 && vialId->vialVersion <= MaxVialVersion)
        loaded = loadVial(*session, model, *viaVersion, *vialId);
    if (!loaded)
        if (const auto definition = storedViaDefinition(endpoint.vid, endpoint.pid))
            loaded = loadViaWithDefinition(*session, model, *viaVersion, *definition);
    if (!loaded)
        loadViaOnly(*session, model, *viaVersion);

    finish();
    // The session stopped asking after a run of unanswered requests; what it skipped is marked unread.
    if (session->stoppedAnswering())
        logLine(model.displayName() + " stopped answering after " + std::to_string(MaxConsecutiveFailedExchanges) +
                " requests in a row; " + std::to_string(model.unreadCount()) + " keys could not be read");
    return model;
}

} // namespace keyglass
