#include "platform/SettingsStore.h"

#include "platform/AtomicFile.h"

namespace keyglass {

namespace {
constexpr std::size_t MaxSettingsBytes = 4 * 1024 * 1024;
}

JsonFileSettingsStore::JsonFileSettingsStore(std::filesystem::path file) : m_file(std::move(file)) {}

nlohmann::json JsonFileSettingsStore::load() const
{
    auto text = readFileCapped(m_file, MaxSettingsBytes);
    if (!text)
        return nlohmann::json::object();
    auto parsed = nlohmann::json::parse(*text, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return nlohmann::json::object();
    return parsed;
}

std::optional<nlohmann::json> JsonFileSettingsStore::value(const std::string& key) const
{
    const auto all = load();
    const auto it = all.find(key);
    if (it == all.end())
        return std::nullopt;
    return *it;
}

bool JsonFileSettingsStore::setValue(const std::string& key, const nlohmann::json& value)
{
    auto all = load();
    all[key] = value;
    return writeFileAtomically(m_file, all.dump(2) + "\n").has_value();
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
