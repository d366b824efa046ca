#include "sim/VirtualPadFactory.h"

#include "platform/JsonReading.h"

#include "platform/AtomicFile.h"
#include "sim/Eeprom.h"
#include "sim/KlePositions.h"
#include "sim/VirtualPad.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>

namespace keyglass {

using sim::defaultTapDance;

namespace {

constexpr std::size_t MaxDefinitionBytes = 1024 * 1024;
constexpr int MaxDefinitionMatrix = 64;
constexpr int MaxDefinitionEncoders = 32;

std::optional<int> hexId(const nlohmann::json& doc, const char* key)
{
    if (!doc.contains(key))
        return std::nullopt;
    const auto& v = doc[key];
    if (v.is_number_integer()) {
        const auto n = v.get<long long>();
        return (n >= 0 && n <= 0xFFFF) ? std::optional<int>(static_cast<int>(n)) : std::nullopt;
    }
    if (!v.is_string())
        return std::nullopt;
    const std::string s = v.get<std::string>();
    if (s.size() < 3 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X'))
        return std::nullopt;
    unsigned n = 0;
    const auto [end, ec] = std::from_chars(s.data() + 2, s.data() + s.size(), n, 16);
    if (ec != std::errc() || end != s.data() + s.size() || n > 0xFFFF)
        return std::nullopt;
    return static_cast<int>(n);
}

std::uint64_t fnv1a64(std::string_view text)
{
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

// What each of the four layers of a definition-made pad holds, key by key in layout order.
std::vector<Keycode> layerPlan(int layer)
{
    std::vector<Keycode> codes;
    switch (layer) {
    case 0: // digits, then letters, then editing keys
        for (Keycode k = 0x1E; k <= 0x27; ++k)
            codes.push_back(k);
        for (Keycode k = 0x04; k <= 0x1D; ++k)
            codes.push_back(k);
        for (Keycode k : {0x28, 0x29, 0x2A, 0x2B, 0x2C})
            codes.push_back(k);
        break;
    case 1: // media, then F13-F24
        for (Keycode k : {0xAE, 0xAC, 0xAB, 0xA8, 0xAA, 0xA9})
            codes.push_back(k);
        for (Keycode k = 0x68; k <= 0x73; ++k)
            codes.push_back(k);
        break;
    case 2: // editing shortcuts and navigation
        for (Keycode k : {0x011D, 0x011B, 0x0106, 0x0119, 0x0116, 0x0104, 0x0109, 0x031D})
            codes.push_back(k);
        for (Keycode k : {0x4A, 0x52, 0x4D, 0x4B, 0x50, 0x51, 0x4F, 0x4E, 0x49, 0x4C})
            codes.push_back(k);
        break;
    default: // function keys
        for (Keycode k = 0x3A; k <= 0x45; ++k)
            codes.push_back(k);
        break;
    }
    return codes;
}

// Counter-clockwise / clockwise pairs per layer.
constexpr Keycode EncoderPlan[4][2] = {{0xAA, 0xA9}, {0xDA, 0xD9}, {0xAC, 0xAB}, {0x50, 0x4F}};

} // namespace

Expected<VirtualPadConfig> vialDefinitionConfig(std::string_view text)
{
    using nlohmann::json;
    const auto parsed = parseJsonCapped(text, MaxDefinitionBytes);
    if (!parsed)
        return unexpected(Error("The keyboard definition is " + parsed.error().message, 0, "VirtualPad"));
    if (!parsed->is_object())
        return unexpected(Error("The keyboard definition is not a JSON object", 0, "VirtualPad"));
    const json& doc = *parsed;
    const auto matrix = doc.find("matrix");
    if (matrix == doc.end() || !matrix->is_object())
        return unexpected(Error("The keyboard definition has no \"matrix\"", 0, "VirtualPad"));
    auto dimension = [&](const char* key) -> std::optional<int> {
        const auto it = matrix->find(key);
        if (it == matrix->end() || !it->is_number_integer())
            return std::nullopt;
        const auto v = it->get<long long>();
        return (v >= 1 && v <= MaxDefinitionMatrix) ? std::optional<int>(static_cast<int>(v)) : std::nullopt;
    };
    const auto rows = dimension("rows"), cols = dimension("cols");
    if (!rows || !cols)
        return unexpected(Error("The keyboard definition needs matrix rows and cols between 1 and " +
                                    std::to_string(MaxDefinitionMatrix),
                                0,
                                "VirtualPad"));

    KlePositions positions;
    if (const auto layouts = doc.find("layouts"); layouts != doc.end() && layouts->is_object())
        if (const auto keymap = layouts->find("keymap"); keymap != layouts->end())
            positions = scanKlePositions(*keymap);

    VirtualPadConfig config;
    config.vid = hexId(doc, "vendorId").value_or(0x4B47);
    config.pid = hexId(doc, "productId").value_or(0x0001);
    config.manufacturer = "Vial";
    config.product = "Vial Keyboard";
    if (const auto name = doc.find("name"); name != doc.end() && name->is_string() && !name->get<std::string>().empty())
        config.product = name->get<std::string>().substr(0, 64);
    config.serial = "vial:f64c2b3c";
    config.viaVersion = 9;
    config.vial = true;
    config.vialVersion = 6;
    config.definitionJson = std::string(text);
    config.vialUid = fnv1a64(doc.dump()) | 1; // stable per definition, never 0
    config.rows = *rows;
    config.cols = *cols;
    config.layers = 4;

    // Each matrix cell named in the layout gets the next keycode of its layer's plan, in layout order.
    std::vector<MatrixCell> cells;
    for (const auto& key : positions.keys) {
        if (key.decal || key.row >= *rows || key.col >= *cols)
            continue;
        const MatrixCell cell{key.row, key.col};
        if (std::find(cells.begin(), cells.end(), cell) == cells.end())
            cells.push_back(cell);
    }
    config.keymap.assign(4, std::vector<std::vector<Keycode>>(*rows, std::vector<Keycode>(*cols, 0)));
    for (int l = 0; l < 4; ++l) {
        const auto plan = layerPlan(l);
        for (std::size_t i = 0; i < cells.size(); ++i)
            config.keymap[l][cells[i].row][cells[i].col] = plan[i % plan.size()];
    }

    int encoders = 0;
    for (const auto& e : positions.encoders)
        if (e.index < MaxDefinitionEncoders)
            encoders = std::max(encoders, e.index + 1);
    config.encoderCount = encoders;
    config.encoderMap.assign(4, std::vector<std::vector<Keycode>>(encoders));
    for (int l = 0; l < 4; ++l)
        for (int e = 0; e < encoders; ++e)
            config.encoderMap[l][e] = {EncoderPlan[(l + e) % 4][0], EncoderPlan[(l + e) % 4][1]};
    // A single knob on a single key is a knob with a push switch.
    if (encoders == 1 && cells.size() == 1)
        config.encoderClicks = {cells.front()};
    if (!cells.empty())
        config.unlockKeys = {cells.front()};

    config.tapDances.assign(8, defaultTapDance());
    config.comboCount = 8;
    config.keyOverrideCount = 8;
    if (const auto light = doc.find("lighting"); light != doc.end() && light->is_string()) {
        const auto kind = light->get<std::string>();
        config.lighting = LightingDialect::legacyRgblight;
        if (kind == "qmk_rgblight" || kind == "qmk_backlight_rgblight")
            config.lightingFeature = LightingFeature::rgblight;
        else if (kind == "qmk_backlight")
            config.lightingFeature = LightingFeature::backlight;
        else if (kind == "vialrgb")
            config.lightingFeature = LightingFeature::vialRgb;
        else
            config.lighting = LightingDialect::none;
    }
    return config;
}

Expected<std::shared_ptr<VirtualPad>> VirtualPad::fromVialDefinitionText(std::string_view text)
{
    auto config = vialDefinitionConfig(text);
    if (!config)
        return unexpected(config.error());
    return std::make_shared<VirtualPad>(std::move(*config));
}

Expected<std::shared_ptr<VirtualPad>> VirtualPad::fromVialDefinitionFile(const std::filesystem::path& path)
{
    auto text = readFileCapped(path, MaxDefinitionBytes);
    if (!text)
        return unexpected(text.error());
    return fromVialDefinitionText(*text);
}

} // namespace keyglass
