#include "share/ShareStorage.h"

#include "platform/Paths.h"

#include <sqlite3.h>

#include <filesystem>
#include <mutex>

namespace keyglass {

namespace {

Error sqliteError(sqlite3* db, const std::string& what)
{
    std::string message = what;
    message += ": ";
    message += db ? sqlite3_errmsg(db) : "out of memory";
    return Error(std::move(message));
}

class Statement
{
public:
    Statement(sqlite3* db, const char* sql) { m_ok = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) == SQLITE_OK; }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return m_ok; }
    sqlite3_stmt* get() { return m_stmt; }
    void bind(int index, const std::string& text)
    {
        sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, std::int64_t value) { sqlite3_bind_int64(m_stmt, index, value); }
    std::string text(int column)
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return data ? std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column))) : std::string();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    bool m_ok = false;
};

class SqliteStorage final : public ShareStorage
{
public:
    explicit SqliteStorage(sqlite3* db) : m_db(db) {}
    ~SqliteStorage() override { sqlite3_close(m_db); }

    Expected<void> insert(const StoredPreset& preset) override
    {
        std::lock_guard lock(m_mutex);
        Statement st(m_db, "INSERT INTO presets (id, name, created_at, body) VALUES (?1, ?2, ?3, ?4)");
        if (!st.ok())
            return unexpected(sqliteError(m_db, "Could not store the preset"));
        st.bind(1, preset.id);
        st.bind(2, preset.name);
        st.bind(3, preset.createdAt);
        st.bind(4, preset.json);
        if (sqlite3_step(st.get()) != SQLITE_DONE)
            return unexpected(sqliteError(m_db, "Could not store the preset"));
        return {};
    }

    Expected<std::vector<StoredPreset>> list(int limit, int offset) override
    {
        std::lock_guard lock(m_mutex);
        Statement st(m_db, "SELECT id, name, created_at, body FROM presets ORDER BY seq DESC LIMIT ?1 OFFSET ?2");
        if (!st.ok())
            return unexpected(sqliteError(m_db, "Could not list presets"));
        st.bind(1, std::int64_t{limit});
        st.bind(2, std::int64_t{offset});
        std::vector<StoredPreset> out;
        int rc;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
            out.push_back(
                {st.text(0), st.text(3), static_cast<std::int64_t>(sqlite3_column_int64(st.get(), 2)), st.text(1)});
        if (rc != SQLITE_DONE)
            return unexpected(sqliteError(m_db, "Could not list presets"));
        return out;
    }

    Expected<std::optional<StoredPreset>> find(const std::string& id) override
    {
        std::lock_guard lock(m_mutex);
        Statement st(m_db, "SELECT id, name, created_at, body FROM presets WHERE id = ?1");
        if (!st.ok())
            return unexpected(sqliteError(m_db, "Could not read the preset"));
        st.bind(1, id);
        const int rc = sqlite3_step(st.get());
        if (rc == SQLITE_ROW)
            return std::optional<StoredPreset>(StoredPreset{
                st.text(0), st.text(3), static_cast<std::int64_t>(sqlite3_column_int64(st.get(), 2)), st.text(1)});
        if (rc != SQLITE_DONE)
            return unexpected(sqliteError(m_db, "Could not read the preset"));
        return std::optional<StoredPreset>();
    }

    Expected<bool> remove(const std::string& id) override
    {
        std::lock_guard lock(m_mutex);
        Statement st(m_db, "DELETE FROM presets WHERE id = ?1");
        if (!st.ok())
            return unexpected(sqliteError(m_db, "Could not delete the preset"));
        st.bind(1, id);
        if (sqlite3_step(st.get()) != SQLITE_DONE)
            return unexpected(sqliteError(m_db, "Could not delete the preset"));
        return sqlite3_changes(m_db) > 0;
    }

    Expected<std::int64_t> count() override
    {
        std::lock_guard lock(m_mutex);
        Statement st(m_db, "SELECT COUNT(*) FROM presets");
        if (!st.ok() || sqlite3_step(st.get()) != SQLITE_ROW)
            return unexpected(sqliteError(m_db, "Could not count presets"));
        return static_cast<std::int64_t>(sqlite3_column_int64(st.get(), 0));
    }

private:
    // One connection shared by the worker threads; statements are short, so one lock is enough.
    std::mutex m_mutex;
    sqlite3* m_db;
};

} // namespace

Expected<std::unique_ptr<ShareStorage>> openSqliteStorage(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path file(path);
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), ec);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(
            path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr) !=
        SQLITE_OK) {
        Error error = sqliteError(db, "Could not open " + path);
        sqlite3_close(db);
        return unexpected(std::move(error));
    }
    sqlite3_busy_timeout(db, 5000);
    const char* schema = "PRAGMA journal_mode=WAL;"
                         "PRAGMA synchronous=NORMAL;"
                         "CREATE TABLE IF NOT EXISTS presets ("
                         " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
                         " id TEXT NOT NULL UNIQUE,"
                         " name TEXT NOT NULL,"
                         " created_at INTEGER NOT NULL,"
                         " body TEXT NOT NULL);";
    if (sqlite3_exec(db, schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        Error error = sqliteError(db, "Could not prepare " + path);
        sqlite3_close(db);
        return unexpected(std::move(error));
    }
    return std::unique_ptr<ShareStorage>(new SqliteStorage(db));
}

std::string defaultShareDatabase()
{
    return "sqlite:" + (paths::dataDir() / "share.db").string();
}

Expected<std::unique_ptr<ShareStorage>> openShareStorage(const std::string& database)
{
    if (database.starts_with("sqlite:")) {
        std::string path = database.substr(7);
        if (path.empty())
            return unexpected(Error("sqlite: needs a file path"));
        return openSqliteStorage(path);
    }
    if (database.starts_with("postgresql://") || database.starts_with("postgres://"))
        return openPostgresStorage(database);
    return unexpected(Error("Unknown database \"" + database + "\" (use sqlite:PATH or postgresql://...)"));
}

} // namespace keyglass
