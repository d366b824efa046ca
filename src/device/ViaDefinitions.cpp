#include "device/ViaDefinitions.h"

#include "device/Definition.h"
#include "device/KleLayout.h"
#include "platform/AtomicFile.h"
#include "platform/JsonReading.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <system_error>

namespace keyglass {

namespace {
using json = nlohmann::json;

std::optional<int> hexDigits(std::string_view text)
{
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                                      : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

/// "0x6F75" as VIA writes it; a plain integer 0...65535 is taken too.
std::optional<int> usbId(const json& definition, const char* name)
{
    const auto it = definition.find(name);
    if (it == definition.end())
        return std::nullopt;
    if (it->is_number_unsigned() && it->get<std::uint64_t>() <= 0xFFFF)
        return static_cast<int>(it->get<std::uint64_t>());
    if (!it->is_string())
        return std::nullopt;
    std::string_view text = it->get_ref<const std::string&>();
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    return hexDigits(text.substr(2));
}

std::string joined(const std::vector<std::string>& problems)
{
    std::string text;
    for (const auto& problem : problems) {
        if (!text.empty())
            text += "; ";
        text += problem;
    }
    return text;
}
} // namespace

std::string ViaDefinitionSummary::deviceID() const
{
    return deviceIdentifier(vid, pid);
}

Expected<ViaDefinitionSummary> validateViaDefinition(const nlohmann::json& definition)
{
    if (!definition.is_object())
        return unexpected(Error("not a JSON object"));
    std::vector<std::string> problems;
    ViaDefinitionSummary summary;

    if (const auto name = definition.find("name");
        name != definition.end() && name->is_string() && !name->get_ref<const std::string&>().empty())
        summary.name = name->get<std::string>().substr(0, 128);
    else
        problems.emplace_back("\"name\" must be a non-empty text");
    const auto vid = usbId(definition, "vendorId");
    const auto pid = usbId(definition, "productId");
    if (!vid)
        problems.emplace_back("\"vendorId\" must be a hex id such as \"0x6F75\"");
    if (!pid)
        problems.emplace_back("\"productId\" must be a hex id such as \"0x5604\"");
    summary.vid = vid.value_or(0);
    summary.pid = pid.value_or(0);

    const auto layouts = definition.find("layouts");
    const bool hasKeymap = layouts != definition.end() && layouts->is_object() && layouts->contains("keymap") &&
                           (*layouts)["keymap"].is_array();
    if (!hasKeymap)
        problems.emplace_back("\"layouts\" -> \"keymap\" must be a key list");
    if (hasKeymap)
        if (const auto labels = layouts->find("labels"); labels != layouts->end() && !labels->is_array())
            problems.emplace_back("\"layouts\" -> \"labels\" must be a list");
    if (const auto menus = definition.find("menus"); menus != definition.end() && !menus->is_array())
        problems.emplace_back("\"menus\" must be a list");

    const auto layout = layoutFromDefinition(definition);
    if (!layout) {
        problems.push_back(layout.error().message);
    } else {
        if (layout->rows < 1 || layout->cols < 1)
            problems.emplace_back("\"matrix\" needs at least one row and one column");
        summary.rows = layout->rows;
        summary.cols = layout->cols;
        summary.keyCount = static_cast<int>(layout->allKeys.size());
        summary.optionCount = static_cast<int>(layout->labels.size());
        int outside = 0;
        std::string first;
        for (const auto& key : layout->allKeys) {
            if (key.decal || (key.row < layout->rows && key.col < layout->cols && key.row >= 0 && key.col >= 0))
                continue;
            if (outside++ == 0)
                first = std::to_string(key.row) + "," + std::to_string(key.col);
        }
        if (outside > 0)
            problems.push_back(std::to_string(outside) + " key(s) lie outside the " + std::to_string(layout->rows) +
                               " x " + std::to_string(layout->cols) + " matrix (first: " + first + ")");
        if (hasKeymap && layout->allKeys.empty())
            problems.emplace_back("the layout has no keys");
    }
    if (!problems.empty())
        return unexpected(Error(joined(problems)));
    return summary;
}

Expected<nlohmann::json> parseViaDefinition(std::string_view text)
{
    auto document = parseJsonCapped(text, MaxViaDefinitionFileBytes);
    if (!document)
        return unexpected(document.error());
    if (auto valid = validateViaDefinition(*document); !valid)
        return unexpected(valid.error());
    return document;
}

std::filesystem::path viaDefinitionsDir()
{
    return paths::dataDir() / "Definitions";
}

std::filesystem::path viaDefinitionPath(int vid, int pid)
{
    char name[32];
    std::snprintf(name,
                  sizeof name,
                  "%04X_%04X.json",
                  static_cast<unsigned>(vid) & 0xFFFFu,
                  static_cast<unsigned>(pid) & 0xFFFFu);
    return viaDefinitionsDir() / name;
}

Expected<ViaDefinitionSummary> addViaDefinitionText(std::string_view text)
{
    auto document = parseViaDefinition(text);
    if (!document)
        return unexpected(document.error());
    auto summary = validateViaDefinition(*document);
    std::error_code ec;
    std::filesystem::create_directories(viaDefinitionsDir(), ec);
    if (ec)
        return unexpected(Error("Could not create " + viaDefinitionsDir().string() + ": " + ec.message()));
    if (auto written = writeFileAtomically(viaDefinitionPath(summary->vid, summary->pid), text); !written)
        return unexpected(written.error());
    return summary;
}

Expected<ViaDefinitionSummary> addViaDefinitionFile(const std::filesystem::path& file)
{
    auto text = readFileCapped(file, MaxViaDefinitionFileBytes);
    if (!text)
        return unexpected(text.error());
    auto added = addViaDefinitionText(*text);
    if (!added)
        return unexpected(Error(file.string() + ": " + added.error().message));
    return added;
}

std::vector<ViaDefinitionSummary> listViaDefinitions()
{
    std::vector<ViaDefinitionSummary> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(viaDefinitionsDir(), ec), end; !ec && it != end; it.increment(ec)) {
        const auto ids = parseDeviceID(it->path().stem().string());
        if (!ids || it->path().extension() != ".json")
            continue;
        auto text = readFileCapped(it->path(), MaxViaDefinitionFileBytes);
        if (!text)
            continue;
        auto document = parseJsonCapped(*text, MaxViaDefinitionFileBytes);
        if (!document)
            continue;
        // A file renamed by hand under another pad's id would otherwise change that pad's layout.
        if (auto summary = validateViaDefinition(*document);
            summary && summary->vid == ids->first && summary->pid == ids->second)
            found.push_back(*summary);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.deviceID() < b.deviceID(); });
    return found;
}

Expected<bool> removeViaDefinition(int vid, int pid)
{
    std::error_code ec;
    const bool removed = std::filesystem::remove(viaDefinitionPath(vid, pid), ec);
    if (ec)
        return unexpected(Error("Could not remove " + viaDefinitionPath(vid, pid).string() + ": " + ec.message()));
    return removed;
}

std::optional<nlohmann::json> storedViaDefinition(int vid, int pid)
{
    const auto path = viaDefinitionPath(vid, pid);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    auto text = readFileCapped(path, MaxViaDefinitionFileBytes);
    if (!text)
        return std::nullopt;
    auto document = parseViaDefinition(*text);
    if (!document)
        return std::nullopt;
    const auto summary = validateViaDefinition(*document);
    if (summary->vid != vid || summary->pid != pid)
        return std::nullopt;
    return std::move(*document);
}

std::optional<std::pair<int, int>> parseDeviceID(std::string_view text)
{
    const auto separator = text.find_first_of(":_");
    if (separator == std::string_view::npos)
        return std::nullopt;
    auto part = [](std::string_view piece) -> std::optional<int> {
        if (piece.size() > 2 && piece[0] == '0' && (piece[1] == 'x' || piece[1] == 'X'))
            piece.remove_prefix(2);
        return hexDigits(piece);
    };
    const auto vid = part(text.substr(0, separator));
    const auto pid = part(text.substr(separator + 1));
    if (!vid || !pid)
        return std::nullopt;
    return std::make_pair(*vid, *pid);
}

} // namespace keyglass
