#include "device/KleLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <utility>

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
    double x2 = 0;
    double y2 = 0;
    double w2 = 0; // 0: as wide as the primary rectangle
    double h2 = 0;
    bool decal = false;
    double r = 0;
    double rx = 0;
    double ry = 0;
};

bool withinReach(double value)
{
    return std::fabs(value) <= MaxLayoutCoordinate;
}

std::optional<double> side(const json& object, const char* name)
{
    if (auto v = object.find(name); v != object.end())
        if (auto n = finiteNumber(*v); n && *n > 0 && *n <= MaxKeySide)
            return n;
    return std::nullopt;
}

void applyProperties(const json& object, Cursor& cursor)
{
    // The layout editor's order: rotation first (an origin puts the cursor on it), then offsets, sizes.
    if (auto v = object.find("r"); v != object.end())
        if (auto n = finiteNumber(*v))
            cursor.r = std::fmod(*n, 360.0);
    if (auto v = object.find("rx"); v != object.end())
        if (auto n = finiteNumber(*v); n && withinReach(*n)) {
            cursor.rx = *n;
            cursor.x = cursor.rx;
            cursor.y = cursor.ry;
        }
    if (auto v = object.find("ry"); v != object.end())
        if (auto n = finiteNumber(*v); n && withinReach(*n)) {
            cursor.ry = *n;
            cursor.x = cursor.rx;
            cursor.y = cursor.ry;
        }
    if (auto v = object.find("x"); v != object.end())
        if (auto n = finiteNumber(*v); n && withinReach(cursor.x + *n))
            cursor.x += *n;
    if (auto v = object.find("y"); v != object.end())
        if (auto n = finiteNumber(*v); n && withinReach(cursor.y + *n))
            cursor.y += *n;
    if (auto n = side(object, "w")) {
        cursor.w = *n;
        cursor.w2 = 0;
    }
    if (auto n = side(object, "h")) {
        cursor.h = *n;
        cursor.h2 = 0;
    }
    if (auto v = object.find("x2"); v != object.end())
        if (auto n = finiteNumber(*v); n && std::fabs(*n) <= MaxKeySide)
            cursor.x2 = *n;
    if (auto v = object.find("y2"); v != object.end())
        if (auto n = finiteNumber(*v); n && std::fabs(*n) <= MaxKeySide)
            cursor.y2 = *n;
    if (auto n = side(object, "w2"))
        cursor.w2 = *n;
    if (auto n = side(object, "h2"))
        cursor.h2 = *n;
    if (auto v = object.find("d"); v != object.end() && v->is_boolean())
        cursor.decal = v->get<bool>();
}

std::optional<std::pair<int, int>> numberPair(std::string_view label)
{
    const auto pieces = splitDropEmpty(label, ',');
    if (pieces.size() != 2)
        return std::nullopt;
    const auto a = parseDecimal(pieces[0]);
    const auto b = parseDecimal(pieces[1]);
    if (!a || !b)
        return std::nullopt;
    return std::make_pair(*a, *b);
}

/// "e<index>": a VIA knob on this key.
std::optional<int> viaEncoderMark(std::string_view line)
{
    if (line.size() < 2 || line[0] != 'e')
        return std::nullopt;
    const auto index = parseDecimal(line.substr(1));
    if (!index || *index < 0 || line[1] == '+' || line[1] == '-')
        return std::nullopt;
    return index;
}

PhysicalKey placedKey(std::string id, int row, int col, const Cursor& cursor, bool decal)
{
    PhysicalKey key{std::move(id), row, col, cursor.x, cursor.y, cursor.w, cursor.h, decal};
    key.r = cursor.r;
    key.rx = cursor.rx;
    key.ry = cursor.ry;
    const double w2 = cursor.w2 > 0 ? cursor.w2 : cursor.w;
    const double h2 = cursor.h2 > 0 ? cursor.h2 : cursor.h;
    if (cursor.x2 != 0 || cursor.y2 != 0 || w2 != cursor.w || h2 != cursor.h) {
        key.x2 = cursor.x2;
        key.y2 = cursor.y2;
        key.w2 = w2;
        key.h2 = h2;
    }
    return key;
}

void applyLegend(std::string_view legend, const Cursor& cursor, ParsedLayout& layout)
{
    const auto lines = splitKeepEmpty(legend, '\n');
    const std::string_view label = trimSpaces(lines[0]);
    std::optional<LayoutChoice> option;
    if (lines.size() > 3)
        if (auto pair = numberPair(trimSpaces(lines[3])); pair && pair->first >= 0 && pair->second >= 0)
            option = LayoutChoice{pair->first, pair->second};

    const bool isVialEncoder =
        std::any_of(lines.begin() + 1, lines.end(), [](std::string_view line) { return trimSpaces(line) == "e"; });
    if (isVialEncoder) {
        if (auto pair = numberPair(label))
            layout.encoders.push_back(LayoutEncoder{pair->first, std::nullopt, std::nullopt, option});
        return;
    }
    if (label.find(',') != std::string_view::npos) {
        const auto pair = numberPair(label);
        if (!pair)
            return;
        const auto [row, col] = *pair;
        auto key = placedKey("r" + std::to_string(row) + "c" + std::to_string(col), row, col, cursor, cursor.decal);
        key.option = option;
        layout.keys.push_back(std::move(key));
        if (cursor.decal)
            return;
        for (std::size_t i = 1; i < lines.size(); ++i)
            if (auto index = viaEncoderMark(trimSpaces(lines[i]))) {
                layout.encoders.push_back(LayoutEncoder{*index, row, col, option});
                break;
            }
        return;
    }
    if (cursor.decal)
        layout.keys.push_back(placedKey("r0c0", 0, 0, cursor, true));
}

std::vector<int> distinctIndices(const std::vector<LayoutEncoder>& encoders)
{
    std::set<int> indices;
    for (const auto& encoder : encoders)
        indices.insert(encoder.index);
    return {indices.begin(), indices.end()};
}

int optionBits(const LayoutOptionLabel& label)
{
    int bits = 0;
    while ((1 << bits) < label.choiceCount() && bits < 31)
        ++bits;
    return bits;
}
} // namespace

ParsedLayout parseLayout(const nlohmann::json& keymap)
{
    ParsedLayout layout;
    if (!keymap.is_array())
        return layout;
    Cursor cursor;
    for (const auto& row : keymap) {
        if (!row.is_array())
            continue;
        for (const auto& item : row) {
            if (layout.keys.size() > MaxLayoutKeys || layout.encoders.size() > MaxLayoutEncoders * 4)
                break;
            if (item.is_object()) {
                applyProperties(item, cursor);
            } else if (item.is_string()) {
                applyLegend(item.get_ref<const std::string&>(), cursor, layout);
                if (withinReach(cursor.x + cursor.w))
                    cursor.x += cursor.w;
                cursor.w = 1;
                cursor.h = 1;
                cursor.x2 = cursor.y2 = cursor.w2 = cursor.h2 = 0;
                cursor.decal = false;
            }
        }
        if (withinReach(cursor.y + 1))
            cursor.y += 1;
        cursor.x = cursor.rx;
    }
    std::stable_sort(layout.keys.begin(), layout.keys.end(), [](const PhysicalKey& a, const PhysicalKey& b) {
        if (a.y != b.y)
            return a.y < b.y;
        return a.x < b.x;
    });
    layout.encoderIndices = distinctIndices(layout.encoders);
    return layout;
}

std::vector<LayoutOptionLabel> parseLayoutLabels(const nlohmann::json& labels)
{
    std::vector<LayoutOptionLabel> options;
    if (!labels.is_array())
        return options;
    for (const auto& entry : labels) {
        if (options.size() >= MaxLayoutOptions)
            break;
        LayoutOptionLabel option;
        if (entry.is_string()) {
            option.title = entry.get<std::string>();
        } else if (entry.is_array() && !entry.empty()) {
            if (entry[0].is_string())
                option.title = entry[0].get<std::string>();
            for (std::size_t i = 1; i < entry.size() && option.choices.size() < 256; ++i)
                option.choices.push_back(entry[i].is_string() ? entry[i].get<std::string>() : std::string());
            // An array without choices has nothing to choose, but it is no toggle either.
            if (option.choices.empty())
                option.choices.emplace_back();
        }
        options.push_back(std::move(option));
    }
    return options;
}

std::vector<int> decodeLayoutOptions(const std::vector<LayoutOptionLabel>& labels, std::uint32_t value)
{
    std::vector<int> choices(labels.size(), 0);
    int shift = 0;
    for (std::size_t i = labels.size(); i-- > 0;) {
        const int bits = optionBits(labels[i]);
        if (shift + bits > 32)
            break;
        if (bits > 0) {
            const std::uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
            const int choice = static_cast<int>((value >> shift) & mask);
            choices[i] = choice < labels[i].choiceCount() ? choice : 0;
        }
        shift += bits;
    }
    return choices;
}

std::uint32_t encodeLayoutOptions(const std::vector<LayoutOptionLabel>& labels, const std::vector<int>& choices)
{
    std::uint32_t value = 0;
    int shift = 0;
    for (std::size_t i = labels.size(); i-- > 0;) {
        const int bits = optionBits(labels[i]);
        if (shift + bits > 32)
            break;
        const int choice = i < choices.size() ? choices[i] : 0;
        if (bits > 0 && choice > 0 && choice < labels[i].choiceCount())
            value |= static_cast<std::uint32_t>(choice) << shift;
        shift += bits;
    }
    return value;
}

bool isChosen(const std::optional<LayoutChoice>& option, const std::vector<int>& choices)
{
    if (!option)
        return true;
    const int chosen =
        option->group >= 0 && static_cast<std::size_t>(option->group) < choices.size() ? choices[option->group] : 0;
    return option->choice == chosen;
}

ParsedLayout chooseLayout(const ParsedLayout& layout, const std::vector<int>& choices)
{
    ParsedLayout chosen;
    for (const auto& key : layout.keys)
        if (isChosen(key.option, choices))
            chosen.keys.push_back(key);
    for (const auto& encoder : layout.encoders)
        if (isChosen(encoder.option, choices))
            chosen.encoders.push_back(encoder);
    chosen.encoderIndices = distinctIndices(chosen.encoders);
    return chosen;
}

std::vector<PhysicalEncoder> nameEncoders(const ParsedLayout& layout)
{
    auto encoders = nameVialEncoders(layout.encoderIndices, layout.keys);
    for (auto& encoder : encoders) {
        const auto marked = std::find_if(layout.encoders.begin(), layout.encoders.end(), [&](const LayoutEncoder& e) {
            return e.index == encoder.id && e.clickRow && e.clickCol;
        });
        if (marked != layout.encoders.end()) {
            encoder.clickRow = marked->clickRow;
            encoder.clickCol = marked->clickCol;
        }
    }
    return encoders;
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
