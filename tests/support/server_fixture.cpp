#include "tests/support/server_fixture.h"

#include <spdlog/spdlog.h>

#include <chrono>

#include "host/services/session.h"
#include "host/sql/sql_dates.h"
#include "tests/support/sign_on.h"

namespace testsupport {

host::TDateTime serverNow() {
    static const host::TDateTime now = *host::sql::parseTimestamp("2024-06-01 10:30:00");
    return now;
}

void StopServer::operator()(ore::server::OrderServer* server) const {
    server->shutdown(std::chrono::milliseconds(0));
    server->wait();
    delete server;
}

RunningServer startLoopbackServer(const std::string& database, ore::server::ServerOptions options) {
    options.listenAddress = "127.0.0.1:0";
    options.database = database;
    RunningServer server(new ore::server::OrderServer(options));
    server->start();
    return server;
}

std::unique_ptr<host::TNetConnection> connectTo(int port, const std::string& component,
                                                const std::string& serverName) {
    auto connection = std::make_unique<host::TNetConnection>(component);
    connection->ServerName = serverName;
    connection->Host = "127.0.0.1";
    connection->Port = port;
    connection->SetConnected(true);
    return connection;
}

void ServerTest::SetUp() {
    EngineTest::SetUp();
    if (IsSkipped()) {
        return;
    }
    spdlog::set_level(spdlog::level::off);
    seedLookups();
    ore::server::ServerOptions options;
    options.clock = [] { return serverNow(); };
    m_server = startLoopbackServer(testDatabase().target(), options);
    signOn();
    m_connection = connect();
}

void ServerTest::TearDown() {
    m_connection.reset();
    host::CurrentSession().sessionToken.clear();
    m_server.reset();
    EngineTest::TearDown();
}

void ServerTest::signOn() {
    signOnAsTester(database(), m_server->port());
}

std::unique_ptr<host::TNetConnection> ServerTest::connect() {
    return connectTo(m_server->port());
}

host::IRdmCancAprovEnc& ServerTest::api() {
    return m_connection->AppServerAs<host::IRdmCancAprovEnc>();
}

void ServerTest::exec(const std::string& statement, const host::sql::Params& params) {
    database().execute(statement, params);
}

std::string ServerTest::scalar(const std::string& statement, const host::sql::Params& params) {
    const host::DataPacket packet = database().query(statement, params);
    if (packet.rows.empty()) {
        return "<none>";
    }
    const host::Variant& value = packet.rows.front().front();
    return value.IsNull() ? "<null>" : value.AsString();
}

}  // namespace testsupport
