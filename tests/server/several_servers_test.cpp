// Several order servers behind one connection: the calls go round robin over
// the servers given, and a server that dies costs at most the call in flight.
#include <arpa/inet.h>
#include <fcntl.h>
#include <grpcpp/grpcpp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <spdlog/spdlog.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

extern char** environ;

namespace {

int freePort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket < 0 || ::bind(socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no free port");
    }
    ::close(socket);
    return ntohs(address.sin_port);
}

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

// An ore06100-server process, killed outright when the test says so.
class ServerProcess {
public:
    ServerProcess(const std::string& database, int port) : m_port(port) {
        const std::string listen = "127.0.0.1:" + std::to_string(port);
        std::vector<std::string> arguments = {ORE_SERVER_PROGRAM, "--listen", listen, "--database",
                                              database};
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int rc =
            posix_spawn(&m_pid, ORE_SERVER_PROGRAM, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            m_pid = 0;
            throw std::runtime_error("cannot start " + std::string(ORE_SERVER_PROGRAM));
        }
    }
    ~ServerProcess() { kill(); }
    // Raises when the port does not answer within 20 s.
    void waitUntilListening() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<std::uint16_t>(m_port));
            const bool answered =
                ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            ::close(socket);
            if (answered) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        throw std::runtime_error("the server on port " + std::to_string(m_port) + " did not start");
    }
    void kill() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_pid = 0;
        }
    }
    int port() const { return m_port; }

private:
    pid_t m_pid = 0;
    int m_port;
};

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
    ServerProcess first(testDatabase().target(), freePort());
    ServerProcess second(testDatabase().target(), freePort());
    first.waitUntilListening();
    second.waitUntilListening();
    // Signed on at the first server; the second takes the same session.
    testsupport::signOnAsTester(database(), first.port());
    const std::string hosts =
        "127.0.0.1:" + std::to_string(first.port()) + ",127.0.0.1:" + std::to_string(second.port());
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

    first.kill();
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

    second.kill();
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
