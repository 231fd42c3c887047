#include "server/write_stall.h"

namespace ore::server {

WriteStallGuard::WriteStallGuard(grpc::ServerContext* context, std::chrono::milliseconds limit)
    : m_context(context), m_limit(limit) {}

WriteStallGuard::~WriteStallGuard() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_watcher.joinable()) {
        m_watcher.join();
    }
}

bool WriteStallGuard::stalled() const {
    std::lock_guard lock(m_mutex);
    return m_stalled;
}

void WriteStallGuard::arm() {
    if (m_context == nullptr || m_limit.count() <= 0) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_armed = true;
        ++m_write;
        m_armedAt = std::chrono::steady_clock::now();
    }
    if (!m_watcher.joinable()) {
        m_watcher = std::thread([this] { watch(); });
    } else {
        m_changed.notify_all();
    }
}

void WriteStallGuard::disarm() {
    std::lock_guard lock(m_mutex);
    m_armed = false;
}

void WriteStallGuard::watch() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping && !m_stalled) {
        if (!m_armed) {
            m_changed.wait(lock, [&] { return m_stopping || m_armed; });
            continue;
        }
        const std::uint64_t write = m_write;
        const auto until = m_armedAt + m_limit;
        // Woken early by the next write or the end of the call; a write that
        // finished in time leaves a different one armed, or none.
        m_changed.wait_until(lock, until, [&] { return m_stopping || m_write != write; });
        if (!m_stopping && m_armed && m_write == write &&
            std::chrono::steady_clock::now() >= until) {
            m_stalled = true;
            m_context->TryCancel();
        }
    }
}

}  // namespace ore::server
