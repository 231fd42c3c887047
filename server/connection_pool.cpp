#include "server/connection_pool.h"

#include <algorithm>
#include <thread>

namespace ore::server {

ConnectionPool::ConnectionPool(std::string target, std::size_t maxOpen)
    : m_target(std::move(target)), m_maxOpen(std::max<std::size_t>(maxOpen, 1)) {}

std::size_t ConnectionPool::defaultSize() {
    const std::size_t processors = std::max(1U, std::thread::hardware_concurrency());
    return std::max<std::size_t>(4, 2 * processors);
}

ConnectionPool::Lease::~Lease() {
    if (m_database) {
        m_pool->release(std::move(m_database));
    }
}

void ConnectionPool::Lease::discard() {
    if (m_database) {
        m_pool->forget(m_database.get());
        m_database.reset();
    }
}

ConnectionPool::Lease ConnectionPool::acquire(std::optional<TimePoint> deadline) {
    std::unique_lock lock(m_mutex);
    const auto available = [&] { return !m_idle.empty() || m_open < m_maxOpen; };
    if (deadline) {
        if (!m_freed.wait_until(lock, *deadline, available)) {
            throw PoolExhausted("all " + std::to_string(m_maxOpen) +
                                " database connections are busy");
        }
    } else {
        m_freed.wait(lock, available);
    }
    if (!m_idle.empty()) {
        auto database = std::move(m_idle.back());
        m_idle.pop_back();
        m_leased.insert(database.get());
        return Lease(*this, std::move(database));
    }
    // Opening may take a while: the slot is taken, the lock is not held.
    ++m_open;
    lock.unlock();
    std::unique_ptr<host::sql::Database> database;
    try {
        database = host::sql::Database::open(m_target);
    } catch (...) {
        lock.lock();
        --m_open;
        m_freed.notify_one();
        throw;
    }
    lock.lock();
    m_leased.insert(database.get());
    return Lease(*this, std::move(database));
}

void ConnectionPool::interruptAll() {
    std::lock_guard lock(m_mutex);
    for (host::sql::Database* database : m_leased) {
        database->interrupt();
    }
}

void ConnectionPool::dropIdle() {
    std::vector<std::unique_ptr<host::sql::Database>> dropped;
    {
        std::lock_guard lock(m_mutex);
        dropped.swap(m_idle);
        m_open -= dropped.size();
        m_freed.notify_all();
    }
}

void ConnectionPool::release(std::unique_ptr<host::sql::Database> database) {
    std::lock_guard lock(m_mutex);
    m_leased.erase(database.get());
    database->clearInterrupt();
    database->setCommitCheck({});
    m_idle.push_back(std::move(database));
    m_freed.notify_one();
}

void ConnectionPool::forget(host::sql::Database* database) {
    std::lock_guard lock(m_mutex);
    m_leased.erase(database);
    --m_open;
    m_freed.notify_one();
}

}  // namespace ore::server
