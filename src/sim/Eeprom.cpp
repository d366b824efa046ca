#include "sim/Eeprom.h"

#include "platform/JsonReading.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace keyglass::sim {

namespace {

// The same cap as the state file on disk.
constexpr std::size_t MaxStateJsonBytes = 8 * 1024 * 1024;

constexpr std::uint16_t DefaultTappingTerm = 200;

constexpr const char* StateFormat = "keyglass-virtual-pad-eeprom";

std::string toHex(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0xF]);
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> fromHex(const std::string& text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = nibble(text[i]), lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return out;
}

std::optional<std::uint16_t> u16(const nlohmann::json& j)
{
    if (!j.is_number_integer())
        return std::nullopt;
    const auto v = j.get<long long>();
    if (v < 0 || v > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

std::optional<std::uint8_t> u8(const nlohmann::json& obj, const char* key)
{
    if (!obj.contains(key))
        return std::nullopt;
    auto v = u16(obj[key]);
    if (!v || *v > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(*v);
}

Error stateError(const std::string& why)
{
    return Error("Virtual pad state ignored: " + why, 0, "VirtualPad");
}

} // namespace

TapDanceData defaultTapDance()
{
    TapDanceData td;
    td.tappingTerm = DefaultTappingTerm;
    return td;
}

Eeprom::Eeprom(const VirtualPadConfig& config) : m_config(config)
{
    fillFromConfig();
}

void Eeprom::fillFromConfig()
{
    const auto& s = m_config;
    m_keymap.assign(static_cast<std::size_t>(s.layers) * s.rows * s.cols, 0);
    for (int l = 0; l < s.layers && l < static_cast<int>(s.keymap.size()); ++l)
        for (int r = 0; r < s.rows && r < static_cast<int>(s.keymap[l].size()); ++r)
            for (int c = 0; c < s.cols && c < static_cast<int>(s.keymap[l][r].size()); ++c)
                m_keymap[keyIndex(l, r, c)] = s.keymap[l][r][c];
    for (const auto& hw : s.hardwareLayerKeys)
        for (int l = 0; l < s.layers; ++l)
            if (hw.cell.row >= 0 && hw.cell.row < s.rows && hw.cell.col >= 0 && hw.cell.col < s.cols)
                m_keymap[keyIndex(l, hw.cell.row, hw.cell.col)] = hw.code;

    m_encoders.assign(static_cast<std::size_t>(s.layers) * s.encoderCount * 2, 0);
    for (int l = 0; l < s.layers && l < static_cast<int>(s.encoderMap.size()); ++l)
        for (int e = 0; e < s.encoderCount && e < static_cast<int>(s.encoderMap[l].size()); ++e)
            for (int d = 0; d < 2 && d < static_cast<int>(s.encoderMap[l][e].size()); ++d)
                m_encoders[encoderIndex(l, e, d == 1)] = s.encoderMap[l][e][d];

    m_tapDances = s.tapDances;
    m_combos.assign(static_cast<std::size_t>(s.comboCount), {});
    m_keyOverrides.assign(static_cast<std::size_t>(s.keyOverrideCount), {});
    m_macros.assign(static_cast<std::size_t>(s.macroBufferSize), 0);
    m_savedLighting = s.lightingValues;
    m_layoutOptions = s.layoutOptions;
}

void Eeprom::resetDynamicKeymap()
{
    const auto tapDances = m_tapDances.size();
    const VirtualLighting saved = m_savedLighting;
    const auto macros = m_macros;
    const auto options = m_layoutOptions;
    fillFromConfig();
    m_savedLighting = saved;
    m_macros = macros;
    m_layoutOptions = options;
    if (m_config.vial) {
        m_tapDances.assign(tapDances, defaultTapDance());
        for (auto& ko : m_keyOverrides) {
            ko = {};
            ko[4] = ko[5] = 0xFF; // all layers
            ko[9] = 0x07;
        }
    }
    m_changed = true;
}

std::size_t Eeprom::keyIndex(int layer, int row, int col) const
{
    return (static_cast<std::size_t>(layer) * m_config.rows + row) * m_config.cols + col;
}

std::size_t Eeprom::encoderIndex(int layer, int index, bool clockwise) const
{
    return (static_cast<std::size_t>(layer) * m_config.encoderCount + index) * 2 + (clockwise ? 1 : 0);
}

bool Eeprom::hasKey(int layer, int row, int col) const
{
    return layer >= 0 && row >= 0 && col >= 0 && layer < m_config.layers && row < m_config.rows && col < m_config.cols;
}

bool Eeprom::hasEncoder(int layer, int index) const
{
    return layer >= 0 && index >= 0 && layer < m_config.layers && index < m_config.encoderCount;
}

Keycode Eeprom::keycode(int layer, int row, int col) const
{
    return hasKey(layer, row, col) ? m_keymap[keyIndex(layer, row, col)] : 0;
}

bool Eeprom::setKeycode(int layer, int row, int col, Keycode code)
{
    if (!hasKey(layer, row, col))
        return false;
    m_keymap[keyIndex(layer, row, col)] = code;
    return true;
}

Keycode Eeprom::encoder(int layer, int index, bool clockwise) const
{
    return hasEncoder(layer, index) ? m_encoders[encoderIndex(layer, index, clockwise)] : 0;
}

bool Eeprom::setEncoder(int layer, int index, bool clockwise, Keycode code)
{
    if (!hasEncoder(layer, index))
        return false;
    m_encoders[encoderIndex(layer, index, clockwise)] = code;
    return true;
}

TapDanceData Eeprom::tapDance(int index) const
{
    if (index < 0 || index >= tapDanceCount())
        return defaultTapDance();
    return m_tapDances[static_cast<std::size_t>(index)];
}

bool Eeprom::setTapDance(int index, const TapDanceData& entry)
{
    if (index < 0 || index >= tapDanceCount())
        return false;
    m_tapDances[static_cast<std::size_t>(index)] = entry;
    return true;
}

const std::vector<DynamicEntry>& Eeprom::entries(EntryTable table) const
{
    return table == EntryTable::combos ? m_combos : m_keyOverrides;
}

std::vector<DynamicEntry>& Eeprom::entries(EntryTable table)
{
    return table == EntryTable::combos ? m_combos : m_keyOverrides;
}

DynamicEntry Eeprom::entry(EntryTable table, std::size_t index) const
{
    const auto& all = entries(table);
    return index < all.size() ? all[index] : DynamicEntry{};
}

bool Eeprom::setEntry(EntryTable table, std::size_t index, const DynamicEntry& entry)
{
    auto& all = entries(table);
    if (index >= all.size())
        return false;
    all[index] = entry;
    return true;
}

void Eeprom::setMacroByte(std::size_t at, std::uint8_t byte)
{
    if (at < m_macros.size())
        m_macros[at] = byte;
}

void Eeprom::clearMacros()
{
    std::fill(m_macros.begin(), m_macros.end(), 0);
}

void Eeprom::saveLighting(const VirtualLighting& light)
{
    m_savedLighting = light;
    ++m_lightingSaves;
}

// --- state file ---

std::string Eeprom::stateJson() const
{
    using nlohmann::json;
    const auto& s = m_config;
    json keymap = json::array();
    for (int l = 0; l < s.layers; ++l) {
        json layer = json::array();
        for (int r = 0; r < s.rows; ++r) {
            json row = json::array();
            for (int c = 0; c < s.cols; ++c)
                row.push_back(m_keymap[keyIndex(l, r, c)]);
            layer.push_back(std::move(row));
        }
        keymap.push_back(std::move(layer));
    }
    json encoders = json::array();
    for (int l = 0; l < s.layers; ++l) {
        json layer = json::array();
        for (int e = 0; e < s.encoderCount; ++e)
            layer.push_back(json::array({m_encoders[encoderIndex(l, e, false)], m_encoders[encoderIndex(l, e, true)]}));
        encoders.push_back(std::move(layer));
    }
    json tapDances = json::array();
    for (const auto& td : m_tapDances)
        tapDances.push_back(json::array({td.onTap, td.onHold, td.onDoubleTap, td.onTapHold, td.tappingTerm}));
    const auto& light = m_savedLighting;
    json doc = {
        {"format", StateFormat},
        {"version", 1},
        {"device", deviceIdentifier(s.vid, s.pid)},
        {"rows", s.rows},
        {"cols", s.cols},
        {"layers", s.layers},
        {"encoders", s.encoderCount},
        {"keymap", std::move(keymap)},
        {"encoderMap", std::move(encoders)},
        {"tapDances", std::move(tapDances)},
        {"lighting",
         {{"enabled", light.enabled},
          {"mode", light.mode},
          {"brightness", light.brightness},
          {"speed", light.speed},
          {"hue", light.hue},
          {"sat", light.sat}}},
        {"macros", toHex(m_macros)},
        {"layoutOptions", m_layoutOptions},
    };
    return doc.dump(1);
}

Expected<void> Eeprom::loadStateJson(std::string_view text)
{
    using nlohmann::json;
    const auto parsed = parseJsonCapped(text, MaxStateJsonBytes);
    if (!parsed)
        return unexpected(stateError(parsed.error().message));
    if (!parsed->is_object())
        return unexpected(stateError("not a JSON object"));
    const json& doc = *parsed;
    const auto& s = m_config;
    if (doc.value("format", std::string()) != StateFormat)
        return unexpected(stateError("unknown format"));
    auto sameInt = [&](const char* key, int expected) {
        return doc.contains(key) && doc[key].is_number_integer() && doc[key].get<long long>() == expected;
    };
    if (!sameInt("rows", s.rows) || !sameInt("cols", s.cols) || !sameInt("layers", s.layers) ||
        !sameInt("encoders", s.encoderCount))
        return unexpected(stateError("made for another matrix"));

    // Everything is decoded into copies first: a file that is half good changes nothing.
    std::vector<Keycode> keymap(m_keymap.size(), 0);
    const auto* km = doc.contains("keymap") ? &doc["keymap"] : nullptr;
    if (!km || !km->is_array() || km->size() != static_cast<std::size_t>(s.layers))
        return unexpected(stateError("bad keymap"));
    for (int l = 0; l < s.layers; ++l) {
        const auto& layer = (*km)[l];
        if (!layer.is_array() || layer.size() != static_cast<std::size_t>(s.rows))
            return unexpected(stateError("bad keymap"));
        for (int r = 0; r < s.rows; ++r) {
            const auto& row = layer[r];
            if (!row.is_array() || row.size() != static_cast<std::size_t>(s.cols))
                return unexpected(stateError("bad keymap"));
            for (int c = 0; c < s.cols; ++c) {
                const auto v = u16(row[c]);
                if (!v)
                    return unexpected(stateError("bad keycode"));
                keymap[keyIndex(l, r, c)] = *v;
            }
        }
    }

    std::vector<Keycode> encoders(m_encoders.size(), 0);
    const auto* em = doc.contains("encoderMap") ? &doc["encoderMap"] : nullptr;
    if (!em || !em->is_array() || em->size() != static_cast<std::size_t>(s.layers))
        return unexpected(stateError("bad encoder map"));
    for (int l = 0; l < s.layers; ++l) {
        const auto& layer = (*em)[l];
        if (!layer.is_array() || layer.size() != static_cast<std::size_t>(s.encoderCount))
            return unexpected(stateError("bad encoder map"));
        for (int e = 0; e < s.encoderCount; ++e) {
            const auto& pair = layer[e];
            if (!pair.is_array() || pair.size() != 2)
                return unexpected(stateError("bad encoder map"));
            const auto ccw = u16(pair[0]), cw = u16(pair[1]);
            if (!ccw || !cw)
                return unexpected(stateError("bad encoder keycode"));
            encoders[encoderIndex(l, e, false)] = *ccw;
            encoders[encoderIndex(l, e, true)] = *cw;
        }
    }

    std::vector<TapDanceData> tapDances;
    const auto* tds = doc.contains("tapDances") ? &doc["tapDances"] : nullptr;
    if (!tds || !tds->is_array() || tds->size() != m_tapDances.size())
        return unexpected(stateError("bad tap dances"));
    for (const auto& entry : *tds) {
        if (!entry.is_array() || entry.size() != 5)
            return unexpected(stateError("bad tap dance"));
        std::uint16_t f[5];
        for (int i = 0; i < 5; ++i) {
            const auto v = u16(entry[i]);
            if (!v)
                return unexpected(stateError("bad tap dance"));
            f[i] = *v;
        }
        tapDances.push_back({f[0], f[1], f[2], f[3], f[4]});
    }

    const auto* lj = doc.contains("lighting") ? &doc["lighting"] : nullptr;
    if (!lj || !lj->is_object() || !lj->contains("enabled") || !(*lj)["enabled"].is_boolean())
        return unexpected(stateError("bad lighting"));
    VirtualLighting light;
    light.enabled = (*lj)["enabled"].get<bool>();
    const auto mode = u8(*lj, "mode"), brightness = u8(*lj, "brightness"), speed = u8(*lj, "speed"),
               hue = u8(*lj, "hue"), sat = u8(*lj, "sat");
    if (!mode || !brightness || !speed || !hue || !sat)
        return unexpected(stateError("bad lighting"));
    light.mode = *mode;
    light.brightness = *brightness;
    light.speed = *speed;
    light.hue = *hue;
    light.sat = *sat;

    std::vector<std::uint8_t> macros = m_macros;
    if (doc.contains("macros")) {
        if (!doc["macros"].is_string())
            return unexpected(stateError("bad macros"));
        const auto bytes = fromHex(doc["macros"].get<std::string>());
        if (!bytes || bytes->size() != m_macros.size())
            return unexpected(stateError("bad macros"));
        macros = *bytes;
    }
    std::uint32_t options = m_layoutOptions;
    if (doc.contains("layoutOptions")) {
        const auto& o = doc["layoutOptions"];
        if (!o.is_number_unsigned() || o.get<unsigned long long>() > 0xFFFFFFFFull)
            return unexpected(stateError("bad layout options"));
        options = static_cast<std::uint32_t>(o.get<unsigned long long>());
    }

    m_keymap = std::move(keymap);
    m_encoders = std::move(encoders);
    m_tapDances = std::move(tapDances);
    m_savedLighting = light;
    m_macros = std::move(macros);
    m_layoutOptions = options;
    return {};
}

} // namespace keyglass::sim
