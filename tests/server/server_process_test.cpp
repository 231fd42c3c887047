// The server program as operators run it: a child process on a loopback port,
// reached through the real client.
#include <grpcpp/grpcpp.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "db/schema.h"
#include "health.grpc.pb.h"
#include "host/net/grpc_canc_aprov_enc.h"
#include "host/services/session.h"
#include "host/sql/sql_dates.h"
#include "ore06100.grpc.pb.h"
#include "server/messages.h"
#include "tests/server/server_process.h"
#include "tests/server/tcp_proxy.h"
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

namespace {

using namespace std::chrono_literals;
using host::Variant;
using host::sql::Engine;
using testsupport::ServerProcess;

std::string text(std::string_view message) {
    return std::string(message);
}

// Waits up to `limit` for `condition`; true when it held.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = 5s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

std::string health(int port) {
    auto channel = grpc::CreateChannel("127.0.0.1:" + std::to_string(port),
                                       grpc::InsecureChannelCredentials());
    auto stub = grpc::health::v1::Health::NewStub(channel);
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + 2s);
    grpc::health::v1::HealthCheckRequest request;
    request.set_service("ORE06100.rdmCancAprovEnc");
    grpc::health::v1::HealthCheckResponse reply;
    const grpc::Status status = stub->Check(&context, request, &reply);
    if (!status.ok()) {
        return "error " + std::to_string(static_cast<int>(status.error_code()));
    }
    return grpc::health::v1::HealthCheckResponse::ServingStatus_Name(reply.status());
}

class ServerProcessTest : public testsupport::EngineTest {
protected:
    void TearDown() override {
        if (m_blocker && m_blocker->inTransaction()) {
            m_blocker->rollback();
        }
        m_blocker.reset();
        m_server.reset();
        host::CurrentSession().sessionToken.clear();
        EngineTest::TearDown();
    }

    void exec(const std::string& statement, const host::sql::Params& params = {}) {
        database().execute(statement, params);
    }

    bool schemaReady() {
        try {
            database().query("SELECT 1 FROM OPERADOR WHERE 1 = 0");
            return true;
        } catch (const host::sql::DatabaseError&) {
            return false;
        }
    }

    void addApprovedOrder(const std::string& number) {
        exec(
            "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE,"
            " CDVENDEDOR, CDCLIENTE, DTHRENTROREV) VALUES ('0001', :N, '00', '2', '0001',"
            " '000000000000000000001', :D)",
            {{"N", number}, {"D", *host::sql::parseTimestamp("2024-05-10 14:00:00")}});
        exec("INSERT INTO PEDIDO VALUES ('0001', :P, :N, '00', 'A')",
             {{"P", number}, {"N", number}});
        exec("INSERT INTO CONTARECEBER VALUES ('0001', :D, :N, '00', 100.5, 'N', 'N')",
             {{"D", number}, {"N", number}});
    }

    // Status, receivables, sales orders and observations of the order.
    std::string state(const std::string& number) {
        const host::sql::Params key{{"N", number}};
        const auto scalar = [&](const std::string& statement) {
            const auto packet = database().query(statement, key);
            return packet.rows.empty() ? std::string("<none>")
                                       : packet.rows.front().front().AsString();
        };
        return scalar("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = :N") + " " +
               scalar("SELECT COUNT(*) FROM CONTARECEBER WHERE NRORCAEVENTO = :N") + " " +
               scalar("SELECT COUNT(*) FROM PEDIDO WHERE NRORCAEVENTO = :N") + " " +
               scalar("SELECT COUNT(*) FROM OBSJUSTORC WHERE NRORCAEVENTO = :N");
    }

    void seed() {
        exec("INSERT INTO JUSTEXCHIS VALUES ('0001', 'Desistência do cliente')");
        addApprovedOrder("0000000001");
        addApprovedOrder("0000000002");
    }

    // Starts the server on the test's database with `extra` options.
    int startServer(const std::vector<std::string>& extra = {}, const std::string& target = {}) {
        std::vector<std::string> arguments{"--listen", "127.0.0.1:0", "--database",
                                           target.empty() ? testDatabase().target() : target};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        m_server = std::make_unique<ServerProcess>(arguments);
        m_port = m_server->waitUntilListening();
        EXPECT_GT(m_port, 0) << m_server->output();
        // The client signs on where the server's database can take it (not
        // on a database without the schema: the tests of that sign on nowhere).
        if (m_port > 0 && schemaReady()) {
            try {
                testsupport::signOnAsTester(database(), m_port);
            } catch (const std::exception&) {
                host::CurrentSession().sessionToken.clear();
            }
        }
        return m_port;
    }

    std::unique_ptr<host::IRdmCancAprovEnc> client(std::chrono::milliseconds deadline = 30s) {
        host::net::CallDeadlines deadlines;
        deadlines.call = deadline;
        return host::net::makeGrpcCancAprovEnc("127.0.0.1", m_port, deadlines);
    }

    // "" when the call succeeds, else the text the client raised.
    static std::string cancel(host::IRdmCancAprovEnc& api, const std::string& number) {
        std::string branch = "0001", order = number, sequence = "00";
        try {
            api.CancAprovaEnc(branch, order, sequence, "0001", Variant("desistiu"), "OPER");
        } catch (const std::exception& error) {
            return error.what();
        }
        return "";
    }

    static std::string items(host::IRdmCancAprovEnc& api, const std::string& number) {
        try {
            api.GetItemEnc("0001", number, "00");
        } catch (const std::exception& error) {
            return error.what();
        }
        return "";
    }

    // Another session holds what a cancellation of order 1 needs: its row
    // (PostgreSQL) or the write lock (SQLite).
    void holdLock() {
        m_blocker = testDatabase().connect();
        m_blocker->begin();
        if (engine() == Engine::postgresql) {
            m_blocker->query(
                "SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000001' FOR UPDATE");
        }
    }

    void releaseLock() { m_blocker->rollback(); }

    // With one cancellation waiting on a held row lock, a second call is
    // refused as busy; once the lock is gone both calls work.
    void expectSecondCallBusyWhileOneWaits() {
        holdLock();
        std::string blockedAnswer = "<none>";
        std::thread blocked([&, api = client()] { blockedAnswer = cancel(*api, "0000000001"); });
        std::this_thread::sleep_for(300ms);
        auto other = client();
        EXPECT_EQ(items(*other, "0000000002"), text(ore::server::messages::serverBusy));
        releaseLock();
        blocked.join();
        EXPECT_EQ(blockedAnswer, "");
        EXPECT_EQ(items(*other, "0000000002"), "");
    }

    std::string timedOutText() const {
        return "O servidor de aplicação 127.0.0.1:" + std::to_string(m_port) +
               " não respondeu a tempo.";
    }
    std::string unreachableText() const {
        return "Não foi possível conectar ao servidor de aplicação 127.0.0.1:" +
               std::to_string(m_port) + ".";
    }

    const std::string approved = "2 1 1 0";
    const std::string cancelled = "1 0 0 1";
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<host::sql::Database> m_blocker;
    int m_port = 0;
};

TEST_P(ServerProcessTest, ACallPastItsDeadlineIsToldSoAndCommitsNothingLater) {
    seed();
    startServer();
    holdLock();
    auto api = client(500ms);
    // The client's own clock or the server's, whichever runs out first.
    const std::string answer = cancel(*api, "0000000001");
    EXPECT_TRUE(answer == timedOutText() || answer == text(ore::server::messages::callTimedOut))
        << answer;
    // Longer than the deadline, shorter than any lock wait of the engines.
    std::this_thread::sleep_for(1s);
    releaseLock();
    // The server would have gone on once the lock was free.
    EXPECT_FALSE(eventually([&] { return state("0000000001") != approved; }, 2s))
        << state("0000000001");
    auto patient = client();
    EXPECT_EQ(cancel(*patient, "0000000001"), "");
    EXPECT_EQ(state("0000000001"), cancelled);
}

TEST_P(ServerProcessTest, SigtermStopsAcceptingThenEndsCallsAfterTheGrace) {
    seed();
    startServer({"--shutdown-grace-ms", "1000"});
    holdLock();
    std::string blockedAnswer = "<none>";
    std::thread blocked([&, api = client()] { blockedAnswer = cancel(*api, "0000000001"); });
    std::this_thread::sleep_for(300ms);
    const auto signalled = std::chrono::steady_clock::now();
    m_server->signal(SIGTERM);
    std::this_thread::sleep_for(200ms);
    auto late = client(2s);
    EXPECT_EQ(items(*late, "0000000002"), unreachableText());
    const auto exit = m_server->waitForExit(10s);
    const auto took = std::chrono::steady_clock::now() - signalled;
    blocked.join();
    ASSERT_TRUE(exit.has_value()) << m_server->output();
    EXPECT_EQ(*exit, 0);
    EXPECT_GE(took, 1s);
    EXPECT_LT(took, 8s);
    EXPECT_TRUE(blockedAnswer == text(ore::server::messages::serverStopping) ||
                blockedAnswer == unreachableText())
        << blockedAnswer;
    releaseLock();
    EXPECT_EQ(state("0000000001"), approved);
}

TEST_P(ServerProcessTest, ACallThatEndsWithinTheGraceIsServed) {
    seed();
    startServer({"--shutdown-grace-ms", "5000"});
    holdLock();
    std::string blockedAnswer = "<none>";
    std::thread blocked([&, api = client()] { blockedAnswer = cancel(*api, "0000000001"); });
    std::this_thread::sleep_for(300ms);
    m_server->signal(SIGTERM);
    std::this_thread::sleep_for(300ms);
    releaseLock();
    blocked.join();
    EXPECT_EQ(blockedAnswer, "");
    EXPECT_EQ(m_server->waitForExit(10s), std::optional<int>(0));
    EXPECT_EQ(state("0000000001"), cancelled);
}

TEST_P(ServerProcessTest, ASecondSignalExitsAtOnce) {
    seed();
    startServer({"--shutdown-grace-ms", "60000"});
    holdLock();
    std::thread blocked([api = client(20s)] { cancel(*api, "0000000001"); });
    std::this_thread::sleep_for(300ms);
    m_server->signal(SIGTERM);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(m_server->running());
    m_server->signal(SIGTERM);
    EXPECT_EQ(m_server->waitForExit(5s), std::optional<int>(1)) << m_server->output();
    blocked.join();
    releaseLock();
    EXPECT_EQ(state("0000000001"), approved);
}

TEST_P(ServerProcessTest, CallsBeyondTheLimitAreRefusedAsBusy) {
    seed();
    startServer({"--max-calls", "1"});
    expectSecondCallBusyWhileOneWaits();
}

TEST_P(ServerProcessTest, ARequestTooLargeIsToldAsSuchNotAsBusy) {
    seed();
    startServer({"--max-message-bytes", "1024"});
    auto api = client();
    std::string branch = "0001", order = "0000000001", sequence = "00";
    std::string answer;
    try {
        api->CancAprovaEnc(branch, order, sequence, "0001", Variant(std::string(4000, 'x')),
                           "OPER");
    } catch (const std::exception& error) {
        answer = error.what();
    }
    EXPECT_EQ(answer,
              "A mensagem excede o tamanho aceito na comunicação com o servidor de aplicação "
              "127.0.0.1:" +
                  std::to_string(m_port) + ".");
    EXPECT_EQ(state("0000000001"), approved);
}

TEST_P(ServerProcessTest, ACallWaitingTooLongForAConnectionIsRefusedAsBusy) {
    seed();
    startServer({"--max-connections", "1", "--connection-wait-ms", "300"});
    expectSecondCallBusyWhileOneWaits();
}

TEST_P(ServerProcessTest, AListNobodyReadsHoldsNoConnection) {
    seed();
    for (int i = 10; i < 3010; ++i) {
        std::string number = std::to_string(i);
        number.insert(0, 10 - number.size(), '0');
        exec(
            "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE,"
            " DSTITUORCEVE) VALUES ('0001', :N, '00', '2', :T)",
            {{"N", number}, {"T", std::string(90, 'x')}});
    }
    startServer({"--max-connections", "1", "--connection-wait-ms", "300"});
    auto channel = grpc::CreateChannel("127.0.0.1:" + std::to_string(m_port),
                                       grpc::InsecureChannelCredentials());
    auto stub = ORE06100::rdmCancAprovEnc::NewStub(channel);
    ORE06100::GetEncomendaRequest request;
    request.set_branch("0001");
    auto* filter = request.mutable_filter();
    filter->set_all_orders("T");
    filter->set_all_deliveries("T");
    filter->set_all_salesmen("T");
    filter->set_all_customers("T");
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + 20s);
    context.AddMetadata("ore-session", host::CurrentSession().sessionToken);
    auto reader = stub->GetEncomenda(&context, request);
    ORE06100::GetEncomendaChunk chunk;
    ASSERT_TRUE(reader->Read(&chunk));
    // The rest stays unread while another call needs the one connection.
    auto other = client();
    EXPECT_EQ(items(*other, "0000000002"), "");
    EXPECT_EQ(cancel(*other, "0000000002"), "");
    int chunks = 1;
    while (reader->Read(&chunk)) {
        ++chunks;
    }
    EXPECT_TRUE(reader->Finish().ok());
    EXPECT_GT(chunks, 1);
}

TEST_P(ServerProcessTest, DatabaseDownGivesUnavailableAndTheServerRecovers) {
    seed();
    std::string target = testDatabase().target();
    std::unique_ptr<testsupport::TcpProxy> proxy;
    std::filesystem::path file;
    if (engine() == Engine::postgresql) {
        std::smatch match;
        ASSERT_TRUE(std::regex_search(target, match, std::regex("port='?([0-9]+)'?")));
        proxy = std::make_unique<testsupport::TcpProxy>(std::stoi(match[1]));
        target = std::regex_replace(target, std::regex("port='?[0-9]+'?"),
                                    "port=" + std::to_string(proxy->port()));
    } else {
        file = target.substr(std::string("sqlite:").size());
    }
    startServer({"--health-interval-ms", "100"}, target);
    auto api = client(5s);
    EXPECT_EQ(items(*api, "0000000002"), "");
    EXPECT_EQ(health(m_port), "SERVING");

    if (proxy) {
        proxy->cut();
        EXPECT_EQ(items(*api, "0000000002"), text(ore::server::messages::databaseUnreachable));
        EXPECT_EQ(cancel(*api, "0000000001"), text(ore::server::messages::databaseUnreachable));
    } else {
        std::filesystem::rename(file, file.string() + ".away");
    }
    EXPECT_TRUE(eventually([&] { return health(m_port) == "NOT_SERVING"; })) << health(m_port);

    if (proxy) {
        proxy->restore();
    } else {
        std::filesystem::rename(file.string() + ".away", file);
    }
    EXPECT_TRUE(eventually([&] { return health(m_port) == "SERVING"; })) << health(m_port);
    // Connections from before the outage are not handed out again.
    EXPECT_EQ(items(*api, "0000000002"), "");
    EXPECT_EQ(cancel(*api, "0000000001"), "");
    EXPECT_EQ(state("0000000001"), cancelled);
}

TEST_P(ServerProcessTest, HealthIsNotServingUntilTheSchemaExists) {
    testsupport::TestDatabase empty(engine(), /*withSchema=*/false);
    startServer({"--health-interval-ms", "100"}, empty.target());
    EXPECT_EQ(health(m_port), "NOT_SERVING");
    db::createSchema(empty.database());
    EXPECT_TRUE(eventually([&] { return health(m_port) == "SERVING"; })) << health(m_port);
    m_server.reset();
}

TEST_P(ServerProcessTest, AMissingDatabaseIsRefusedAtStart) {
    std::string target;
    if (engine() == Engine::sqlite) {
        const auto file = std::filesystem::temp_directory_path() /
                          ("ore_missing_" + std::to_string(::getpid()) + ".db");
        target = file.string();
        ServerProcess server({"--listen", "127.0.0.1:0", "--database", target});
        EXPECT_EQ(server.waitForExit(10s), std::optional<int>(1));
        EXPECT_NE(server.output().find("the database file '" + target +
                                       "' does not exist (create it with ore-demo-db)"),
                  std::string::npos)
            << server.output();
        EXPECT_FALSE(std::filesystem::exists(file));
    } else {
        target = std::regex_replace(testDatabase().target(), std::regex("dbname=\\S+"),
                                    "dbname=ore_no_such_database");
        ServerProcess server({"--listen", "127.0.0.1:0", "--database", target});
        EXPECT_EQ(server.waitForExit(10s), std::optional<int>(1));
        EXPECT_NE(server.output().find("cannot open database"), std::string::npos)
            << server.output();
    }
}

TEST_P(ServerProcessTest, ASecondServerOnTheSamePortFailsToStart) {
    const int port = startServer();
    ServerProcess second(
        {"--listen", "127.0.0.1:" + std::to_string(port), "--database", testDatabase().target()});
    EXPECT_EQ(second.waitForExit(10s), std::optional<int>(1));
    EXPECT_NE(second.output().find("cannot listen on 127.0.0.1:" + std::to_string(port) +
                                   ": address in use"),
              std::string::npos)
        << second.output();
    EXPECT_TRUE(m_server->running());
}

TEST_P(ServerProcessTest, EveryOptionCanComeFromAConfigurationFile) {
    seed();
    const int port = testsupport::freeLoopbackPort();
    const auto path = std::filesystem::temp_directory_path() /
                      ("ore_server_" + std::to_string(::getpid()) + ".toml");
    {
        std::ofstream file(path);
        file << "listen = \"127.0.0.1:" << port << "\"\n"
             << "database = \"" << testDatabase().target() << "\"\n"
             << "max-message-bytes = 2097152\n"
             << "max-connections = 3\n"
             << "max-calls = 1\n"
             << "connection-wait-ms = 500\n"
             << "shutdown-grace-ms = 1000\n"
             << "health-interval-ms = 100\n"
             << "session-minutes = 90\n";
    }
    m_server = std::make_unique<ServerProcess>(std::vector<std::string>{"--config", path.string()});
    m_port = m_server->waitUntilListening();
    ASSERT_EQ(m_port, port) << m_server->output();
    testsupport::signOnAsTester(database(), m_port);
    // session-minutes = 90 came from the file.
    const auto session = database().query("SELECT DTINICIO, DTEXPIRA FROM SESSAOOPER");
    ASSERT_EQ(session.rows.size(), 1u);
    EXPECT_NEAR(
        (session.rows[0][1].AsDateTime().days - session.rows[0][0].AsDateTime().days) * 24 * 60,
        90.0, 0.1);
    // max-calls = 1 came from the file.
    holdLock();
    std::thread blocked([api = client()] { cancel(*api, "0000000001"); });
    std::this_thread::sleep_for(300ms);
    auto other = client();
    EXPECT_EQ(items(*other, "0000000002"), text(ore::server::messages::serverBusy));
    releaseLock();
    blocked.join();
    std::filesystem::remove(path);
}

ORE_ON_BOTH_ENGINES(ServerProcessTest);

TEST(ServerProgramTest, HelpListsEveryOptionAndUnknownKeysAreRefused) {
    ServerProcess help({"--help"});
    EXPECT_EQ(help.waitForExit(10s), std::optional<int>(0));
    for (const char* option :
         {"--config", "--listen", "--database", "--max-message-bytes", "--max-connections",
          "--max-calls", "--connection-wait-ms", "--shutdown-grace-ms", "--health-interval-ms"}) {
        EXPECT_NE(help.output().find(option), std::string::npos) << option;
    }
    const auto path = std::filesystem::temp_directory_path() /
                      ("ore_server_bad_" + std::to_string(::getpid()) + ".toml");
    {
        std::ofstream file(path);
        file << "database = \"x.db\"\nmax-conections = 3\n";
    }
    ServerProcess wrong({"--config", path.string()});
    EXPECT_NE(wrong.waitForExit(10s), std::optional<int>(0));
    EXPECT_NE(wrong.output().find("max-conections"), std::string::npos) << wrong.output();
    std::filesystem::remove(path);
}

}  // namespace
