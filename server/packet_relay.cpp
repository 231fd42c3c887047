#include "server/packet_relay.h"

#include <algorithm>
#include <utility>

namespace ore::server {

PacketRelay::PacketRelay(std::size_t depth, std::function<bool(host::DataPacket&)> send)
    : m_depth(std::max<std::size_t>(depth, 1)), m_send(std::move(send)) {
    m_thread = std::thread([this] { run(); });
}

PacketRelay::~PacketRelay() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_stopped = true;
        m_queue.clear();
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool PacketRelay::push(host::DataPacket& packet) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_stopped || m_queue.size() < m_depth; });
    if (m_stopped) {
        return false;
    }
    m_queue.push_back(std::move(packet));
    lock.unlock();
    m_changed.notify_all();
    return true;
}

bool PacketRelay::finish() {
    {
        std::unique_lock lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_done; });
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_error) {
        std::rethrow_exception(m_error);
    }
    return !m_stopped;
}

void PacketRelay::stop() {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_queue.clear();
}

void PacketRelay::run() {
    for (;;) {
        host::DataPacket packet;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stopped || m_closed || !m_queue.empty(); });
            if (m_stopped || m_queue.empty()) {
                m_done = true;
                break;
            }
            packet = std::move(m_queue.front());
            m_queue.pop_front();
        }
        // The reader may queue the next packet while this one is sent.
        m_changed.notify_all();
        bool sent = false;
        try {
            sent = m_send(packet);
        } catch (...) {
            std::lock_guard lock(m_mutex);
            m_error = std::current_exception();
        }
        if (!sent) {
            stop();
            std::lock_guard lock(m_mutex);
            m_done = true;
            break;
        }
    }
    m_changed.notify_all();
}

}  // namespace ore::server
