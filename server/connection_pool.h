#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/sql/database.h"

namespace ore::server {

// Every connection is busy and none came free in time.
class PoolExhausted : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Database connections shared by the server's worker threads: a connection
// serves one call at a time and goes back to the pool afterwards. At most
// `maxOpen` are open at once, so a crowd of calls waits here instead of
// taking every connection the database allows.
class ConnectionPool {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit ConnectionPool(std::string target, std::size_t maxOpen = defaultSize());
    // Twice the processor count, at least 4.
    static std::size_t defaultSize();

    class Lease {
    public:
        Lease(ConnectionPool& pool, std::unique_ptr<host::sql::Database> database)
            : m_pool(&pool), m_database(std::move(database)) {}
        Lease(Lease&& other) noexcept
            : m_pool(other.m_pool), m_database(std::move(other.m_database)) {}
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        host::sql::Database& operator*() const { return *m_database; }
        host::sql::Database* operator->() const { return m_database.get(); }
        // The connection failed in a way that may have broken it: close it
        // rather than hand it to the next call.
        void discard();

    private:
        ConnectionPool* m_pool;
        std::unique_ptr<host::sql::Database> m_database;
    };

    // Waits until `deadline` for a free connection (raises PoolExhausted);
    // raises host::sql::DatabaseError when no connection can be opened.
    Lease acquire(std::optional<TimePoint> deadline = std::nullopt);
    // Stops the statements running on every leased connection.
    void interruptAll();
    // Closes the idle connections (the database went away: they are dead).
    void dropIdle();
    const std::string& target() const { return m_target; }
    std::size_t maxOpen() const { return m_maxOpen; }

private:
    void release(std::unique_ptr<host::sql::Database> database);
    void forget(host::sql::Database* database);

    std::string m_target;
    std::size_t m_maxOpen;
    std::mutex m_mutex;
    std::condition_variable m_freed;
    std::size_t m_open = 0;  // idle and leased
    std::vector<std::unique_ptr<host::sql::Database>> m_idle;
    std::set<host::sql::Database*> m_leased;
};

}  // namespace ore::server
