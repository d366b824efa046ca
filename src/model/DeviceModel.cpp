#include "model/DeviceModel.h"

#include "model/Text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

namespace keyglass {

std::string deviceIdentifier(int vid, int pid)
{
    char buffer[16];
    std::snprintf(
        buffer, sizeof buffer, "%04X:%04X", static_cast<unsigned>(vid) & 0xFFFFu, static_cast<unsigned>(pid) & 0xFFFFu);
    return buffer;
}

std::string cellKey(int row, int col)
{
    return std::to_string(row) + "," + std::to_string(col);
}

std::string layerCellKey(int layer, int row, int col)
{
    return std::to_string(layer) + "," + std::to_string(row) + "," + std::to_string(col);
}

const Keycode* TapDanceData::slot(int index) const
{
    switch (index) {
    case 0:
        return &onTap;
    case 1:
        return &onHold;
    case 2:
        return &onDoubleTap;
    case 3:
        return &onTapHold;
    default:
        return nullptr;
    }
}

Keycode* TapDanceData::slot(int index)
{
    return const_cast<Keycode*>(std::as_const(*this).slot(index));
}

namespace {
constexpr std::pair<RGBProtocolKind, std::string_view> KindNames[] = {
    {RGBProtocolKind::none, "none"},
    {RGBProtocolKind::qmkRgblight, "qmkRgblight"},
    {RGBProtocolKind::viaCustomCh1, "viaCustomCh1"},
    {RGBProtocolKind::qmkBacklight, "qmkBacklight"},
    {RGBProtocolKind::vialRgb, "vialRgb"},
    {RGBProtocolKind::viaBacklight, "viaBacklight"},
    {RGBProtocolKind::viaRgblight, "viaRgblight"},
    {RGBProtocolKind::viaRgbMatrix, "viaRgbMatrix"},
    {RGBProtocolKind::viaLedMatrix, "viaLedMatrix"},
};
} // namespace

std::string_view toString(RGBProtocolKind kind)
{
    for (const auto& [k, name] : KindNames)
        if (k == kind)
            return name;
    return "none";
}

std::optional<RGBProtocolKind> rgbProtocolKindFromString(std::string_view text)
{
    for (const auto& [k, name] : KindNames)
        if (name == text)
            return k;
    return std::nullopt;
}

bool lightingHasColor(RGBProtocolKind kind)
{
    return kind != RGBProtocolKind::none && kind != RGBProtocolKind::qmkBacklight &&
           kind != RGBProtocolKind::viaBacklight && kind != RGBProtocolKind::viaLedMatrix;
}

bool lightingHasSpeed(RGBProtocolKind kind)
{
    return kind == RGBProtocolKind::vialRgb || kind == RGBProtocolKind::viaRgblight ||
           kind == RGBProtocolKind::viaRgbMatrix || kind == RGBProtocolKind::viaLedMatrix;
}

int DeviceProtocol::viaVersion() const
{
    return std::visit([](const auto& p) { return p.viaVersion; }, m_value);
}

int DeviceProtocol::vialVersion() const
{
    const auto* vial = std::get_if<Vial>(&m_value);
    return vial ? vial->vialVersion : 0;
}

std::uint64_t DeviceProtocol::uid() const
{
    const auto* vial = std::get_if<Vial>(&m_value);
    return vial ? vial->uid : 0;
}

std::string DeviceProtocol::label() const
{
    if (const auto* vial = std::get_if<Vial>(&m_value))
        return "Vial v" + std::to_string(vial->vialVersion);
    return "VIA v" + std::to_string(viaVersion());
}

// QMK renumbered its keycodes in 0.19 (VIA protocol 11, Vial protocol 6). Protocol 10 (QMK 0.18)
// already moved TO() to 0x5000 | n; the old-numbering tables read both TO forms.
bool DeviceProtocol::legacyKeycodes() const
{
    if (const auto* vial = std::get_if<Vial>(&m_value))
        return vial->vialVersion <= 5;
    return viaVersion() <= 10;
}

bool DeviceProtocol::writesAlignedLayerMoves() const
{
    return !isVial() && viaVersion() == 10;
}

Keycode DeviceModel::keycodeAt(int layer, int row, int col) const
{
    if (layer < 0 || row < 0 || col < 0 || static_cast<size_t>(layer) >= keymap.size())
        return 0;
    const auto& rowsOfLayer = keymap[static_cast<size_t>(layer)];
    if (static_cast<size_t>(row) >= rowsOfLayer.size())
        return 0;
    const auto& cells = rowsOfLayer[static_cast<size_t>(row)];
    if (static_cast<size_t>(col) >= cells.size())
        return 0;
    return cells[static_cast<size_t>(col)];
}

Keycode DeviceModel::encoderKeycodeAt(int layer, int encoder, bool clockwise) const
{
    if (layer < 0 || encoder < 0 || static_cast<size_t>(layer) >= encoderMap.size())
        return 0;
    const auto& encodersOfLayer = encoderMap[static_cast<size_t>(layer)];
    if (static_cast<size_t>(encoder) >= encodersOfLayer.size())
        return 0;
    const auto& pair = encodersOfLayer[static_cast<size_t>(encoder)];
    if (pair.size() < 2)
        return 0;
    return pair[clockwise ? 1 : 0];
}

bool DeviceModel::isProtected(int layer, int row, int col) const
{
    return protectedCells.contains(cellKey(row, col)) || protectedLayerCells.contains(layerCellKey(layer, row, col));
}

void DeviceModel::unlock(int layer, int row, int col)
{
    protectedLayerCells.erase(layerCellKey(layer, row, col));
}

std::string DeviceModel::displayName() const
{
    const std::string maker = trimmed(manufacturer);
    const std::string name = trimmed(product);
    if (!maker.empty()) {
        if (asciiLower(name).starts_with(asciiLower(maker)))
            return name;
        if (name.empty())
            return maker;
        return maker + " " + name;
    }
    return name.empty() ? id : name;
}

} // namespace keyglass
