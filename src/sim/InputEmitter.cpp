#include "sim/InputEmitter.h"

#include "sim/FirmwareRam.h"

#include <algorithm>
#include <utility>

namespace keyglass::sim {

namespace {

constexpr Keycode KcTrns = 0x0001;
constexpr Keycode HardwareLayerDown = 0x00F1;
constexpr int MaxLayers = 32;

enum class LayerOp
{
    none,
    to,
    momentary, // MO, and OSL which also lasts for the next key
    defaultLayer,
    toggle, // TG, and TT when tapped
    oneShotMods,
    layerMods,
};

struct DecodedLayerKey
{
    LayerOp op = LayerOp::none;
    int layer = 0;
    std::uint8_t mods = 0;
};

DecodedLayerKey decodeLayerKey(Keycode code, bool modern)
{
    if (modern) {
        if (code >= 0x5000 && code <= 0x51FF)
            return {LayerOp::layerMods, (code >> 5) & 0xF, static_cast<std::uint8_t>(code & 0x1F)};
        if (code >= 0x5200 && code <= 0x52FF) {
            const int l = code & 0x1F;
            switch ((code >> 5) & 0x7) {
            case 0:
                return {LayerOp::to, l, 0};
            case 1:
            case 4:
                return {LayerOp::momentary, l, 0};
            case 2:
            case 7:
                return {LayerOp::defaultLayer, l, 0};
            case 3:
            case 6:
                return {LayerOp::toggle, l, 0};
            case 5:
                return {LayerOp::oneShotMods, 0, static_cast<std::uint8_t>(code & 0x1F)};
            }
        }
        return {};
    }
    switch (code & 0xFF00) {
    case 0x5000:
        return {LayerOp::to, code & 0xF, 0};
    case 0x5100:
    case 0x5400:
        return {LayerOp::momentary, code & 0xFF, 0};
    case 0x5200:
        return {LayerOp::defaultLayer, code & 0xFF, 0};
    case 0x5300:
    case 0x5800:
        return {LayerOp::toggle, code & 0xFF, 0};
    case 0x5500:
        return {LayerOp::oneShotMods, 0, static_cast<std::uint8_t>(code & 0x1F)};
    case 0x5900:
        return {LayerOp::layerMods, (code >> 4) & 0xF, static_cast<std::uint8_t>(code & 0xF)};
    default:
        return {};
    }
}

} // namespace

InputEmitter::InputEmitter(const VirtualPadConfig& config, const Eeprom& eeprom) : m_config(config), m_eeprom(eeprom) {}

int InputEmitter::activeLayer() const
{
    const std::uint32_t layers = m_layerState | m_defaultLayerState;
    for (int l = std::min(m_config.layers, MaxLayers) - 1; l >= 0; --l)
        if (layers & (1u << l))
            return l;
    return 0;
}

Keycode InputEmitter::resolveKey(int row, int col) const
{
    const std::uint32_t layers = m_layerState | m_defaultLayerState;
    for (int l = m_config.layers - 1; l >= 0; --l) {
        if (!(layers & (1u << l)))
            continue;
        const Keycode code = m_eeprom.keycode(l, row, col);
        if (code != KcTrns)
            return code;
    }
    return m_eeprom.keycode(0, row, col);
}

Keycode InputEmitter::resolveEncoder(int index, bool clockwise) const
{
    const std::uint32_t layers = m_layerState | m_defaultLayerState;
    for (int l = m_config.layers - 1; l >= 0; --l) {
        if (!(layers & (1u << l)))
            continue;
        const Keycode code = m_eeprom.encoder(l, index, clockwise);
        if (code != KcTrns)
            return code;
    }
    return m_eeprom.encoder(0, index, clockwise);
}

void InputEmitter::tap(Keycode code, std::vector<HidUsageEvent>& out, int depth)
{
    if (depth > 4)
        return;
    const bool modern = modernKeycodes(m_config);
    auto append = [&](const std::vector<HidUsageEvent>& events) {
        out.insert(out.end(), events.begin(), events.end());
    };
    auto basic = [&](Keycode kc) { append(basicKeyTap(static_cast<std::uint8_t>(kc & 0xFF), modern)); };

    if (code <= 0xFF) {
        basic(code);
        return;
    }
    if (code <= 0x1FFF) {
        const auto mods = static_cast<std::uint8_t>((code >> 8) & 0x1F);
        append(modifierEvents(mods, 1));
        basic(code);
        append(modifierEvents(mods, 0));
        return;
    }
    // Mod-tap and layer-tap send their key when tapped.
    const bool modTap = modern ? (code >= 0x2000 && code <= 0x3FFF) : (code >= 0x6000 && code <= 0x7FFF);
    if (modTap || (code >= 0x4000 && code <= 0x4FFF)) {
        basic(code);
        return;
    }
    if ((code & 0xFF00) == 0x5700) {
        const int n = code & 0xFF;
        if (n < m_eeprom.tapDanceCount())
            tap(m_eeprom.tapDance(n).onTap, out, depth + 1);
        return;
    }
    const auto key = decodeLayerKey(code, modern);
    const bool layerOk = key.layer >= 0 && key.layer < m_config.layers;
    switch (key.op) {
    case LayerOp::none:
        break;
    case LayerOp::to:
        if (layerOk)
            m_layerState = 1u << key.layer;
        break;
    case LayerOp::momentary:
        if (layerOk) {
            m_layerState |= 1u << key.layer;
            m_heldLayer = key.layer;
        }
        break;
    case LayerOp::defaultLayer:
        if (layerOk)
            m_defaultLayerState = 1u << key.layer;
        break;
    case LayerOp::toggle:
        if (layerOk)
            m_layerState ^= 1u << key.layer;
        break;
    case LayerOp::oneShotMods:
    case LayerOp::layerMods:
        append(modifierEvents(key.mods, 1));
        append(modifierEvents(key.mods, 0));
        break;
    }
}

void InputEmitter::releaseHeldLayer(std::optional<int> held)
{
    // A layer held for the tap is let go once the tap is done, unless the tap itself held it again.
    if (held && m_heldLayer != held)
        m_layerState &= ~(1u << *held);
}

void InputEmitter::stepLayer(Keycode hardwareKey)
{
    const int layers = m_config.layers;
    const int current = activeLayer();
    const int next = hardwareKey == HardwareLayerDown ? (current + layers - 1) % layers : (current + 1) % layers;
    m_layerState = 1u << next;
}

std::vector<HidUsageEvent> InputEmitter::press(int row, int col)
{
    std::vector<HidUsageEvent> events;
    if (row < 0 || col < 0 || row >= m_config.rows || col >= m_config.cols)
        return events;
    const auto held = std::exchange(m_heldLayer, std::nullopt);
    const auto& hwKeys = m_config.hardwareLayerKeys;
    const auto hw = std::find_if(hwKeys.begin(), hwKeys.end(), [&](const HardwareLayerKey& k) {
        return k.cell == MatrixCell{row, col};
    });
    if (hw != hwKeys.end())
        stepLayer(hw->code);
    else
        tap(resolveKey(row, col), events, 0);
    releaseHeldLayer(held);
    return events;
}

std::vector<HidUsageEvent> InputEmitter::turn(int index, bool clockwise)
{
    std::vector<HidUsageEvent> events;
    if (index < 0 || index >= m_config.encoderCount)
        return events;
    const auto held = std::exchange(m_heldLayer, std::nullopt);
    tap(resolveEncoder(index, clockwise), events, 0);
    releaseHeldLayer(held);
    return events;
}

std::optional<MatrixCell> InputEmitter::clickCell(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_config.encoderClicks.size()))
        return std::nullopt;
    return m_config.encoderClicks[static_cast<std::size_t>(index)];
}

void InputEmitter::setActiveLayer(int layer)
{
    if (layer < 0 || layer >= m_config.layers)
        return;
    m_layerState = 1u << layer;
    m_heldLayer.reset();
}

void InputEmitter::reset()
{
    m_layerState = 0;
    m_defaultLayerState = 1;
    m_heldLayer.reset();
}

} // namespace keyglass::sim
