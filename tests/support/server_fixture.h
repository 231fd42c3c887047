#pragma once

#include <memory>
#include <string>

#include "host/data/data_packet.h"
#include "host/net/net_connection.h"
#include "host/sql/database.h"
#include "server/order_server.h"
#include "tests/support/test_database.h"

namespace testsupport {

// The time the fixture's server reads from its clock: 2024-06-01 10:30:00.
host::TDateTime serverNow();

// Stops an order server without grace, waits for it and deletes it.
struct StopServer {
    void operator()(ore::server::OrderServer* server) const;
};
// An order server that stops when the pointer lets it go.
using RunningServer = std::unique_ptr<ore::server::OrderServer, StopServer>;

// Starts an order server on a loopback port of its choice over `database`
// (what Database::open takes), with the rest of `options`.
RunningServer startLoopbackServer(const std::string& database,
                                  ore::server::ServerOptions options = {});

// A connection, connected, to the server object `serverName` on
// 127.0.0.1:port, named `component` as the screens name theirs.
std::unique_ptr<host::TNetConnection> connectTo(
    int port, const std::string& component = "netCancAprovEnc",
    const std::string& serverName = "ORE06100.rdmCancAprovEnc");

// Base of the tests that call a real server through the real client, once per
// engine: a fresh database with the test's lookups, a server on loopback with
// the fixed clock above, an operator signed on and a connection to the server.
class ServerTest : public EngineTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Rows every test of the suite needs before the server starts.
    virtual void seedLookups() {}
    // Puts a session in the host's; by default testOperator on every branch.
    virtual void signOn();

    // A further connection to the fixture's server.
    std::unique_ptr<host::TNetConnection> connect();
    host::IRdmCancAprovEnc& api();

    void exec(const std::string& statement, const host::sql::Params& params = {});
    // First value of the first row, "<none>" without rows, "<null>" for null.
    std::string scalar(const std::string& statement, const host::sql::Params& params = {});

    RunningServer m_server;
    std::unique_ptr<host::TNetConnection> m_connection;
};

}  // namespace testsupport
