#pragma once
// Where keyglass-share keeps the published presets: SQLite (one file, WAL) or PostgreSQL. Every call is
// safe from the server's worker threads.

#include "model/Expected.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace keyglass {

struct StoredPreset
{
    std::string id;
    std::string json;         // the preset document as stored (compact JSON)
    std::int64_t createdAt{}; // seconds since the epoch
    std::string name;         // for `admin list`
};

class ShareStorage
{
public:
    virtual ~ShareStorage() = default;
    virtual Expected<void> insert(const StoredPreset& preset) = 0;
    /// Newest first.
    virtual Expected<std::vector<StoredPreset>> list(int limit, int offset) = 0;
    virtual Expected<std::optional<StoredPreset>> find(const std::string& id) = 0;
    /// False when there was no such preset.
    virtual Expected<bool> remove(const std::string& id) = 0;
    virtual Expected<std::int64_t> count() = 0;
};

/// "sqlite:PATH" (the folder is created) or "postgresql://..." / "postgres://..." (when built with
/// libpq). The schema is created when missing.
Expected<std::unique_ptr<ShareStorage>> openShareStorage(const std::string& database);

/// $XDG_DATA_HOME/Keyglass/share.db (default ~/.local/share/Keyglass/share.db) as a "sqlite:" address.
std::string defaultShareDatabase();

Expected<std::unique_ptr<ShareStorage>> openSqliteStorage(const std::string& path);
Expected<std::unique_ptr<ShareStorage>> openPostgresStorage(const std::string& conninfo);

} // namespace keyglass
