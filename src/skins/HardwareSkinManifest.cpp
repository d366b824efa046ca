#include "skins/HardwareSkinManifest.h"

#include "platform/JsonReading.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <sstream>

namespace keyglass {

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

// Reads members of one JSON object, remembering the first problem so the caller reports it once.
class Members
{
public:
    Members(const json& object, std::string where, std::string* problem)
        : m_object(object), m_where(std::move(where)), m_problem(problem)
    {
        if (!object.is_object())
            fail(m_where + " is not an object");
    }

    const json* get(const char* key, bool (json::*isType)() const noexcept, const char* typeName)
    {
        if (!m_object.is_object())
            return nullptr;
        const auto it = m_object.find(key);
        if (it == m_object.end()) {
            fail(m_where + " lacks \"" + key + "\"");
            return nullptr;
        }
        if (!((*it).*isType)()) {
            fail(m_where + " \"" + key + "\" is not " + typeName);
            return nullptr;
        }
        return &*it;
    }

    std::string text(const char* key)
    {
        const json* v = get(key, &json::is_string, "a string");
        return v ? v->get<std::string>() : std::string();
    }
    double number(const char* key)
    {
        const json* v = get(key, &json::is_number, "a number");
        if (!v)
            return 0;
        const double value = v->get<double>();
        if (!std::isfinite(value))
            fail(m_where + " \"" + key + "\" is not a finite number");
        return value;
    }
    int integer(const char* key)
    {
        const json* v = get(key, &json::is_number_integer, "an integer");
        if (!v)
            return 0;
        // Keymap cells and encoder indexes are small; anything outside int is garbage, not a cell.
        if (v->is_number_unsigned() ? v->get<std::uint64_t>() > 1'000'000u
                                    : std::llabs(v->get<std::int64_t>()) > 1'000'000) {
            fail(m_where + " \"" + key + "\" is out of range");
            return 0;
        }
        return v->get<int>();
    }
    bool flag(const char* key)
    {
        const json* v = get(key, &json::is_boolean, "a boolean");
        return v && v->get<bool>();
    }
    const json* array(const char* key) { return get(key, &json::is_array, "an array"); }

    void fail(const std::string& message)
    {
        if (m_problem->empty())
            *m_problem = message;
    }

private:
    const json& m_object;
    std::string m_where;
    std::string* m_problem;
};

SkinCircleSpot circleSpot(const json& value, const std::string& where, std::string* problem)
{
    Members m(value, where, problem);
    SkinCircleSpot spot;
    spot.cx = m.number("cx");
    spot.cy = m.number("cy");
    spot.r = m.number("r");
    return spot;
}

template <class Record, class Decode>
std::vector<Record> records(Members& top, const char* key, std::string* problem, Decode decode)
{
    std::vector<Record> out;
    const json* list = top.array(key);
    if (!list)
        return out;
    for (std::size_t i = 0; i < list->size(); ++i)
        out.push_back(decode((*list)[i], std::string(key) + "[" + std::to_string(i) + "]", problem));
    return out;
}

} // namespace

Expected<HardwareSkinManifest> decodeSkinManifest(std::string_view text)
{
    if (text.size() > MaxSkinManifestBytes)
        return unexpected(Error{"skin.json is larger than 1 MiB"});
    if (!jsonDepthWithin(text, MaxSkinManifestDepth))
        return unexpected(Error{"skin.json nests too deeply"});
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded())
        return unexpected(Error{"skin.json is not valid JSON"});

    std::string problem;
    Members top(document, "skin.json", &problem);
    HardwareSkinManifest manifest;
    manifest.id = top.text("id");
    manifest.name = top.text("name");
    manifest.aspectRatio = top.number("aspectRatio");
    manifest.colorways =
        records<SkinColorway>(top, "colorways", &problem, [](const json& v, const std::string& where, std::string* p) {
            Members m(v, where, p);
            SkinColorway c;
            c.id = m.text("id");
            c.name = m.text("name");
            c.swatchHex = m.text("swatchHex");
            c.imageFile = m.text("imageFile");
            c.lightKeycaps = m.flag("lightKeycaps");
            return c;
        });
    manifest.keys =
        records<SkinKeySlot>(top, "keys", &problem, [](const json& v, const std::string& where, std::string* p) {
            Members m(v, where, p);
            SkinKeySlot k;
            k.row = m.integer("row");
            k.col = m.integer("col");
            k.x = m.number("x");
            k.y = m.number("y");
            k.w = m.number("w");
            k.h = m.number("h");
            return k;
        });
    manifest.encoders = records<SkinEncoderSlot>(
        top, "encoders", &problem, [](const json& v, const std::string& where, std::string* p) {
            Members m(v, where, p);
            SkinEncoderSlot e;
            e.index = m.integer("index");
            e.cx = m.number("cx");
            e.cy = m.number("cy");
            e.r = m.number("r");
            e.isFlushWheel = m.flag("isFlushWheel");
            return e;
        });
    // An optional member may also be written as null.
    if (document.is_object() && document.contains("layerButton") && !document["layerButton"].is_null())
        manifest.layerButton = circleSpot(document["layerButton"], "layerButton", &problem);
    manifest.leds = records<SkinCircleSpot>(top, "leds", &problem, circleSpot);

    // The view is laid out at this ratio; zero or a negative value would give it no size at all.
    if (problem.empty() && !(manifest.aspectRatio > 0.05 && manifest.aspectRatio < 20))
        problem = "skin.json \"aspectRatio\" must be between 0.05 and 20";
    if (!problem.empty())
        return unexpected(Error{problem});
    return manifest;
}

Expected<HardwareSkinManifest> readSkinManifest(const fs::path& file)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return unexpected(Error{"no skin.json in " + file.parent_path().string()});
    const auto size = fs::file_size(file, ec);
    if (ec)
        return unexpected(Error{"cannot read " + file.string()});
    if (size > MaxSkinManifestBytes)
        return unexpected(Error{"skin.json is larger than 1 MiB"});
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return unexpected(Error{"cannot read " + file.string()});
    std::string text(MaxSkinManifestBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return decodeSkinManifest(text);
}

const SkinColorway* selectedColorway(const HardwareSkinManifest& manifest, std::string_view id)
{
    for (const auto& colorway : manifest.colorways)
        if (colorway.id == id)
            return &colorway;
    return manifest.colorways.empty() ? nullptr : &manifest.colorways.front();
}

std::optional<fs::path> colorwayImagePath(const fs::path& folder, const SkinColorway& colorway)
{
    const fs::path name(colorway.imageFile);
    if (name.empty() || name.is_absolute() || name.has_root_name())
        return std::nullopt;
    for (const auto& part : name)
        if (part == "..")
            return std::nullopt;
    return folder / name;
}

} // namespace keyglass
