#include "backup/DeviceBackupFile.h"

#include "platform/Log.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>

namespace keyglass {

using nlohmann::json;

namespace {

std::string hexId(int value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%04X", static_cast<unsigned>(value) & 0xFFFFu);
    return buffer;
}

std::string localTime(const char* format)
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char buffer[32];
    const size_t n = std::strftime(buffer, sizeof buffer, format, &parts);
    return std::string(buffer, n);
}

json tapDanceToJson(const TapDanceData& td)
{
    return json{{"onTap", td.onTap},
                {"onHold", td.onHold},
                {"onDoubleTap", td.onDoubleTap},
                {"onTapHold", td.onTapHold},
                {"tappingTerm", td.tappingTerm}};
}

json rgbToJson(const RGBState& rgb)
{
    return json{{"kind", std::string(toString(rgb.kind))},
                {"brightness", rgb.brightness},
                {"effect", rgb.effect},
                {"lastOnEffect", rgb.lastOnEffect},
                {"speed", rgb.speed},
                {"hue", rgb.hue},
                {"sat", rgb.sat}};
}

// The decoder reports the first problem by member name; a failure is one description, not a list.
struct Reader
{
    const json& object;
    std::string problem;

    const json* member(const char* key, json::value_t type)
    {
        if (!problem.empty())
            return nullptr;
        const auto it = object.find(key);
        if (it == object.end()) {
            problem = std::string("missing \"") + key + "\"";
            return nullptr;
        }
        const bool ok = type == json::value_t::number_integer ? it->is_number_integer() : it->type() == type;
        if (!ok) {
            problem = std::string("\"") + key + "\" has the wrong type";
            return nullptr;
        }
        return &*it;
    }

    std::optional<std::int64_t> integer(const char* key)
    {
        const json* value = member(key, json::value_t::number_integer);
        if (!value)
            return std::nullopt;
        if (value->is_number_unsigned()) {
            const auto u = value->get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(INT32_MAX)) {
                problem = std::string("\"") + key + "\" is out of range";
                return std::nullopt;
            }
            return static_cast<std::int64_t>(u);
        }
        const auto v = value->get<std::int64_t>();
        if (v < INT32_MIN) {
            problem = std::string("\"") + key + "\" is out of range";
            return std::nullopt;
        }
        return v;
    }

    std::string text(const char* key)
    {
        const json* value = member(key, json::value_t::string);
        return value ? value->get<std::string>() : std::string();
    }
};

std::optional<std::uint64_t> unsignedValue(const json& value)
{
    if (value.is_number_unsigned())
        return value.get<std::uint64_t>();
    if (value.is_number_integer()) {
        const auto v = value.get<std::int64_t>();
        if (v >= 0)
            return static_cast<std::uint64_t>(v);
    }
    return std::nullopt;
}

std::optional<Keycode> keycodeValue(const json& value)
{
    const auto v = unsignedValue(value);
    if (!v || *v > 0xFFFF)
        return std::nullopt;
    return static_cast<Keycode>(*v);
}

// A [a][b][c] array of keycodes; any other shape or an out-of-range value is a failure.
std::optional<std::vector<std::vector<std::vector<Keycode>>>> keycodeCube(const json& value)
{
    if (!value.is_array())
        return std::nullopt;
    std::vector<std::vector<std::vector<Keycode>>> out;
    out.reserve(value.size());
    for (const auto& plane : value) {
        if (!plane.is_array())
            return std::nullopt;
        auto& outPlane = out.emplace_back();
        outPlane.reserve(plane.size());
        for (const auto& line : plane) {
            if (!line.is_array())
                return std::nullopt;
            auto& outLine = outPlane.emplace_back();
            outLine.reserve(line.size());
            for (const auto& cell : line) {
                const auto code = keycodeValue(cell);
                if (!code)
                    return std::nullopt;
                outLine.push_back(*code);
            }
        }
    }
    return out;
}

std::optional<TapDanceData> tapDanceFromJson(const json& value)
{
    if (!value.is_object())
        return std::nullopt;
    TapDanceData td;
    const std::pair<const char*, Keycode*> fields[] = {{"onTap", &td.onTap},
                                                       {"onHold", &td.onHold},
                                                       {"onDoubleTap", &td.onDoubleTap},
                                                       {"onTapHold", &td.onTapHold},
                                                       {"tappingTerm", &td.tappingTerm}};
    for (const auto& [key, target] : fields) {
        const auto it = value.find(key);
        if (it == value.end())
            return std::nullopt;
        const auto code = keycodeValue(*it);
        if (!code)
            return std::nullopt;
        *target = *code;
    }
    return td;
}

std::optional<RGBState> rgbFromJson(const json& value)
{
    if (!value.is_object())
        return std::nullopt;
    RGBState rgb;
    const auto kind = value.find("kind");
    if (kind == value.end() || !kind->is_string())
        return std::nullopt;
    const auto parsedKind = rgbProtocolKindFromString(kind->get_ref<const std::string&>());
    if (!parsedKind)
        return std::nullopt;
    rgb.kind = *parsedKind;
    const std::pair<const char*, std::uint8_t*> fields[] = {{"brightness", &rgb.brightness},
                                                            {"effect", &rgb.effect},
                                                            {"lastOnEffect", &rgb.lastOnEffect},
                                                            {"speed", &rgb.speed},
                                                            {"hue", &rgb.hue},
                                                            {"sat", &rgb.sat}};
    for (const auto& [key, target] : fields) {
        const auto it = value.find(key);
        if (it == value.end())
            return std::nullopt;
        const auto v = unsignedValue(*it);
        if (!v || *v > 0xFF)
            return std::nullopt;
        *target = static_cast<std::uint8_t>(*v);
    }
    return rgb;
}

} // namespace

DeviceBackupFile backupFromDevice(const DeviceModel& device)
{
    DeviceBackupFile backup;
    backup.device = device.displayName();
    backup.vid = hexId(device.vid);
    backup.pid = hexId(device.pid);
    backup.proto = device.proto.label();
    backup.rows = device.rows;
    backup.cols = device.cols;
    backup.layers = device.layerCount;
    backup.keymap = device.keymap;
    backup.encoders = device.encoderMap;
    if (!device.tapDances.empty())
        backup.tapDances = device.tapDances;
    if (device.rgb.kind != RGBProtocolKind::none)
        backup.rgb = device.rgb;
    backup.savedAt = isoTimestampUTC();
    return backup;
}

std::string encodeBackup(const DeviceBackupFile& backup)
{
    json doc = json::object();
    doc["formatVersion"] = backup.formatVersion;
    doc["device"] = backup.device;
    doc["vid"] = backup.vid;
    doc["pid"] = backup.pid;
    doc["proto"] = backup.proto;
    doc["rows"] = backup.rows;
    doc["cols"] = backup.cols;
    doc["layers"] = backup.layers;
    doc["keymap"] = backup.keymap;
    doc["encoders"] = backup.encoders;
    if (backup.tapDances) {
        json list = json::array();
        for (const auto& td : *backup.tapDances)
            list.push_back(tapDanceToJson(td));
        doc["tapDances"] = std::move(list);
    }
    if (backup.rgb)
        doc["rgb"] = rgbToJson(*backup.rgb);
    doc["savedAt"] = backup.savedAt;
    // USB strings can carry bytes that are not UTF-8; replace them rather than fail the backup.
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

Expected<DeviceBackupFile> decodeBackup(std::string_view text)
{
    const json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded())
        return unexpected(Error("The file is not valid JSON"));
    return backupFromJson(doc);
}

Expected<DeviceBackupFile> backupFromJson(const json& doc)
{
    if (!doc.is_object())
        return unexpected(Error("The file is not a JSON object"));

    Reader read{doc, {}};
    DeviceBackupFile backup;
    const auto version = read.integer("formatVersion");
    backup.device = read.text("device");
    backup.vid = read.text("vid");
    backup.pid = read.text("pid");
    backup.proto = read.text("proto");
    const auto rows = read.integer("rows");
    const auto cols = read.integer("cols");
    const auto layers = read.integer("layers");
    const json* keymap = read.member("keymap", json::value_t::array);
    const json* encoders = read.member("encoders", json::value_t::array);
    backup.savedAt = read.text("savedAt");
    if (!read.problem.empty())
        return unexpected(Error(read.problem));
    backup.formatVersion = static_cast<int>(*version);
    backup.rows = static_cast<int>(*rows);
    backup.cols = static_cast<int>(*cols);
    backup.layers = static_cast<int>(*layers);

    auto keymapValues = keycodeCube(*keymap);
    if (!keymapValues)
        return unexpected(Error("\"keymap\" is not a list of keycodes by layer, row and column"));
    backup.keymap = std::move(*keymapValues);
    auto encoderValues = keycodeCube(*encoders);
    if (!encoderValues)
        return unexpected(Error("\"encoders\" is not a list of keycodes by layer, encoder and direction"));
    backup.encoders = std::move(*encoderValues);

    if (const auto it = doc.find("tapDances"); it != doc.end() && !it->is_null()) {
        if (!it->is_array())
            return unexpected(Error("\"tapDances\" has the wrong type"));
        std::vector<TapDanceData> list;
        for (const auto& entry : *it) {
            auto td = tapDanceFromJson(entry);
            if (!td)
                return unexpected(Error("\"tapDances\" holds an invalid entry"));
            list.push_back(*td);
        }
        backup.tapDances = std::move(list);
    }
    if (const auto it = doc.find("rgb"); it != doc.end() && !it->is_null()) {
        auto rgb = rgbFromJson(*it);
        if (!rgb)
            return unexpected(Error("\"rgb\" is not a lighting state"));
        backup.rgb = *rgb;
    }
    return backup;
}

std::string proposedBackupFileName(const DeviceModel& device)
{
    std::string name;
    for (const char c : device.displayName()) {
        if (c == ' ' || c == '/' || c == '\0')
            name.push_back('-');
        else if (c >= 'A' && c <= 'Z')
            name.push_back(static_cast<char>(c - 'A' + 'a'));
        else
            name.push_back(c);
    }
    return name + "-backup-" + localTime("%Y%m%d-%H%M") + ".json";
}

} // namespace keyglass
