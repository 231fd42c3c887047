#include "host/sql/sqlite_write_queue.h"

#include <algorithm>

#include "host/sql/per_file.h"

namespace host::sql {

namespace {

// How long a waiter sleeps at most before it looks at its stop condition
// again, for a stop nobody woke it for (a deadline is its own wake-up).
constexpr auto kLookAgain = std::chrono::milliseconds(5);

}  // namespace

std::shared_ptr<SqliteWriteQueue> SqliteWriteQueue::of(const std::string& path) {
    return sharedPerFile<SqliteWriteQueue>(path,
                                           [] { return std::make_shared<SqliteWriteQueue>(); });
}

bool SqliteWriteQueue::enter(TimePoint until, const std::function<bool()>& stopped) {
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = m_issued++;
    while (m_serving != ticket) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until || stopped()) {
            m_gaveUp.insert(ticket);
            return false;
        }
        m_turn.wait_until(lock, std::min(until, now + kLookAgain));
    }
    return true;
}

void SqliteWriteQueue::leave() {
    std::lock_guard lock(m_mutex);
    passOn();
}

void SqliteWriteQueue::wake() {
    std::lock_guard lock(m_mutex);
    m_turn.notify_all();
}

std::size_t SqliteWriteQueue::waiting() {
    std::lock_guard lock(m_mutex);
    // Every ticket after the one served, less those that gave up; the one
    // served waits too until its writer has it (then it is not counted).
    const std::uint64_t after = m_issued > m_serving ? m_issued - m_serving - 1 : 0;
    return static_cast<std::size_t>(after - m_gaveUp.size());
}

void SqliteWriteQueue::passOn() {
    ++m_serving;
    while (m_gaveUp.erase(m_serving) != 0) {
        ++m_serving;
    }
    m_turn.notify_all();
}

}  // namespace host::sql
