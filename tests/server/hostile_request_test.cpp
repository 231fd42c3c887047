// Requests the screen never sends, through a raw gRPC client against a real
// server on each engine: each is refused with its status code and text, and
// the database is exactly as it was.
#include <grpcpp/grpcpp.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/data/data_packet.h"
#include "host/net/net_connection.h"
#include "host/sql/sql_dates.h"
#include "ore06100.grpc.pb.h"
#include "proto/packet_codec.h"
#include "server/order_server.h"
#include "tests/support/server_fixture.h"
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

namespace {

using host::DataPacket;
using host::RowStatus;
using host::TDateTime;
using host::Variant;
using host::sql::Params;

TDateTime at(const char* text) {
    return *host::sql::parseTimestamp(text);
}

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

const char* const invalidArgument = "INVALID_ARGUMENT";
const char* const failedPrecondition = "FAILED_PRECONDITION";
const char* const unauthenticated = "UNAUTHENTICATED";
const char* const permissionDenied = "PERMISSION_DENIED";
const char* const notFound = "NOT_FOUND";

std::string codeName(grpc::StatusCode code) {
    switch (code) {
        case grpc::StatusCode::OK:
            return "OK";
        case grpc::StatusCode::INVALID_ARGUMENT:
            return invalidArgument;
        case grpc::StatusCode::FAILED_PRECONDITION:
            return failedPrecondition;
        case grpc::StatusCode::NOT_FOUND:
            return "NOT_FOUND";
        case grpc::StatusCode::ABORTED:
            return "ABORTED";
        case grpc::StatusCode::INTERNAL:
            return "INTERNAL";
        case grpc::StatusCode::RESOURCE_EXHAUSTED:
            return "RESOURCE_EXHAUSTED";
        case grpc::StatusCode::UNAUTHENTICATED:
            return unauthenticated;
        case grpc::StatusCode::PERMISSION_DENIED:
            return permissionDenied;
        default:
            return "code " + std::to_string(static_cast<int>(code));
    }
}

// "CODE: text", what a refusal is compared by.
std::string outcome(const grpc::Status& status) {
    return codeName(status.error_code()) + ": " + status.error_message();
}

std::string refusal(const char* code, const std::string& text) {
    return std::string(code) + ": " + text;
}

ORE06100::OrderKey key(const std::string& branch, const std::string& number,
                       const std::string& sequence = "00") {
    ORE06100::OrderKey result;
    result.set_branch(branch);
    result.set_order_number(number);
    result.set_sequence(sequence);
    return result;
}

ORE06100::GetEncomendaRequest listRequest(const std::string& branch) {
    ORE06100::GetEncomendaRequest request;
    request.set_branch(branch);
    ORE06100::OrderFilter& filter = *request.mutable_filter();
    filter.set_all_orders("T");
    filter.set_all_deliveries("T");
    filter.set_all_salesmen("T");
    filter.set_all_customers("T");
    return request;
}

ORE06100::CancAprovaEncRequest cancelRequest(const std::string& number,
                                             const std::string& sequence = "00",
                                             const std::string& branch = "0001") {
    ORE06100::CancAprovaEncRequest request;
    *request.mutable_key() = key(branch, number, sequence);
    request.set_justification("0001");
    request.set_observation("Cliente desistiu");
    request.set_operator_code("OPER");
    return request;
}

class HostileRequestTest : public testsupport::EngineTest {
protected:
    using Stub = ORE06100::rdmCancAprovEnc::Stub;

    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        spdlog::set_level(spdlog::level::off);
        exec("INSERT INTO FILIAL VALUES ('0001', 'Matriz'), ('0002', 'Sul'), ('ÃÃÃÃ', 'Acentos')");
        exec("INSERT INTO JUSTEXCHIS VALUES ('0001', 'Desistência'), ('0002', 'Erro')");
        exec(
            "INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NMFANTCLIE) VALUES"
            " ('000000000000000000001', 'J', 'Buffet Alegria')");
        exec("INSERT INTO PRECOBASE VALUES ('01', 'Tabela padrão')");
        addOrder("0001", "0000000001", "00", "2");
        addOrder("0001", "0000000002", "00", "2");
        addOrder("0001", "0000000002", "01", "2");
        addOrder("0001", "0000000003", "00", "1");
        addOrder("0001", "0000000004", "00", "8");
        addOrder("0002", "0000000005", "00", "2");
        addOrder("ÃÃÃÃ", "0000000006", "00", "2");
        exec("INSERT INTO PEDIDO VALUES ('0001', 'P000000001', '0000000001', '00', 'A')");
        exec(
            "INSERT INTO CONTARECEBER VALUES ('0001', '0000000001', '0000000001', '00', 10.5,"
            " 'N', 'N'), ('0001', '0000000002', '0000000002', '00', 20, 'N', 'N')");
        exec(
            "INSERT INTO OBSJUSTORC (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRSEQHISTORCA,"
            " TXOBSJUSTORC) VALUES ('0001', '0000000002', '00', 1, 'obs')");

        ore::server::ServerOptions options;
        options.clock = [] { return at("2024-06-01 10:30:00"); };
        m_server = testsupport::startLoopbackServer(testDatabase().target(), options);
        m_channel = grpc::CreateChannel("127.0.0.1:" + std::to_string(m_server->port()),
                                        grpc::InsecureChannelCredentials());
        m_stub = ORE06100::rdmCancAprovEnc::NewStub(m_channel);
        m_token = testsupport::signOnAsTester(database(), m_server->port());
    }

    void TearDown() override {
        m_stub.reset();
        m_channel.reset();
        m_server.reset();
        EngineTest::TearDown();
    }

    void exec(const std::string& statement, const Params& params = {}) {
        database().execute(statement, params);
    }

    void addOrder(const std::string& branch, const std::string& number, const std::string& sequence,
                  const std::string& status, const char* delivery = "2024-05-10 14:00:00") {
        exec(
            "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE,"
            " DTEVENTO, QTCONVORCEVE, CDPRECOBASE, CDVENDEDOR, CDCLIENTE, DSTITUORCEVE,"
            " DTHRENTROREV) VALUES (:B, :N, :S, :ST, :EV, 120, '01', '0001',"
            " '000000000000000000001', 'Festa', :D)",
            {{"B", branch},
             {"N", number},
             {"S", sequence},
             {"ST", status},
             {"EV", at("2024-05-20 19:00:00")},
             {"D", at(delivery)}});
    }

    // Every row of the tables a request could change, in a stable order.
    std::string snapshot() {
        return testsupport::tableSnapshot(
            database(),
            {"ORCAEVENTO", "ITORCAEVEN", "OBSJUSTORC", "PEDIDO", "ORDEMPROD", "CONTARECEBER",
             "JUSTEXCHIS", "FILIAL", "OPERADOR", "OPERFILIAL", "SESSAOOPER"});
    }

    std::string orderStatus(const std::string& branch, const std::string& number,
                            const std::string& sequence = "00") {
        const DataPacket packet = database().query(
            "SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE CDFILIAL = :B AND NRORCAEVENTO = :N AND"
            " NRSEQORCAEVE = :S",
            {{"B", branch}, {"N", number}, {"S", sequence}});
        return packet.rows.empty() ? "<none>" : packet.rows.front().front().AsString();
    }

    void setDeadline(grpc::ClientContext& context) {
        context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(30));
        if (!m_token.empty()) {
            context.AddMetadata("ore-session", m_token);
        }
    }

    // One unary call of the stub with the fixture's deadline and session.
    template <typename Request, typename Reply>
    grpc::Status unary(grpc::Status (ORE06100::rdmCancAprovEnc::Stub::*method)(grpc::ClientContext*,
                                                                               const Request&,
                                                                               Reply*),
                       const Request& request) {
        Reply reply;
        grpc::ClientContext context;
        setDeadline(context);
        return (m_stub.get()->*method)(&context, request, &reply);
    }

    grpc::Status signOn(const std::string& code, const std::string& password) {
        ORE06100::SignOnRequest request;
        request.set_operator_code(code);
        request.set_password(password);
        return unary(&Stub::SignOn, request);
    }

    grpc::Status preview(const ORE06100::OrderKey& orderKey) {
        ORE06100::PreviewCancAprovaEncRequest request;
        *request.mutable_key() = orderKey;
        return unary(&Stub::PreviewCancAprovaEnc, request);
    }

    grpc::Status history(const ORE06100::HistCancAprovFilter& filter) {
        ORE06100::GetHistCancAprovRequest request;
        *request.mutable_filter() = filter;
        return unary(&Stub::GetHistCancAprov, request);
    }

    grpc::Status historyDocuments(const std::string& recordId) {
        ORE06100::GetHistCancAprovDocRequest request;
        request.set_record_id(recordId);
        return unary(&Stub::GetHistCancAprovDoc, request);
    }

    // The call made with `token` instead of the fixture's session.
    grpc::Status withToken(const std::string& token, const std::function<grpc::Status()>& call) {
        const std::string kept = m_token;
        m_token = token;
        grpc::Status status = call();
        m_token = kept;
        return status;
    }

    grpc::Status list(const ORE06100::GetEncomendaRequest& request, DataPacket* packet = nullptr) {
        grpc::ClientContext context;
        setDeadline(context);
        auto reader = m_stub->GetEncomenda(&context, request);
        ORE06100::GetEncomendaChunk chunk;
        ore::proto::PacketAssembler assembler;
        while (reader->Read(&chunk)) {
            assembler.add(chunk.packet());
        }
        grpc::Status status = reader->Finish();
        if (status.ok() && packet != nullptr) {
            *packet = assembler.take();
        }
        return status;
    }

    grpc::Status items(const ORE06100::OrderKey& orderKey) {
        ORE06100::GetItemEncRequest request;
        *request.mutable_key() = orderKey;
        return unary(&Stub::GetItemEnc, request);
    }

    grpc::Status children(const std::string& branch, const std::string& number) {
        ORE06100::GetEncomendaFilhaRequest request;
        request.set_branch(branch);
        request.set_order_number(number);
        return unary(&Stub::GetEncomendaFilha, request);
    }

    grpc::Status cancel(const ORE06100::CancAprovaEncRequest& request) {
        return unary(&Stub::CancAprovaEnc, request);
    }

    grpc::Status apply(const ORE06100::Packet& delta) {
        ORE06100::SetEncomendaRequest request;
        *request.mutable_delta() = delta;
        return unary(&Stub::SetEncomenda, request);
    }

    grpc::Status apply(const DataPacket& delta) {
        ORE06100::Packet message;
        ore::proto::encodePacket(delta, message);
        return apply(message);
    }

    // The order list of a branch as the screen holds it.
    DataPacket orders(const std::string& branch) {
        DataPacket packet;
        const grpc::Status status = list(listRequest(branch), &packet);
        EXPECT_TRUE(status.ok()) << outcome(status);
        return packet;
    }

    static std::vector<Variant> rowOf(const DataPacket& packet, const std::string& number,
                                      const std::string& sequence = "00") {
        const auto numberAt = static_cast<std::size_t>(packet.FieldIndex("NRORCAEVENTO"));
        const auto sequenceAt = static_cast<std::size_t>(packet.FieldIndex("NRSEQORCAEVE"));
        for (const auto& row : packet.rows) {
            if (row[numberAt].AsString() == number && row[sequenceAt].AsString() == sequence) {
                return row;
            }
        }
        ADD_FAILURE() << "no row " << number << "/" << sequence;
        return std::vector<Variant>(packet.fields.size());
    }

    static void set(const DataPacket& packet, std::vector<Variant>& row, const char* field,
                    Variant value) {
        row[static_cast<std::size_t>(packet.FieldIndex(field))] = std::move(value);
    }

    static DataPacket deletion(const DataPacket& list, std::vector<std::vector<Variant>> rows) {
        DataPacket delta;
        delta.fields = list.fields;
        for (auto& row : rows) {
            delta.rows.push_back(std::move(row));
            delta.rowStatus.push_back(RowStatus::Deleted);
        }
        return delta;
    }

    static DataPacket change(const DataPacket& list, std::vector<Variant> original,
                             const std::vector<std::pair<const char*, Variant>>& changes) {
        DataPacket delta;
        delta.fields = list.fields;
        std::vector<Variant> updated = original;
        for (const auto& [field, value] : changes) {
            set(list, updated, field, value);
        }
        delta.rows = {std::move(original), std::move(updated)};
        delta.rowStatus = {RowStatus::Unmodified, RowStatus::Modified};
        return delta;
    }

    testsupport::RunningServer m_server;
    std::shared_ptr<grpc::Channel> m_channel;
    std::unique_ptr<ORE06100::rdmCancAprovEnc::Stub> m_stub;
    std::string m_token;
};

struct Case {
    const char* name;
    std::function<grpc::Status()> call;
    std::string expected;
};

#define EXPECT_EVERY_CASE_REFUSED(cases)                    \
    do {                                                    \
        const std::string before = snapshot();              \
        for (const Case& test : (cases)) {                  \
            SCOPED_TRACE(test.name);                        \
            EXPECT_EQ(outcome(test.call()), test.expected); \
            EXPECT_EQ(snapshot(), before);                  \
        }                                                   \
    } while (false)

ORE06100::Packet oneTextField(const std::string& name = "CDFILIAL") {
    ORE06100::Packet packet;
    ORE06100::FieldDefinition& field = *packet.add_fields();
    field.set_name(name);
    field.set_kind(ORE06100::FIELD_STRING);
    field.set_size(4);
    return packet;
}

TEST_P(HostileRequestTest, MalformedPacketsAreRefusedBeforeAnythingIsAllocated) {
    const std::string bad = "Pacote de dados inválido: ";
    const std::vector<Case> cases = {
        {"four billion rows of no fields",
         [&] {
             ORE06100::Packet packet;
             packet.set_row_count(4'000'000'000U);
             return apply(packet);
         },
         refusal(invalidArgument, bad + "registros sem campos.")},
        {"four billion rows of one field",
         [&] {
             ORE06100::Packet packet = oneTextField();
             packet.set_row_count(4'000'000'000U);
             packet.add_columns();
             return apply(packet);
         },
         refusal(invalidArgument, bad + "mais de 10000 registros.")},
        {"rows the columns do not hold",
         [&] {
             ORE06100::Packet packet = oneTextField();
             packet.set_row_count(10000);
             packet.add_columns()->add_text_lengths(0);
             return apply(packet);
         },
         refusal(invalidArgument, bad + "faltam valores no campo CDFILIAL.")},
        {"every row null but too many cells",
         [&] {
             ORE06100::Packet packet;
             for (int field = 0; field < 64; ++field) {
                 ORE06100::FieldDefinition& def = *packet.add_fields();
                 def.set_name("F" + std::to_string(field));
                 packet.add_columns()->set_nulls(std::string(1250, '\xFF'));
             }
             packet.set_row_count(10000);
             return apply(packet);
         },
         refusal(invalidArgument, bad + "mais de 400000 valores.")},
        {"too many fields",
         [&] {
             ORE06100::Packet packet;
             for (int field = 0; field < 65; ++field) {
                 packet.add_fields()->set_name("F" + std::to_string(field));
                 packet.add_columns();
             }
             return apply(packet);
         },
         refusal(invalidArgument, bad + "mais de 64 campos.")},
        {"value beyond 64 KiB",
         [&] {
             ORE06100::Packet packet = oneTextField();
             packet.set_row_count(1);
             ORE06100::Column& column = *packet.add_columns();
             column.set_text(std::string(65537, 'X'));
             column.add_text_lengths(65537);
             return apply(packet);
         },
         refusal(invalidArgument, bad + "valor com mais de 65536 bytes no campo CDFILIAL.")},
        {"long field name",
         [&] {
             ORE06100::Packet packet = oneTextField(std::string(1000, 'N'));
             packet.add_columns();
             return apply(packet);
         },
         refusal(invalidArgument, bad + "nome de campo com mais de 64 bytes.")},
        {"field name with a newline",
         [&] {
             ORE06100::Packet packet = oneTextField("CD\nFILIAL");
             packet.add_columns();
             return apply(packet);
         },
         refusal(invalidArgument, bad + "nome de campo com caracteres inválidos.")},
        {"field twice",
         [&] {
             ORE06100::Packet packet = oneTextField();
             *packet.add_fields() = packet.fields(0);
             packet.add_columns();
             packet.add_columns();
             return apply(packet);
         },
         refusal(invalidArgument, bad + "campo CDFILIAL repetido.")},
        {"lengths past the text",
         [&] {
             ORE06100::Packet packet = oneTextField();
             packet.set_row_count(2);
             ORE06100::Column& column = *packet.add_columns();
             column.set_text("0001");
             column.add_text_lengths(4'000'000'000U);
             column.add_text_lengths(4'000'000'000U);
             return apply(packet);
         },
         refusal(invalidArgument, bad + "valor com mais de 65536 bytes no campo CDFILIAL.")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);
}

TEST_P(HostileRequestTest, TextsAreCheckedAgainstTheWidthOfTheirColumnInCharacters) {
    const std::string longText(100000, 'J');
    const std::string nul(
        "00\0"
        "1",
        4);
    const std::string latin1 = "Ma\xE7\xE3";
    auto cancelWith = [&](auto edit) {
        return [this, edit] {
            ORE06100::CancAprovaEncRequest request = cancelRequest("0000000001");
            edit(request);
            return cancel(request);
        };
    };
    const std::vector<Case> cases = {
        {"five-character branch", [&] { return children("ÃÃÃÃÃ", "0000000001"); },
         refusal(invalidArgument, "O campo CDFILIAL tem mais de 4 caracteres.")},
        {"100,000-character justification",
         cancelWith([&](auto& r) { r.set_justification(longText); }),
         refusal(invalidArgument, "O campo CDJUSTEXCHIS tem mais de 4 caracteres.")},
        {"justification with NUL", cancelWith([&](auto& r) { r.set_justification(nul); }),
         refusal(invalidArgument, "O campo CDJUSTEXCHIS contém o caractere nulo.")},
        {"Latin-1 justification", cancelWith([&](auto& r) { r.set_justification(latin1); }),
         refusal(invalidArgument, "O campo CDJUSTEXCHIS não é um texto UTF-8 válido.")},
        {"13-character operator",
         cancelWith([&](auto& r) { r.set_operator_code("OPERADORXXXXX"); }),
         refusal(invalidArgument, "O campo CDOPERADOR tem mais de 12 caracteres.")},
        {"operator with NUL", cancelWith([&](auto& r) { r.set_operator_code(nul); }),
         refusal(invalidArgument, "O campo CDOPERADOR contém o caractere nulo.")},
        {"observation with NUL", cancelWith([&](auto& r) { r.set_observation("a" + nul); }),
         refusal(invalidArgument, "O campo TXOBSJUSTORC contém o caractere nulo.")},
        {"Latin-1 observation", cancelWith([&](auto& r) { r.set_observation(latin1); }),
         refusal(invalidArgument, "O campo TXOBSJUSTORC não é um texto UTF-8 válido.")},
        {"observation beyond 32000 characters",
         cancelWith([&](auto& r) { r.set_observation(std::string(32001, 'o')); }),
         refusal(invalidArgument, "O campo TXOBSJUSTORC tem mais de 32000 caracteres.")},
        {"Latin-1 branch in the key",
         cancelWith([&](auto& r) { r.mutable_key()->set_branch("\xC3"); }),
         refusal(invalidArgument, "O campo CDFILIAL não é um texto UTF-8 válido.")},
        {"three-character sequence",
         cancelWith([&](auto& r) { r.mutable_key()->set_sequence("000"); }),
         refusal(invalidArgument, "O campo NRSEQORCAEVE tem mais de 2 caracteres.")},
        {"11-character order number", [&] { return items(key("0001", "00000000001")); },
         refusal(invalidArgument, "O campo NRORCAEVENTO tem mais de 10 caracteres.")},
        {"order number with NUL within the width", [&] { return items(key("0001", "0000" + nul)); },
         refusal(invalidArgument, "O campo NRORCAEVENTO contém o caractere nulo.")},
        {"Latin-1 list branch", [&] { return list(listRequest("\xFF")); },
         refusal(invalidArgument, "O campo CDFILIAL não é um texto UTF-8 válido.")},
        {"Latin-1 salesman list",
         [&] {
             ORE06100::GetEncomendaRequest request = listRequest("0001");
             request.mutable_filter()->set_all_salesmen("");
             request.mutable_filter()->set_salesman_list("0001,\xE7");
             return list(request);
         },
         refusal(invalidArgument, "O campo Lista de vendedores não é um texto UTF-8 válido.")},
        {"Latin-1 customer list not in use",
         [&] {
             ORE06100::GetEncomendaRequest request = listRequest("0001");
             request.mutable_filter()->set_customer_list("\xE7");
             return list(request);
         },
         refusal(invalidArgument, "O campo Lista de clientes não é um texto UTF-8 válido.")},
        {"two-character flag",
         [&] {
             ORE06100::GetEncomendaRequest request = listRequest("0001");
             request.mutable_filter()->set_all_orders("TT");
             return list(request);
         },
         refusal(invalidArgument, "O campo NrOrcaEven.Todos tem mais de 1 caracteres.")},
        {"11-character order number in the filter",
         [&] {
             ORE06100::GetEncomendaRequest request = listRequest("0001");
             request.mutable_filter()->set_order_to("00000000001");
             return list(request);
         },
         refusal(invalidArgument, "O campo NrOrcaEven.NrFin tem mais de 10 caracteres.")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);
}

TEST_P(HostileRequestTest, TextsOfTheFullWidthInCharactersAreAccepted) {
    EXPECT_EQ(outcome(children("ÃÃÃÃ", "0000000006")), "OK: ");
    EXPECT_EQ(outcome(items(key("ÃÃÃÃ", "0000000006"))), "OK: ");
    DataPacket packet;
    EXPECT_EQ(outcome(list(listRequest("ÃÃÃÃ"), &packet)), "OK: ");
    EXPECT_EQ(packet.rows.size(), 1u);
    // Twelve characters of two bytes each: the operator signs on and is
    // recorded whole.
    testsupport::addTestOperator(database(), "ÇÇÇÇÇÇÇÇÇÇÇÇ", "senha", "ÃÃÃÃ", {{"ÃÃÃÃ", true}});
    m_token = testsupport::signOnAs(m_server->port(), "ÇÇÇÇÇÇÇÇÇÇÇÇ", "senha");
    ORE06100::CancAprovaEncRequest request = cancelRequest("0000000006", "00", "ÃÃÃÃ");
    request.set_operator_code("ÇÇÇÇÇÇÇÇÇÇÇÇ");
    std::string observation;
    for (int character = 0; character < 32000; ++character) {
        observation += "ç";
    }
    request.set_observation(observation);
    EXPECT_EQ(outcome(cancel(request)), "OK: ");
    EXPECT_EQ(orderStatus("ÃÃÃÃ", "0000000006"), "1");
    EXPECT_EQ(database()
                  .query("SELECT CDOPEJUSTORC FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000006'")
                  .rows.front()
                  .front()
                  .AsString(),
              "ÇÇÇÇÇÇÇÇÇÇÇÇ");
}

TEST_P(HostileRequestTest, ImpossibleDatesAreRefused) {
    const std::string text =
        "O campo DtEntrega.DtIni não contém uma data válida (anos de 1 a 9999).";
    auto listFrom = [&](double days, bool all) {
        return [this, days, all] {
            ORE06100::GetEncomendaRequest request = listRequest("0001");
            request.mutable_filter()->set_delivery_from(days);
            request.mutable_filter()->set_delivery_to(at("2024-12-31 00:00:00").days);
            request.mutable_filter()->set_all_deliveries(all ? "T" : "");
            return list(request);
        };
    };
    const double yearOne = at("0001-01-01 00:00:00").days;
    const double lastDay = at("9999-12-31 00:00:00").days;
    const std::vector<Case> cases = {
        {"NaN", listFrom(nan, false), refusal(invalidArgument, text)},
        {"NaN unused", listFrom(nan, true), refusal(invalidArgument, text)},
        {"infinity", listFrom(infinity, false), refusal(invalidArgument, text)},
        {"minus infinity", listFrom(-infinity, false), refusal(invalidArgument, text)},
        {"before year 1", listFrom(yearOne - 1, false), refusal(invalidArgument, text)},
        {"after year 9999", listFrom(lastDay + 1, false), refusal(invalidArgument, text)},
        {"far beyond", listFrom(1e300, false), refusal(invalidArgument, text)},
        {"until NaN",
         [&] {
             ORE06100::GetEncomendaRequest request = listRequest("0001");
             request.mutable_filter()->set_delivery_to(nan);
             return list(request);
         },
         refusal(invalidArgument,
                 "O campo DtEntrega.DtFin não contém uma data válida (anos de 1 a 9999).")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);
}

TEST_P(HostileRequestTest, DatesAtBothEndsOfTheRangeAreListed) {
    addOrder("0001", "0000000007", "00", "2", "9999-12-31 10:00:00");
    addOrder("0001", "0000000008", "00", "2", "0001-01-01 10:00:00");
    auto listed = [&](const char* from, const char* until) {
        ORE06100::GetEncomendaRequest request = listRequest("0001");
        request.mutable_filter()->set_all_deliveries("");
        request.mutable_filter()->set_delivery_from(at(from).days);
        request.mutable_filter()->set_delivery_to(at(until).days);
        DataPacket packet;
        EXPECT_EQ(outcome(list(request, &packet)), "OK: ");
        std::vector<std::string> numbers;
        for (const auto& row : packet.rows) {
            numbers.push_back(row[0].AsString());
        }
        return numbers;
    };
    EXPECT_EQ(listed("9999-12-31 00:00:00", "9999-12-31 00:00:00"),
              std::vector<std::string>{"0000000007"});
    EXPECT_EQ(listed("0001-01-01 00:00:00", "0001-01-01 00:00:00"),
              std::vector<std::string>{"0000000008"});
}

TEST_P(HostileRequestTest, JustificationMustBeRegistered) {
    const std::string text = "Justificativa de exclusão do histórico não cadastrada.";
    const DataPacket list = orders("0001");
    const std::vector<Case> cases = {
        {"cancellation",
         [&] {
             ORE06100::CancAprovaEncRequest request = cancelRequest("0000000001");
             request.set_justification("9999");
             return cancel(request);
         },
         refusal(invalidArgument, text)},
        {"change log",
         [&] {
             return apply(
                 change(list, rowOf(list, "0000000001"), {{"CDJUSTEXCHIS", Variant("9999")}}));
         },
         refusal(invalidArgument, text)},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);

    // The real client shows the same text.
    auto connection = testsupport::connectTo(m_server->port());
    std::string branch = "0001", number = "0000000001", sequence = "00";
    const std::string before = snapshot();
    try {
        connection->AppServerAs<host::IRdmCancAprovEnc>().CancAprovaEnc(
            branch, number, sequence, "9999", Variant("texto"), "OPER");
        ADD_FAILURE() << "accepted";
    } catch (const host::Exception& error) {
        EXPECT_EQ(error.what(), text);
    }
    EXPECT_EQ(snapshot(), before);
}

TEST_P(HostileRequestTest, RefusalsQuoteOnlyAShortPrefixOfWhatWasSent) {
    const std::vector<Case> cases = {
        {"100 KB customer code",
         [&] {
             ORE06100::GetEncomendaRequest request = listRequest("0001");
             request.mutable_filter()->set_all_customers("");
             request.mutable_filter()->set_customer_list(std::string(100000, '7'));
             return list(request);
         },
         refusal(invalidArgument, "Lista de clientes inválida: o código \"" + std::string(32, '7') +
                                      "...\" tem mais de 21 caracteres.")},
        {"salesman code forging a log line",
         [&] {
             ORE06100::GetEncomendaRequest request = listRequest("0001");
             request.mutable_filter()->set_all_salesmen("");
             request.mutable_filter()->set_salesman_list("01\n[warn] forged");
             return list(request);
         },
         refusal(invalidArgument,
                 "Lista de vendedores inválida: o código \"01?[warn] forged\" tem mais de 4 "
                 "caracteres.")},
        {"100 KB branch", [&] { return list(listRequest(std::string(100000, 'B'))); },
         refusal(invalidArgument, "O campo CDFILIAL tem mais de 4 caracteres.")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);
}

TEST_P(HostileRequestTest, EveryCallIsOneLogLineWhateverTheClientSent) {
    std::ostringstream captured;
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(captured);
    sink->set_pattern("%l %v");
    const auto previous = spdlog::default_logger();
    spdlog::set_default_logger(std::make_shared<spdlog::logger>("capture", sink));
    spdlog::set_level(spdlog::level::info);

    ORE06100::GetEncomendaRequest request = listRequest("0001");
    request.mutable_filter()->set_all_salesmen("");
    request.mutable_filter()->set_salesman_list("01\r\n[warn] forged\x1B[2J");
    list(request);
    ORE06100::Packet packet = oneTextField();
    packet.set_row_count(1);
    packet.add_columns()->set_nulls(std::string(1, '\x01'));
    apply(packet);

    spdlog::set_default_logger(previous);
    spdlog::set_level(spdlog::level::off);
    const std::string log = captured.str();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_EQ(log.find('\x1B'), std::string::npos) << log;
    EXPECT_EQ(log.find("\nforged"), std::string::npos) << log;
}

TEST_P(HostileRequestTest, DeltaRowsMustCarryEveryStoredColumn) {
    auto keyOnly = [&](const std::string& branch, const std::string& number,
                       const std::string& sequence) {
        return [this, branch, number, sequence] {
            DataPacket delta;
            delta.fields = {{"CDFILIAL", host::FieldType::String, 4},
                            {"NRORCAEVENTO", host::FieldType::String, 10},
                            {"NRSEQORCAEVE", host::FieldType::FixedString, 2}};
            delta.rows = {{Variant(branch), Variant(number), Variant(sequence)}};
            delta.rowStatus = {RowStatus::Deleted};
            return apply(delta);
        };
    };
    const std::string text = "Pacote de alterações inválido: falta o campo IDSITUORCEVE.";
    const DataPacket list = orders("0001");
    const std::vector<Case> cases = {
        {"approved order", keyOnly("0001", "0000000001", "00"), refusal(invalidArgument, text)},
        {"cancelled order", keyOnly("0001", "0000000004", "00"), refusal(invalidArgument, text)},
        {"pending order", keyOnly("0001", "0000000003", "00"), refusal(invalidArgument, text)},
        {"another branch's order", keyOnly("0002", "0000000005", "00"),
         refusal(invalidArgument, text)},
        {"parent with a child", keyOnly("0001", "0000000002", "00"),
         refusal(invalidArgument, text)},
        {"one stored column left out",
         [&] {
             DataPacket delta = deletion(list, {rowOf(list, "0000000001")});
             const auto at = static_cast<std::size_t>(delta.FieldIndex("DTVALIORCEVE"));
             delta.fields.erase(delta.fields.begin() + static_cast<std::ptrdiff_t>(at));
             delta.rows[0].erase(delta.rows[0].begin() + static_cast<std::ptrdiff_t>(at));
             return apply(delta);
         },
         refusal(invalidArgument, "Pacote de alterações inválido: falta o campo DTVALIORCEVE.")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);
}

TEST_P(HostileRequestTest, OnlyListedOrdersWithoutChildrenAreDeleted) {
    const DataPacket list = orders("0001");
    // Rows that match what is stored, so that only the rule can refuse them.
    auto storedRow = [&](const std::string& number, const char* status) {
        std::vector<Variant> row = rowOf(list, "0000000001");
        set(list, row, "NRORCAEVENTO", Variant(number));
        set(list, row, "IDSITUORCEVE", Variant(status));
        return row;
    };
    const std::vector<Case> cases = {
        {"pending order", [&] { return apply(deletion(list, {storedRow("0000000003", "1")})); },
         refusal(failedPrecondition,
                 "A encomenda não pode ser excluída, pois não está aprovada nem fechada.")},
        {"cancelled order", [&] { return apply(deletion(list, {storedRow("0000000004", "8")})); },
         refusal(failedPrecondition,
                 "A encomenda não pode ser excluída, pois não está aprovada nem fechada.")},
        {"parent before its child",
         [&] {
             return apply(deletion(
                 list, {rowOf(list, "0000000002", "00"), rowOf(list, "0000000002", "01")}));
         },
         refusal(failedPrecondition,
                 "A encomenda não pode ser excluída, pois existe(m) encomenda(s) filha(s).")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);

    // The child first, then its parent: both go.
    exec("DELETE FROM CONTARECEBER WHERE NRORCAEVENTO = '0000000002'");
    EXPECT_EQ(outcome(apply(deletion(
                  list, {rowOf(list, "0000000002", "01"), rowOf(list, "0000000002", "00")}))),
              "OK: ");
    EXPECT_EQ(orderStatus("0001", "0000000002", "00"), "<none>");
    EXPECT_EQ(orderStatus("0001", "0000000002", "01"), "<none>");
}

TEST_P(HostileRequestTest, ChangeLogValuesAreCheckedAgainstTheirColumns) {
    const DataPacket list = orders("0001");
    const std::vector<Variant> row = rowOf(list, "0000000001");
    auto changed = [&](const char* field, Variant value) {
        return [this, &list, &row, field, value] {
            return apply(change(list, row, {{field, value}}));
        };
    };
    const std::string nul("MA\0RIA", 6);
    const std::vector<Case> cases = {
        {"13-character operator", changed("CDOPEJUSTORC", Variant("MARIAXXXXXXXX")),
         refusal(invalidArgument, "O campo CDOPEJUSTORC tem mais de 12 caracteres.")},
        {"operator with NUL", changed("CDOPEJUSTORC", Variant(nul)),
         refusal(invalidArgument, "O campo CDOPEJUSTORC contém o caractere nulo.")},
        {"Latin-1 operator", changed("CDOPEJUSTORC", Variant("JO\xC3O")),
         refusal(invalidArgument, "O campo CDOPEJUSTORC não é um texto UTF-8 válido.")},
        {"60,000-character justification",
         changed("CDJUSTEXCHIS", Variant(std::string(60000, '1'))),
         refusal(invalidArgument, "O campo CDJUSTEXCHIS tem mais de 4 caracteres.")},
        {"NaN date", changed("DTEVENTO", Variant(TDateTime{nan})),
         refusal(invalidArgument,
                 "O campo DTEVENTO não contém uma data válida (anos de 1 a 9999).")},
        {"infinite quantity", changed("QTCONVORCEVE", Variant(infinity)),
         refusal(invalidArgument, "O campo QTCONVORCEVE não contém um número válido.")},
        {"date sent as text",
         [&] {
             DataPacket delta = change(list, row, {});
             delta.fields[static_cast<std::size_t>(delta.FieldIndex("DTEVENTO"))].type =
                 host::FieldType::String;
             for (auto& values : delta.rows) {
                 values[static_cast<std::size_t>(delta.FieldIndex("DTEVENTO"))] =
                     Variant("2024-05-20");
             }
             return apply(delta);
         },
         refusal(invalidArgument,
                 "Pacote de alterações inválido: o campo DTEVENTO tem o tipo errado.")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);
}

TEST_P(HostileRequestTest, ParentWithChildOrdersIsNotCancelled) {
    const std::vector<Case> cases = {
        {"parent", [&] { return cancel(cancelRequest("0000000002", "00")); },
         refusal(failedPrecondition,
                 "Aprovação da encomenda não pode ser cancelada, pois existe encomenda filha. "
                 "Operação Bloqueada.")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);
    // The child itself is cancelled as before.
    EXPECT_EQ(outcome(cancel(cancelRequest("0000000002", "01"))), "OK: ");
    EXPECT_EQ(orderStatus("0001", "0000000002", "01"), "1");
    EXPECT_EQ(orderStatus("0001", "0000000002", "00"), "2");
}

TEST_P(HostileRequestTest, SignOnsOutsideTheColumnsAreRefusedWithoutCountingAFailure) {
    const std::string nul("TES\0TE", 6);
    const std::vector<Case> cases = {
        {"13-character code", [&] { return signOn("TESTEXXXXXXXX", "x"); },
         refusal(invalidArgument, "O campo CDOPERADOR tem mais de 12 caracteres.")},
        {"100 KB code", [&] { return signOn(std::string(100000, 'T'), "x"); },
         refusal(invalidArgument, "O campo CDOPERADOR tem mais de 12 caracteres.")},
        {"code with NUL", [&] { return signOn(nul, testsupport::testPassword); },
         refusal(invalidArgument, "O campo CDOPERADOR contém o caractere nulo.")},
        {"Latin-1 code", [&] { return signOn("JO\xC3O", "x"); },
         refusal(invalidArgument, "O campo CDOPERADOR não é um texto UTF-8 válido.")},
        {"257-character password", [&] { return signOn("TESTE", std::string(257, 's')); },
         refusal(invalidArgument, "O campo senha tem mais de 256 caracteres.")},
        {"1 MB password", [&] { return signOn("TESTE", std::string(1000000, 's')); },
         refusal(invalidArgument, "O campo senha tem mais de 256 caracteres.")},
        {"password with NUL",
         [&] { return signOn("TESTE", std::string(testsupport::testPassword) + '\0'); },
         refusal(invalidArgument, "O campo senha contém o caractere nulo.")},
        {"Latin-1 password", [&] { return signOn("TESTE", "senha\xE7"); },
         refusal(invalidArgument, "O campo senha não é um texto UTF-8 válido.")},
        {"no code", [&] { return signOn("", testsupport::testPassword); },
         refusal(unauthenticated, "Operador ou senha inválidos.")},
        {"no password", [&] { return signOn("TESTE", ""); },
         refusal(unauthenticated, "Operador ou senha inválidos.")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);
    // 256 characters of two bytes each are a password like any other.
    std::string longest;
    for (int character = 0; character < 256; ++character) {
        longest += "ç";
    }
    EXPECT_EQ(outcome(signOn("TESTE", longest)),
              refusal(unauthenticated, "Operador ou senha inválidos."));
    EXPECT_EQ(outcome(signOn("TESTE", testsupport::testPassword)), "OK: ");
}

TEST_P(HostileRequestTest, PreviewsOfKeysOutsideTheColumnsAreRefused) {
    const std::vector<Case> cases = {
        {"no session",
         [&] { return withToken("", [&] { return preview(key("0001", "0000000001")); }); },
         refusal(unauthenticated, "Sessão não iniciada. Entre com seu operador e senha.")},
        {"token with a character no token has",
         [&] {
             return withToken("not-a-token!", [&] { return preview(key("0001", "0000000001")); });
         },
         refusal(unauthenticated, "Sessão inválida. Entre novamente.")},
        {"5-character branch", [&] { return preview(key("00001", "0000000001")); },
         refusal(invalidArgument, "O campo CDFILIAL tem mais de 4 caracteres.")},
        {"100 KB order number", [&] { return preview(key("0001", std::string(100000, '1'))); },
         refusal(invalidArgument, "O campo NRORCAEVENTO tem mais de 10 caracteres.")},
        {"3-character sequence", [&] { return preview(key("0001", "0000000001", "000")); },
         refusal(invalidArgument, "O campo NRSEQORCAEVE tem mais de 2 caracteres.")},
        {"number with NUL",
         [&] { return preview(key("0001", std::string("00000") + '\0' + "001")); },
         refusal(invalidArgument, "O campo NRORCAEVENTO contém o caractere nulo.")},
        {"Latin-1 branch",
         [&] {
             return preview(
                 key("0\xC3"
                     "01",
                     "0000000001"));
         },
         refusal(invalidArgument, "O campo CDFILIAL não é um texto UTF-8 válido.")},
        {"branch outside the operator's", [&] { return preview(key("ZZZZ", "0000000001")); },
         refusal(permissionDenied,
                 "Operador sem permissão para cancelar aprovações na filial ZZZZ.")},
        {"order not there", [&] { return preview(key("0001", "0000000099")); },
         refusal(notFound, "Encomenda não encontrada.")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);
    EXPECT_EQ(outcome(preview(key("0001", "0000000001"))), "OK: ");
}

TEST_P(HostileRequestTest, HistoryFiltersOutsideTheirColumnsAreRefused) {
    const auto filtered = [&](const std::function<void(ORE06100::HistCancAprovFilter&)>& fill) {
        return [this, fill] {
            ORE06100::HistCancAprovFilter filter;
            fill(filter);
            return history(filter);
        };
    };
    const std::string fromText =
        "O campo Período inicial não contém uma data válida (anos de 1 a 9999).";
    const std::string toText =
        "O campo Período final não contém uma data válida (anos de 1 a 9999).";
    const std::vector<Case> cases = {
        {"no session",
         [&] { return withToken("", filtered([](ORE06100::HistCancAprovFilter&) {})); },
         refusal(unauthenticated, "Sessão não iniciada. Entre com seu operador e senha.")},
        {"NaN from", filtered([](auto& filter) { filter.set_period_from(nan); }),
         refusal(invalidArgument, fromText)},
        {"infinite until", filtered([](auto& filter) { filter.set_period_to(infinity); }),
         refusal(invalidArgument, toText)},
        {"until after year 9999", filtered([](auto& filter) { filter.set_period_to(1e300); }),
         refusal(invalidArgument, toText)},
        {"reversed period", filtered([](auto& filter) {
             filter.set_period_from(at("2024-06-02 00:00:00").days);
             filter.set_period_to(at("2024-06-01 23:00:00").days);
         }),
         refusal(invalidArgument, "O período do histórico começa depois de terminar.")},
        {"5-character branch", filtered([](auto& filter) { filter.set_branch("00001"); }),
         refusal(invalidArgument, "O campo CDFILIAL tem mais de 4 caracteres.")},
        {"13-character operator",
         filtered([](auto& filter) { filter.set_operator_code("TESTEXXXXXXXX"); }),
         refusal(invalidArgument, "O campo CDOPERADOR tem mais de 12 caracteres.")},
        {"Latin-1 operator", filtered([](auto& filter) { filter.set_operator_code("JO\xC3O"); }),
         refusal(invalidArgument, "O campo CDOPERADOR não é um texto UTF-8 válido.")},
        {"100 KB justification",
         filtered([](auto& filter) { filter.set_justification(std::string(100000, '1')); }),
         refusal(invalidArgument, "O campo CDJUSTEXCHIS tem mais de 4 caracteres.")},
        {"two outcomes", filtered([](auto& filter) { filter.set_outcome("CP"); }),
         refusal(invalidArgument, "O campo IDRESULTADO tem mais de 1 caracteres.")},
        {"unknown outcome", filtered([](auto& filter) { filter.set_outcome("Z"); }),
         refusal(invalidArgument, "O resultado do histórico deve ser C, P, E, R, A ou X.")},
        {"NUL outcome", filtered([](auto& filter) { filter.set_outcome(std::string(1, '\0')); }),
         refusal(invalidArgument, "O campo IDRESULTADO contém o caractere nulo.")},
        {"branch outside the operator's", filtered([](auto& filter) { filter.set_branch("ZZZZ"); }),
         refusal(permissionDenied, "Operador sem permissão para trabalhar na filial ZZZZ.")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);
    EXPECT_EQ(outcome(filtered([](ORE06100::HistCancAprovFilter&) {})()), "OK: ");
}

TEST_P(HostileRequestTest, HistoryDocumentsOfMalformedKeysAreRefused) {
    const std::string text = "A chave do registro de histórico deve ter 32 dígitos hexadecimais.";
    const std::vector<Case> cases = {
        {"no session",
         [&] { return withToken("", [&] { return historyDocuments(std::string(32, 'a')); }); },
         refusal(unauthenticated, "Sessão não iniciada. Entre com seu operador e senha.")},
        {"empty key", [&] { return historyDocuments(""); }, refusal(invalidArgument, text)},
        {"31 digits", [&] { return historyDocuments(std::string(31, 'a')); },
         refusal(invalidArgument, text)},
        {"33 digits", [&] { return historyDocuments(std::string(33, 'a')); },
         refusal(invalidArgument, text)},
        {"not hexadecimal", [&] { return historyDocuments(std::string(31, 'a') + "g"); },
         refusal(invalidArgument, text)},
        {"quote and semicolon", [&] { return historyDocuments(std::string(30, 'a') + "';"); },
         refusal(invalidArgument, text)},
        {"NUL inside",
         [&] { return historyDocuments(std::string(16, 'a') + '\0' + std::string(15, 'a')); },
         refusal(invalidArgument, text)},
        {"100 KB key", [&] { return historyDocuments(std::string(100000, 'a')); },
         refusal(invalidArgument, text)},
        {"well formed, no such record", [&] { return historyDocuments(std::string(32, 'a')); },
         refusal(notFound, "Registro de histórico não encontrado.")},
    };
    EXPECT_EVERY_CASE_REFUSED(cases);
}

ORE_ON_BOTH_ENGINES(HostileRequestTest);

}  // namespace
