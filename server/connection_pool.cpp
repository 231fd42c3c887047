#include "server/connection_pool.h"

namespace ore::server {

ConnectionPool::ConnectionPool(std::string target, std::size_t maxIdle)
    : m_target(std::move(target)), m_maxIdle(maxIdle) {}

ConnectionPool::Lease::~Lease() {
    if (m_database) {
        m_pool->release(std::move(m_database));
    }
}

ConnectionPool::Lease ConnectionPool::acquire() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            auto database = std::move(m_idle.back());
            m_idle.pop_back();
            return Lease(*this, std::move(database));
        }
    }
    return Lease(*this, host::sql::Database::open(m_target));
}

void ConnectionPool::release(std::unique_ptr<host::sql::Database> database) {
    std::lock_guard lock(m_mutex);
    if (m_idle.size() < m_maxIdle) {
        m_idle.push_back(std::move(database));
    }
}

}  // namespace ore::server
