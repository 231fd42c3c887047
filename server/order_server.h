#pragma once

#include <grpcpp/grpcpp.h>

#include <chrono>
#include <memory>
#include <string>

#include "server/connection_pool.h"
#include "server/order_service.h"

namespace ore::server {

inline constexpr const char* defaultListenAddress = "127.0.0.1:50051";
inline constexpr const char* serviceName = "ORE06100.rdmCancAprovEnc";

struct ServerOptions {
    std::string listenAddress = defaultListenAddress;  // "127.0.0.1:0" picks a free port
    std::string database;                              // SQLite path or PostgreSQL string
    int maxReceiveBytes = 1024 * 1024;
    OrderService::Clock clock;
};

// The order application server: the service, the health service and the
// database connections, listening on one address.
class OrderServer {
public:
    explicit OrderServer(ServerOptions options);
    ~OrderServer();

    // Opens one connection to check the database, then listens; raises
    // std::runtime_error (English) when either fails.
    void start();
    int port() const { return m_port; }
    std::string address() const;
    // Lets calls in flight finish until the deadline, then cancels them.
    void shutdown(std::chrono::milliseconds grace = std::chrono::seconds(5));
    void wait();

private:
    ServerOptions m_options;
    ConnectionPool m_pool;
    OrderService m_service;
    std::unique_ptr<grpc::Server> m_server;
    int m_port = 0;
};

}  // namespace ore::server
