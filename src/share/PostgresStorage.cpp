#include "share/ShareStorage.h"

#ifdef KG_HAVE_LIBPQ

#include <libpq-fe.h>

#include <mutex>

namespace keyglass {

namespace {

class Result
{
public:
    explicit Result(PGresult* r) : m_r(r) {}
    ~Result() { PQclear(m_r); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    PGresult* get() const { return m_r; }
    bool ok(ExecStatusType expected) const { return m_r && PQresultStatus(m_r) == expected; }
    std::string text(int row, int col) const
    {
        return std::string(PQgetvalue(m_r, row, col), PQgetlength(m_r, row, col));
    }

private:
    PGresult* m_r;
};

class PostgresStorage final : public ShareStorage
{
public:
    explicit PostgresStorage(PGconn* conn) : m_conn(conn) {}
    ~PostgresStorage() override { PQfinish(m_conn); }

    Expected<void> insert(const StoredPreset& preset) override
    {
        const std::string created = std::to_string(preset.createdAt);
        const char* values[] = {preset.id.c_str(), preset.name.c_str(), created.c_str(), preset.json.c_str()};
        std::lock_guard lock(m_mutex);
        Result r(execute("INSERT INTO presets (id, name, created_at, body) VALUES ($1, $2, $3, $4)", values));
        if (!r.ok(PGRES_COMMAND_OK))
            return unexpected(error("Could not store the preset"));
        return {};
    }

    Expected<std::vector<StoredPreset>> list(int limit, int offset) override
    {
        const std::string l = std::to_string(limit), o = std::to_string(offset);
        const char* values[] = {l.c_str(), o.c_str()};
        std::lock_guard lock(m_mutex);
        Result r(
            execute("SELECT id, name, created_at, body FROM presets ORDER BY seq DESC LIMIT $1 OFFSET $2", values));
        if (!r.ok(PGRES_TUPLES_OK))
            return unexpected(error("Could not list presets"));
        std::vector<StoredPreset> out;
        for (int row = 0; row < PQntuples(r.get()); ++row)
            out.push_back(stored(r, row));
        return out;
    }

    Expected<std::optional<StoredPreset>> find(const std::string& id) override
    {
        const char* values[] = {id.c_str()};
        std::lock_guard lock(m_mutex);
        Result r(execute("SELECT id, name, created_at, body FROM presets WHERE id = $1", values));
        if (!r.ok(PGRES_TUPLES_OK))
            return unexpected(error("Could not read the preset"));
        if (PQntuples(r.get()) == 0)
            return std::optional<StoredPreset>();
        return std::optional<StoredPreset>(stored(r, 0));
    }

    Expected<bool> remove(const std::string& id) override
    {
        const char* values[] = {id.c_str()};
        std::lock_guard lock(m_mutex);
        Result r(execute("DELETE FROM presets WHERE id = $1", values));
        if (!r.ok(PGRES_COMMAND_OK))
            return unexpected(error("Could not delete the preset"));
        return std::string(PQcmdTuples(r.get())) != "0";
    }

    Expected<std::int64_t> count() override
    {
        std::lock_guard lock(m_mutex);
        Result r(PQexec(m_conn, "SELECT COUNT(*) FROM presets"));
        if (!r.ok(PGRES_TUPLES_OK) || PQntuples(r.get()) != 1)
            return unexpected(error("Could not count presets"));
        return static_cast<std::int64_t>(std::stoll(r.text(0, 0)));
    }

private:
    // A statement with text parameters $1.. (the caller holds the lock).
    template <std::size_t N> PGresult* execute(const char* sql, const char* const (&values)[N]) const
    {
        return PQexecParams(m_conn, sql, static_cast<int>(N), nullptr, values, nullptr, nullptr, 0);
    }
    static StoredPreset stored(const Result& r, int row)
    {
        return {r.text(row, 0), r.text(row, 3), static_cast<std::int64_t>(std::stoll(r.text(row, 2))), r.text(row, 1)};
    }
    Error error(const std::string& what) const
    {
        std::string message = what;
        message += ": ";
        message += PQerrorMessage(m_conn);
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        return Error(std::move(message));
    }

    // One connection; libpq allows one command at a time on it.
    std::mutex m_mutex;
    PGconn* m_conn;
};

} // namespace

Expected<std::unique_ptr<ShareStorage>> openPostgresStorage(const std::string& conninfo)
{
    PGconn* conn = PQconnectdb(conninfo.c_str());
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        std::string message = "Could not connect to PostgreSQL: ";
        message += conn ? PQerrorMessage(conn) : "out of memory";
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        PQfinish(conn);
        return unexpected(Error(std::move(message)));
    }
    PGresult* r = PQexec(conn,
                         "SET client_min_messages TO WARNING;"
                         "CREATE TABLE IF NOT EXISTS presets ("
                         " seq BIGSERIAL PRIMARY KEY,"
                         " id TEXT NOT NULL UNIQUE,"
                         " name TEXT NOT NULL,"
                         " created_at BIGINT NOT NULL,"
                         " body TEXT NOT NULL)");
    const bool ok = r && PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    if (!ok) {
        std::string message = "Could not prepare the PostgreSQL schema: ";
        message += PQerrorMessage(conn);
        PQfinish(conn);
        return unexpected(Error(std::move(message)));
    }
    return std::unique_ptr<ShareStorage>(new PostgresStorage(conn));
}

} // namespace keyglass

#else

namespace keyglass {

Expected<std::unique_ptr<ShareStorage>> openPostgresStorage(const std::string&)
{
    return unexpected(Error("This keyglass-share was built without PostgreSQL support"));
}

} // namespace keyglass

#endif
