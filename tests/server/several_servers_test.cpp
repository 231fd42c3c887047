// Several order servers behind one connection: the calls go round robin over
// the servers given, and a server that dies costs at most the call in flight.
#include <grpcpp/grpcpp.h>
#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "db/demo_data.h"
#include "host/data/exceptions.h"
#include "host/net/net_connection.h"
#include "host/services/session.h"
#include "ore06100.grpc.pb.h"
#include "proto/packet_codec.h"
#include "server/order_server.h"
#include "tests/server/server_process.h"
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

namespace {

// Answers GetItemEnc with two empty packets and counts the calls.
class CountingService final : public ORE06100::rdmCancAprovEnc::Service {
public:
    std::atomic<int> calls{0};
    grpc::Status GetItemEnc(grpc::ServerContext*, const ORE06100::GetItemEncRequest*,
                            ORE06100::GetItemEncReply* reply) override {
        ++calls;
        ore::proto::encodePacket(host::DataPacket{}, *reply->mutable_items());
        ore::proto::encodePacket(host::DataPacket{}, *reply->mutable_observation());
        return grpc::Status::OK;
    }
};

struct CountingServer {
    CountingService service;
    std::unique_ptr<grpc::Server> server;
    int port = 0;
    CountingServer() {
        grpc::ServerBuilder builder;
        builder.AddListeningPort("127.0.0.1:0", grpc::InsecureServerCredentials(), &port);
        builder.RegisterService(&service);
        server = builder.BuildAndStart();
    }
    ~CountingServer() { server->Shutdown(std::chrono::system_clock::now()); }
};

// Kills a server outright and waits until it is gone.
void killOutright(testsupport::ServerProcess& server) {
    server.kill();
    server.waitForExit(std::chrono::seconds(10));
}

// Starts ore06100-server on a loopback port of its choice over database.
std::unique_ptr<testsupport::ServerProcess> startServerProcess(const std::string& database) {
    return std::make_unique<testsupport::ServerProcess>(
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--database", database});
}

class SeveralServersTest : public testsupport::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        spdlog::set_level(spdlog::level::off);
        db::generateDemoData(database(), 60);
    }

    void TearDown() override {
        host::CurrentSession().sessionToken.clear();
        EngineTest::TearDown();
    }

    std::unique_ptr<host::TNetConnection> connect(const std::string& hosts) {
        auto connection = std::make_unique<host::TNetConnection>("netCancAprovEnc");
        connection->ServerName = "ORE06100.rdmCancAprovEnc";
        connection->Host = hosts;
        connection->Port = 1;  // every address names its own port
        connection->SetConnected(true);
        return connection;
    }

    static void fetch(host::TNetConnection& connection) {
        connection.AppServerAs<host::IRdmCancAprovEnc>().GetItemEnc("0001", "0000000101", "00");
    }
};

TEST(SeveralServersAddressTest, CallsGoRoundRobinOverTheServersGiven) {
    CountingServer first;
    CountingServer second;
    CountingServer third;
    host::TNetConnection connection("netCancAprovEnc");
    connection.ServerName = "ORE06100.rdmCancAprovEnc";
    // Ports given and left out, blanks around the commas.
    connection.Host = "127.0.0.1:" + std::to_string(first.port) +
                      " , localhost:" + std::to_string(second.port) + ",127.0.0.1";
    connection.Port = third.port;
    connection.SetConnected(true);
    auto& api = connection.AppServerAs<host::IRdmCancAprovEnc>();
    // Round robin only uses servers it is connected to; give the others a moment.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((first.service.calls == 0 || second.service.calls == 0 || third.service.calls == 0) &&
           std::chrono::steady_clock::now() < deadline) {
        api.GetItemEnc("0001", "0000000101", "00");
    }
    const int before = first.service.calls + second.service.calls + third.service.calls;
    for (int call = 0; call < 30; ++call) {
        api.GetItemEnc("0001", "0000000101", "00");
    }
    EXPECT_EQ(first.service.calls + second.service.calls + third.service.calls, before + 30);
    EXPECT_GE(first.service.calls, 10);
    EXPECT_GE(second.service.calls, 10);
    EXPECT_GE(third.service.calls, 10);
}

TEST_P(SeveralServersTest, KillingOneOfTwoServersFailsAtMostTheCallInFlight) {
    const auto first = startServerProcess(testDatabase().target());
    const auto second = startServerProcess(testDatabase().target());
    const int firstPort = first->waitUntilListening();
    const int secondPort = second->waitUntilListening();
    ASSERT_GT(firstPort, 0) << first->output();
    ASSERT_GT(secondPort, 0) << second->output();
    // Signed on at the first server; the second takes the same session.
    testsupport::signOnAsTester(database(), firstPort);
    const std::string hosts =
        "127.0.0.1:" + std::to_string(firstPort) + ",127.0.0.1:" + std::to_string(secondPort);
    auto connection = connect(hosts);
    // Both servers up: a few rounds so that each has had calls.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int answered = 0;
    while (answered < 6 && std::chrono::steady_clock::now() < deadline) {
        try {
            fetch(*connection);
            ++answered;
        } catch (const host::Exception&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // still starting
        }
    }
    ASSERT_EQ(answered, 6);

    killOutright(*first);
    int failures = 0;
    for (int call = 0; call < 10; ++call) {
        try {
            fetch(*connection);
        } catch (const host::Exception& error) {
            ++failures;
            EXPECT_NE(std::string(error.what()).find("servidor de aplicação"), std::string::npos)
                << error.what();
        }
    }
    EXPECT_LE(failures, 1);

    killOutright(*second);
    EXPECT_THROW(fetch(*connection), host::Exception);
}

TEST(SeveralServersAddressTest, AnAddressThatCannotBeReadIsRefusedByName) {
    host::TNetConnection connection("netCancAprovEnc");
    connection.ServerName = "ORE06100.rdmCancAprovEnc";
    connection.Host = "127.0.0.1:50051,[::1:50052";
    connection.Port = 50051;
    try {
        connection.SetConnected(true);
        FAIL() << "connected";
    } catch (const host::Exception& error) {
        EXPECT_STREQ(error.what(), "Endereço de servidor inválido: [::1:50052.");
    }
    EXPECT_FALSE(connection.Connected());
}

ORE_ON_BOTH_ENGINES(SeveralServersTest);

}  // namespace
