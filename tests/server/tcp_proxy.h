#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

// Forwards connections to 127.0.0.1:target from a loopback port of its own.
// cut() makes the target look down: every connection is closed, new ones are
// closed as soon as they come (the port stays taken, so nothing else gets
// it meanwhile); restore() forwards again.
class TcpProxy {
public:
    explicit TcpProxy(int targetPort);
    TcpProxy(const TcpProxy&) = delete;
    TcpProxy& operator=(const TcpProxy&) = delete;
    ~TcpProxy();

    int port() const { return m_port; }
    void cut();
    void restore();

private:
    void serve();

    int m_target;
    int m_port = 0;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_down{false};
    std::atomic<bool> m_dropAll{false};
    std::thread m_thread;
};

}  // namespace testsupport
