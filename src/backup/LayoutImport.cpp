#include "backup/LayoutImport.h"

#include "backup/AutomaticBackups.h"
#include "backup/DeviceBackupFile.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/VialKeycodeNames.h"
#include "platform/AtomicFile.h"
#include "platform/JsonReading.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace keyglass {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

Error loadError(const std::string& reason)
{
    return Error("Failed to load file: " + reason);
}

// Copies file values into the staged model one slot at a time and counts the ones it keeps.
class Stager
{
public:
    Stager(DeviceModel& model, bool keycodeTexts) : m_model(model), m_keycodeTexts(keycodeTexts) {}

    int leftUnchanged() const { return m_leftUnchanged; }

    void keymap(const json& layers)
    {
        for (size_t l = 0; l < layers.size() && l < m_model.keymap.size(); ++l) {
            const json& rows = layers[l];
            if (!rows.is_array())
                continue;
            for (size_t r = 0; r < rows.size() && r < m_model.keymap[l].size(); ++r) {
                const json& cols = rows[r];
                if (!cols.is_array())
                    continue;
                for (size_t c = 0; c < cols.size() && c < m_model.keymap[l][r].size(); ++c) {
                    const bool locked =
                        m_model.isProtected(static_cast<int>(l), static_cast<int>(r), static_cast<int>(c));
                    put(m_model.keymap[l][r][c], cols[c], locked);
                }
            }
        }
    }

    void encoders(const json& layers)
    {
        for (size_t l = 0; l < layers.size() && l < m_model.encoderMap.size(); ++l) {
            const json& entries = layers[l];
            if (!entries.is_array())
                continue;
            for (size_t e = 0; e < entries.size() && e < m_model.encoderMap[l].size(); ++e) {
                const json& pair = entries[e];
                auto& target = m_model.encoderMap[l][e];
                if (!pair.is_array() || pair.size() < 2 || target.size() < 2)
                    continue;
                put(target[0], pair[0], false);
                put(target[1], pair[1], false);
            }
        }
    }

    // Vial: [onTap, onHold, onDoubleTap, onTapHold, tappingTerm] per entry.
    void vialTapDances(const json& entries)
    {
        for (size_t i = 0; i < entries.size() && i < m_model.tapDances.size(); ++i) {
            const json& entry = entries[i];
            if (!entry.is_array())
                continue;
            TapDanceData& target = m_model.tapDances[i];
            for (int s = 0; s < 4 && static_cast<size_t>(s) < entry.size(); ++s)
                put(*target.slot(s), entry[static_cast<size_t>(s)], false);
            if (entry.size() > 4) {
                // A term outside the 16-bit field is not a tapping term; the pad keeps its own.
                if (const auto term = numberIn16Bits(entry[4]))
                    target.tappingTerm = *term;
            }
        }
    }

    void backupTapDances(const std::vector<TapDanceData>& entries)
    {
        for (size_t i = 0; i < entries.size() && i < m_model.tapDances.size(); ++i) {
            TapDanceData& target = m_model.tapDances[i];
            for (int s = 0; s < 4; ++s)
                putCode(*target.slot(s), *entries[i].slot(s), {}, false);
            target.tappingTerm = entries[i].tappingTerm;
        }
    }

private:
    static std::optional<Keycode> numberIn16Bits(const json& value)
    {
        if (value.is_number_unsigned() && value.get<std::uint64_t>() <= 0xFFFF)
            return static_cast<Keycode>(value.get<std::uint64_t>());
        if (value.is_number_integer() && value.get<std::int64_t>() >= 0 && value.get<std::int64_t>() <= 0xFFFF)
            return static_cast<Keycode>(value.get<std::int64_t>());
        return std::nullopt;
    }

    void put(Keycode& slot, const json& value, bool locked)
    {
        if (value.is_number_integer() && !value.is_number_unsigned() && value.get<std::int64_t>() == -1)
            return;
        if (const auto code = numberIn16Bits(value))
            return putCode(slot, *code, {}, locked);
        if (m_keycodeTexts && value.is_string()) {
            const std::string& text = value.get_ref<const std::string&>();
            if (const auto code = resolveLayoutKeycodeText(text, m_model.legacyKeycodes()))
                return putCode(slot, *code, text, locked);
        }
        ++m_leftUnchanged;
    }

    void putCode(Keycode& slot, Keycode code, std::string_view text, bool locked)
    {
        if (slot == code)
            return;
        if (locked || keycodeBlockReason(code, text, m_model.legacyKeycodes())) {
            ++m_leftUnchanged;
            return;
        }
        slot = code;
    }

    DeviceModel& m_model;
    bool m_keycodeTexts;
    int m_leftUnchanged = 0;
};

// VIA exports and QMK keymap.json files hold each layer as one flat list. A VIA export is the
// firmware's keymap buffer read back, so its order is the matrix, row by row, and its length is always
// rows × cols. A keymap.json follows the keyboard's LAYOUT macro instead, which only this file's
// keyboard definition could map to matrix positions; without it, the one order we can trust is the
// full matrix listed row by row, which is what the LAYOUT_ortho_RxC macros of grid macropads are. So a
// flat layer of any other length is refused rather than spread over the wrong keys.
Expected<json> layersByMatrix(const json& layers, const DeviceModel& device)
{
    const size_t cells = static_cast<size_t>(std::max(device.rows, 0)) * static_cast<size_t>(std::max(device.cols, 0));
    json out = json::array();
    for (const json& layer : layers) {
        if (!layer.is_array()) {
            out.push_back(json::array());
            continue;
        }
        if (layer.size() != cells)
            return unexpected(loadError("its layers have " + std::to_string(layer.size()) + " keys, but " +
                                        device.displayName() + " has a " + std::to_string(device.rows) + " × " +
                                        std::to_string(device.cols) + " matrix (" + std::to_string(cells) + " keys)"));
        json rows = json::array();
        for (int r = 0; r < device.rows; ++r) {
            const auto first = layer.begin() + static_cast<std::ptrdiff_t>(r) * device.cols;
            rows.push_back(json(first, first + device.cols));
        }
        out.push_back(std::move(rows));
    }
    return out;
}

// Some VIA-based configurators' exports write each layer as a list of {"row", "col", "val"} cells
// instead of rows of columns. Cells that the file does not place stay -1: nothing asked for.
json cellListsAsRows(const json& layers)
{
    constexpr std::int64_t MaxIndex = 255; // a matrix index beyond what VIA can address is garbage
    json out = json::array();
    for (const json& layer : layers) {
        json rows = json::array();
        if (layer.is_array()) {
            for (const json& cell : layer) {
                if (!cell.is_object())
                    return layers;
                const auto row = cell.find("row"), col = cell.find("col"), val = cell.find("val");
                if (row == cell.end() || col == cell.end() || val == cell.end() || !row->is_number_integer() ||
                    !col->is_number_integer() || *row < 0 || *col < 0 || *row > MaxIndex || *col > MaxIndex)
                    continue;
                const auto r = row->get<size_t>(), c = col->get<size_t>();
                while (rows.size() <= r)
                    rows.push_back(json::array());
                while (rows[r].size() <= c)
                    rows[r].push_back(-1);
                rows[r][c] = *val;
            }
        }
        out.push_back(std::move(rows));
    }
    return out;
}

// VIA: encoders[encoder][layer] = [ccw, cw]; the stager wants [layer][encoder].
json viaEncodersByLayer(const json& encoders)
{
    json out = json::array();
    for (size_t e = 0; e < encoders.size(); ++e) {
        if (!encoders[e].is_array())
            continue;
        for (size_t l = 0; l < encoders[e].size(); ++l) {
            while (out.size() <= l)
                out.push_back(json::array());
            while (out[l].size() < e)
                out[l].push_back(nullptr);
            out[l].push_back(encoders[e][l]);
        }
    }
    return out;
}

// QMK: encoders[layer][encoder] = {"ccw": ..., "cw": ...} (older files: [ccw, cw]).
json qmkEncodersByLayer(const json& encoders)
{
    json out = json::array();
    for (const json& layer : encoders) {
        json entries = json::array();
        if (layer.is_array()) {
            for (const json& entry : layer) {
                if (entry.is_object() && entry.contains("ccw") && entry.contains("cw"))
                    entries.push_back(json::array({entry["ccw"], entry["cw"]}));
                else
                    entries.push_back(entry);
            }
        }
        out.push_back(std::move(entries));
    }
    return out;
}

std::string padIdentity(int vid, int pid)
{
    return deviceIdentifier(vid & 0xFFFF, pid & 0xFFFF);
}

// VIA writes the pad's ids as one number, vendor id in the upper 16 bits.
Expected<void> checkViaExportIsForPad(const json& doc, const DeviceModel& device)
{
    const json& id = doc["vendorProductId"];
    if (!id.is_number_integer() || id.get<std::int64_t>() < 0 || id.get<std::int64_t>() > 0xFFFFFFFFll)
        return unexpected(loadError("\"vendorProductId\" is not a vendor and product id"));
    const auto value = static_cast<std::uint32_t>(id.get<std::int64_t>());
    const int vid = static_cast<int>(value >> 16);
    const int pid = static_cast<int>(value & 0xFFFFu);
    if (vid == (device.vid & 0xFFFF) && pid == (device.pid & 0xFFFF))
        return {};
    std::string fileFor = padIdentity(vid, pid);
    if (const auto name = doc.find("name");
        name != doc.end() && name->is_string() && !name->get_ref<const std::string&>().empty())
        fileFor = name->get<std::string>().substr(0, 80) + " (" + fileFor + ")";
    return unexpected(loadError("it is a VIA layout for " + fileFor + ", not for " + device.displayName() + " (" +
                                padIdentity(device.vid, device.pid) + ")"));
}

// The flat-layer formats; `encoders` already in [layer][encoder][2] form.
Expected<int> stageFlatLayers(const json& layers, const json& encoders, DeviceModel& staged)
{
    const auto keymap = layersByMatrix(layers, staged);
    if (!keymap)
        return unexpected(keymap.error());
    Stager stager(staged, true);
    stager.keymap(*keymap);
    stager.encoders(encoders);
    return stager.leftUnchanged();
}

bool isViaExport(const json& doc)
{
    const auto layers = doc.find("layers");
    return doc.contains("vendorProductId") && layers != doc.end() && layers->is_array();
}

bool isQmkKeymap(const json& doc)
{
    const auto layers = doc.find("layers");
    return doc.contains("keyboard") && layers != doc.end() && layers->is_array();
}

std::string withLeftUnchanged(std::string toast, int leftUnchanged)
{
    if (leftUnchanged <= 0)
        return toast;
    return toast + " (" + std::to_string(leftUnchanged) + (leftUnchanged == 1 ? " key" : " keys") +
           " left unchanged: not understood or blocked)";
}

} // namespace

Expected<ImportResult> loadLayoutText(std::string_view text, std::string_view fileName, DeviceModel& device)
{
    if (text.size() > MaxLayoutFileBytes)
        return unexpected(loadError("the file is larger than " + std::to_string(MaxLayoutFileBytes >> 20) + " MiB"));
    const auto parsed = parseJsonCapped(text, MaxLayoutFileBytes);
    if (!parsed && parsed.error().code == JsonTooDeep)
        return unexpected(loadError("the file is " + parsed.error().message));
    if (!parsed)
        return unexpected(loadError("the file is not valid JSON"));
    const json& doc = *parsed;
    if (!doc.is_object())
        return unexpected(Error("Unsupported layout file format"));

    DeviceModel staged = device;
    ImportResult result;
    const std::string name(fileName);

    const auto arrayOrEmpty = [&doc](const char* key) {
        const auto it = doc.find(key);
        return it != doc.end() && it->is_array() ? *it : json::array();
    };
    if (isViaExport(doc) || isQmkKeymap(doc)) {
        const bool via = isViaExport(doc);
        if (via) {
            if (auto forPad = checkViaExportIsForPad(doc, staged); !forPad)
                return unexpected(forPad.error());
        }
        const json encoders =
            via ? viaEncodersByLayer(arrayOrEmpty("encoders")) : qmkEncodersByLayer(arrayOrEmpty("encoders"));
        const auto leftUnchanged = stageFlatLayers(doc["layers"], encoders, staged);
        if (!leftUnchanged)
            return unexpected(leftUnchanged.error());
        result.kind = via ? ImportResult::Kind::viaExport : ImportResult::Kind::qmkKeymap;
        result.leftUnchanged = *leftUnchanged;
        result.toast = withLeftUnchanged("Loaded " + name + " — click Apply to flash", result.leftUnchanged);
    } else if (const auto keymap = doc.find("keymap"); keymap != doc.end()) {
        if (!keymap->is_array())
            return unexpected(loadError("\"keymap\" is not a list of layers"));
        Stager stager(staged, false);
        stager.keymap(cellListsAsRows(*keymap));
        if (const auto encoders = doc.find("encoders"); encoders != doc.end() && encoders->is_array())
            stager.encoders(*encoders);
        result.kind = ImportResult::Kind::viaSnapshot;
        if (const auto backup = backupFromJson(doc)) {
            result.kind = ImportResult::Kind::backup;
            if (backup->tapDances)
                stager.backupTapDances(*backup->tapDances);
            if (backup->rgb && backup->rgb->kind == staged.rgb.kind && staged.rgb.kind != RGBProtocolKind::none)
                staged.rgb = *backup->rgb;
        }
        result.leftUnchanged = stager.leftUnchanged();
        result.toast = withLeftUnchanged("Loaded " + name + " — click Apply to flash", result.leftUnchanged);
    } else if (const auto layout = doc.find("layout"); layout != doc.end()) {
        if (!layout->is_array())
            return unexpected(loadError("\"layout\" is not a list of layers"));
        Stager stager(staged, true);
        stager.keymap(*layout);
        if (const auto encoders = doc.find("encoder_layout"); encoders != doc.end() && encoders->is_array())
            stager.encoders(*encoders);
        if (const auto tapDances = doc.find("tap_dance"); tapDances != doc.end() && tapDances->is_array())
            stager.vialTapDances(*tapDances);
        result.kind = ImportResult::Kind::vial;
        result.leftUnchanged = stager.leftUnchanged();
        result.toast =
            withLeftUnchanged("Loaded Vial layout " + name + " — click Apply to flash", result.leftUnchanged);
    } else {
        return unexpected(Error("Unsupported layout file format"));
    }

    staged.dirty = true;
    device = std::move(staged);
    return result;
}

Expected<ImportResult> loadLayoutFile(const fs::path& file, DeviceModel& device)
{
    const auto text = readFileCapped(file, MaxLayoutFileBytes);
    if (!text)
        return unexpected(loadError(text.error().message));
    return loadLayoutText(*text, file.filename().string(), device);
}

Expected<ImportResult> restoreLatestAutomaticBackup(DeviceModel& device)
{
    const auto backups = listAutomaticBackups(device);
    if (backups.empty())
        return unexpected(Error("No auto-backup found yet for " + device.displayName()));
    return loadLayoutFile(backups.front(), device);
}

} // namespace keyglass
