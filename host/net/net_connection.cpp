#include "host/net/net_connection.h"

#include <map>
#include <mutex>

#include "host/data/exceptions.h"
#include "host/net/grpc_canc_aprov_enc.h"

namespace host {

namespace {

struct TransportRegistry {
    std::mutex mutex;
    std::map<std::string, TNetConnection::Factory> factories;
};

TransportRegistry& transports() {
    static TransportRegistry registry;
    return registry;
}

TNetConnection::Factory findTransport(const std::string& serverName) {
    {
        TransportRegistry& registry = transports();
        std::lock_guard lock(registry.mutex);
        const auto found = registry.factories.find(serverName);
        if (found != registry.factories.end()) {
            return found->second;
        }
    }
    if (serverName == net::cancAprovEncServerName) {
        return [](const std::string& host, int port) -> std::unique_ptr<IAppServer> {
            return net::makeGrpcCancAprovEnc(host, port);
        };
    }
    if (serverName == histCancAprovServerName) {
        return [](const std::string& host, int port) -> std::unique_ptr<IAppServer> {
            return net::makeGrpcHistCancAprov(host, port);
        };
    }
    return nullptr;
}

}  // namespace

TNetConnection::TNetConnection(std::string name) : TComponent(std::move(name)) {}

TNetConnection::~TNetConnection() = default;

TNetConnection::Factory TNetConnection::Transport(const std::string& serverName) {
    return findTransport(serverName);
}

void TNetConnection::RegisterTransport(const std::string& serverName, Factory factory) {
    TransportRegistry& registry = transports();
    std::lock_guard lock(registry.mutex);
    if (factory) {
        registry.factories[serverName] = std::move(factory);
    } else {
        registry.factories.erase(serverName);
    }
}

void TNetConnection::SetConnected(bool value) {
    if (value == m_connected) {
        return;
    }
    if (!value) {
        m_appServer.reset();
        m_connected = false;
        return;
    }
    if (BeforeConnect) {
        BeforeConnect(this);
    }
    try {
        const Factory factory = findTransport(ServerName);
        if (!factory) {
            throw Exception("Servidor de aplicação desconhecido: " + ServerName + ".");
        }
        std::unique_ptr<IAppServer> server = factory(Host, Port);
        if (ThrowException) {
            server->CheckConnection();
        }
        m_appServer = std::move(server);
        m_connected = true;
    } catch (const Exception&) {
        // Without ThrowException the failure shows at the first call instead.
        if (ThrowException) {
            throw;
        }
    }
}

IAppServer& TNetConnection::AppServer() {
    if (!m_appServer) {
        throw Exception("Sem conexão com o servidor de aplicação " + Host + ":" +
                        std::to_string(Port) + ".");
    }
    return *m_appServer;
}

}  // namespace host
