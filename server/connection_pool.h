#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/sql/database.h"

namespace ore::server {

// Database connections shared by the server's worker threads: a connection
// serves one call at a time and goes back to the pool afterwards.
class ConnectionPool {
public:
    explicit ConnectionPool(std::string target, std::size_t maxIdle = 16);

    class Lease {
    public:
        Lease(ConnectionPool& pool, std::unique_ptr<host::sql::Database> database)
            : m_pool(&pool), m_database(std::move(database)) {}
        Lease(Lease&&) = default;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        host::sql::Database& operator*() const { return *m_database; }
        host::sql::Database* operator->() const { return m_database.get(); }
        // The connection failed in a way that may have broken it: close it
        // rather than hand it to the next call.
        void discard() { m_database.reset(); }

    private:
        ConnectionPool* m_pool;
        std::unique_ptr<host::sql::Database> m_database;
    };

    // Raises host::sql::DatabaseError when no connection can be opened.
    Lease acquire();
    const std::string& target() const { return m_target; }

private:
    void release(std::unique_ptr<host::sql::Database> database);

    std::string m_target;
    std::size_t m_maxIdle;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<host::sql::Database>> m_idle;
};

}  // namespace ore::server
