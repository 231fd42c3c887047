// A streamed list whose client stops reading: the server cancels it after the
// write-stall limit, so its database connection serves the next call, while
// a client that reads to the end gets every order.
#include <grpcpp/grpcpp.h>
#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/sql/sql_dates.h"
#include "ore06100.grpc.pb.h"
#include "server/order_server.h"
#include "tests/support/server_fixture.h"
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

namespace {

using namespace std::chrono_literals;

constexpr int orderCount = 6000;

class ListStallTest : public testsupport::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        spdlog::set_level(spdlog::level::off);
        database().execute("INSERT INTO FILIAL VALUES ('0001', 'Matriz')");
        std::vector<std::vector<host::Variant>> rows;
        const host::TDateTime when = *host::sql::parseTimestamp("2024-05-10 14:00:00");
        for (int index = 0; index < orderCount; ++index) {
            char number[16];
            std::snprintf(number, sizeof number, "%010d", index + 1);
            rows.push_back(
                {std::string(number), when, std::string(100, 'T'), std::string(50, 'N')});
        }
        host::sql::Transaction transaction(database());
        database().executeMany(
            "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE,"
            " DTEVENTO, DSTITUORCEVE, NMCLIEORCEVE) VALUES ('0001', :N, '00', '2', :D, :T, :C)",
            rows);
        transaction.commit();
    }

    void TearDown() override {
        m_server.reset();
        EngineTest::TearDown();
    }

    void startServer(std::chrono::milliseconds writeStall) {
        ore::server::ServerOptions options;
        options.maxConnections = 1;
        options.connectionWait = 8s;
        options.writeStall = writeStall;
        m_server = testsupport::startLoopbackServer(testDatabase().target(), options);
        m_token = testsupport::signOnAsTester(database(), m_server->port());
    }

    // A channel whose flow-control window stays small, so a client that does
    // not read stops the server's writes after a few chunks.
    std::unique_ptr<ORE06100::rdmCancAprovEnc::Stub> stub() const {
        grpc::ChannelArguments arguments;
        arguments.SetInt(GRPC_ARG_HTTP2_BDP_PROBE, 0);
        arguments.SetInt(GRPC_ARG_HTTP2_STREAM_LOOKAHEAD_BYTES, 16 * 1024);
        // Each test's stalled call must not share a connection with the next.
        arguments.SetInt(GRPC_ARG_USE_LOCAL_SUBCHANNEL_POOL, 1);
        return ORE06100::rdmCancAprovEnc::NewStub(grpc::CreateCustomChannel(
            m_server->address(), grpc::InsecureChannelCredentials(), arguments));
    }

    void prepare(grpc::ClientContext& context) const {
        context.set_deadline(std::chrono::system_clock::now() + 30s);
        context.AddMetadata("ore-session", m_token);
    }

    static ORE06100::GetEncomendaRequest everyOrder() {
        ORE06100::GetEncomendaRequest request;
        request.set_branch("0001");
        auto* filter = request.mutable_filter();
        filter->set_all_orders("T");
        filter->set_all_deliveries("T");
        filter->set_all_salesmen("T");
        filter->set_all_customers("T");
        return request;
    }

    // GetItemEnc on another channel: it needs the pool's one connection.
    grpc::Status fetchItems() const {
        auto other = stub();
        grpc::ClientContext context;
        prepare(context);
        ORE06100::GetItemEncRequest request;
        request.mutable_key()->set_branch("0001");
        request.mutable_key()->set_order_number("0000000001");
        request.mutable_key()->set_sequence("00");
        ORE06100::GetItemEncReply reply;
        return other->GetItemEnc(&context, request, &reply);
    }

    testsupport::RunningServer m_server;
    std::string m_token;
};

TEST_P(ListStallTest, AClientThatStopsReadingLosesTheListAndFreesTheConnection) {
    startServer(300ms);
    auto lister = stub();
    grpc::ClientContext context;
    prepare(context);
    auto reader = lister->GetEncomenda(&context, everyOrder());
    ORE06100::GetEncomendaChunk chunk;
    ASSERT_TRUE(reader->Read(&chunk));

    // The list is left unread; the other call waits at most for the limit,
    // far less than the connection wait or the list's deadline.
    const auto start = std::chrono::steady_clock::now();
    const grpc::Status items = fetchItems();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(items.ok()) << items.error_message();
    EXPECT_LT(waited, 6s);

    int rows = chunk.packet().row_count();
    while (reader->Read(&chunk)) {
        rows += chunk.packet().row_count();
    }
    const grpc::Status listed = reader->Finish();
    EXPECT_EQ(listed.error_code(), grpc::StatusCode::CANCELLED) << listed.error_message();
    EXPECT_LT(rows, orderCount);
}

TEST_P(ListStallTest, AClientThatReadsGetsTheWholeList) {
    startServer(300ms);
    auto lister = stub();
    grpc::ClientContext context;
    prepare(context);
    auto reader = lister->GetEncomenda(&context, everyOrder());
    ORE06100::GetEncomendaChunk chunk;
    int rows = 0;
    while (reader->Read(&chunk)) {
        rows += chunk.packet().row_count();
    }
    const grpc::Status listed = reader->Finish();
    EXPECT_TRUE(listed.ok()) << listed.error_message();
    EXPECT_EQ(rows, orderCount);
    EXPECT_TRUE(fetchItems().ok());
}

}  // namespace

ORE_ON_BOTH_ENGINES(ListStallTest);
