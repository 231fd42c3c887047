#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "host/data/data_packet.h"

namespace ore::server {

// Hands packets from the thread that reads them to a thread that sends them,
// so the next packet is read while the previous one is encoded and written.
// At most `depth` packets wait between the two: with the one being read and
// the one being sent, memory stays bounded by a few packets whatever the
// list's length.
class PacketRelay {
public:
    // `send` runs on the relay's own thread, one packet at a time, in order;
    // returning false (the client is gone) or throwing stops the relay.
    PacketRelay(std::size_t depth, std::function<bool(host::DataPacket&)> send);
    PacketRelay(const PacketRelay&) = delete;
    PacketRelay& operator=(const PacketRelay&) = delete;
    // Drops what is still waiting and waits for the packet being sent.
    ~PacketRelay();

    // Queues the packet (taking it), waiting while `depth` are queued. False
    // once the relay has stopped: the reader should read no further.
    bool push(host::DataPacket& packet);
    // Waits until everything queued was sent; true when every packet went.
    // Raises what `send` raised.
    bool finish();

private:
    void run();
    void stop();

    std::size_t m_depth;
    std::function<bool(host::DataPacket&)> m_send;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<host::DataPacket> m_queue;
    bool m_closed = false;   // no more packets come
    bool m_stopped = false;  // the sender ended early
    bool m_done = false;     // the sender's thread has nothing left to do
    std::exception_ptr m_error;
    std::thread m_thread;
};

}  // namespace ore::server
