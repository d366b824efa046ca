#include "share/ShareService.h"

#include "platform/JsonReading.h"
#include "presets/PresetSafety.h"
#include "share/ShareStorage.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>
#include <random>

namespace keyglass {

namespace {

constexpr std::size_t MaxAuthorLength = 100;
constexpr std::size_t MaxTrackedClients = 10000;

std::string jsonBody(const nlohmann::json& value)
{
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

ShareReply jsonReply(int status, const nlohmann::json& value)
{
    return {status, "application/json", jsonBody(value)};
}

std::optional<int> parseCount(std::optional<std::string_view> text)
{
    if (!text)
        return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || end != text->data() + text->size() || value < 0)
        return -1;
    return value;
}

std::string trimmed(std::string_view text)
{
    const auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

std::string osLabel(const std::string& os)
{
    std::string lower = os;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower == "windows")
        return "Windows";
    if (lower == "macos")
        return "macOS";
    return os;
}

} // namespace

std::string htmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string newShareID()
{
    std::random_device device; // /dev/urandom on Linux
    static constexpr char digits[] = "0123456789abcdef";
    std::string id;
    for (int word = 0; word < 4; ++word) {
        const std::uint32_t bits = device();
        for (int shift = 28; shift >= 0; shift -= 4)
            id += digits[(bits >> shift) & 0xF];
    }
    return id;
}

bool isShareID(std::string_view id)
{
    return id.size() == 32 &&
           std::all_of(id.begin(), id.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

Expected<DevicePreset, PublishRefusal> decodePublishRequest(std::string_view body, const ShareLimits& limits)
{
    auto refuse = [](int status, std::string message) {
        return unexpected(PublishRefusal{status, {std::move(message)}});
    };
    if (body.size() > limits.maxBodyBytes)
        return refuse(413, "Preset is larger than " + std::to_string(limits.maxBodyBytes / 1024) + " KiB");
    auto parsed = parseJsonCapped(body, limits.maxBodyBytes);
    if (!parsed)
        return refuse(400, "Not a preset: " + parsed.error().message);
    auto preset = presetFromJson(*parsed);
    if (!preset)
        return refuse(400, "Not a preset: " + preset.error().message);
    if (preset->layers.size() > limits.maxLayers)
        return refuse(413, "Preset has more than " + std::to_string(limits.maxLayers) + " layers");
    for (const auto& layer : preset->layers) {
        std::size_t keys = 0;
        for (const auto& row : layer.keys)
            keys += row.size();
        if (keys > limits.maxKeysPerLayer)
            return refuse(413,
                          "Layer " + std::to_string(layer.index) + " has more than " +
                              std::to_string(limits.maxKeysPerLayer) + " keys");
        if (layer.encoders && layer.encoders->size() > limits.maxKeysPerLayer)
            return refuse(413, "Layer " + std::to_string(layer.index) + " has too many encoders");
    }
    if (preset->tapDances && preset->tapDances->size() > limits.maxTapDances)
        return refuse(413, "Preset has more than " + std::to_string(limits.maxTapDances) + " tap dances");
    // The service never knows the target pad, so it checks as for a current one; the legacy flag only
    // moves the mouse-wheel codes, which are never blocked.
    if (auto problems = validatePreset(*preset, false); !problems.empty())
        return unexpected(PublishRefusal{422, std::move(problems)});
    return std::move(*preset);
}

ShareService::ShareService(ShareStorage& storage, std::string publicBaseURL, ShareLimits limits, SteadyClock clock)
    : m_storage(storage), m_publicBaseURL(std::move(publicBaseURL)), m_limits(limits), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = [] { return std::chrono::steady_clock::now(); };
    while (!m_publicBaseURL.empty() && m_publicBaseURL.back() == '/')
        m_publicBaseURL.pop_back();
}

std::string ShareService::refusalBody(const std::vector<std::string>& errors)
{
    return jsonBody({{"ok", false}, {"errors", errors}});
}

ShareReply ShareService::list(std::optional<std::string_view> source,
                              std::optional<std::string_view> limitText,
                              std::optional<std::string_view> offsetText)
{
    if (source && *source != "community")
        return {400, "application/json", refusalBody({"Unknown source \"" + std::string(*source) + "\""})};
    const auto limit = parseCount(limitText).value_or(m_limits.defaultPageSize);
    const auto offset = parseCount(offsetText).value_or(0);
    if (limit < 0 || offset < 0)
        return {400, "application/json", refusalBody({"limit and offset must be whole numbers"})};
    auto stored = m_storage.list(std::min(limit, m_limits.maxPageSize), offset);
    if (!stored)
        return {500, "application/json", refusalBody({stored.error().message})};
    nlohmann::json presets = nlohmann::json::array();
    for (const auto& entry : *stored) {
        auto parsed = parseJsonCapped(entry.json, MaxPresetDocumentBytes);
        if (parsed)
            presets.push_back(std::move(*parsed));
    }
    return jsonReply(200, {{"community", std::move(presets)}});
}

bool ShareService::admitPublish(const std::string& client)
{
    const auto now = m_clock();
    const auto windowStart = now - std::chrono::minutes(1);
    std::lock_guard lock(m_rateMutex);
    if (m_recentPublishes.size() > MaxTrackedClients)
        std::erase_if(m_recentPublishes,
                      [&](const auto& entry) { return entry.second.empty() || entry.second.back() <= windowStart; });
    auto& recent = m_recentPublishes[client];
    while (!recent.empty() && recent.front() <= windowStart)
        recent.pop_front();
    if (recent.size() >= static_cast<std::size_t>(m_limits.publishesPerMinute))
        return false;
    recent.push_back(now);
    return true;
}

ShareReply ShareService::publish(std::string_view body, const std::string& client)
{
    if (!admitPublish(client))
        return {429,
                "application/json",
                refusalBody({"Too many presets shared from this address: at most " +
                             std::to_string(m_limits.publishesPerMinute) + " a minute, try again shortly"})};
    auto decoded = decodePublishRequest(body, m_limits);
    if (!decoded)
        return {decoded.error().status, "application/json", refusalBody(decoded.error().errors)};
    DevicePreset preset = std::move(*decoded);
    preset.id = newShareID();
    preset.builtIn = false;
    preset.community = true;
    preset.verifiedSafe = true;
    std::string author = trimmed(preset.author.value_or(""));
    if (author.size() > MaxAuthorLength)
        author.resize(MaxAuthorLength);
    preset.author = author.empty() ? std::string("Community") : author;

    nlohmann::json document = presetToJson(preset);
    StoredPreset stored{preset.id, jsonBody(document), static_cast<std::int64_t>(std::time(nullptr)), preset.name};
    if (auto inserted = m_storage.insert(stored); !inserted)
        return {500, "application/json", refusalBody({inserted.error().message})};
    std::string link = m_publicBaseURL;
    link += "/p/";
    link += preset.id;
    return jsonReply(201, {{"ok", true}, {"preset", std::move(document)}, {"shareUrl", std::move(link)}});
}

ShareReply ShareService::page(std::string_view id, bool wantsJson)
{
    auto notFound = [&] {
        if (wantsJson)
            return ShareReply{404, "application/json", refusalBody({"No such preset"})};
        return ShareReply{404,
                          "text/html; charset=utf-8",
                          "<!doctype html><html><head><meta charset=\"utf-8\"><title>Not found</title></head>"
                          "<body><p>No such preset.</p></body></html>\n"};
    };
    if (!isShareID(id))
        return notFound();
    auto found = m_storage.find(std::string(id));
    if (!found)
        return {500, "application/json", refusalBody({found.error().message})};
    if (!*found)
        return notFound();
    if (wantsJson)
        return {200, "application/json", (*found)->json};
    auto preset = decodePreset((*found)->json);
    if (!preset)
        return {500, "application/json", refusalBody({"Stored preset is unreadable"})};

    const DevicePreset& p = *preset;
    std::string html = "<!doctype html>\n<html><head><meta charset=\"utf-8\"><title>";
    html += htmlEscape(p.name);
    html += " \xC2\xB7 Loomshare</title>"
            "<style>body{font-family:sans-serif;max-width:60em;margin:2em auto}"
            "table{border-collapse:collapse;margin-bottom:1em}td{border:1px solid #999;padding:.3em .6em;"
            "font-family:monospace}</style></head><body>\n<h1>";
    html += htmlEscape(p.name);
    html += "</h1>\n<p>";
    html += htmlEscape(p.appName);
    html += " \xC2\xB7 ";
    html += htmlEscape(osLabel(p.os));
    html += " \xC2\xB7 by ";
    html += htmlEscape(p.author.value_or("Community"));
    html += "</p>\n";
    if (!p.description.empty()) {
        html += "<p>";
        html += htmlEscape(p.description);
        html += "</p>\n";
    }
    for (const auto& layer : p.layers) {
        html += "<h2>Layer ";
        html += std::to_string(layer.index);
        html += ": ";
        html += htmlEscape(layer.name);
        html += "</h2>\n<table>\n";
        for (const auto& row : layer.keys) {
            html += "<tr>";
            for (const auto& key : row) {
                html += "<td>";
                html += htmlEscape(key);
                html += "</td>";
            }
            html += "</tr>\n";
        }
        html += "</table>\n";
    }
    html += "</body></html>\n";
    return {200, "text/html; charset=utf-8", std::move(html)};
}

ShareReply ShareService::health()
{
    auto count = m_storage.count();
    if (!count)
        return {503, "application/json", refusalBody({count.error().message})};
    return jsonReply(200, {{"ok", true}, {"presets", *count}});
}

} // namespace keyglass
