#pragma once
// Persistent user defaults. Keyglass keeps exactly one entry, "Keyglass.activePresetByDevice".

#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>

namespace keyglass {

class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    /// The stored value, or none when the key is missing or the store cannot be read.
    virtual std::optional<nlohmann::json> value(const std::string& key) const = 0;
    /// Stores the value. Returns false when it could not be persisted.
    virtual bool setValue(const std::string& key, const nlohmann::json& value) = 0;
};

/// A JSON object in one file (paths::settingsFile() by default), rewritten atomically on every change.
/// A missing or corrupt file reads as empty; a corrupt file is left untouched until the next write.
class JsonFileSettingsStore final : public SettingsStore
{
public:
    explicit JsonFileSettingsStore(std::filesystem::path file);
    std::optional<nlohmann::json> value(const std::string& key) const override;
    bool setValue(const std::string& key, const nlohmann::json& value) override;

private:
    nlohmann::json load() const;
    std::filesystem::path m_file;
};

class InMemorySettingsStore final : public SettingsStore
{
public:
    std::optional<nlohmann::json> value(const std::string& key) const override;
    bool setValue(const std::string& key, const nlohmann::json& value) override;

private:
    nlohmann::json m_values = nlohmann::json::object();
};

} // namespace keyglass
