#include "host/net/net_connection.h"

#include <arpa/inet.h>
#include <grpcpp/grpcpp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>

#include "host/data/data_packet.h"
#include "host/data/exceptions.h"
#include "host/net/grpc_canc_aprov_enc.h"
#include "ore06100.grpc.pb.h"
#include "proto/packet_codec.h"

namespace {

using host::DataPacket;
using host::FieldType;
using host::TDateTime;
using host::Variant;

// A stand-in server that answers with whatever the test asks for.
class ScriptedService final : public ORE06100::rdmCancAprovEnc::Service {
public:
    grpc::Status refusal = grpc::Status::OK;
    std::chrono::milliseconds delay{0};
    DataPacket list;
    ORE06100::CancAprovaEncRequest lastCancellation;
    DataPacket lastDelta;

    grpc::Status GetEncomenda(grpc::ServerContext*, const ORE06100::GetEncomendaRequest* request,
                              grpc::ServerWriter<ORE06100::GetEncomendaChunk>* writer) override {
        if (!refusal.ok()) {
            return refusal;
        }
        ORE06100::GetEncomendaChunk chunk;
        bool first = true;
        ore::proto::encodeChunks(list, 4096, [&](ORE06100::Packet& part) {
            chunk.Clear();
            if (first) {
                // A server may change the by-reference fields; the client copies them back.
                ORE06100::OrderFilter& filter = *chunk.mutable_filter();
                filter = request->filter();
                filter.set_order_from("0000000001");
                filter.set_delivery_to(45500.0);
                filter.set_all_customers("T");
                filter.set_customer_list("");
                first = false;
            }
            *chunk.mutable_packet() = part;
            return writer->Write(chunk);
        });
        return grpc::Status::OK;
    }

    grpc::Status GetItemEnc(grpc::ServerContext*, const ORE06100::GetItemEncRequest*,
                            ORE06100::GetItemEncReply* reply) override {
        std::this_thread::sleep_for(delay);
        if (!refusal.ok()) {
            return refusal;
        }
        ore::proto::encodePacket(list, *reply->mutable_items());
        ore::proto::encodePacket(DataPacket{}, *reply->mutable_observation());
        return grpc::Status::OK;
    }

    grpc::Status CancAprovaEnc(grpc::ServerContext*, const ORE06100::CancAprovaEncRequest* request,
                               ORE06100::CancAprovaEncReply* reply) override {
        lastCancellation = *request;
        if (!refusal.ok()) {
            return refusal;
        }
        reply->mutable_key()->set_branch("0002");
        reply->mutable_key()->set_order_number(request->key().order_number());
        reply->mutable_key()->set_sequence(request->key().sequence());
        ore::proto::encodePacket(list, *reply->mutable_shipped_orders());
        return grpc::Status::OK;
    }

    grpc::Status SetEncomenda(grpc::ServerContext*, const ORE06100::SetEncomendaRequest* request,
                              ORE06100::SetEncomendaReply*) override {
        lastDelta = ore::proto::decodePacket(request->delta());
        return refusal;
    }
};

DataPacket sampleList(int rows) {
    DataPacket packet;
    packet.fields = {{"NRORCAEVENTO", FieldType::String, 10},
                     {"NMFANTCLIE", FieldType::String, 50}};
    for (int row = 0; row < rows; ++row) {
        packet.rows.push_back(
            {Variant(std::to_string(row)), Variant("Cliente " + std::to_string(row))});
    }
    return packet;
}

class NetConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        grpc::ServerBuilder builder;
        builder.AddListeningPort("127.0.0.1:0", grpc::InsecureServerCredentials(), &m_port);
        builder.RegisterService(&m_service);
        m_server = builder.BuildAndStart();
        ASSERT_NE(m_port, 0);
    }
    void TearDown() override {
        m_server->Shutdown(std::chrono::system_clock::now());
        m_server->Wait();
    }

    std::unique_ptr<host::TNetConnection> connect(int port) {
        auto connection = std::make_unique<host::TNetConnection>("netCancAprovEnc");
        connection->ServerName = "ORE06100.rdmCancAprovEnc";
        connection->ThrowException = false;
        connection->BeforeConnect = [port](host::TObject* sender) {
            auto* self = static_cast<host::TNetConnection*>(sender);
            self->Host = "127.0.0.1";
            self->Port = port;
        };
        connection->SetConnected(true);
        return connection;
    }

    // A loopback port nobody listens on.
    static int closedPort() {
        const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(socket, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(socket);
        return ntohs(address.sin_port);
    }

    ScriptedService m_service;
    std::unique_ptr<grpc::Server> m_server;
    int m_port = 0;
};

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const host::Exception& error) {
        return error.what();
    }
    return "<no error>";
}

TEST_F(NetConnectionTest, BeforeConnectSuppliesTheAddress) {
    auto connection = connect(m_port);
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(connection->Port, m_port);
    m_service.list = sampleList(3);
    const auto answer =
        connection->AppServerAs<host::IRdmCancAprovEnc>().GetItemEnc("0001", "1", "00").AsArray();
    EXPECT_EQ(answer[0].AsPacket(), sampleList(3));
    EXPECT_EQ(answer[1].AsPacket(), DataPacket{});
}

TEST_F(NetConnectionTest, UnreachableServerRaisesOnlyAtTheCallAndNamesTheAddress) {
    const int port = closedPort();
    auto connection = connect(port);
    auto& client = connection->AppServerAs<host::IRdmCancAprovEnc>();
    const std::string expected =
        "Não foi possível conectar ao servidor de aplicação 127.0.0.1:" + std::to_string(port) +
        ".";
    EXPECT_EQ(errorOf([&] { client.GetEncomendaFilha("0001", "1"); }), expected);
    EXPECT_EQ(errorOf([&] { client.SetEncomenda(Variant(DataPacket{})); }), expected);
}

TEST_F(NetConnectionTest, ConnectingWithThrowExceptionRaisesForAnUnreachableServer) {
    const int port = closedPort();
    host::TNetConnection connection("net");
    connection.ServerName = "ORE06100.rdmCancAprovEnc";
    connection.Port = port;
    EXPECT_EQ(errorOf([&] { connection.SetConnected(true); }),
              "Não foi possível conectar ao servidor de aplicação 127.0.0.1:" +
                  std::to_string(port) + ".");
    EXPECT_FALSE(connection.Connected());
}

TEST_F(NetConnectionTest, RefusalRaisesExactlyTheServerText) {
    auto connection = connect(m_port);
    auto& client = connection->AppServerAs<host::IRdmCancAprovEnc>();
    const std::vector<std::string> texts = {
        "N_PARAM_CONTARECBAIXADA|0000001234",
        "N_PARAM_BOLETO_ENVIADO",
        "Registro alterado por outro usuário.",
    };
    for (const std::string& text : texts) {
        m_service.refusal = grpc::Status(grpc::StatusCode::FAILED_PRECONDITION, text);
        std::string branch = "0001", number = "0000000001", sequence = "00";
        EXPECT_EQ(errorOf([&] {
                      client.CancAprovaEnc(branch, number, sequence, "0001", Variant(), "OPER");
                  }),
                  text);
        EXPECT_EQ(branch, "0001");
    }
}

TEST_F(NetConnectionTest, ListIsAssembledFromChunksAndFiltersAreCopiedBack) {
    m_service.list = sampleList(2000);
    auto connection = connect(m_port);
    std::string from = "", to = "0000000009", allNumbers = "", allDates = "T", salesmen = "0001",
                allSalesmen = "", customers = "0001", allCustomers = "";
    TDateTime dateFrom{45000.0}, dateTo{45001.0};
    const Variant answer = connection->AppServerAs<host::IRdmCancAprovEnc>().GetEncomenda(
        "0001", from, to, allNumbers, dateFrom, dateTo, allDates, salesmen, allSalesmen, customers,
        allCustomers);
    EXPECT_EQ(answer.AsPacket(), sampleList(2000));
    EXPECT_EQ(from, "0000000001");
    EXPECT_EQ(to, "0000000009");
    EXPECT_EQ(dateFrom, TDateTime{45000.0});
    EXPECT_EQ(dateTo, TDateTime{45500.0});
    EXPECT_EQ(salesmen, "0001");
    EXPECT_EQ(customers, "");
    EXPECT_EQ(allCustomers, "T");
}

TEST_F(NetConnectionTest, CancellationCarriesTheReasonAndCopiesTheKeysBack) {
    m_service.list = sampleList(1);
    auto connection = connect(m_port);
    std::string branch = "0001", number = "0000000007", sequence = "01";
    const auto answer =
        connection->AppServerAs<host::IRdmCancAprovEnc>()
            .CancAprovaEnc(branch, number, sequence, "0003", Variant("Observação"), "JOAO")
            .AsArray();
    EXPECT_TRUE(answer[0].IsNull());
    EXPECT_EQ(answer[1].AsPacket(), sampleList(1));
    EXPECT_EQ(branch, "0002");
    EXPECT_EQ(m_service.lastCancellation.justification(), "0003");
    EXPECT_EQ(m_service.lastCancellation.observation(), "Observação");
    EXPECT_EQ(m_service.lastCancellation.operator_code(), "JOAO");

    connection->AppServerAs<host::IRdmCancAprovEnc>().CancAprovaEnc(branch, number, sequence, "",
                                                                    Variant(), "");
    EXPECT_FALSE(m_service.lastCancellation.has_justification());
    EXPECT_FALSE(m_service.lastCancellation.has_observation());
    EXPECT_FALSE(m_service.lastCancellation.has_operator_code());
}

TEST_F(NetConnectionTest, DeltaTravelsWithItsRowStates) {
    auto connection = connect(m_port);
    DataPacket delta = sampleList(3);
    delta.rowStatus = {host::RowStatus::Unmodified, host::RowStatus::Modified,
                       host::RowStatus::Deleted};
    auto& client = connection->AppServerAs<host::IRdmCancAprovEnc>();
    EXPECT_TRUE(client.SetEncomenda(Variant(delta)).IsNull());
    EXPECT_EQ(m_service.lastDelta, delta);
    EXPECT_EQ(errorOf([&] { client.SetEncomenda(Variant("texto")); }),
              "SetEncomenda: o argumento não é um pacote de alterações.");
}

TEST_F(NetConnectionTest, HungServerEndsAtTheDeadline) {
    m_service.delay = std::chrono::milliseconds(600);
    host::net::CallDeadlines deadlines;
    deadlines.call = std::chrono::milliseconds(100);
    auto client = host::net::makeGrpcCancAprovEnc("127.0.0.1", m_port, deadlines);
    EXPECT_EQ(
        errorOf([&] { client->GetItemEnc("0001", "1", "00"); }),
        "O servidor de aplicação 127.0.0.1:" + std::to_string(m_port) + " não respondeu a tempo.");
}

TEST_F(NetConnectionTest, UnknownServerObject) {
    host::TNetConnection connection("net");
    connection.ServerName = "OUTRO.rdmQualquer";
    connection.Port = m_port;
    EXPECT_EQ(errorOf([&] { connection.SetConnected(true); }),
              "Servidor de aplicação desconhecido: OUTRO.rdmQualquer.");
    connection.ThrowException = false;
    connection.SetConnected(true);
    EXPECT_FALSE(connection.Connected());
    EXPECT_EQ(errorOf([&] { connection.AppServer(); }),
              "Sem conexão com o servidor de aplicação 127.0.0.1:" + std::to_string(m_port) + ".");
}

class InProcessServer : public host::IAppServer {};

TEST_F(NetConnectionTest, RegisteredTransportTakesThePlaceOfGrpc) {
    host::TNetConnection::RegisterTransport(
        "ORE06100.rdmCancAprovEnc",
        [](const std::string&, int) { return std::make_unique<InProcessServer>(); });
    host::TNetConnection connection("net");
    connection.ServerName = "ORE06100.rdmCancAprovEnc";
    connection.SetConnected(true);
    EXPECT_NE(dynamic_cast<InProcessServer*>(&connection.AppServer()), nullptr);
    EXPECT_EQ(errorOf([&] { connection.AppServerAs<host::IRdmCancAprovEnc>(); }),
              "Servidor de aplicação incompatível: ORE06100.rdmCancAprovEnc");
    host::TNetConnection::RegisterTransport("ORE06100.rdmCancAprovEnc", nullptr);
    connection.SetConnected(false);
    connection.Port = m_port;
    connection.SetConnected(true);
    EXPECT_NE(dynamic_cast<host::IRdmCancAprovEnc*>(&connection.AppServer()), nullptr);
}

}  // namespace
