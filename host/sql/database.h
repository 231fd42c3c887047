#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/data/data_packet.h"
#include "host/data/exceptions.h"
#include "host/data/variant.h"

namespace host::sql {

enum class Engine { sqlite, postgresql };

// Named parameters, written :NAME in the statement text. Values are always
// bound, never pasted into the text. PostgreSQL infers each parameter's type
// from where it is used; one whose use says nothing (only ":X IS NULL") needs
// a CAST(:X AS VARCHAR(n)).
using Params = std::vector<std::pair<std::string, Variant>>;

// A failure reported by the database engine (its text, in English).
class DatabaseError : public Exception {
public:
    using Exception::Exception;
};

// The database is busy or a row is locked by another writer; the caller may
// report it as a concurrent change.
class ConflictError : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// The database cannot be reached (connection refused or lost, file gone);
// the same request may succeed once it is back.
class UnreachableError : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// A statement was stopped from outside: its time ran out or interrupt() was
// called. Nothing of the open transaction may be committed.
class InterruptedError : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// The SQLite file a target names, or nothing for a PostgreSQL target (the
// same reading as Database::open).
std::optional<std::string> sqliteFileOf(const std::string& target);

// One connection to the shared database. Not thread-safe: one per thread,
// except interrupt().
class Database {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    // Called just before COMMIT is sent; raising from it leaves the
    // transaction uncommitted (the caller rolls it back).
    using CommitCheck = std::function<void()>;

    virtual ~Database() = default;

    // Opens "sqlite:PATH", a plain file path (SQLite), "postgresql://..." or a
    // libpq key=value string ("host=... port=...") for PostgreSQL.
    static std::unique_ptr<Database> open(const std::string& target);

    virtual Engine engine() const = 0;

    // Runs a statement that returns rows, column names in upper case. Column
    // types come from the schema:
    // VARCHAR(n)/CHAR(n) as strings of size n, TIMESTAMP as date-time, numeric
    // columns as floats or integers, TEXT as blob; SQL NULL as a null variant.
    virtual DataPacket query(std::string_view statement, const Params& params = {}) = 0;
    // The rows of query() handed on as they are read, in packets of at most
    // `rowsPerPacket` rows (each with the fields; the first packet may be
    // empty), so a long list can be sent while it is still being read. Stops
    // early when `sink` returns false; returns what the last call returned.
    virtual bool queryInPackets(std::string_view statement, const Params& params,
                                std::size_t rowsPerPacket,
                                const std::function<bool(DataPacket&)>& sink);
    // Runs several statements that return rows, the packets in their order:
    // one round trip where the engine allows it (PostgreSQL pipelines them),
    // otherwise one query() after the other.
    using Queries = std::vector<std::pair<std::string_view, Params>>;
    virtual std::vector<DataPacket> queryBatch(const Queries& queries);
    // Runs a statement without rows; returns the number of rows it changed.
    virtual std::int64_t execute(std::string_view statement, const Params& params = {}) = 0;
    // Runs one statement once per row of values, prepared once (bulk loads).
    // Each row holds the values of the statement's :NAMEs in the order in which
    // the names first appear in the text. Returns the total of changed rows.
    virtual std::int64_t executeMany(std::string_view statement,
                                     const std::vector<std::vector<Variant>>& rows) = 0;
    // Runs several statements separated by semicolons (schema scripts).
    virtual void executeScript(std::string_view script) = 0;

    // Write transactions take the write lock at once (SQLite: BEGIN IMMEDIATE
    // with a busy timeout), so a busy database waits instead of failing.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    virtual bool inTransaction() const = 0;

    // Bounds every following statement, lock wait included, by `deadline`
    // (nothing: no bound). A statement stopped by it raises InterruptedError.
    virtual void setDeadline(std::optional<TimePoint> deadline) = 0;
    // Asks the statement running on this connection to stop; safe from any
    // thread. The stopped statement raises InterruptedError.
    virtual void interrupt() = 0;
    // Lets statements run again after interrupt().
    virtual void clearInterrupt() = 0;
    // Empty: commit unconditionally.
    void setCommitCheck(CommitCheck check) { m_commitCheck = std::move(check); }

protected:
    void checkBeforeCommit() const {
        if (m_commitCheck) {
            m_commitCheck();
        }
    }

private:
    CommitCheck m_commitCheck;
};

// Rolls back on scope exit unless committed.
class Transaction {
public:
    explicit Transaction(Database& database) : m_database(database) { m_database.begin(); }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction() {
        if (!m_done) {
            try {
                m_database.rollback();
            } catch (...) {
            }
        }
    }
    void commit() {
        m_database.commit();
        m_done = true;
    }

private:
    Database& m_database;
    bool m_done = false;
};

}  // namespace host::sql
