#include "device/KleLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <string_view>

namespace keyglass {

namespace {
using json = nlohmann::json;

std::string_view trimSpaces(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::vector<std::string_view> splitKeepEmpty(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::vector<std::string_view> splitDropEmpty(std::string_view text, char separator)
{
    auto parts = splitKeepEmpty(text, separator);
    std::erase_if(parts, [](std::string_view part) { return part.empty(); });
    return parts;
}

/// A plain decimal integer with an optional sign; no spaces, nothing after the digits.
std::optional<int> parseDecimal(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int>::max())
            return std::nullopt;
    }
    return static_cast<int>(negative ? -value : value);
}

std::optional<double> finiteNumber(const json& value)
{
    if (!value.is_number())
        return std::nullopt;
    const double number = value.get<double>();
    if (!std::isfinite(number))
        return std::nullopt;
    return number;
}

struct Cursor
{
    double x = 0;
    double y = 0;
    double w = 1;
    double h = 1;
    bool decal = false;
};

void applyProperties(const json& object, Cursor& cursor)
{
    if (auto v = object.find("x"); v != object.end())
        if (auto n = finiteNumber(*v))
            cursor.x += *n;
    if (auto v = object.find("y"); v != object.end())
        if (auto n = finiteNumber(*v))
            cursor.y += *n;
    if (auto v = object.find("w"); v != object.end())
        if (auto n = finiteNumber(*v))
            cursor.w = *n;
    if (auto v = object.find("h"); v != object.end())
        if (auto n = finiteNumber(*v))
            cursor.h = *n;
    if (auto v = object.find("d"); v != object.end() && v->is_boolean())
        cursor.decal = v->get<bool>();
}

void applyLegend(std::string_view legend, const Cursor& cursor, std::vector<PhysicalKey>& keys, std::set<int>& encoders)
{
    const auto lines = splitKeepEmpty(legend, '\n');
    const std::string_view label = trimSpaces(lines[0]);
    const bool isEncoder =
        std::any_of(lines.begin() + 1, lines.end(), [](std::string_view line) { return trimSpaces(line) == "e"; });
    if (isEncoder) {
        const auto pieces = splitDropEmpty(label, ',');
        if (pieces.size() == 2)
            if (auto index = parseDecimal(pieces[0]))
                encoders.insert(*index);
        return;
    }
    if (label.find(',') != std::string_view::npos) {
        const auto pieces = splitDropEmpty(label, ',');
        if (pieces.size() != 2)
            return;
        const auto row = parseDecimal(pieces[0]);
        const auto col = parseDecimal(pieces[1]);
        if (!row || !col)
            return;
        keys.push_back(PhysicalKey{"r" + std::to_string(*row) + "c" + std::to_string(*col),
                                   *row,
                                   *col,
                                   cursor.x,
                                   cursor.y,
                                   cursor.w,
                                   cursor.h,
                                   cursor.decal});
        return;
    }
    if (cursor.decal)
        keys.push_back(PhysicalKey{"r0c0", 0, 0, cursor.x, cursor.y, cursor.w, cursor.h, true});
}
} // namespace

ParsedLayout parseLayout(const nlohmann::json& keymap)
{
    ParsedLayout layout;
    if (!keymap.is_array())
        return layout;
    std::set<int> encoders;
    double y = 0;
    for (const auto& row : keymap) {
        if (!row.is_array())
            continue;
        Cursor cursor;
        cursor.y = y;
        for (const auto& item : row) {
            if (layout.keys.size() > MaxLayoutKeys || encoders.size() > MaxLayoutEncoders)
                break;
            if (item.is_object()) {
                applyProperties(item, cursor);
            } else if (item.is_string()) {
                applyLegend(item.get_ref<const std::string&>(), cursor, layout.keys, encoders);
                cursor.x += cursor.w;
                cursor.w = 1;
                cursor.h = 1;
                cursor.decal = false;
            }
        }
        y = cursor.y + 1;
    }
    std::stable_sort(layout.keys.begin(), layout.keys.end(), [](const PhysicalKey& a, const PhysicalKey& b) {
        if (a.y != b.y)
            return a.y < b.y;
        return a.x < b.x;
    });
    layout.encoderIndices.assign(encoders.begin(), encoders.end());
    return layout;
}

std::vector<PhysicalEncoder> nameVialEncoders(const std::vector<int>& indices, const std::vector<PhysicalKey>& keys)
{
    std::vector<PhysicalEncoder> encoders;
    if (indices.size() == 1) {
        PhysicalEncoder knob{indices[0], "Knob", std::nullopt, std::nullopt};
        const PhysicalKey* only = nullptr;
        int count = 0;
        for (const auto& key : keys) {
            if (key.decal)
                continue;
            ++count;
            only = &key;
        }
        if (count == 1) {
            knob.clickRow = only->row;
            knob.clickCol = only->col;
        }
        encoders.push_back(knob);
        return encoders;
    }
    for (int index : indices)
        encoders.push_back(PhysicalEncoder{index, "Knob " + std::to_string(index), std::nullopt, std::nullopt});
    return encoders;
}

} // namespace keyglass
