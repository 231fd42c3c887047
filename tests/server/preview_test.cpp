// The preview of a cancellation against the real server on each engine, on the
// demo orders: it lists exactly what the cancellation then refuses for, or
// removes, and it changes nothing itself.
#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/demo_data.h"
#include "host/data/data_packet.h"
#include "host/data/exceptions.h"
#include "host/net/net_connection.h"
#include "host/services/session.h"
#include "server/order_server.h"
#include "tests/support/server_fixture.h"
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

namespace {

using host::DataPacket;
using host::Variant;

// The preview's answer, element by element.
struct Preview {
    DataPacket childOrders;
    DataPacket productionOrders;
    DataPacket shippedOrders;
    DataPacket paidReceivables;
    DataPacket bankSlipsSent;
    DataPacket deletedReceivables;
    DataPacket deletedSalesOrders;
    std::string newStatus;

    bool blocked() const {
        return !childOrders.rows.empty() || !productionOrders.rows.empty() ||
               !shippedOrders.rows.empty() || !paidReceivables.rows.empty() ||
               !bankSlipsSent.rows.empty();
    }
};

// Column `field` of every row, as text.
std::vector<std::string> column(const DataPacket& packet, const std::string& field) {
    const int index = packet.FieldIndex(field);
    EXPECT_GE(index, 0) << field;
    std::vector<std::string> values;
    for (const auto& row : packet.rows) {
        values.push_back(index < 0 ? "?" : row[static_cast<std::size_t>(index)].AsString());
    }
    return values;
}

std::vector<std::string> joined(const DataPacket& packet, const std::string& first,
                                const std::string& second) {
    const auto a = column(packet, first);
    const auto b = column(packet, second);
    std::vector<std::string> values;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        values.push_back(a[i] + "/" + b[i]);
    }
    return values;
}

// Every table a cancellation or a deletion may write, the history included.
const std::vector<std::string>& watchedTables() {
    static const std::vector<std::string> tables = {
        "ORCAEVENTO", "ITORCAEVEN",     "OBSJUSTORC",     "PEDIDO",
        "ORDEMPROD",  "CONTARECEBER",   "HISTCANCAPROV",  "HISTCONTARECEBER",
        "HISTPEDIDO", "HISTORCAEVENTO", "HISTITORCAEVEN", "HISTOBSJUSTORC",
    };
    return tables;
}

// What the cancellation is expected to do with a demo order.
enum class Outcome { Cancelled, ChildOrders, Production, Shipped, Paid, SlipSent };

struct DemoCase {
    const char* name;
    const char* number;
    const char* sequence;
    Outcome outcome;
    // Expected lists of the preview ("number/sequence" or document numbers).
    std::vector<std::string> childOrders;
    std::vector<std::string> productionOrders;  // NRORDPROD/NRSUBORDPROD
    std::vector<std::string> shippedOrders;
    std::vector<std::string> paidReceivables;
    std::vector<std::string> bankSlipsSent;
    std::vector<std::string> deletedReceivables;  // NRDOCUMENTO=VRDOCUMENTO
    std::vector<std::string> deletedSalesOrders;
};

class PreviewTest : public testsupport::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        spdlog::set_level(spdlog::level::off);
        db::generateDemoData(database(), 20);
        ore::server::ServerOptions options;
        // One connection: a preview that left its transaction open would
        // make the next call on it fail.
        options.maxConnections = 1;
        m_server = testsupport::startLoopbackServer(testDatabase().target(), options);
        m_connection = testsupport::connectTo(m_server->port());
        testsupport::signOnAsTester(database(), m_server->port());
    }

    int port() const { return m_server->port(); }

    void TearDown() override {
        m_connection.reset();
        m_server.reset();
        EngineTest::TearDown();
    }

    host::IRdmCancAprovEnc& api() { return m_connection->AppServerAs<host::IRdmCancAprovEnc>(); }

    Preview preview(const std::string& number, const std::string& sequence,
                    const std::string& branch = "0001") {
        const Variant answer = api().PreviewCancAprovaEnc(branch, number, sequence);
        const Variant::Array& parts = answer.AsArray();
        EXPECT_EQ(parts.size(), 8u);
        if (parts.size() != 8) {
            return {};
        }
        return {parts[0].AsPacket(), parts[1].AsPacket(), parts[2].AsPacket(), parts[3].AsPacket(),
                parts[4].AsPacket(), parts[5].AsPacket(), parts[6].AsPacket(), parts[7].AsString()};
    }

    // The text the preview fails with, or "<none>".
    std::string previewError(const std::string& branch, const std::string& number,
                             const std::string& sequence) {
        try {
            api().PreviewCancAprovaEnc(branch, number, sequence);
        } catch (const host::Exception& error) {
            return error.what();
        }
        return "<none>";
    }

    // [answer, or the text the cancellation was refused with].
    std::pair<Variant, std::string> cancel(std::string branch, std::string number,
                                           std::string sequence) {
        try {
            return {
                api().CancAprovaEnc(branch, number, sequence, "0001", Variant("Prévia."), "OPER01"),
                ""};
        } catch (const host::Exception& error) {
            return {Variant(), error.what()};
        }
    }

    // Every row of the watched tables, in key order, as text.
    std::map<std::string, std::vector<std::string>> snapshot() {
        return testsupport::tableRows(database(), watchedTables());
    }

    std::map<std::string, std::vector<std::string>> orderTables() {
        auto tables = snapshot();
        for (auto it = tables.begin(); it != tables.end();) {
            it = it->first.rfind("HIST", 0) == 0 ? tables.erase(it) : std::next(it);
        }
        return tables;
    }

    std::vector<std::string> documents(const std::string& table, const std::string& column,
                                       const std::string& number, const std::string& sequence) {
        const DataPacket packet = database().query(
            "SELECT " + column + " FROM " + table +
                " WHERE CDFILIAL = '0001' AND NRORCAEVENTO = :N AND NRSEQORCAEVE = :S ORDER BY " +
                column,
            {{"N", number}, {"S", sequence}});
        std::vector<std::string> values;
        for (const auto& row : packet.rows) {
            values.push_back(row.front().AsString());
        }
        return values;
    }

    std::string status(const std::string& number, const std::string& sequence) {
        const DataPacket packet = database().query(
            "SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE CDFILIAL = '0001' AND NRORCAEVENTO = :N "
            "AND NRSEQORCAEVE = :S",
            {{"N", number}, {"S", sequence}});
        return packet.rows.empty() ? "<none>" : packet.rows.front().front().AsString();
    }

private:
    testsupport::RunningServer m_server;
    std::unique_ptr<host::TNetConnection> m_connection;
};

std::vector<std::string> amounts(const DataPacket& packet) {
    std::vector<std::string> values;
    const auto documents = column(packet, "NRDOCUMENTO");
    const auto amounts = column(packet, "VRDOCUMENTO");
    for (std::size_t i = 0; i < documents.size(); ++i) {
        values.push_back(documents[i] + "=" + amounts[i]);
    }
    return values;
}

using Strings = std::vector<std::string>;

// The demo orders of branch 0001 (db/DEMO.md), each with what its preview lists.
const std::vector<DemoCase>& demoCases() {
    static const std::vector<DemoCase> cases = {
        {"CancellableWithReceivableAndSalesOrder",
         "0000000101",
         "00",
         Outcome::Cancelled,
         {},
         {},
         {},
         {},
         {},
         {"0000000101=13.702"},
         {"0000000101"}},
        {"CancellableWithNothingGenerated",
         "0000000102",
         "00",
         Outcome::Cancelled,
         {},
         {},
         {},
         {},
         {},
         {},
         {}},
        {"ClosedWithOpenReceivable",
         "0000000103",
         "00",
         Outcome::Cancelled,
         {},
         {},
         {},
         {},
         {},
         {"0000000103=3.702"},
         {}},
        {"BlockedByProductionOrders",
         "0000000105",
         "00",
         Outcome::Production,
         {},
         {"0000000105/1", "0000000105/2"},
         {},
         {},
         {},
         {},
         {}},
        {"BlockedByShippedSalesOrder",
         "0000000106",
         "00",
         Outcome::Shipped,
         {},
         {},
         {"0000000106"},
         {},
         {},
         {},
         {}},
        {"RefusedForPaidReceivable",
         "0000000107",
         "00",
         Outcome::Paid,
         {},
         {},
         {},
         {"0000000107"},
         {},
         {},
         {}},
        {"RefusedForBankSlipSent",
         "0000000108",
         "00",
         Outcome::SlipSent,
         {},
         {},
         {},
         {},
         {"0000000108"},
         {},
         {}},
        {"ParentWithChildOrders",
         "0000000110",
         "00",
         Outcome::ChildOrders,
         {"0000000110/01", "0000000110/02"},
         {},
         {},
         {},
         {},
         {},
         {}},
        {"ChildOrderOfAParent", "0000000110", "01", Outcome::Cancelled, {}, {}, {}, {}, {}, {}, {}},
    };
    return cases;
}

TEST_P(PreviewTest, EachDemoOrderPreviewsWhatItsCancellationThenDoes) {
    for (const DemoCase& test : demoCases()) {
        SCOPED_TRACE(test.name);
        const auto before = snapshot();
        const Preview seen = preview(test.number, test.sequence);
        EXPECT_EQ(snapshot(), before) << "the preview changed the database";

        EXPECT_EQ(joined(seen.childOrders, "NRORCAEVENTO", "NRSEQORCAEVE"), test.childOrders);
        EXPECT_EQ(joined(seen.productionOrders, "NRORDPROD", "NRSUBORDPROD"),
                  test.productionOrders);
        EXPECT_EQ(column(seen.shippedOrders, "NRPEDIDO"), test.shippedOrders);
        EXPECT_EQ(column(seen.paidReceivables, "NRDOCUMENTO"), test.paidReceivables);
        EXPECT_EQ(column(seen.bankSlipsSent, "NRDOCUMENTO"), test.bankSlipsSent);
        EXPECT_EQ(amounts(seen.deletedReceivables), test.deletedReceivables);
        EXPECT_EQ(column(seen.deletedSalesOrders, "NRPEDIDO"), test.deletedSalesOrders);
        EXPECT_EQ(seen.blocked(), test.outcome != Outcome::Cancelled);
        EXPECT_EQ(seen.newStatus, test.outcome == Outcome::Cancelled ? "1" : "");

        const Strings receivablesBefore =
            documents("CONTARECEBER", "NRDOCUMENTO", test.number, test.sequence);
        const Strings salesOrdersBefore =
            documents("PEDIDO", "NRPEDIDO", test.number, test.sequence);
        const auto ordersBefore = orderTables();
        const auto [answer, refusal] = cancel("0001", test.number, test.sequence);
        switch (test.outcome) {
            case Outcome::Cancelled: {
                ASSERT_EQ(refusal, "");
                EXPECT_TRUE(answer.AsArray()[0].IsNull() && answer.AsArray()[1].IsNull());
                EXPECT_EQ(status(test.number, test.sequence), seen.newStatus);
                // What went is exactly what the preview said would go.
                EXPECT_EQ(column(seen.deletedReceivables, "NRDOCUMENTO"), receivablesBefore);
                EXPECT_EQ(column(seen.deletedSalesOrders, "NRPEDIDO"), salesOrdersBefore);
                EXPECT_EQ(documents("CONTARECEBER", "NRDOCUMENTO", test.number, test.sequence),
                          Strings{});
                EXPECT_EQ(documents("PEDIDO", "NRPEDIDO", test.number, test.sequence), Strings{});
                continue;
            }
            case Outcome::ChildOrders:
                EXPECT_EQ(refusal,
                          "Aprovação da encomenda não pode ser cancelada, pois existe encomenda "
                          "filha. Operação Bloqueada.");
                break;
            case Outcome::Production:
                ASSERT_EQ(refusal, "");
                EXPECT_EQ(answer.AsArray()[0].AsPacket(), seen.productionOrders);
                break;
            case Outcome::Shipped:
                ASSERT_EQ(refusal, "");
                EXPECT_TRUE(answer.AsArray()[0].IsNull());
                EXPECT_EQ(answer.AsArray()[1].AsPacket(), seen.shippedOrders);
                break;
            case Outcome::Paid:
                EXPECT_EQ(refusal, "N_PARAM_CONTARECBAIXADA|" +
                                       column(seen.paidReceivables, "NRDOCUMENTO")[0]);
                break;
            case Outcome::SlipSent:
                EXPECT_EQ(refusal,
                          "N_PARAM_BOLETO_ENVIADO|" + column(seen.bankSlipsSent, "NRDOCUMENTO")[0]);
                break;
        }
        // A refused cancellation leaves the order tables as they were.
        EXPECT_EQ(orderTables(), ordersBefore);
    }
}

// An order blocked by everything at once: the preview lists every blocker,
// where the cancellation names one at a time, in the same order, as each is
// cleared away.
TEST_P(PreviewTest, EveryBlockerAtOnceWhereTheCancellationNamesOneAtATime) {
    const std::string number = "0000000120";
    database().execute(
        "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE)"
        " VALUES ('0001', :N, '00', '2'), ('0001', :N, '01', '2')",
        {{"N", number}});
    database().execute(
        "INSERT INTO PEDIDO VALUES ('0001', 'P000000121', :N, '00', 'A'),"
        " ('0001', 'P000000122', :N, '00', 'E'), ('0001', 'P000000123', :N, '00', 'E')",
        {{"N", number}});
    database().execute(
        "INSERT INTO ORDEMPROD VALUES ('0001', 'OP00000121', '1', 'P000000121', '0000000001')");
    database().execute(
        "INSERT INTO CONTARECEBER VALUES ('0001', 'R000000121', :N, '00', 10.5, 'S', 'N'),"
        " ('0001', 'R000000122', :N, '00', 20.25, 'N', 'S'),"
        " ('0001', 'R000000123', :N, '00', 30, 'S', 'S'),"
        " ('0001', 'R000000124', :N, '00', 40, 'N', 'N')",
        {{"N", number}});

    Preview seen = preview(number, "00");
    EXPECT_EQ(joined(seen.childOrders, "NRORCAEVENTO", "NRSEQORCAEVE"), Strings{number + "/01"});
    EXPECT_EQ(joined(seen.productionOrders, "NRORDPROD", "NRSUBORDPROD"), Strings{"OP00000121/1"});
    EXPECT_EQ(column(seen.shippedOrders, "NRPEDIDO"), (Strings{"P000000122", "P000000123"}));
    EXPECT_EQ(amounts(seen.paidReceivables), (Strings{"R000000121=10.5", "R000000123=30"}));
    EXPECT_EQ(amounts(seen.bankSlipsSent), (Strings{"R000000122=20.25", "R000000123=30"}));
    EXPECT_TRUE(seen.deletedReceivables.rows.empty());
    EXPECT_TRUE(seen.deletedSalesOrders.rows.empty());
    EXPECT_EQ(seen.newStatus, "");

    const std::string childRefusal =
        "Aprovação da encomenda não pode ser cancelada, pois existe encomenda filha. Operação "
        "Bloqueada.";
    EXPECT_EQ(cancel("0001", number, "00").second, childRefusal);

    database().execute("DELETE FROM ORCAEVENTO WHERE NRORCAEVENTO = :N AND NRSEQORCAEVE = '01'",
                       {{"N", number}});
    seen = preview(number, "00");
    EXPECT_TRUE(seen.childOrders.rows.empty());
    EXPECT_EQ(cancel("0001", number, "00").first.AsArray()[0].AsPacket(), seen.productionOrders);

    database().execute("DELETE FROM ORDEMPROD WHERE NRORDPROD = 'OP00000121'");
    seen = preview(number, "00");
    EXPECT_TRUE(seen.productionOrders.rows.empty());
    EXPECT_EQ(cancel("0001", number, "00").first.AsArray()[1].AsPacket(), seen.shippedOrders);

    database().execute("UPDATE PEDIDO SET IDSITUPEDIDO = 'A' WHERE NRORCAEVENTO = :N",
                       {{"N", number}});
    seen = preview(number, "00");
    EXPECT_TRUE(seen.shippedOrders.rows.empty());
    EXPECT_EQ(cancel("0001", number, "00").second, "N_PARAM_CONTARECBAIXADA|R000000121");

    database().execute("UPDATE CONTARECEBER SET IDBAIXADA = 'N' WHERE NRORCAEVENTO = :N",
                       {{"N", number}});
    seen = preview(number, "00");
    EXPECT_TRUE(seen.paidReceivables.rows.empty());
    EXPECT_EQ(amounts(seen.bankSlipsSent), (Strings{"R000000122=20.25", "R000000123=30"}));
    EXPECT_EQ(cancel("0001", number, "00").second, "N_PARAM_BOLETO_ENVIADO|R000000122");
    EXPECT_EQ(status(number, "00"), "2");

    database().execute("UPDATE CONTARECEBER SET IDBOLETOENVIADO = 'N' WHERE NRORCAEVENTO = :N",
                       {{"N", number}});
    seen = preview(number, "00");
    EXPECT_FALSE(seen.blocked());
    EXPECT_EQ(amounts(seen.deletedReceivables),
              (Strings{"R000000121=10.5", "R000000122=20.25", "R000000123=30", "R000000124=40"}));
    EXPECT_EQ(column(seen.deletedSalesOrders, "NRPEDIDO"),
              (Strings{"P000000121", "P000000122", "P000000123"}));
    EXPECT_EQ(seen.newStatus, "1");
    EXPECT_EQ(cancel("0001", number, "00").second, "");
    EXPECT_EQ(status(number, "00"), "1");
    EXPECT_EQ(documents("CONTARECEBER", "NRDOCUMENTO", number, "00"), Strings{});
    EXPECT_EQ(documents("PEDIDO", "NRPEDIDO", number, "00"), Strings{});
}

// The preview refuses what the cancellation refuses before any rule, with the
// same text, and changes nothing doing so.
TEST_P(PreviewTest, RefusesWhatTheCancellationRefusesWithTheSameText) {
    struct Case {
        const char* name;
        std::string branch;
        std::string number;
        std::string sequence;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"Pending", "0001", "0000000111", "00",
         "A aprovação da encomenda não pode ser cancelada, pois a encomenda não está aprovada."},
        {"Cancelled", "0001", "0000000112", "00",
         "A aprovação da encomenda não pode ser cancelada, pois a encomenda não está aprovada."},
        {"Postponed", "0001", "0000000113", "00",
         "A aprovação da encomenda não pode ser cancelada, pois a encomenda não está aprovada."},
        {"Unknown", "0001", "0000009999", "00", "Encomenda não encontrada."},
        {"OtherBranch", "0002", "0000000101", "00", "Encomenda não encontrada."},
        {"BranchTooLong", "00001", "0000000101", "00",
         "O campo CDFILIAL tem mais de 4 caracteres."},
        {"NotUtf8", "0001", "\xff", "00", "O campo NRORCAEVENTO não é um texto UTF-8 válido."},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const auto before = snapshot();
        EXPECT_EQ(previewError(test.branch, test.number, test.sequence), test.text);
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(cancel(test.branch, test.number, test.sequence).second, test.text);
    }
}

// A preview takes no lock: it answers while another writer holds the order
// (PostgreSQL: its row; SQLite: the database's write lock), where the
// cancellation would have to wait.
TEST_P(PreviewTest, AnswersWhileAnotherWriterHoldsTheOrder) {
    const auto writer = testDatabase().connect();
    writer->begin();
    writer->execute(
        "UPDATE ORCAEVENTO SET CDOPEJUSTORC = 'OUTRO' WHERE CDFILIAL = '0001' AND NRORCAEVENTO = "
        "'0000000101' AND NRSEQORCAEVE = '00'");
    const Preview seen = preview("0000000101", "00");
    EXPECT_EQ(amounts(seen.deletedReceivables), Strings{"0000000101=13.702"});
    EXPECT_EQ(seen.newStatus, "1");
    writer->rollback();
}

// The preview asks for the cancellation's own permission; refused, it says
// so with the cancellation's text and, being no attempt to cancel, leaves no
// history record.
TEST_P(PreviewTest, NeedsTheRightToCancelAndARefusalRecordsNothing) {
    testsupport::addTestOperator(database(), "VENDAS2", "senha-vendas", "0001",
                                 {{"0001", false}, {"0002", true}});
    testsupport::signOnAs(port(), "VENDAS2", "senha-vendas");
    const auto before = snapshot();
    const std::string refusal = "Operador sem permissão para cancelar aprovações na filial 0001.";
    EXPECT_EQ(previewError("0001", "0000000101", "00"), refusal);
    EXPECT_EQ(snapshot(), before);
    // The cancellation, refused the same way, is an attempt: it is recorded.
    EXPECT_EQ(cancel("0001", "0000000101", "00").second, refusal);
    EXPECT_EQ(snapshot()["HISTCANCAPROV"].size(), before.at("HISTCANCAPROV").size() + 1);
    // Where the operator may cancel, the preview answers.
    EXPECT_EQ(preview("0000000201", "00", "0002").newStatus, "1");

    const auto signedOff = snapshot();
    host::CurrentSession().sessionToken.clear();
    EXPECT_EQ(previewError("0001", "0000000101", "00"),
              "Sessão não iniciada. Entre com seu operador e senha.");
    EXPECT_EQ(snapshot(), signedOff);
}

ORE_ON_BOTH_ENGINES(PreviewTest);

}  // namespace
