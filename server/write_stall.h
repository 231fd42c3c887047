#pragma once

#include <grpcpp/server_context.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace ore::server {

// Bounds how long one write of a streaming call may wait for its client.
// gRPC's synchronous Write blocks while the client's flow-control window is
// full; a client that stops reading would keep the call, its database
// connection and its packet in memory until the call's deadline. A write
// still waiting after `limit` cancels the call, which makes that Write
// return false, so the call ends and hands its connection back.
class WriteStallGuard {
public:
    WriteStallGuard(grpc::ServerContext* context, std::chrono::milliseconds limit);
    WriteStallGuard(const WriteStallGuard&) = delete;
    WriteStallGuard& operator=(const WriteStallGuard&) = delete;
    ~WriteStallGuard();

    // Runs `write` (returns its result) under the limit.
    template <class Write>
    bool write(Write&& write) {
        arm();
        const bool written = write();
        disarm();
        return written;
    }
    // A write waited longer than the limit and the call was cancelled.
    bool stalled() const;

private:
    void arm();
    void disarm();
    void watch();

    grpc::ServerContext* m_context;
    std::chrono::milliseconds m_limit;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_armed = false;
    bool m_stopping = false;
    bool m_stalled = false;
    std::uint64_t m_write = 0;  // which write is armed
    std::chrono::steady_clock::time_point m_armedAt;
    std::thread m_watcher;  // started with the first write
};

}  // namespace ore::server
