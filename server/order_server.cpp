#include "server/order_server.h"

#include <grpcpp/health_check_service_interface.h>

#include <stdexcept>

namespace ore::server {

OrderServer::OrderServer(ServerOptions options)
    : m_options(std::move(options)),
      m_pool(m_options.database),
      m_service(m_pool, m_options.clock) {}

OrderServer::~OrderServer() {
    if (m_server) {
        shutdown(std::chrono::milliseconds(0));
    }
}

void OrderServer::start() {
    try {
        auto lease = m_pool.acquire();
    } catch (const std::exception& error) {
        throw std::runtime_error("cannot open database '" + m_options.database +
                                 "': " + error.what());
    }
    grpc::EnableDefaultHealthCheckService(true);
    grpc::ServerBuilder builder;
    builder.AddListeningPort(m_options.listenAddress, grpc::InsecureServerCredentials(), &m_port);
    builder.SetMaxReceiveMessageSize(m_options.maxReceiveBytes);
    builder.RegisterService(&m_service);
    m_server = builder.BuildAndStart();
    if (!m_server || m_port == 0) {
        m_server.reset();
        throw std::runtime_error("cannot listen on " + m_options.listenAddress);
    }
    m_server->GetHealthCheckService()->SetServingStatus(serviceName, true);
}

std::string OrderServer::address() const {
    const auto colon = m_options.listenAddress.rfind(':');
    return m_options.listenAddress.substr(0, colon) + ":" + std::to_string(m_port);
}

void OrderServer::shutdown(std::chrono::milliseconds grace) {
    if (m_server) {
        m_server->GetHealthCheckService()->SetServingStatus(false);
        m_server->Shutdown(std::chrono::system_clock::now() + grace);
    }
}

void OrderServer::wait() {
    if (m_server) {
        m_server->Wait();
    }
}

}  // namespace ore::server
