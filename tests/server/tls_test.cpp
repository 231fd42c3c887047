// TLS between the real client and the server program, with certificates made
// for each test run by scripts/make-certs.
#include <arpa/inet.h>
#include <grpcpp/grpcpp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "health.grpc.pb.h"
#include "host/net/channel_security.h"
#include "host/net/grpc_canc_aprov_enc.h"
#include "host/net/net_connection.h"
#include "host/services/session.h"
#include "host/sql/sql_dates.h"
#include "tests/server/server_process.h"
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

namespace {

using namespace std::chrono_literals;
using host::net::ChannelSecurity;
using testsupport::ServerProcess;

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class TlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_certificates = fs::temp_directory_path() / ("ore_tls_" + std::to_string(::getpid()));
        fs::remove_all(s_certificates);
        const std::string command =
            std::string(ORE_MAKE_CERTS) + " '" + s_certificates.string() + "' 2";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    static void TearDownTestSuite() { fs::remove_all(s_certificates); }

    void SetUp() override {
        host::CurrentSession() = host::Session{};
        m_database = std::make_unique<testsupport::TestDatabase>(host::sql::Engine::sqlite);
        m_database->database().execute("INSERT INTO FILIAL VALUES ('0001', 'MATRIZ')");
        testsupport::addTestOperatorOnEveryBranch(m_database->database());
        m_database->database().execute(
            "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE,"
            " CDVENDEDOR, CDCLIENTE, DTHRENTROREV) VALUES ('0001', '0000000001', '00', '2',"
            " '0001', '000000000000000000001', :D)",
            {{"D", *host::sql::parseTimestamp("2024-05-10 14:00:00")}});
    }

    void TearDown() override { host::CurrentSession() = host::Session{}; }

    // Signs the test operator on through a channel protected by `security`;
    // the token stays in the session for the calls that follow.
    static void signOn(const std::string& host, int port, const ChannelSecurity& security) {
        host::Session& session = host::CurrentSession();
        session.serverCaFile = security.caFile;
        session.clientCertFile = security.clientCertFile;
        session.clientKeyFile = security.clientKeyFile;
        testsupport::signOnAs(port, testsupport::testOperator, testsupport::testPassword, host);
        session.serverCaFile.clear();
        session.clientCertFile.clear();
        session.clientKeyFile.clear();
    }

    static std::string file(const char* name) { return (s_certificates / name).string(); }

    std::vector<std::string> tlsOptions() const {
        return {"--tls-cert", file("server.pem"), "--tls-key", file("server.key")};
    }

    // Starts the server with `extra` options; its port, 0 when it did not start.
    std::unique_ptr<ServerProcess> startServer(const std::vector<std::string>& extra, int& port) {
        std::vector<std::string> arguments{"--listen", "127.0.0.1:0", "--database",
                                           m_database->target()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        auto server = std::make_unique<ServerProcess>(arguments);
        port = server->waitUntilListening();
        EXPECT_GT(port, 0) << server->output();
        return server;
    }

    static std::unique_ptr<host::IRdmCancAprovEnc> client(const std::string& host, int port,
                                                          const ChannelSecurity& security) {
        host::net::CallDeadlines deadlines;
        deadlines.call = 10s;
        deadlines.connect = 5s;
        return host::net::makeGrpcCancAprovEnc(host, port, deadlines, security);
    }

    // "" when the call succeeds, else the text the client raised.
    static std::string items(host::IRdmCancAprovEnc& api) {
        try {
            api.GetItemEnc("0001", "0000000001", "00");
        } catch (const std::exception& error) {
            return error.what();
        }
        return "";
    }

    static std::string wrongCertificateText(const std::string& address) {
        return "Não foi possível estabelecer a conexão segura (TLS) com o servidor de "
               "aplicação " +
               address + ": o certificado não foi aceito.";
    }

    static ChannelSecurity trusting(const char* caName) { return {file(caName), "", ""}; }

    static inline fs::path s_certificates;
    std::unique_ptr<testsupport::TestDatabase> m_database;
};

TEST_F(TlsTest, CallSucceedsOverTls) {
    int port = 0;
    auto server = startServer(tlsOptions(), port);
    signOn("127.0.0.1", port, trusting("ca.pem"));
    EXPECT_EQ(items(*client("127.0.0.1", port, trusting("ca.pem"))), "");
    EXPECT_EQ(items(*client("localhost", port, trusting("ca.pem"))), "");
    EXPECT_NE(server->output().find("listening on 127.0.0.1:" + std::to_string(port) + " (TLS)"),
              std::string::npos)
        << server->output();
}

TEST_F(TlsTest, SessionCaFileSelectsTls) {
    int port = 0;
    auto server = startServer(tlsOptions(), port);
    host::CurrentSession().serverCaFile = file("ca.pem");
    testsupport::signOnAs(port);
    EXPECT_EQ(items(*host::net::makeGrpcCancAprovEnc("127.0.0.1", port)), "");
    host::CurrentSession().serverCaFile.clear();
    EXPECT_EQ(items(*host::net::makeGrpcCancAprovEnc("127.0.0.1", port)),
              "Não foi possível conectar ao servidor de aplicação 127.0.0.1:" +
                  std::to_string(port) + ".");
}

TEST_F(TlsTest, HealthServiceAnswersOverTls) {
    int port = 0;
    auto server = startServer(tlsOptions(), port);
    grpc::SslCredentialsOptions options;
    options.pem_root_certs = readAll(file("ca.pem"));
    auto channel =
        grpc::CreateChannel("localhost:" + std::to_string(port), grpc::SslCredentials(options));
    auto stub = grpc::health::v1::Health::NewStub(channel);
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + 5s);
    grpc::health::v1::HealthCheckRequest request;
    request.set_service("ORE06100.rdmCancAprovEnc");
    grpc::health::v1::HealthCheckResponse reply;
    const grpc::Status status = stub->Check(&context, request, &reply);
    ASSERT_TRUE(status.ok()) << status.error_message();
    EXPECT_EQ(reply.status(), grpc::health::v1::HealthCheckResponse::SERVING);
}

TEST_F(TlsTest, WrongCaIsRefusedWithReadableText) {
    int port = 0;
    auto server = startServer(tlsOptions(), port);
    const auto started = std::chrono::steady_clock::now();
    auto api = client("127.0.0.1", port, trusting("other-ca.pem"));
    const std::string address = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(items(*api), wrongCertificateText(address));
    // A second command fails the same way: no hang on a channel that failed.
    EXPECT_EQ(items(*api), wrongCertificateText(address));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);
    // The server is unharmed.
    signOn("127.0.0.1", port, trusting("ca.pem"));
    EXPECT_EQ(items(*client("127.0.0.1", port, trusting("ca.pem"))), "");
}

// The certificate names localhost, 127.0.0.1 and ::1: a server reached by
// another name is refused even though the CA signed its certificate.
TEST_F(TlsTest, HostNameNotInTheCertificateIsRefused) {
    std::vector<std::string> arguments{"--listen", "127.0.0.2:0", "--database",
                                       m_database->target()};
    const auto tls = tlsOptions();
    arguments.insert(arguments.end(), tls.begin(), tls.end());
    ServerProcess server(arguments);
    const int port = server.waitUntilListening();
    ASSERT_GT(port, 0) << server.output();
    EXPECT_EQ(items(*client("127.0.0.2", port, trusting("ca.pem"))),
              wrongCertificateText("127.0.0.2:" + std::to_string(port)));
}

TEST_F(TlsTest, CheckConnectionNamesTheTlsFailure) {
    int port = 0;
    auto server = startServer(tlsOptions(), port);
    auto api = client("127.0.0.1", port, trusting("other-ca.pem"));
    try {
        api->CheckConnection();
        ADD_FAILURE() << "connected with a CA that did not sign the server's certificate";
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()),
                  wrongCertificateText("127.0.0.1:" + std::to_string(port)));
    }
}

TEST_F(TlsTest, PlainClientToTlsServerIsRefused) {
    int port = 0;
    auto server = startServer(tlsOptions(), port);
    EXPECT_EQ(items(*client("127.0.0.1", port, {})),
              "Não foi possível conectar ao servidor de aplicação 127.0.0.1:" +
                  std::to_string(port) + ".");
    EXPECT_TRUE(server->running());
}

TEST_F(TlsTest, TlsClientToPlainServerIsRefused) {
    int port = 0;
    auto server = startServer({}, port);
    EXPECT_EQ(items(*client("127.0.0.1", port, trusting("ca.pem"))),
              wrongCertificateText("127.0.0.1:" + std::to_string(port)));
    signOn("127.0.0.1", port, {});
    EXPECT_EQ(items(*client("127.0.0.1", port, {})), "");
}

TEST_F(TlsTest, SeveralTlsServersInRoundRobin) {
    int first = 0;
    int second = 0;
    auto one = startServer(tlsOptions(), first);
    auto two = startServer(tlsOptions(), second);
    // One sign-on serves both: the sessions live in the shared database.
    signOn("127.0.0.1", first, trusting("ca.pem"));
    auto api = client("127.0.0.1:" + std::to_string(first) + ",127.0.0.1:" + std::to_string(second),
                      0, trusting("ca.pem"));
    // Round robin spreads the calls over the servers that are connected; the
    // second may connect a little after the first.
    const auto served = [](ServerProcess& server) {
        return server.output().find("GetItemEnc from") != std::string::npos;
    };
    for (int call = 0; call < 40 && !(served(*one) && served(*two)); ++call) {
        EXPECT_EQ(items(*api), "") << "call " << call;
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(served(*one)) << one->output();
    EXPECT_TRUE(served(*two)) << two->output();

    auto wrong =
        client("127.0.0.1:" + std::to_string(first) + ",127.0.0.1:" + std::to_string(second), 0,
               trusting("other-ca.pem"));
    EXPECT_EQ(items(*wrong), wrongCertificateText("127.0.0.1:" + std::to_string(first) +
                                                  ", 127.0.0.1:" + std::to_string(second)));
}

bool acceptsConnections(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

// HAProxy with deploy/haproxy-tls.cfg in front of two TLS servers: the host
// trusts the front end's CA and the calls reach both servers.
TEST_F(TlsTest, ThroughHaproxyWithTlsOnBothSides) {
    const char* haproxy = "/usr/sbin/haproxy";
    if (access(haproxy, X_OK) != 0) {
        GTEST_SKIP() << "haproxy is not installed";
    }
    int first = 0;
    int second = 0;
    auto one = startServer(tlsOptions(), first);
    auto two = startServer(tlsOptions(), second);
    const int front = testsupport::freeLoopbackPort();
    const fs::path log = s_certificates / "haproxy.log";
    const pid_t balancer = fork();
    if (balancer == 0) {
        ::setenv("ORE_HAPROXY_FRONT", ("127.0.0.1:" + std::to_string(front)).c_str(), 1);
        ::setenv("ORE_HAPROXY_CERT", file("server-bundle.pem").c_str(), 1);
        ::setenv("ORE_SERVER_1", ("127.0.0.1:" + std::to_string(first)).c_str(), 1);
        ::setenv("ORE_SERVER_2", ("127.0.0.1:" + std::to_string(second)).c_str(), 1);
        ::setenv("ORE_SERVER_CA", file("ca.pem").c_str(), 1);
        ::setenv("ORE_SERVER_NAME", "localhost", 1);
        std::FILE* out = std::freopen(log.c_str(), "w", stdout);
        if (out != nullptr) {
            dup2(fileno(out), 2);
        }
        execl(haproxy, haproxy, "-db", "-f", ORE_HAPROXY_TLS_CONFIG, static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(balancer, 0);
    bool listening = false;
    for (int attempt = 0; attempt < 200 && !listening; ++attempt) {
        std::this_thread::sleep_for(50ms);
        listening = acceptsConnections(front);
    }
    std::string answers;
    if (listening) {
        // HAProxy checks the servers once a second; until then it has none.
        std::this_thread::sleep_for(1500ms);
        signOn("localhost", front, trusting("ca.pem"));
        auto api = client("localhost", front, trusting("ca.pem"));
        for (int call = 0; call < 4; ++call) {
            answers += items(*api) + "|";
        }
    }
    kill(balancer, SIGTERM);
    int status = 0;
    waitpid(balancer, &status, 0);
    ASSERT_TRUE(listening) << readAll(log);
    EXPECT_EQ(answers, "||||") << readAll(log);
    EXPECT_NE(one->output().find("GetItemEnc from"), std::string::npos) << one->output();
    EXPECT_NE(two->output().find("GetItemEnc from"), std::string::npos) << two->output();
}

// Plain text towards a host that is not this machine is refused before any
// connection: with nothing listening there, trying would have said "could not
// connect" after the connect deadline instead.
struct RemotePlainCase {
    const char* name;
    const char* host;
    const char* refused;
};

class RemotePlainTextTest : public ::testing::TestWithParam<RemotePlainCase> {};

TEST_P(RemotePlainTextTest, RefusedByTheClient) {
    const RemotePlainCase& c = GetParam();
    host::net::CallDeadlines deadlines;
    deadlines.connect = 20s;
    const auto started = std::chrono::steady_clock::now();
    auto api = host::net::makeGrpcCancAprovEnc(c.host, 50051, deadlines, ChannelSecurity{});
    const std::string expected =
        std::string("Conexão sem TLS só é permitida com um servidor local: ") + c.refused + ".";
    try {
        api->GetItemEnc("0001", "0000000001", "00");
        ADD_FAILURE() << "a plain-text call to " << c.host << " was made";
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()), expected);
    }
    try {
        api->CheckConnection();
        ADD_FAILURE() << "a plain-text connection to " << c.host << " was made";
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()), expected);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, RemotePlainTextTest,
    ::testing::Values(RemotePlainCase{"documentation_ipv4", "192.0.2.10", "192.0.2.10"},
                      RemotePlainCase{"private_ipv4", "10.1.2.3", "10.1.2.3"},
                      RemotePlainCase{"documentation_ipv6", "2001:db8::1", "2001:db8::1"},
                      RemotePlainCase{"wildcard", "0.0.0.0", "0.0.0.0"},
                      RemotePlainCase{"name", "ore-server.example", "ore-server.example"},
                      RemotePlainCase{"one_of_several", "127.0.0.1:1001,192.0.2.10:1002",
                                      "192.0.2.10"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// The screen's connection component swallows connection failures; the
// refusal still reaches the operator at the first call.
TEST(RemotePlainTextConnection, FirstCallShowsTheRefusal) {
    host::TNetConnection connection("netCancAprovEnc");
    connection.ServerName = host::net::cancAprovEncServerName;
    connection.Host = "192.0.2.10";
    connection.Port = 50051;
    connection.ThrowException = false;
    connection.SetConnected(true);
    ASSERT_TRUE(connection.Connected());
    try {
        connection.AppServerAs<host::IRdmCancAprovEnc>().GetItemEnc("0001", "0000000001", "00");
        ADD_FAILURE() << "a plain-text call to 192.0.2.10 was made";
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Conexão sem TLS só é permitida com um servidor local: 192.0.2.10.");
    }
}

TEST(LoopbackHost, WhatCountsAsLocal) {
    for (const char* local : {"localhost", "LocalHost", "127.0.0.1", "127.1.2.3", "::1", "[::1]"}) {
        EXPECT_TRUE(host::net::isLoopbackHost(local)) << local;
    }
    for (const char* remote : {"", "0.0.0.0", "::", "128.0.0.1", "10.0.0.1", "::ffff:10.0.0.1",
                               "localhost.example", "my-localhost", "126.255.255.255"}) {
        EXPECT_FALSE(host::net::isLoopbackHost(remote)) << remote;
    }
}

TEST_F(TlsTest, ClientFilesThatCannotBeReadAreNamed) {
    struct Case {
        ChannelSecurity security;
        std::string refused;
    };
    const std::string missing = file("missing.pem");
    const Case cases[] = {
        {{missing, "", ""},
         "Não foi possível ler o certificado da autoridade do servidor: " + missing + "."},
        {{file("ca.key"), "", ""},
         "O arquivo " + file("ca.key") + " não contém um certificado PEM."},
        {{file("ca.pem"), file("client.pem"), ""},
         "O certificado do cliente e a sua chave devem ser informados juntos."},
        {{file("ca.pem"), missing, file("client.key")},
         "Não foi possível ler o certificado do cliente: " + missing + "."},
        {{file("ca.pem"), file("client.pem"), missing},
         "Não foi possível ler a chave do certificado do cliente: " + missing + "."},
        {{"", file("client.pem"), file("client.key")},
         "O certificado do cliente só é usado com TLS: informe também o certificado da "
         "autoridade que assina o do servidor."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(items(*client("127.0.0.1", 1, c.security)), c.refused);
    }
}

// The server refuses to start, saying why, for each bad set-up.
TEST_F(TlsTest, ServerRefusesBadSetUps) {
    struct Case {
        const char* name;
        std::vector<std::string> options;
        std::string said;
    };
    const std::string missing = file("missing.pem");
    const Case cases[] = {
        {"plain on every IPv4 interface",
         {"--listen", "0.0.0.0:0"},
         "refusing to listen in plain text on 0.0.0.0:0: other hosts could reach it; give "
         "--tls-cert and --tls-key, or listen on a loopback address (127.0.0.1, [::1], localhost)"},
        {"plain on every IPv6 interface",
         {"--listen", "[::]:0"},
         "refusing to listen in plain text on [::]:0"},
        {"plain with no host", {"--listen", ":0"}, "refusing to listen in plain text on :0"},
        {"plain on a documentation address",
         {"--listen", "192.0.2.10:0"},
         "refusing to listen in plain text on 192.0.2.10:0"},
        {"certificate without key",
         {"--tls-cert", file("server.pem")},
         "--tls-cert was given without --tls-key"},
        {"key without certificate",
         {"--tls-key", file("server.key")},
         "--tls-key was given without --tls-cert"},
        {"client CA without certificate",
         {"--tls-client-ca", file("ca.pem")},
         "--tls-client-ca needs --tls-cert and --tls-key: client certificates are only checked "
         "over TLS"},
        {"missing certificate",
         {"--tls-cert", missing, "--tls-key", file("server.key")},
         "cannot read the TLS certificate file '" + missing + "': No such file or directory"},
        {"missing key",
         {"--tls-cert", file("server.pem"), "--tls-key", missing},
         "cannot read the TLS key file '" + missing + "': No such file or directory"},
        {"certificate is not PEM",
         {"--tls-cert", file("server.key"), "--tls-key", file("server.key")},
         "the TLS certificate file '" + file("server.key") + "' holds no PEM certificate"},
        {"key is not PEM",
         {"--tls-cert", file("server.pem"), "--tls-key", file("server.pem")},
         "the TLS key file '" + file("server.pem") + "' holds no unencrypted PEM private key"},
        {"key of another certificate",
         {"--tls-cert", file("server.pem"), "--tls-key", file("client.key")},
         "the TLS key '" + file("client.key") + "' does not belong to the certificate '" +
             file("server.pem") + "'"},
        {"missing client CA",
         {"--tls-cert", file("server.pem"), "--tls-key", file("server.key"), "--tls-client-ca",
          missing},
         "cannot read the TLS client CA file '" + missing + "': No such file or directory"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"--database", m_database->target()};
        if (c.options.front() != "--listen") {
            arguments.insert(arguments.end(), {"--listen", "127.0.0.1:0"});
        }
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        ServerProcess server(arguments);
        const auto code = server.waitForExit(20s);
        ASSERT_TRUE(code.has_value()) << c.name << " still runs: " << server.output();
        EXPECT_NE(*code, 0) << c.name;
        EXPECT_NE(server.output().find(c.said), std::string::npos)
            << c.name << "\n  expected: " << c.said << "\n  output: " << server.output();
        EXPECT_EQ(server.output().find("listening on"), std::string::npos) << c.name;
    }
}

TEST_F(TlsTest, ConfigurationFileNamesTheTlsFiles) {
    const fs::path config = s_certificates / "server.toml";
    {
        std::ofstream out(config);
        out << "listen = \"127.0.0.1:0\"\ndatabase = \"" << m_database->target()
            << "\"\ntls-cert = \"" << file("server.pem") << "\"\ntls-key = \"" << file("server.key")
            << "\"\n";
    }
    ServerProcess server({"--config", config.string()});
    const int port = server.waitUntilListening();
    ASSERT_GT(port, 0) << server.output();
    signOn("127.0.0.1", port, trusting("ca.pem"));
    EXPECT_EQ(items(*client("127.0.0.1", port, trusting("ca.pem"))), "");
    EXPECT_EQ(items(*client("127.0.0.1", port, {})),
              "Não foi possível conectar ao servidor de aplicação 127.0.0.1:" +
                  std::to_string(port) + ".");
}

TEST_F(TlsTest, ClientCertificateRequiredWithClientCa) {
    int port = 0;
    auto options = tlsOptions();
    options.insert(options.end(), {"--tls-client-ca", file("ca.pem")});
    auto server = startServer(options, port);
    const std::string address = "127.0.0.1:" + std::to_string(port);
    signOn("127.0.0.1", port, {file("ca.pem"), file("client.pem"), file("client.key")});
    EXPECT_EQ(
        items(*client("127.0.0.1", port, {file("ca.pem"), file("client.pem"), file("client.key")})),
        "");
    const std::string refused = "O servidor de aplicação " + address +
                                " recusou a conexão segura (TLS): o certificado do cliente não "
                                "foi aceito.";
    EXPECT_EQ(items(*client("127.0.0.1", port, trusting("ca.pem"))), refused);
    EXPECT_EQ(items(*client("127.0.0.1", port,
                            {file("ca.pem"), file("other-client.pem"), file("other-client.key")})),
              refused);
    // The server is unharmed.
    EXPECT_EQ(
        items(*client("127.0.0.1", port, {file("ca.pem"), file("client.pem"), file("client.key")})),
        "");
}

}  // namespace
