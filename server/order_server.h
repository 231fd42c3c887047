#pragma once

#include <grpcpp/grpcpp.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "server/connection_pool.h"
#include "server/order_service.h"
#include "server/server_credentials.h"

namespace ore::server {

inline constexpr const char* defaultListenAddress = "127.0.0.1:50051";
inline constexpr const char* serviceName = "ORE06100.rdmCancAprovEnc";

struct ServerOptions {
    std::string listenAddress = defaultListenAddress;  // "127.0.0.1:0" picks a free port
    std::string database;                              // SQLite path or PostgreSQL string
    int maxReceiveBytes = 1024 * 1024;
    // Database connections open at once.
    std::size_t maxConnections = ConnectionPool::defaultSize();
    // Calls served at once; beyond, RESOURCE_EXHAUSTED.
    std::size_t maxCalls = 64;
    // How long a call waits for a free database connection.
    std::chrono::milliseconds connectionWait = std::chrono::seconds(2);
    // How long one write of a streamed list may wait for a client that does
    // not read before the call is cancelled and its connection freed.
    std::chrono::milliseconds writeStall = std::chrono::seconds(10);
    // How long calls in flight may go on after a stop request.
    std::chrono::milliseconds shutdownGrace = std::chrono::seconds(5);
    // How often the health service looks at the database.
    std::chrono::milliseconds healthInterval = std::chrono::seconds(2);
    // Without a certificate the server speaks plain text, on loopback only.
    TlsFiles tls;
    OrderService::Clock clock;
    // How long sessions last and how failed sign-ons slow down.
    SessionPolicy sessions;
};

// The order application server: the service, the health service and the
// database connections, listening on one address.
class OrderServer {
public:
    explicit OrderServer(ServerOptions options);
    ~OrderServer();

    // Checks the TLS files (or that plain text stays on loopback) and that the
    // database can be opened, then listens; raises std::runtime_error
    // (English) when any of these fails.
    void start();
    int port() const { return m_port; }
    std::string address() const;
    // Stops accepting at once and lets calls in flight go on for `grace`;
    // then stops their database work and ends them (nothing they did is
    // committed). Returns when every call has ended.
    void shutdown(std::chrono::milliseconds grace);
    void shutdown() { shutdown(m_options.shutdownGrace); }
    void wait();

private:
    void watchHealth();
    bool databaseReady();
    void setServing(bool serving);

    ServerOptions m_options;
    ConnectionPool m_pool;
    OrderService m_service;
    std::unique_ptr<grpc::Server> m_server;
    int m_port = 0;

    std::mutex m_healthMutex;
    std::condition_variable m_healthWake;
    bool m_stopping = false;
    bool m_recheck = false;
    std::atomic<int> m_serving{-1};  // -1 unknown, 0 no, 1 yes
    std::unique_ptr<host::sql::Database> m_probe;
    std::thread m_healthWatcher;
};

}  // namespace ore::server
