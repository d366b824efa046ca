#include "presets/DevicePreset.h"

#include "platform/JsonReading.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace keyglass {

namespace {

using json = nlohmann::json;

constexpr std::string_view ErrorDomain = "Preset";
constexpr int ErrorTooLarge = 1;
constexpr int ErrorNotJson = 2;
constexpr int ErrorBadDocument = 3;
constexpr int ErrorTooDeep = 4;

// Reads members in document order and keeps the first problem; every read after a failure is a no-op,
// so the decoder reads straight through without checking after each member.
class Reader
{
public:
    bool failed() const { return !m_error.empty(); }
    const std::string& error() const { return m_error; }

    void fail(const std::string& path, std::string_view message)
    {
        if (failed())
            return;
        m_error = path.empty() ? std::string(message) : path + ": " + std::string(message);
    }

    // The member `key` of `object`; null (and a recorded problem) when it is missing or null.
    const json* required(const json& object, const std::string& path, std::string_view key)
    {
        if (failed())
            return nullptr;
        const auto it = object.find(key);
        if (it == object.end() || it->is_null()) {
            fail(path, "missing member \"" + std::string(key) + "\"");
            return nullptr;
        }
        return &*it;
    }

    // The member `key` of `object`; null when it is absent or null, which both mean "not given".
    const json* optional(const json& object, std::string_view key) const
    {
        if (failed())
            return nullptr;
        const auto it = object.find(key);
        if (it == object.end() || it->is_null())
            return nullptr;
        return &*it;
    }

    void readString(const json* value, const std::string& path, std::string& out)
    {
        if (!value)
            return;
        if (!value->is_string())
            return fail(path, "expected a string");
        out = value->get_ref<const std::string&>();
    }

    void readBool(const json* value, const std::string& path, bool& out)
    {
        if (!value)
            return;
        if (!value->is_boolean())
            return fail(path, "expected a boolean");
        out = value->get<bool>();
    }

    void readInt(const json* value, const std::string& path, int& out, std::int64_t low, std::int64_t high)
    {
        if (!value)
            return;
        std::int64_t number = 0;
        bool inRange = true;
        if (value->is_number_unsigned()) {
            const auto u = value->get<std::uint64_t>();
            inRange = u <= static_cast<std::uint64_t>(high);
            number = inRange ? static_cast<std::int64_t>(u) : 0;
        } else if (value->is_number_integer()) {
            number = value->get<std::int64_t>();
        } else if (value->is_number_float()) {
            // 3.0 is an integer written with a fraction; 3.5, inf and nan are not integers at all.
            const double d = value->get<double>();
            if (!std::isfinite(d) || std::floor(d) != d)
                return fail(path, "expected an integer");
            inRange = d >= static_cast<double>(low) && d <= static_cast<double>(high);
            number = inRange ? static_cast<std::int64_t>(d) : 0;
        } else {
            return fail(path, "expected an integer");
        }
        if (!inRange || number < low || number > high)
            return fail(path, value->dump() + " is outside " + std::to_string(low) + "-" + std::to_string(high));
        out = static_cast<int>(number);
    }

    void readStrings(const json* value, const std::string& path, std::vector<std::string>& out)
    {
        if (!value)
            return;
        if (!isStringArray(*value))
            return fail(path, "expected an array of strings");
        out.clear();
        out.reserve(value->size());
        for (const auto& item : *value)
            out.push_back(item.get_ref<const std::string&>());
    }

    void readStringGrid(const json* value, const std::string& path, std::vector<std::vector<std::string>>& out)
    {
        if (!value)
            return;
        bool shapeOk = value->is_array();
        if (shapeOk) {
            for (const auto& row : *value) {
                if (!isStringArray(row)) {
                    shapeOk = false;
                    break;
                }
            }
        }
        if (!shapeOk)
            return fail(path, "expected an array of arrays of strings");
        out.clear();
        out.reserve(value->size());
        for (const auto& row : *value) {
            std::vector<std::string>& cells = out.emplace_back();
            cells.reserve(row.size());
            for (const auto& cell : row)
                cells.push_back(cell.get_ref<const std::string&>());
        }
    }

    template <class T> void readOptionalStrings(const json* value, const std::string& path, std::optional<T>& out)
    {
        if (!value)
            return;
        T items;
        if constexpr (std::is_same_v<T, std::vector<std::string>>)
            readStrings(value, path, items);
        else
            readStringGrid(value, path, items);
        if (!failed())
            out = std::move(items);
    }

private:
    static bool isStringArray(const json& value)
    {
        if (!value.is_array())
            return false;
        for (const auto& item : value) {
            if (!item.is_string())
                return false;
        }
        return true;
    }

    std::string m_error;
};

std::string memberPath(const std::string& base, std::string_view key)
{
    return base + "." + std::string(key);
}

std::string elementPath(std::string_view base, std::size_t index)
{
    return std::string(base) + "[" + std::to_string(index) + "]";
}

constexpr std::int64_t IntMin = std::numeric_limits<int>::min();
constexpr std::int64_t IntMax = std::numeric_limits<int>::max();

PresetLayer readLayer(Reader& reader, const json& object, const std::string& path)
{
    PresetLayer layer;
    if (!object.is_object()) {
        reader.fail(path, "expected an object");
        return layer;
    }
    reader.readInt(reader.required(object, path, "index"), memberPath(path, "index"), layer.index, IntMin, IntMax);
    reader.readString(reader.required(object, path, "name"), memberPath(path, "name"), layer.name);
    if (const json* os = reader.optional(object, "os")) {
        std::string text;
        reader.readString(os, memberPath(path, "os"), text);
        if (!reader.failed())
            layer.os = std::move(text);
    }
    reader.readStringGrid(reader.required(object, path, "keys"), memberPath(path, "keys"), layer.keys);
    reader.readOptionalStrings(reader.optional(object, "keyLabels"), memberPath(path, "keyLabels"), layer.keyLabels);
    reader.readOptionalStrings(reader.optional(object, "encoders"), memberPath(path, "encoders"), layer.encoders);
    reader.readOptionalStrings(
        reader.optional(object, "encoderLabels"), memberPath(path, "encoderLabels"), layer.encoderLabels);
    return layer;
}

PresetTapDance readTapDance(Reader& reader, const json& object, const std::string& path)
{
    PresetTapDance dance;
    if (!object.is_object()) {
        reader.fail(path, "expected an object");
        return dance;
    }
    reader.readInt(reader.required(object, path, "index"), memberPath(path, "index"), dance.index, IntMin, IntMax);
    reader.readString(reader.required(object, path, "onTap"), memberPath(path, "onTap"), dance.onTap);
    reader.readString(reader.required(object, path, "onHold"), memberPath(path, "onHold"), dance.onHold);
    reader.readString(reader.required(object, path, "onDoubleTap"), memberPath(path, "onDoubleTap"), dance.onDoubleTap);
    reader.readString(reader.required(object, path, "onTapHold"), memberPath(path, "onTapHold"), dance.onTapHold);
    reader.readInt(
        reader.required(object, path, "tappingTerm"), memberPath(path, "tappingTerm"), dance.tappingTerm, 0, 0xFFFF);
    reader.readOptionalStrings(reader.optional(object, "labels"), memberPath(path, "labels"), dance.labels);
    return dance;
}

// Collects the parser's own explanation; the DOM parser without exceptions only says "discarded".

json gridToJson(const std::vector<std::vector<std::string>>& grid)
{
    json rows = json::array();
    for (const auto& row : grid)
        rows.push_back(row);
    return rows;
}

Expected<DevicePreset> readPreset(const json& value)
{
    if (!value.is_object())
        return unexpected(Error("expected a JSON object", ErrorBadDocument, std::string(ErrorDomain)));

    Reader reader;
    DevicePreset preset;
    const std::string top;
    const auto req = [&](std::string_view key) { return reader.required(value, top, key); };
    const auto path = [](std::string_view key) { return std::string(key); };

    reader.readInt(req("schemaVersion"), path("schemaVersion"), preset.schemaVersion, IntMin, IntMax);
    reader.readString(req("id"), path("id"), preset.id);
    reader.readString(req("name"), path("name"), preset.name);
    reader.readString(req("appId"), path("appId"), preset.appId);
    reader.readString(req("appName"), path("appName"), preset.appName);
    reader.readString(req("category"), path("category"), preset.category);
    reader.readString(req("os"), path("os"), preset.os);
    reader.readString(req("deviceProfile"), path("deviceProfile"), preset.deviceProfile);
    reader.readString(req("description"), path("description"), preset.description);
    reader.readBool(req("builtIn"), path("builtIn"), preset.builtIn);
    if (const json* community = reader.optional(value, "community")) {
        bool flag = false;
        reader.readBool(community, path("community"), flag);
        if (!reader.failed())
            preset.community = flag;
    }
    if (const json* author = reader.optional(value, "author")) {
        std::string text;
        reader.readString(author, path("author"), text);
        if (!reader.failed())
            preset.author = std::move(text);
    }
    if (const json* verified = reader.optional(value, "verifiedSafe")) {
        bool flag = false;
        reader.readBool(verified, path("verifiedSafe"), flag);
        if (!reader.failed())
            preset.verifiedSafe = flag;
    }
    reader.readOptionalStrings(reader.optional(value, "layerNames"), path("layerNames"), preset.layerNames);

    if (const json* layers = req("layers")) {
        if (!layers->is_array()) {
            reader.fail("layers", "expected an array");
        } else {
            preset.layers.reserve(layers->size());
            for (std::size_t i = 0; i < layers->size() && !reader.failed(); ++i)
                preset.layers.push_back(readLayer(reader, (*layers)[i], elementPath("layers", i)));
        }
    }
    if (const json* dances = reader.optional(value, "tapDances")) {
        if (!dances->is_array()) {
            reader.fail("tapDances", "expected an array");
        } else {
            std::vector<PresetTapDance> list;
            list.reserve(dances->size());
            for (std::size_t i = 0; i < dances->size() && !reader.failed(); ++i)
                list.push_back(readTapDance(reader, (*dances)[i], elementPath("tapDances", i)));
            preset.tapDances = std::move(list);
        }
    }

    if (reader.failed())
        return unexpected(Error(reader.error(), ErrorBadDocument, std::string(ErrorDomain)));
    return preset;
}

} // namespace

Expected<DevicePreset> presetFromJson(const nlohmann::json& value)
{
    // Everything above checks types before reading; only running out of memory can still throw.
    try {
        return readPreset(value);
    } catch (const std::exception& e) {
        return unexpected(
            Error(std::string("could not read the preset: ") + e.what(), ErrorBadDocument, std::string(ErrorDomain)));
    }
}

Expected<DevicePreset> decodePreset(std::string_view jsonText)
{
    if (jsonText.size() > MaxPresetDocumentBytes)
        return unexpected(Error("the document is larger than 4 MiB (" + std::to_string(jsonText.size()) + " bytes)",
                                ErrorTooLarge,
                                std::string(ErrorDomain)));
    const auto value = parseJsonCapped(jsonText, MaxPresetDocumentBytes);
    if (!value && value.error().code == JsonTooDeep)
        return unexpected(Error("the document is " + value.error().message, ErrorTooDeep, std::string(ErrorDomain)));
    if (!value)
        return unexpected(Error(value.error().message, ErrorNotJson, std::string(ErrorDomain)));
    return presetFromJson(*value);
}

nlohmann::json presetToJson(const DevicePreset& preset)
{
    json out = json::object();
    out["schemaVersion"] = preset.schemaVersion;
    out["id"] = preset.id;
    out["name"] = preset.name;
    out["appId"] = preset.appId;
    out["appName"] = preset.appName;
    out["category"] = preset.category;
    out["os"] = preset.os;
    out["deviceProfile"] = preset.deviceProfile;
    out["description"] = preset.description;
    out["builtIn"] = preset.builtIn;
    if (preset.community)
        out["community"] = *preset.community;
    if (preset.author)
        out["author"] = *preset.author;
    if (preset.verifiedSafe)
        out["verifiedSafe"] = *preset.verifiedSafe;
    if (preset.layerNames)
        out["layerNames"] = *preset.layerNames;

    json layers = json::array();
    for (const PresetLayer& layer : preset.layers) {
        json item = json::object();
        item["index"] = layer.index;
        item["name"] = layer.name;
        if (layer.os)
            item["os"] = *layer.os;
        item["keys"] = gridToJson(layer.keys);
        if (layer.keyLabels)
            item["keyLabels"] = gridToJson(*layer.keyLabels);
        if (layer.encoders)
            item["encoders"] = gridToJson(*layer.encoders);
        if (layer.encoderLabels)
            item["encoderLabels"] = gridToJson(*layer.encoderLabels);
        layers.push_back(std::move(item));
    }
    out["layers"] = std::move(layers);

    if (preset.tapDances) {
        json dances = json::array();
        for (const PresetTapDance& dance : *preset.tapDances) {
            json item = json::object();
            item["index"] = dance.index;
            item["onTap"] = dance.onTap;
            item["onHold"] = dance.onHold;
            item["onDoubleTap"] = dance.onDoubleTap;
            item["onTapHold"] = dance.onTapHold;
            item["tappingTerm"] = dance.tappingTerm;
            if (dance.labels)
                item["labels"] = *dance.labels;
            dances.push_back(std::move(item));
        }
        out["tapDances"] = std::move(dances);
    }
    return out;
}

std::string encodePreset(const DevicePreset& preset)
{
    // Text that is not valid UTF-8 (only possible from code, never from a decoded file) is written
    // with replacement characters rather than failing the save.
    std::string text = presetToJson(preset).dump(2, ' ', false, json::error_handler_t::replace);
    text += '\n';
    return text;
}

} // namespace keyglass
