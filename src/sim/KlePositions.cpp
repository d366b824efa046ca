#include "sim/KlePositions.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace keyglass {

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::optional<int> number(std::string_view s)
{
    s = trim(s);
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty() || v < 0)
        return std::nullopt;
    return v;
}

std::optional<std::pair<int, int>> pairOf(std::string_view label)
{
    const auto comma = label.find(',');
    if (comma == std::string_view::npos || label.find(',', comma + 1) != std::string_view::npos)
        return std::nullopt;
    const auto a = number(label.substr(0, comma)), b = number(label.substr(comma + 1));
    if (!a || !b)
        return std::nullopt;
    return std::make_pair(*a, *b);
}

} // namespace

KlePositions scanKlePositions(const nlohmann::json& keymap)
{
    KlePositions out;
    if (!keymap.is_array())
        return out;
    for (const auto& row : keymap) {
        if (!row.is_array())
            continue;
        bool decal = false;
        for (const auto& item : row) {
            if (item.is_object()) {
                if (auto d = item.find("d"); d != item.end() && d->is_boolean())
                    decal = d->get<bool>();
                continue;
            }
            if (!item.is_string())
                continue;
            const std::string legend = item.get<std::string>();
            std::vector<std::string_view> lines;
            std::string_view rest = legend;
            for (;;) {
                const auto nl = rest.find('\n');
                lines.push_back(rest.substr(0, nl));
                if (nl == std::string_view::npos)
                    break;
                rest.remove_prefix(nl + 1);
            }
            bool encoder = false;
            for (std::size_t i = 1; i < lines.size(); ++i)
                encoder = encoder || trim(lines[i]) == "e";
            if (const auto p = pairOf(trim(lines[0]))) {
                if (encoder)
                    out.encoders.push_back({p->first, p->second});
                else
                    out.keys.push_back({p->first, p->second, decal});
            }
            decal = false;
        }
    }
    return out;
}

} // namespace keyglass
