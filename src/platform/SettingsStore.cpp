#include "platform/SettingsStore.h"

#include "platform/AtomicFile.h"
#include "platform/JsonReading.h"
#include "platform/Log.h"

namespace keyglass {

namespace {
constexpr std::size_t MaxSettingsBytes = 4 * 1024 * 1024;
}

JsonFileSettingsStore::JsonFileSettingsStore(std::filesystem::path file) : m_file(std::move(file)) {}

Expected<nlohmann::json> JsonFileSettingsStore::load() const
{
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(m_file, ec)))
        return nlohmann::json::object();
    auto parsed = readJsonFile(m_file, MaxSettingsBytes);
    if (!parsed)
        return parsed;
    if (!parsed->is_object())
        return unexpected(Error(m_file.filename().string() + ": not a JSON object"));
    return parsed;
}

std::optional<nlohmann::json> JsonFileSettingsStore::value(const std::string& key) const
{
    const auto all = load();
    if (!all)
        return std::nullopt;
    const auto it = all->find(key);
    if (it == all->end())
        return std::nullopt;
    return *it;
}

bool JsonFileSettingsStore::setValue(const std::string& key, const nlohmann::json& value)
{
    auto all = load();
    if (!all) {
        // Keep what was there for the user to look at; the rewrite below starts from an empty object.
        auto bad = m_file;
        bad += ".bad";
        std::error_code ec;
        std::filesystem::rename(m_file, bad, ec);
        if (ec) {
            logLine("Settings: " + all.error().message + "; could not keep it as " + bad.filename().string() + ": " +
                    ec.message());
            return false;
        }
        logLine("Settings: " + all.error().message + "; kept as " + bad.filename().string());
        all = nlohmann::json::object();
    }
    (*all)[key] = value;
    if (const auto written = writeFileAtomically(m_file, all->dump(2) + "\n"); !written) {
        logLine("Settings: could not save: " + written.error().message);
        return false;
    }
    return true;
}

std::optional<nlohmann::json> InMemorySettingsStore::value(const std::string& key) const
{
    const auto it = m_values.find(key);
    if (it == m_values.end())
        return std::nullopt;
    return *it;
}

bool InMemorySettingsStore::setValue(const std::string& key, const nlohmann::json& value)
{
    m_values[key] = value;
    return true;
}

} // namespace keyglass
