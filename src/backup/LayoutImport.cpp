#include "backup/LayoutImport.h"

#include "backup/AutomaticBackups.h"
#include "backup/DeviceBackupFile.h"
#include "keycodes/VialKeycodeNames.h"
#include "keycodes/KeycodeSafety.h"
#include "platform/AtomicFile.h"

#include <nlohmann/json.hpp>

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
        if (locked || keycodeBlockReason(code, text)) {
            ++m_leftUnchanged;
            return;
        }
        slot = code;
    }

    DeviceModel& m_model;
    bool m_keycodeTexts;
    int m_leftUnchanged = 0;
};

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
    const json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded())
        return unexpected(loadError("the file is not valid JSON"));
    if (!doc.is_object())
        return unexpected(Error("Unsupported layout file format"));

    DeviceModel staged = device;
    ImportResult result;
    const std::string name(fileName);

    if (const auto keymap = doc.find("keymap"); keymap != doc.end()) {
        if (!keymap->is_array())
            return unexpected(loadError("\"keymap\" is not a list of layers"));
        Stager stager(staged, false);
        stager.keymap(*keymap);
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
        result.toast = withLeftUnchanged("Loaded Vial layout " + name + " — click Apply to flash", result.leftUnchanged);
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
