#include "server/order_server.h"

#include <grpcpp/health_check_service_interface.h>
#include <grpcpp/resource_quota.h>
#include <netdb.h>
#include <spdlog/spdlog.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace ore::server {

namespace {

// One statement that names every table the service reads or writes: it
// fails on a database without the schema.
constexpr const char* schemaProbe =
    "SELECT 1 FROM ORCAEVENTO, ITORCAEVEN, OBSJUSTORC, PEDIDO, ORDEMPROD, CONTARECEBER,"
    " JUSTEXCHIS, CLIENTE, PRECOBASE, PRODUTO, OPERADOR, OPERFILIAL, SESSAOOPER WHERE 1 = 0";

// Threads beyond the calls served: gRPC's pollers and the health service.
constexpr int spareThreads = 8;
// Threads kept waiting for calls even when none come.
constexpr int minimumPollers = 2;

// Why binding `address` fails, or empty when it would not: gRPC only says
// that it could not listen.
std::string bindFailure(const std::string& address) {
    const auto colon = address.rfind(':');
    if (colon == std::string::npos) {
        return "no port given";
    }
    std::string host = address.substr(0, colon);
    const std::string port = address.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (const int rc =
            getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found);
        rc != 0) {
        return gai_strerror(rc);
    }
    std::string failure;
    for (addrinfo* entry = found; entry != nullptr && failure.empty(); entry = entry->ai_next) {
        const int fd = socket(entry->ai_family, entry->ai_socktype, entry->ai_protocol);
        if (fd < 0) {
            continue;
        }
        if (bind(fd, entry->ai_addr, entry->ai_addrlen) != 0) {
            failure = errno == EADDRINUSE ? "address in use" : std::strerror(errno);
        }
        close(fd);
    }
    freeaddrinfo(found);
    return failure;
}

}  // namespace

OrderServer::OrderServer(ServerOptions options)
    : m_options(std::move(options)),
      m_pool(m_options.database, m_options.maxConnections),
      m_service(m_pool, m_options.clock,
                CallLimits{m_options.maxCalls, m_options.connectionWait, m_options.writeStall},
                m_options.sessions) {}

OrderServer::~OrderServer() {
    if (m_server) {
        shutdown(std::chrono::milliseconds(0));
    }
}

void OrderServer::start() {
    const auto credentials = listenerCredentials(m_options.listenAddress, m_options.tls);
    // Opening a SQLite file that is not there would create an empty one and
    // serve nothing but errors.
    if (const auto file = host::sql::sqliteFileOf(m_options.database);
        file && *file != ":memory:" && !std::filesystem::exists(*file)) {
        throw std::runtime_error("the database file '" + *file +
                                 "' does not exist (create it with ore-demo-db)");
    }
    try {
        auto lease = m_pool.acquire();
    } catch (const std::exception& error) {
        throw std::runtime_error("cannot open database '" + m_options.database +
                                 "': " + error.what());
    }
    grpc::EnableDefaultHealthCheckService(true);
    grpc::ServerBuilder builder;
    // A second server on a port in use must fail, not share the port.
    builder.AddChannelArgument(GRPC_ARG_ALLOW_REUSEPORT, 0);
    builder.AddListeningPort(m_options.listenAddress, credentials, &m_port);
    builder.SetMaxReceiveMessageSize(m_options.maxReceiveBytes);
    grpc::ResourceQuota quota("ore06100-server");
    quota.SetMaxThreads(static_cast<int>(m_options.maxCalls) + spareThreads);
    builder.SetResourceQuota(quota);
    // A sync server thread that finishes a call while enough others poll
    // ends, and the next call that finds no poller starts a new one: with
    // gRPC's default of two pollers, a few clients at once meant a thread
    // made and ended every few calls. Calls are bounded by maxCalls anyway,
    // so that many threads may stay and wait for the next call.
    builder.SetSyncServerOption(grpc::ServerBuilder::SyncServerOption::MIN_POLLERS, minimumPollers);
    builder.SetSyncServerOption(grpc::ServerBuilder::SyncServerOption::MAX_POLLERS,
                                static_cast<int>(m_options.maxCalls) + minimumPollers);
    builder.RegisterService(&m_service);
    m_server = builder.BuildAndStart();
    if (!m_server || m_port == 0) {
        m_server.reset();
        const std::string why = bindFailure(m_options.listenAddress);
        throw std::runtime_error("cannot listen on " + m_options.listenAddress +
                                 (why.empty() ? std::string() : ": " + why));
    }
    m_service.onDatabaseState([this](bool reachable) {
        if (!reachable) {
            m_pool.dropIdle();
            setServing(false);
            std::lock_guard lock(m_healthMutex);
            m_recheck = true;
            m_healthWake.notify_all();
        }
    });
    setServing(databaseReady());
    m_healthWatcher = std::thread([this] { watchHealth(); });
}

std::string OrderServer::address() const {
    const auto colon = m_options.listenAddress.rfind(':');
    return m_options.listenAddress.substr(0, colon) + ":" + std::to_string(m_port);
}

bool OrderServer::databaseReady() {
    try {
        const auto file = host::sql::sqliteFileOf(m_options.database);
        if (file && *file != ":memory:" && !std::filesystem::exists(*file)) {
            m_probe.reset();
            return false;
        }
        if (!m_probe) {
            m_probe = host::sql::Database::open(m_options.database);
        }
        m_probe->setDeadline(std::chrono::steady_clock::now() + std::chrono::seconds(5));
        m_probe->query(schemaProbe);
        return true;
    } catch (const std::exception& error) {
        if (m_serving != 0) {
            spdlog::warn("database not ready: {}", error.what());
        }
        m_probe.reset();
        return false;
    }
}

void OrderServer::setServing(bool serving) {
    const int value = serving ? 1 : 0;
    if (m_serving.exchange(value) == value) {
        return;
    }
    std::lock_guard lock(m_healthMutex);
    if (m_stopping || !m_server) {
        return;
    }
    spdlog::info("health: {}", serving ? "SERVING" : "NOT_SERVING");
    m_server->GetHealthCheckService()->SetServingStatus(serviceName, serving);
    m_server->GetHealthCheckService()->SetServingStatus("", serving);
}

void OrderServer::watchHealth() {
    std::unique_lock lock(m_healthMutex);
    while (!m_stopping) {
        m_healthWake.wait_for(lock, m_options.healthInterval,
                              [this] { return m_stopping || m_recheck; });
        if (m_stopping) {
            break;
        }
        m_recheck = false;
        lock.unlock();
        const bool ready = databaseReady();
        if (!ready) {
            m_pool.dropIdle();
        }
        setServing(ready);
        lock.lock();
    }
}

void OrderServer::shutdown(std::chrono::milliseconds grace) {
    if (!m_server) {
        return;
    }
    {
        std::lock_guard lock(m_healthMutex);
        if (m_stopping) {
            return;
        }
        m_server->GetHealthCheckService()->SetServingStatus(false);
        m_stopping = true;
        m_healthWake.notify_all();
    }
    if (m_healthWatcher.joinable()) {
        m_healthWatcher.join();
    }
    // gRPC cancels the calls still running at the deadline but waits for
    // their handlers to return; one blocked in the database returns only
    // when its statement is stopped.
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread canceller([&] {
        std::unique_lock lock(mutex);
        if (!done.wait_for(lock, grace, [&] { return finished; })) {
            // Said only when there is something to cancel: a stop with no
            // grace at all reaches here before gRPC has looked at the calls.
            if (const std::size_t running = m_service.callsRunning(); running > 0) {
                spdlog::warn("grace period over: cancelling the {} call(s) still running", running);
            }
            m_service.abandonCalls();
            m_pool.interruptAll();
        }
    });
    m_server->Shutdown(std::chrono::system_clock::now() + grace);
    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    done.notify_all();
    canceller.join();
}

void OrderServer::wait() {
    if (m_server) {
        m_server->Wait();
    }
}

}  // namespace ore::server
