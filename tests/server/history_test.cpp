// The history of cancellations and deletions, through the real client against
// a real server on each engine: one record per decision, copies of every
// deleted row, refusals leaving only their record, and tables the engines
// themselves keep append-only.
#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "db/operators.h"
#include "host/data/data_packet.h"
#include "host/net/grpc_canc_aprov_enc.h"
#include "host/net/net_connection.h"
#include "host/services/session.h"
#include "host/sql/sql_dates.h"
#include "server/order_repository.h"
#include "server/order_rules.h"
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

const TDateTime fixedNow = testsupport::serverNow();

std::string number(int value) {
    std::string text = std::to_string(value);
    return std::string(10 - text.size(), '0') + text;
}

const std::vector<std::string> historyTables = {"HISTCANCAPROV",  "HISTCONTARECEBER",
                                                "HISTPEDIDO",     "HISTORCAEVENTO",
                                                "HISTITORCAEVEN", "HISTOBSJUSTORC"};

// The tables a cancellation or a deletion may change.
const std::vector<std::string> orderTables = {"ORCAEVENTO", "ITORCAEVEN",   "OBSJUSTORC",
                                              "PEDIDO",     "CONTARECEBER", "ORDEMPROD"};

class HistoryTest : public testsupport::ServerTest {
protected:
    // The operator recorded is the session's: this fixture signs on as
    // OPERADOR1, with the right to cancel on every branch.
    void signOn() override {
        db::ensureOperatorOnEveryBranch(database(), "OPERADOR1", "senha-operador1",
                                        db::HashCost::minimal);
        testsupport::signOnAs(m_server->port(), "OPERADOR1", "senha-operador1");
    }

    // The order list of branch 0001, no criteria.
    DataPacket listAll() {
        std::string from, to, all = "T", allDates = "T", salesmen, allSalesmen = "T", customers,
                              allCustomers = "T";
        TDateTime fromDate{}, toDate{};
        return api()
            .GetEncomenda("0001", from, to, all, fromDate, toDate, allDates, salesmen, allSalesmen,
                          customers, allCustomers)
            .AsPacket();
    }

    DataPacket rows(const std::string& statement, const Params& params = {}) {
        return database().query(statement, params);
    }

    void seedLookups() override {
        exec("INSERT INTO FILIAL VALUES ('0001', 'Matriz')");
        exec(
            "INSERT INTO JUSTEXCHIS VALUES ('0001', 'Desistência do cliente'),"
            " ('0002', 'Erro de digitação')");
        exec(
            "INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NMFANTCLIE) VALUES"
            " ('000000000000000000001', 'J', 'Buffet Alegria')");
        exec("INSERT INTO PRECOBASE VALUES ('01', 'Tabela padrão')");
        exec("INSERT INTO PRODUTO VALUES ('0000000001', '1.01.001', 'Bolo de chocolate', 'UN')");
    }

    // Every column filled, so a copy that leaves one out shows.
    void addOrder(const std::string& order, const std::string& sequence = "00",
                  const std::string& status = "2") {
        exec(
            "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE,"
            " DTEVENTO, QTCONVORCEVE, CDPRECOBASE, DTVALIORCEVE, CDVENDEDOR, CDCLIENTE,"
            " DSTITUORCEVE, NMCLIEORCEVE, CDJUSTEXCHIS, CDOPEJUSTORC, DTHRENTROREV) VALUES"
            " ('0001', :N, :S, :ST, :EV, 120.25, '01', :VA, '0007', '000000000000000000001',"
            " 'Festa de formatura', 'Buffet Alegria Ltda', '0001', 'ANTIGO', :D)",
            {{"N", order},
             {"S", sequence},
             {"ST", status},
             {"EV", at("2024-05-20 19:00:00")},
             {"VA", at("2024-05-31 23:59:59")},
             {"D", at("2024-05-10 14:00:00")}});
    }

    void addSalesOrder(const std::string& order, const std::string& salesOrder,
                       const std::string& status = "A") {
        exec("INSERT INTO PEDIDO VALUES ('0001', :P, :N, '00', :ST)",
             {{"P", salesOrder}, {"N", order}, {"ST", status}});
    }

    void addReceivable(const std::string& order, const std::string& document, double value,
                       const std::string& paid = "N", const std::string& slipSent = "N") {
        exec("INSERT INTO CONTARECEBER VALUES ('0001', :D, :N, '00', :V, :P, :B)",
             {{"D", document}, {"N", order}, {"V", value}, {"P", paid}, {"B", slipSent}});
    }

    void addItems(const std::string& order) {
        exec(
            "INSERT INTO ITORCAEVEN VALUES ('0001', :N, '00', '1', '0000000001', 3, 10.5, 0.5,"
            " 'S', '01', '001'), ('0001', :N, '00', '2', NULL, NULL, NULL, NULL, NULL, NULL,"
            " NULL)",
            {{"N", order}});
        exec(
            "INSERT INTO OBSJUSTORC VALUES ('0001', :N, '00', 1, :T1, 'Primeira observação',"
            " 'MARIA', '0001'), ('0001', :N, '00', 2, :T2, 'Segunda, com acentuação: ção',"
            " NULL, NULL)",
            {{"N", order}, {"T1", at("2024-05-01 08:00:00")}, {"T2", at("2024-05-02 09:15:30")}});
    }

    // The rows of the order in `table`, every column, in key order.
    DataPacket orderRows(const std::string& table, const std::string& order,
                         const std::string& orderBy) {
        return rows("SELECT * FROM " + table + " WHERE NRORCAEVENTO = :N ORDER BY " + orderBy,
                    {{"N", order}});
    }

    // The copies in `table` linked to record `id`, without the link, in key order.
    DataPacket copies(const std::string& table, const std::string& id, const std::string& orderBy) {
        DataPacket packet = rows(
            "SELECT * FROM " + table + " WHERE IDHISTCANC = :ID ORDER BY " + orderBy, {{"ID", id}});
        EXPECT_EQ(packet.FieldIndex("IDHISTCANC"), 0) << table;
        if (packet.FieldIndex("IDHISTCANC") == 0) {
            packet.fields.erase(packet.fields.begin());
            for (auto& row : packet.rows) {
                row.erase(row.begin());
            }
        }
        return packet;
    }

    // Same columns (names, types, order) and the same values.
    static void expectSameRows(const DataPacket& copied, const DataPacket& original,
                               const std::string& what) {
        SCOPED_TRACE(what);
        ASSERT_EQ(copied.fields.size(), original.fields.size());
        for (std::size_t field = 0; field < original.fields.size(); ++field) {
            EXPECT_EQ(copied.fields[field].name, original.fields[field].name);
            EXPECT_EQ(copied.fields[field].type, original.fields[field].type)
                << original.fields[field].name;
        }
        ASSERT_EQ(copied.rows.size(), original.rows.size());
        for (std::size_t row = 0; row < original.rows.size(); ++row) {
            for (std::size_t field = 0; field < original.fields.size(); ++field) {
                EXPECT_EQ(copied.rows[row][field], original.rows[row][field])
                    << "row " << row << ", " << original.fields[field].name << ": "
                    << copied.rows[row][field].AsString() << " instead of "
                    << original.rows[row][field].AsString();
            }
        }
    }

    // Every row of the order tables, as text, sorted: equal before and after
    // means nothing changed.
    std::vector<std::string> orderTablesDump() {
        std::vector<std::string> lines;
        for (const std::string& table : orderTables) {
            for (const auto& row : rows("SELECT * FROM " + table).rows) {
                std::string line = table;
                for (const Variant& value : row) {
                    line += "|" + (value.IsNull() ? std::string("<null>") : value.AsString());
                }
                lines.push_back(line);
            }
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    std::string historyCount(const std::string& table) {
        return scalar("SELECT COUNT(*) FROM " + table);
    }

    // The one record of the order (fails the test unless there is exactly one).
    DataPacket recordOf(const std::string& order) {
        DataPacket record =
            rows("SELECT * FROM HISTCANCAPROV WHERE NRORCAEVENTO = :N", {{"N", order}});
        EXPECT_EQ(record.rows.size(), 1u) << "records of order " << order;
        return record;
    }

    static std::string field(const DataPacket& packet, const char* name, std::size_t row = 0) {
        const int index = packet.FieldIndex(name);
        if (index < 0 || row >= packet.rows.size()) {
            return "<missing>";
        }
        const Variant& value = packet.rows[row][static_cast<std::size_t>(index)];
        return value.IsNull() ? "<null>" : value.AsString();
    }

    std::string cancel(const std::string& order, const std::string& sequence = "00",
                       const std::string& justification = "0002",
                       const Variant& observation = Variant("Cliente desistiu."),
                       const std::string& operatorCode = "OPERADOR1") {
        std::string branch = "0001", number = order, seq = sequence;
        try {
            const auto answer =
                api()
                    .CancAprovaEnc(branch, number, seq, justification, observation, operatorCode)
                    .AsArray();
            if (!answer[0].IsNull()) {
                return "<production orders>";
            }
            if (!answer[1].IsNull()) {
                return "<shipped orders>";
            }
            return "<cancelled>";
        } catch (const host::Exception& error) {
            return error.what();
        }
    }
};

void expectRecordKey(const std::string& id) {
    EXPECT_EQ(id.size(), 32u) << id;
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
}

TEST_P(HistoryTest, CancellationRecordsItselfAndCopiesEveryColumnOfWhatItDeletes) {
    addOrder(number(1));
    addOrder(number(2));
    addSalesOrder(number(1), "P000000001");
    addSalesOrder(number(1), "P000000003", "F");
    addSalesOrder(number(2), "P000000002");
    addReceivable(number(1), "0000001234", 100.5);
    addReceivable(number(1), "0000001235", 0.125);
    exec("UPDATE CONTARECEBER SET IDBOLETOENVIADO = NULL WHERE NRDOCUMENTO = '0000001235'");
    addReceivable(number(2), "0000009999", 7);
    const DataPacket receivables = orderRows("CONTARECEBER", number(1), "NRDOCUMENTO");
    const DataPacket salesOrders = orderRows("PEDIDO", number(1), "NRPEDIDO");
    ASSERT_EQ(receivables.rows.size(), 2u);
    ASSERT_EQ(salesOrders.rows.size(), 2u);

    EXPECT_EQ(cancel(number(1)), "<cancelled>");

    const DataPacket record = recordOf(number(1));
    const std::string id = field(record, "IDHISTCANC");
    expectRecordKey(id);
    EXPECT_EQ(field(record, "CDFILIAL"), "0001");
    EXPECT_EQ(field(record, "NRSEQORCAEVE"), "00");
    EXPECT_EQ(field(record, "CDCLIENTE"), "000000000000000000001");
    EXPECT_EQ(field(record, "NMCLIEORCEVE"), "Buffet Alegria Ltda");
    EXPECT_EQ(field(record, "CDVENDEDOR"), "0007");
    EXPECT_EQ(field(record, "CDOPERADOR"), "OPERADOR1");
    EXPECT_EQ(field(record, "DTHRHISTCANC"), Variant(fixedNow).AsString());
    EXPECT_EQ(field(record, "DSENDCLIENTE").rfind("ipv4:127.0.0.1:", 0), 0u)
        << field(record, "DSENDCLIENTE");
    EXPECT_EQ(field(record, "CDJUSTEXCHIS"), "0002");
    EXPECT_EQ(field(record, "TXOBSJUSTORC"), "Cliente desistiu.");
    EXPECT_EQ(field(record, "IDRESULTADO"), "C");
    EXPECT_EQ(field(record, "DSRECUSA"), "<null>");

    expectSameRows(copies("HISTCONTARECEBER", id, "NRDOCUMENTO"), receivables, "receivables");
    expectSameRows(copies("HISTPEDIDO", id, "NRPEDIDO"), salesOrders, "sales orders");
    // Nothing else copied, the other order untouched, and its rows gone.
    EXPECT_EQ(historyCount("HISTCONTARECEBER"), "2");
    EXPECT_EQ(historyCount("HISTPEDIDO"), "2");
    EXPECT_EQ(historyCount("HISTORCAEVENTO"), "0");
    EXPECT_EQ(historyCount("HISTCANCAPROV"), "1");
    EXPECT_TRUE(orderRows("CONTARECEBER", number(1), "NRDOCUMENTO").rows.empty());
    EXPECT_TRUE(orderRows("PEDIDO", number(1), "NRPEDIDO").rows.empty());
    EXPECT_EQ(orderRows("CONTARECEBER", number(2), "NRDOCUMENTO").rows.size(), 1u);
}

TEST_P(HistoryTest, CancellationWithoutReasonRecordsNullsAndTheSessionsOperator) {
    addOrder(number(1));
    EXPECT_EQ(cancel(number(1), "00", "", Variant(), ""), "<cancelled>");
    const DataPacket record = recordOf(number(1));
    EXPECT_EQ(field(record, "IDRESULTADO"), "C");
    // A request naming no operator still has the session's.
    EXPECT_EQ(field(record, "CDOPERADOR"), "OPERADOR1");
    EXPECT_EQ(field(record, "CDJUSTEXCHIS"), "<null>");
    EXPECT_EQ(field(record, "TXOBSJUSTORC"), "<null>");
    EXPECT_EQ(historyCount("HISTCONTARECEBER"), "0");
    EXPECT_EQ(historyCount("HISTPEDIDO"), "0");
}

TEST_P(HistoryTest, BlockedCancellationsLeaveOnlyTheirRecord) {
    struct Case {
        const char* name;
        const char* answer;
        const char* outcome;
    };
    const std::vector<Case> cases = {
        {"production orders", "<production orders>", "P"},
        {"shipped sales orders", "<shipped orders>", "E"},
    };
    int next = 1;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string order = number(next++);
        addOrder(order);
        addSalesOrder(order, "P" + order.substr(1), std::string(test.outcome) == "E" ? "E" : "A");
        addReceivable(order, "D" + order.substr(1), 50);
        if (std::string(test.outcome) == "P") {
            exec("INSERT INTO ORDEMPROD VALUES ('0001', 'OP00000001', '1', :P, '0000000001')",
                 {{"P", "P" + order.substr(1)}});
        }
        const auto before = orderTablesDump();
        EXPECT_EQ(cancel(order), test.answer);
        EXPECT_EQ(orderTablesDump(), before);
        const DataPacket record = recordOf(order);
        expectRecordKey(field(record, "IDHISTCANC"));
        EXPECT_EQ(field(record, "IDRESULTADO"), test.outcome);
        EXPECT_EQ(field(record, "DSRECUSA"), "<null>");
        EXPECT_EQ(field(record, "CDOPERADOR"), "OPERADOR1");
        EXPECT_EQ(field(record, "CDJUSTEXCHIS"), "0002");
        EXPECT_EQ(field(record, "TXOBSJUSTORC"), "Cliente desistiu.");
        EXPECT_EQ(field(record, "CDCLIENTE"), "000000000000000000001");
        EXPECT_EQ(field(record, "DTHRHISTCANC"), Variant(fixedNow).AsString());
    }
    EXPECT_EQ(historyCount("HISTCONTARECEBER"), "0");
    EXPECT_EQ(historyCount("HISTPEDIDO"), "0");
}

TEST_P(HistoryTest, RefusalsLeaveOnlyTheirRecordWithTheirKey) {
    addOrder(number(1));
    addReceivable(number(1), "0000001234", 10, "S");
    addOrder(number(2));
    addReceivable(number(2), "0000005678", 10, "N", "S");
    addOrder(number(3), "00", "1");
    addOrder(number(4));
    addOrder(number(4), "01");
    addOrder(number(5));
    addSalesOrder(number(5), "P000000005");
    struct Case {
        const char* name;
        std::string order;
        std::string justification;
        const char* text;
        const char* key;
        const char* customer;
    };
    const std::vector<Case> cases = {
        {"paid receivable", number(1), "0002", "N_PARAM_CONTARECBAIXADA|0000001234",
         "N_PARAM_CONTARECBAIXADA|0000001234", "000000000000000000001"},
        {"bank slip sent", number(2), "0002", "N_PARAM_BOLETO_ENVIADO|0000005678",
         "N_PARAM_BOLETO_ENVIADO|0000005678", "000000000000000000001"},
        {"not approved", number(3), "0002",
         "A aprovação da encomenda não pode ser cancelada, pois a encomenda não está aprovada.",
         "ENCO_N_APROVADA|1", "000000000000000000001"},
        {"parent with child orders", number(4), "0002",
         "Aprovação da encomenda não pode ser cancelada, pois existe encomenda filha. Operação "
         "Bloqueada.",
         "ENCO_FILHA", "000000000000000000001"},
        {"unregistered justification", number(5), "0009",
         "Justificativa de exclusão do histórico não cadastrada.", "JUST_N_CAD|0009",
         "000000000000000000001"},
        {"no such order", number(6), "0002", "Encomenda não encontrada.", "ENCO_N_ENCONTRADA",
         "<null>"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const auto before = orderTablesDump();
        EXPECT_EQ(cancel(test.order, "00", test.justification), test.text);
        EXPECT_EQ(orderTablesDump(), before);
        const DataPacket record = recordOf(test.order);
        expectRecordKey(field(record, "IDHISTCANC"));
        EXPECT_EQ(field(record, "IDRESULTADO"), "R");
        EXPECT_EQ(field(record, "DSRECUSA"), test.key);
        EXPECT_EQ(field(record, "CDOPERADOR"), "OPERADOR1");
        EXPECT_EQ(field(record, "CDJUSTEXCHIS"), test.justification);
        EXPECT_EQ(field(record, "TXOBSJUSTORC"), "Cliente desistiu.");
        EXPECT_EQ(field(record, "CDCLIENTE"), test.customer);
        EXPECT_EQ(field(record, "NRSEQORCAEVE"), "00");
    }
    EXPECT_EQ(historyCount("HISTCANCAPROV"), std::to_string(cases.size()));
    EXPECT_EQ(historyCount("HISTCONTARECEBER"), "0");
    EXPECT_EQ(historyCount("HISTPEDIDO"), "0");
}

TEST_P(HistoryTest, MalformedRequestsAreRefusedBeforeAnyOrderAndLeaveNoRecord) {
    addOrder(number(1));
    struct Case {
        const char* name;
        std::string order;
        std::string sequence;
        std::string justification;
        std::string operatorCode;
    };
    const std::vector<Case> cases = {
        {"order number too long", "00000000001", "00", "0001", "OPER"},
        {"sequence too long", number(1), "000", "0001", "OPER"},
        {"justification too long", number(1), "00", "00001", "OPER"},
        {"operator too long", number(1), "00", "0001", "OPERADOR12345"},
        {"operator not UTF-8", number(1), "00", "0001", "OP\xff"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string answer = cancel(test.order, test.sequence, test.justification,
                                          Variant("obs"), test.operatorCode);
        EXPECT_EQ(answer.rfind("O campo ", 0), 0u) << answer;
    }
    EXPECT_EQ(historyCount("HISTCANCAPROV"), "0");
    EXPECT_EQ(scalar("SELECT IDSITUORCEVE FROM ORCAEVENTO"), "2");
}

TEST_P(HistoryTest, AFailureAfterTheRecordRollsTheRecordBackWithTheCancellation) {
    // The last write of the cancellation fails: the record and the copies
    // written before it must go with the rest.
    if (engine() == host::sql::Engine::sqlite) {
        exec(
            "CREATE TRIGGER TR_TEST_FAIL BEFORE INSERT ON OBSJUSTORC"
            " BEGIN SELECT RAISE(ABORT, 'injected failure'); END");
    } else {
        exec(
            "CREATE FUNCTION FN_TEST_FAIL() RETURNS trigger LANGUAGE plpgsql AS"
            " $$ BEGIN RAISE EXCEPTION 'injected failure'; END $$");
        exec(
            "CREATE TRIGGER TR_TEST_FAIL BEFORE INSERT ON OBSJUSTORC"
            " FOR EACH ROW EXECUTE FUNCTION FN_TEST_FAIL()");
    }
    addOrder(number(1));
    addSalesOrder(number(1), "P000000001");
    addReceivable(number(1), "0000001234", 10);
    const auto before = orderTablesDump();
    EXPECT_EQ(cancel(number(1)),
              "Falha no banco de dados do servidor de aplicação. Consulte o registro do servidor.");
    EXPECT_EQ(orderTablesDump(), before);
    for (const std::string& table : historyTables) {
        EXPECT_EQ(historyCount(table), "0") << table;
    }
}

TEST_P(HistoryTest, OfTwoSimultaneousCancellationsExactlyOneIsRecordedCancelled) {
    constexpr int orders = 4;
    for (int index = 1; index <= orders; ++index) {
        addOrder(number(index));
        addSalesOrder(number(index), "P" + number(index).substr(1));
        addReceivable(number(index), number(index), 10);
    }
    for (int index = 1; index <= orders; ++index) {
        std::atomic<int> ready = 0;
        auto cancelOnce = [&](int who) {
            auto connection = connect();
            auto& client = connection->AppServerAs<host::IRdmCancAprovEnc>();
            std::string branch = "0001", order = number(index), sequence = "00";
            ++ready;
            while (ready < 2) {
            }
            try {
                client.CancAprovaEnc(branch, order, sequence, "0001",
                                     Variant("operador " + std::to_string(who)),
                                     "OPER" + std::to_string(who));
            } catch (const host::Exception&) {
            }
        };
        std::thread first(cancelOnce, 0);
        std::thread second(cancelOnce, 1);
        first.join();
        second.join();
        const DataPacket records = rows(
            "SELECT IDRESULTADO, DSRECUSA, IDHISTCANC FROM HISTCANCAPROV"
            " WHERE NRORCAEVENTO = :N ORDER BY IDRESULTADO",
            {{"N", number(index)}});
        ASSERT_EQ(records.rows.size(), 2u) << "order " << index;
        EXPECT_EQ(records.rows[0][0].AsString(), "C");
        EXPECT_EQ(records.rows[1][0].AsString(), "R");
        EXPECT_EQ(records.rows[1][1].AsString(), "ENCO_N_APROVADA|1");
        const std::string id = records.rows[0][2].AsString();
        EXPECT_EQ(scalar("SELECT COUNT(*) FROM HISTPEDIDO WHERE NRORCAEVENTO = :N",
                         {{"N", number(index)}}),
                  "1");
        EXPECT_EQ(scalar("SELECT IDHISTCANC FROM HISTCONTARECEBER WHERE NRORCAEVENTO = :N",
                         {{"N", number(index)}}),
                  id);
    }
}

TEST_P(HistoryTest, ACallPastItsDeadlineLeavesNoRecordEvenWhenItCouldGoOnLater) {
    using namespace std::chrono_literals;
    addOrder(number(1));
    addSalesOrder(number(1), "P000000001");
    addReceivable(number(1), "0000000001", 10);
    addOrder(number(2));
    addReceivable(number(2), "0000000002", 10, "S");
    for (const std::string& order : {number(1), number(2)}) {
        SCOPED_TRACE(order);
        const auto before = orderTablesDump();
        // Another session holds what the call needs: the order's row
        // (PostgreSQL) or the write lock (SQLite).
        auto blocker = testDatabase().connect();
        blocker->begin();
        if (engine() == host::sql::Engine::postgresql) {
            blocker->query("SELECT 1 FROM ORCAEVENTO WHERE NRORCAEVENTO = :N FOR UPDATE",
                           {{"N", order}});
        }
        host::net::CallDeadlines deadlines;
        deadlines.call = 500ms;
        auto impatient = host::net::makeGrpcCancAprovEnc("127.0.0.1", m_server->port(), deadlines);
        std::string branch = "0001", key = order, sequence = "00";
        EXPECT_THROW(
            impatient->CancAprovaEnc(branch, key, sequence, "0001", Variant("tarde"), "OPER"),
            host::Exception);
        // Longer than the deadline; then the server could go on, and must not.
        std::this_thread::sleep_for(1s);
        blocker->rollback();
        std::this_thread::sleep_for(500ms);
        EXPECT_EQ(orderTablesDump(), before);
        for (const std::string& table : historyTables) {
            EXPECT_EQ(historyCount(table), "0") << table;
        }
    }
    // The same calls with time to spare leave their records.
    EXPECT_EQ(cancel(number(1)), "<cancelled>");
    EXPECT_EQ(cancel(number(2)), "N_PARAM_CONTARECBAIXADA|0000000002");
    EXPECT_EQ(field(recordOf(number(1)), "IDRESULTADO"), "C");
    EXPECT_EQ(field(recordOf(number(2)), "IDRESULTADO"), "R");
}

// A delta that deletes rows of the order list, as the screen's data set makes it.
Variant deletionDelta(const DataPacket& list, const std::vector<std::size_t>& rowsToDelete) {
    DataPacket delta;
    delta.fields = list.fields;
    for (const std::size_t row : rowsToDelete) {
        delta.rows.push_back(list.rows[row]);
        delta.rowStatus.push_back(RowStatus::Deleted);
    }
    return Variant(delta);
}

TEST_P(HistoryTest, DeletionThroughTheListCopiesTheOrderItsItemsAndObservations) {
    addOrder(number(1));
    addOrder(number(2));
    addOrder(number(3));
    addItems(number(1));
    addItems(number(2));
    addItems(number(3));
    struct Saved {
        DataPacket order, items, observations;
    };
    std::vector<Saved> saved;
    for (int index = 1; index <= 2; ++index) {
        saved.push_back({orderRows("ORCAEVENTO", number(index), "NRSEQORCAEVE"),
                         orderRows("ITORCAEVEN", number(index), "NRITEMORCEVE"),
                         orderRows("OBSJUSTORC", number(index), "NRSEQHISTORCA")});
    }
    DataPacket list = listAll();
    ASSERT_EQ(list.rows.size(), 3u);

    api().SetEncomenda(deletionDelta(list, {0, 1}));

    for (int index = 1; index <= 2; ++index) {
        SCOPED_TRACE("order " + std::to_string(index));
        const DataPacket record = recordOf(number(index));
        const std::string id = field(record, "IDHISTCANC");
        expectRecordKey(id);
        EXPECT_EQ(field(record, "IDRESULTADO"), "X");
        EXPECT_EQ(field(record, "CDOPERADOR"), "OPERADOR1");
        EXPECT_EQ(field(record, "DSRECUSA"), "<null>");
        EXPECT_EQ(field(record, "CDCLIENTE"), "000000000000000000001");
        EXPECT_EQ(field(record, "NMCLIEORCEVE"), "Buffet Alegria Ltda");
        EXPECT_EQ(field(record, "CDVENDEDOR"), "0007");
        EXPECT_EQ(field(record, "DTHRHISTCANC"), Variant(fixedNow).AsString());
        EXPECT_EQ(field(record, "DSENDCLIENTE").rfind("ipv4:127.0.0.1:", 0), 0u);
        const Saved& before = saved[static_cast<std::size_t>(index - 1)];
        expectSameRows(copies("HISTORCAEVENTO", id, "NRSEQORCAEVE"), before.order, "order");
        expectSameRows(copies("HISTITORCAEVEN", id, "NRITEMORCEVE"), before.items, "items");
        expectSameRows(copies("HISTOBSJUSTORC", id, "NRSEQHISTORCA"), before.observations,
                       "observations");
        EXPECT_TRUE(orderRows("ORCAEVENTO", number(index), "NRSEQORCAEVE").rows.empty());
    }
    EXPECT_EQ(historyCount("HISTCANCAPROV"), "2");
    EXPECT_EQ(historyCount("HISTITORCAEVEN"), "4");
    EXPECT_EQ(orderRows("ITORCAEVEN", number(3), "NRITEMORCEVE").rows.size(), 2u);
}

TEST_P(HistoryTest, RefusedDeletionLeavesNoRecordAndNoCopies) {
    addOrder(number(1));
    addOrder(number(2));
    addItems(number(1));
    addItems(number(2));
    addSalesOrder(number(2), "P000000002");
    DataPacket list = listAll();
    const auto before = orderTablesDump();
    try {
        // The first deletion would pass; the second refuses the whole delta.
        api().SetEncomenda(deletionDelta(list, {0, 1}));
        ADD_FAILURE() << "accepted";
    } catch (const host::Exception& error) {
        EXPECT_STREQ(error.what(),
                     "A encomenda não pode ser excluída, pois existe(m) pedido(s) gerado(s) por "
                     "ela.");
    }
    EXPECT_EQ(orderTablesDump(), before);
    for (const std::string& table : historyTables) {
        EXPECT_EQ(historyCount(table), "0") << table;
    }
}

TEST_P(HistoryTest, TheEnginesRefuseToChangeOrRemoveHistory) {
    addOrder(number(1));
    addOrder(number(2));
    addItems(number(2));
    addSalesOrder(number(1), "P000000001");
    addReceivable(number(1), "0000001234", 10);
    ASSERT_EQ(cancel(number(1)), "<cancelled>");
    DataPacket list = listAll();
    ASSERT_EQ(list.rows.size(), 1u);
    api().SetEncomenda(deletionDelta(list, {0}));

    auto dump = [&] {
        std::vector<std::string> lines;
        for (const std::string& table : historyTables) {
            for (const auto& row : rows("SELECT * FROM " + table).rows) {
                std::string line = table;
                for (const Variant& value : row) {
                    line += "|" + value.AsString();
                }
                lines.push_back(line);
            }
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    const auto before = dump();
    for (const std::string& table : historyTables) {
        ASSERT_NE(historyCount(table), "0") << table;
    }
    std::vector<std::string> attempts;
    for (const std::string& table : historyTables) {
        attempts.push_back("UPDATE " + table + " SET CDFILIAL = '0002'");
        attempts.push_back("DELETE FROM " + table);
        attempts.push_back("DELETE FROM " + table + " WHERE CDFILIAL = '0001'");
        if (engine() == host::sql::Engine::postgresql) {
            attempts.push_back("TRUNCATE " + table + " CASCADE");
        }
    }
    for (const std::string& attempt : attempts) {
        SCOPED_TRACE(attempt);
        try {
            exec(attempt);
            ADD_FAILURE() << "the engine accepted it";
        } catch (const host::sql::DatabaseError& error) {
            EXPECT_NE(std::string(error.what()).find("history is append-only"), std::string::npos)
                << error.what();
        }
    }
    EXPECT_EQ(dump(), before);
}

TEST_P(HistoryTest, AuthorizationRefusalIsRecordedInItsOwnTransaction) {
    addOrder(number(1));
    addSalesOrder(number(1), "P000000001");
    const auto before = orderTablesDump();
    ore::server::OrderRepository repository(database());
    ore::server::OrderRules rules(repository);
    rules.recordAuthorizationRefusal(
        {"0001", number(1), "00"}, {std::string("0001"), std::string("Sem direito")},
        {"JOAO", "ipv4:10.0.0.7:5000", {}}, "PERM_CANC|0001", fixedNow);
    EXPECT_FALSE(database().inTransaction());
    EXPECT_EQ(orderTablesDump(), before);
    const DataPacket record = recordOf(number(1));
    EXPECT_EQ(field(record, "IDRESULTADO"), "A");
    EXPECT_EQ(field(record, "DSRECUSA"), "PERM_CANC|0001");
    EXPECT_EQ(field(record, "CDOPERADOR"), "JOAO");
    EXPECT_EQ(field(record, "DSENDCLIENTE"), "ipv4:10.0.0.7:5000");
    EXPECT_EQ(field(record, "CDJUSTEXCHIS"), "0001");
    EXPECT_EQ(field(record, "TXOBSJUSTORC"), "Sem direito");
    EXPECT_EQ(field(record, "CDVENDEDOR"), "0007");
    EXPECT_EQ(historyCount("HISTPEDIDO"), "0");
}

TEST_P(HistoryTest, AnOperatorWithoutTheRightIsRefusedAndOnlyTheRefusalIsRecorded) {
    exec("INSERT INTO FILIAL VALUES ('0002', 'Filial Sul')");
    addOrder(number(1));
    addSalesOrder(number(1), "P000000001");
    addReceivable(number(1), "0000000001", 10);
    struct Case {
        const char* name;
        const char* code;
        std::vector<db::OperatorBranch> branches;
    };
    const std::vector<Case> cases = {
        {"works on the branch, may not cancel", "VENDAS", {{"0001", false}}},
        {"another branch only", "SULISTA", {{"0002", true}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        testsupport::addTestOperator(database(), test.code, "senha-do-teste",
                                     test.branches.front().branch, test.branches);
        testsupport::signOnAs(m_server->port(), test.code, "senha-do-teste");
        const auto before = orderTablesDump();
        EXPECT_EQ(cancel(number(1)),
                  "Operador sem permissão para cancelar aprovações na filial 0001.");
        EXPECT_EQ(orderTablesDump(), before);
        const DataPacket record = rows("SELECT * FROM HISTCANCAPROV WHERE CDOPERADOR = :O",
                                       {{"O", std::string(test.code)}});
        ASSERT_EQ(record.rows.size(), 1u);
        expectRecordKey(field(record, "IDHISTCANC"));
        EXPECT_EQ(field(record, "IDRESULTADO"), "A");
        EXPECT_EQ(field(record, "DSRECUSA"), "OPER_SEM_PERM_CANC|0001");
        EXPECT_EQ(field(record, "NRORCAEVENTO"), number(1));
        EXPECT_EQ(field(record, "CDJUSTEXCHIS"), "0002");
        EXPECT_EQ(field(record, "TXOBSJUSTORC"), "Cliente desistiu.");
        EXPECT_EQ(field(record, "CDCLIENTE"), "000000000000000000001");
        EXPECT_EQ(field(record, "DTHRHISTCANC"), Variant(fixedNow).AsString());
        EXPECT_EQ(field(record, "DSENDCLIENTE").rfind("ipv4:127.0.0.1:", 0), 0u);
    }
    EXPECT_EQ(historyCount("HISTCANCAPROV"), "2");
    EXPECT_EQ(historyCount("HISTCONTARECEBER"), "0");
    EXPECT_EQ(historyCount("HISTPEDIDO"), "0");
}

TEST_P(HistoryTest, ACallWithoutASessionIsRefusedAndRecordsNothing) {
    addOrder(number(1));
    host::CurrentSession().sessionToken.clear();
    const auto before = orderTablesDump();
    EXPECT_EQ(cancel(number(1)), "Sessão não iniciada. Entre com seu operador e senha.");
    EXPECT_EQ(orderTablesDump(), before);
    EXPECT_EQ(historyCount("HISTCANCAPROV"), "0");
}

TEST(HistoryRecordKey, IsRandomHexOf128Bits) {
    std::vector<std::string> keys;
    for (int i = 0; i < 200; ++i) {
        keys.push_back(ore::server::HistoryRepository::newRecordId());
        expectRecordKey(keys.back());
    }
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());
}

ORE_ON_BOTH_ENGINES(HistoryTest);

}  // namespace
