// keyglass-cli layout, devices and dump: the device side of the core for scripts, over the same
// loader the app uses, on real pads and on virtual ones.

#include "cli/Cli.h"
#include "device/Definition.h"
#include "device/DeviceModelJson.h"
#include "device/Discovery.h"
#include "keycodes/KeycodeExpression.h"
#include "padenv/PadEnvironment.h"
#include "platform/AtomicFile.h"
#include "platform/JsonReading.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ostream>
#include <sstream>

namespace keyglass::cli {

namespace {
using json = nlohmann::json;

// A compressed definition is at most 64 KiB; plain ones are limited by the decoder's own cap.
constexpr std::size_t MaxDefinitionFileBytes = MaxDecodedDefinitionBytes;

bool rejectUnknownOptions(Invocation& call, std::string_view command)
{
    for (const std::string& arg : call.args) {
        if (arg.size() > 1 && arg.starts_with("-")) {
            call.err << "keyglass-cli " << command << ": unknown option " << arg << "\n";
            return true;
        }
    }
    return false;
}

bool looksLikeXz(std::string_view bytes)
{
    static constexpr unsigned char Magic[] = {0xFD, '7', 'z', 'X', 'Z', 0x00};
    return bytes.size() >= sizeof Magic &&
           std::equal(std::begin(Magic), std::end(Magic), bytes.begin(), [](unsigned char m, char b) {
               return m == static_cast<unsigned char>(b);
           });
}

Expected<json> readDefinitionFile(const std::string& path)
{
    auto text = readFileCapped(path, MaxDefinitionFileBytes);
    if (!text)
        return unexpected(text.error());
    if (looksLikeXz(*text)) {
        const auto* data = reinterpret_cast<const std::uint8_t*>(text->data());
        return decodeDefinition(std::span<const std::uint8_t>(data, text->size()));
    }
    auto document = parseJsonCapped(*text, MaxDefinitionFileBytes);
    if (!document)
        return unexpected(document.error());
    if (!document->is_object())
        return unexpected(Error("not a JSON object"));
    return document;
}

std::string formatMs(double ms)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", ms);
    return buffer;
}

std::string upper(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

struct Loaded
{
    DeviceModel model;
    LoadStats stats;
};

/// Loads every pad (or the one with `onlyId`); failures go to standard error.
std::optional<std::vector<Loaded>>
loadPads(Invocation& call, std::string_view command, const std::string& onlyId, bool* allLoaded)
{
    auto environment = PadEnvironment::create(call.virtualPads);
    if (!environment) {
        call.err << "keyglass-cli " << command << ": " << environment.error().message << "\n";
        return std::nullopt;
    }
    std::vector<Loaded> loaded;
    *allLoaded = true;
    for (const auto& endpoint : enumerateEndpoints((*environment)->backend())) {
        if (!onlyId.empty() && endpoint.id() != onlyId)
            continue;
        LoadStats stats;
        auto model = loadDevice((*environment)->backend(), endpoint, &stats);
        if (!model) {
            call.err << "keyglass-cli " << command << ": " << endpoint.id()
                     << ": no answer over RawHID (is another program holding the pad?)\n";
            *allLoaded = false;
            continue;
        }
        loaded.push_back(Loaded{std::move(*model), stats});
    }
    return loaded;
}

std::optional<std::uint32_t> parseOptionsValue(const std::string& text)
{
    // Decimal, or hex with 0x, as the pad's 32-bit value.
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > (hex ? 8u : 10u))
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        const int digit = std::isdigit(static_cast<unsigned char>(c))           ? c - '0'
                          : hex && std::isxdigit(static_cast<unsigned char>(c)) ? std::tolower(c) - 'a' + 10
                                                                                : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    }
    if (value > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

int runLayout(Invocation& call)
{
    takeFlag(call.args, "--json"); // the output is always JSON; the flag is accepted for scripts that say so
    bool missingValue = false;
    const auto optionValues = takeOption(call.args, "--options", &missingValue);
    if (rejectUnknownOptions(call, "layout"))
        return ExitUsage;
    std::optional<std::uint32_t> options;
    if (!optionValues.empty())
        options = parseOptionsValue(optionValues.back());
    if (call.args.size() != 1 || missingValue || (!optionValues.empty() && !options)) {
        call.err << "usage: keyglass-cli layout FILE [--options N] [--json]\n";
        return ExitUsage;
    }
    const std::string& path = call.args[0];
    const auto definition = readDefinitionFile(path);
    if (!definition) {
        call.err << "keyglass-cli layout: " << path << ": " << definition.error().message << "\n";
        return ExitFailed;
    }
    const auto layout = layoutFromDefinition(*definition, options.value_or(0));
    if (!layout) {
        call.err << "keyglass-cli layout: " << path << ": no usable matrix: " << layout.error().message << "\n";
        return ExitFailed;
    }
    // Without --options every key of every option is listed; with it only what those options show.
    json keys = json::array();
    for (const auto& key : options ? layout->keys : layout->allKeys)
        keys.push_back(toJson(key));
    json encoders = json::array();
    for (const auto& encoder : layout->encoders)
        encoders.push_back(toJson(encoder));
    json labels = json::array();
    for (const auto& label : layout->labels)
        labels.push_back(toJson(label));
    json out{
        {"rows", layout->rows}, {"cols", layout->cols}, {"keys", keys}, {"encoders", encoders}, {"labels", labels}};
    if (options)
        out["layoutOptions"] = *options;
    call.out << out.dump() << "\n";
    return ExitOk;
}

int runDevices(Invocation& call)
{
    const bool asJson = takeFlag(call.args, "--json");
    const bool timing = takeFlag(call.args, "--timing");
    if (rejectUnknownOptions(call, "devices"))
        return ExitUsage;
    if (!call.args.empty()) {
        call.err << "usage: keyglass-cli devices [--json] [--timing]\n";
        return ExitUsage;
    }
    bool allLoaded = true;
    const auto pads = loadPads(call, "devices", {}, &allLoaded);
    if (!pads)
        return ExitFailed;

    if (asJson) {
        json list = json::array();
        for (const auto& pad : *pads) {
            json entry = toJson(pad.model);
            entry["unread"] = pad.model.unreadCount();
            if (timing) {
                entry["exchanges"] = pad.stats.exchanges;
                entry["load_ms"] = pad.stats.loadMs;
            }
            list.push_back(std::move(entry));
        }
        call.out << list.dump() << "\n";
    } else {
        for (const auto& pad : *pads) {
            const auto& m = pad.model;
            call.out << m.id << "\t" << m.displayName() << "\t" << m.proto.label() << "\t" << m.rows << "x" << m.cols
                     << "\tlayers=" << m.layerCount << " keys=" << m.keys.size() << " encoders=" << m.encoders.size()
                     << " tapDances=" << m.tapDanceCount << " lighting=" << toString(m.rgb.kind);
            if (m.isPartial())
                call.out << " unread=" << m.unreadCount();
            if (timing)
                call.out << " exchanges=" << pad.stats.exchanges << " load_ms=" << formatMs(pad.stats.loadMs);
            call.out << "\n";
        }
    }
    return allLoaded ? ExitOk : ExitFailed;
}

json expressionMap(const std::vector<std::vector<std::vector<Keycode>>>& map, bool legacy)
{
    json layers = json::array();
    for (const auto& layer : map) {
        json rows = json::array();
        for (const auto& row : layer) {
            json cells = json::array();
            for (Keycode code : row)
                cells.push_back(formatKeycode(code, legacy));
            rows.push_back(std::move(cells));
        }
        layers.push_back(std::move(rows));
    }
    return layers;
}

int runDump(Invocation& call)
{
    const bool asJson = takeFlag(call.args, "--json");
    if (rejectUnknownOptions(call, "dump"))
        return ExitUsage;
    if (call.args.size() != 1) {
        call.err << "usage: keyglass-cli dump ID [--json]\n";
        return ExitUsage;
    }
    const std::string id = upper(call.args[0]);
    bool allLoaded = true;
    const auto pads = loadPads(call, "dump", id, &allLoaded);
    if (!pads)
        return ExitFailed;
    if (pads->empty()) {
        if (allLoaded)
            call.err << "keyglass-cli dump: no pad " << id << "\n";
        return ExitFailed;
    }
    const DeviceModel& m = pads->front().model;
    const bool legacy = m.legacyKeycodes();

    if (asJson) {
        json out = toJson(m);
        out["keymapExpressions"] = expressionMap(m.keymap, legacy);
        out["encoderMapExpressions"] = expressionMap(m.encoderMap, legacy);
        call.out << out.dump() << "\n";
        return ExitOk;
    }

    call.out << "id " << m.id << "\n";
    call.out << "name " << m.displayName() << "\n";
    call.out << "protocol " << m.proto.label() << "\n";
    call.out << "matrix " << m.rows << "x" << m.cols << "\n";
    call.out << "layers " << m.layerCount << "\n";
    for (std::size_t layer = 0; layer < m.keymap.size(); ++layer) {
        for (std::size_t row = 0; row < m.keymap[layer].size(); ++row) {
            call.out << "L" << layer << " row " << row << ":";
            for (Keycode code : m.keymap[layer][row])
                call.out << " " << formatKeycode(code, legacy);
            call.out << "\n";
        }
    }
    for (std::size_t layer = 0; layer < m.encoderMap.size(); ++layer) {
        for (std::size_t j = 0; j < m.encoderMap[layer].size() && j < m.encoders.size(); ++j) {
            const auto& pair = m.encoderMap[layer][j];
            call.out << "L" << layer << " " << m.encoders[j].name << ": ccw "
                     << formatKeycode(pair.size() > 0 ? pair[0] : 0, legacy) << " cw "
                     << formatKeycode(pair.size() > 1 ? pair[1] : 0, legacy) << "\n";
        }
    }
    for (std::size_t i = 0; i < m.tapDances.size(); ++i) {
        const auto& td = m.tapDances[i];
        call.out << "TD" << i << ": tap " << formatKeycode(td.onTap, legacy) << " hold "
                 << formatKeycode(td.onHold, legacy) << " double " << formatKeycode(td.onDoubleTap, legacy)
                 << " tapHold " << formatKeycode(td.onTapHold, legacy) << " term " << td.tappingTerm << "\n";
    }
    const auto& rgb = m.rgb;
    call.out << "lighting " << toString(rgb.kind) << " brightness=" << int(rgb.brightness)
             << " effect=" << int(rgb.effect) << " speed=" << int(rgb.speed) << " hue=" << int(rgb.hue)
             << " sat=" << int(rgb.sat) << "\n";
    return ExitOk;
}

const bool registered =
    registerCommand("layout", "layout FILE [--options N]  layout of a Vial/VIA definition (.json or .xz)", runLayout) &&
    registerCommand("devices", "devices [--json] [--timing]  list connected pads", runDevices) &&
    registerCommand("dump", "dump ID [--json]       one pad's model, keymap and encoders", runDump);
} // namespace

} // namespace keyglass::cli
