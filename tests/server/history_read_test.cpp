// The history reads through the real client against a real server, on each
// engine: filters, order, removed documents, request checks, the row cap, and who may read what.
#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <memory>
#include <string>
#include <vector>

#include "host/data/data_packet.h"
#include "host/net/hist_canc_aprov.h"
#include "host/net/net_connection.h"
#include "host/services/session.h"
#include "host/sql/sql_dates.h"
#include "server/history_read.h"
#include "server/order_server.h"
#include "tests/support/server_fixture.h"
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

namespace {

using host::DataPacket;
using host::FieldDef;
using host::FieldType;
using host::TDateTime;
using host::Variant;
using host::sql::Params;

TDateTime at(const char* text) {
    return *host::sql::parseTimestamp(text);
}

// Record keys: 32 hex digits, the last two telling the records apart.
std::string recordId(int n) {
    const std::string digits = std::to_string(n);
    return std::string(32 - digits.size(), '0') + digits;
}

struct Record {
    int id = 0;
    std::string branch = "0001";
    std::string number = "0000000001";
    std::string operatorCode = "ANA";
    const char* when = "2026-11-10 09:00:00";
    Variant justification = Variant(std::string("0001"));
    std::string outcome = "C";
    Variant refusal{};
};

class HistoryReadTest : public testsupport::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        spdlog::set_level(spdlog::level::off);
        exec("INSERT INTO FILIAL VALUES ('0001', 'Matriz'), ('0002', 'Filial Sul')");
        exec(
            "INSERT INTO JUSTEXCHIS VALUES ('0001', 'Desistência do cliente'),"
            " ('0002', 'Erro de digitação')");
        exec(
            "INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NMFANTCLIE) VALUES"
            " ('000000000000000000001', 'J', 'Buffet Alegria')");
        exec(
            "INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, DSSENHAHASH, CDFILIAL) VALUES"
            " ('ANA', 'Ana Lima', 'x', '0001'), ('BETO', 'Beto Reis', 'x', '0002')");
        m_server = testsupport::startLoopbackServer(testDatabase().target());
        m_connection = testsupport::connectTo(m_server->port(), "netHistCancAprov",
                                              host::histCancAprovServerName);
        testsupport::signOnAsTester(database(), m_server->port());
    }

    void TearDown() override {
        host::CurrentSession().sessionToken.clear();
        m_connection.reset();
        m_server.reset();
        EngineTest::TearDown();
    }

    host::IRdmHistCancAprov& api() { return m_connection->AppServerAs<host::IRdmHistCancAprov>(); }

    void exec(const std::string& statement, const Params& params = {}) {
        database().execute(statement, params);
    }

    void addRecord(const Record& record) {
        exec(
            "INSERT INTO HISTCANCAPROV (IDHISTCANC, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE,"
            " CDCLIENTE, NMCLIEORCEVE, CDVENDEDOR, CDOPERADOR, DTHRHISTCANC, CDJUSTEXCHIS,"
            " TXOBSJUSTORC, IDRESULTADO, DSRECUSA) VALUES (:ID, :B, :N, '00',"
            " '000000000000000000001', 'Nome na encomenda', '0001', :OP, :W, :J, :OBS, :R, :RC)",
            {{"ID", recordId(record.id)},
             {"B", record.branch},
             {"N", record.number},
             {"OP", record.operatorCode},
             {"W", at(record.when)},
             {"J", record.justification},
             {"OBS", Variant(std::string("Cliente desistiu; ligou às 9h"))},
             {"R", record.outcome},
             {"RC", record.refusal}});
    }

    struct Filter {
        TDateTime from{};
        TDateTime to{};
        std::string branch{};
        std::string operatorCode{};
        std::string justification{};
        std::string outcome{};
    };

    DataPacket read(const Filter& filter, bool* truncated = nullptr) {
        bool cut = true;
        DataPacket packet =
            api()
                .GetHistCancAprov(filter.from, filter.to, filter.branch, filter.operatorCode,
                                  filter.justification, filter.outcome, cut)
                .AsPacket();
        if (truncated != nullptr) {
            *truncated = cut;
        }
        return packet;
    }

    std::string readError(const Filter& filter) {
        try {
            read(filter);
        } catch (const host::Exception& error) {
            return error.what();
        }
        return "<no error>";
    }

    // The last two digits of each record's key, in the order of the answer.
    static std::vector<int> ids(const DataPacket& packet) {
        const int column = packet.FieldIndex("IDHISTCANC");
        std::vector<int> result;
        for (const auto& row : packet.rows) {
            result.push_back(
                std::stoi(row[static_cast<std::size_t>(column)].AsString().substr(30)));
        }
        return result;
    }

    void seedFive() {
        addRecord({.id = 1, .when = "2026-10-05 08:00:00"});
        addRecord(
            {.id = 2, .branch = "0002", .operatorCode = "BETO", .when = "2026-11-01 00:00:00"});
        addRecord({.id = 3,
                   .when = "2026-11-30 23:59:59",
                   .justification = Variant(std::string("0002")),
                   .outcome = "R",
                   .refusal = Variant(std::string("N_PARAM_CONTARECBAIXADA|0000000042"))});
        addRecord({.id = 4, .when = "2026-12-01 00:00:00", .justification = Variant()});
        addRecord({.id = 5, .operatorCode = "BETO", .when = "2026-11-15 12:00:00", .outcome = "X"});
    }

    testsupport::RunningServer m_server;
    std::unique_ptr<host::TNetConnection> m_connection;
};

TEST_P(HistoryReadTest, FiltersSelectTheRecordsNewestFirst) {
    seedFive();
    const struct {
        const char* name;
        Filter filter;
        std::vector<int> expected;
    } cases[] = {
        {"everything", {}, {4, 3, 5, 2, 1}},
        // The last day of the period counts whole, up to 23:59:59.
        {"november", {at("2026-11-01 00:00:00"), at("2026-11-30 00:00:00")}, {3, 5, 2}},
        {"from only", {.from = at("2026-11-15 00:00:00")}, {4, 3, 5}},
        {"until only", {.to = at("2026-10-05 00:00:00")}, {1}},
        {"one day, time ignored", {at("2026-11-15 18:00:00"), at("2026-11-15 01:00:00")}, {5}},
        {"branch", {.branch = "0002"}, {2}},
        {"operator", {.operatorCode = "BETO"}, {5, 2}},
        {"justification", {.justification = "0002"}, {3}},
        {"outcome", {.outcome = "C"}, {4, 2, 1}},
        {"all criteria",
         {at("2026-10-01 00:00:00"), at("2026-12-31 00:00:00"), "0001", "ANA", "0001", "C"},
         {1}},
        {"nothing matches", {.operatorCode = "NINGUEM"}, {}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        bool truncated = true;
        EXPECT_EQ(ids(read(test.filter, &truncated)), test.expected);
        EXPECT_FALSE(truncated);
    }
}

TEST_P(HistoryReadTest, RecordsCarryNamesOfCustomerOperatorAndJustification) {
    seedFive();
    const DataPacket packet = read({.justification = "0002"});
    ASSERT_EQ(packet.rows.size(), 1u);
    EXPECT_EQ(packet.fields, ore::server::HistoryReader::recordFields());
    const auto value = [&](const char* field) {
        return packet.rows[0][static_cast<std::size_t>(packet.FieldIndex(field))];
    };
    EXPECT_EQ(value("IDHISTCANC").AsString(), recordId(3));
    EXPECT_EQ(value("CDFILIAL").AsString(), "0001");
    EXPECT_EQ(value("NRORCAEVENTO").AsString(), "0000000001");
    EXPECT_EQ(value("NMCLIENTE").AsString(), "Buffet Alegria");
    EXPECT_EQ(value("NMOPERADOR").AsString(), "Ana Lima");
    EXPECT_EQ(value("DSJUSTEXCHIS").AsString(), "Erro de digitação");
    EXPECT_EQ(value("IDRESULTADO").AsString(), "R");
    EXPECT_EQ(value("DSRECUSA").AsString(), "N_PARAM_CONTARECBAIXADA|0000000042");
    EXPECT_EQ(value("TXOBSJUSTORC").AsString(), "Cliente desistiu; ligou às 9h");
    EXPECT_TRUE(value("VRREMOVIDO").IsNull());
    EXPECT_EQ(host::sql::formatTimestamp(value("DTHRHISTCANC").AsDateTime()),
              "2026-11-30 23:59:59");
}

TEST_P(HistoryReadTest, CustomerNameFallsBackToTheOrdersOwnName) {
    exec("DELETE FROM CLIENTE");
    addRecord({.id = 7});
    const DataPacket packet = read({});
    ASSERT_EQ(packet.rows.size(), 1u);
    EXPECT_EQ(packet.rows[0][static_cast<std::size_t>(packet.FieldIndex("NMCLIENTE"))].AsString(),
              "Nome na encomenda");
}

TEST_P(HistoryReadTest, MalformedFiltersAreRefusedWithAClearText) {
    const struct {
        const char* name;
        Filter filter;
        const char* text;
    } cases[] = {
        {"reversed period",
         {at("2026-11-02 00:00:00"), at("2026-11-01 23:00:00")},
         "O período do histórico começa depois de terminar."},
        {"outcome", {.outcome = "Z"}, "O resultado do histórico deve ser C, P, E, R, A ou X."},
        {"outcome too long", {.outcome = "CC"}, "O campo IDRESULTADO tem mais de 1 caracteres."},
        {"branch too long", {.branch = "00001"}, "O campo CDFILIAL tem mais de 4 caracteres."},
        {"operator too long",
         {.operatorCode = "OPERADOR-LONGO"},
         "O campo CDOPERADOR tem mais de 12 caracteres."},
        {"justification not UTF-8",
         {.justification = "\xff"},
         "O campo CDJUSTEXCHIS não é um texto UTF-8 válido."},
        {"date out of range",
         {.from = TDateTime{-700000}},
         "O campo Período inicial não contém uma data válida (anos de 1 a 9999)."},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(readError(test.filter), test.text);
    }
}

TEST_P(HistoryReadTest, RemovedDocumentsAreTheCopiesOfTheRecord) {
    seedFive();
    exec(
        "INSERT INTO HISTCONTARECEBER VALUES (:ID, '0001', '0000000011', '0000000001', '00',"
        " 1234.56, 'N', 'N'), (:ID, '0001', '0000000010', '0000000001', '00', 10, 'N', 'S'),"
        " (:OTHER, '0001', '0000000099', '0000000001', '00', 5, 'N', 'N')",
        {{"ID", recordId(1)}, {"OTHER", recordId(4)}});
    exec("INSERT INTO HISTPEDIDO VALUES (:ID, '0001', '0000000501', '0000000001', '00', 'A')",
         {{"ID", recordId(1)}});

    const Variant answer = api().GetHistCancAprovDoc(recordId(1));
    const auto& parts = answer.AsArray();
    ASSERT_EQ(parts.size(), 2u);
    const DataPacket& receivables = parts[0].AsPacket();
    const DataPacket& salesOrders = parts[1].AsPacket();
    EXPECT_EQ(receivables.fields, ore::server::HistoryReader::receivableFields());
    EXPECT_EQ(salesOrders.fields, ore::server::HistoryReader::salesOrderFields());
    ASSERT_EQ(receivables.rows.size(), 2u);
    EXPECT_EQ(receivables.rows[0][1].AsString(), "0000000010");
    EXPECT_EQ(receivables.rows[1][1].AsString(), "0000000011");
    EXPECT_DOUBLE_EQ(receivables.rows[1][4].AsFloat(), 1234.56);
    const DataPacket records = read({.branch = "0001", .justification = "0001", .outcome = "C"});
    ASSERT_EQ(ids(records), (std::vector<int>{1}));
    EXPECT_DOUBLE_EQ(
        records.rows[0][static_cast<std::size_t>(records.FieldIndex("VRREMOVIDO"))].AsFloat(),
        1244.56);
    EXPECT_EQ(receivables.rows[0][6].AsString(), "S");
    ASSERT_EQ(salesOrders.rows.size(), 1u);
    EXPECT_EQ(salesOrders.rows[0][1].AsString(), "0000000501");

    // A record that removed nothing answers two empty packets.
    const Variant none = api().GetHistCancAprovDoc(recordId(3));
    EXPECT_TRUE(none.AsArray()[0].AsPacket().rows.empty());
    EXPECT_TRUE(none.AsArray()[1].AsPacket().rows.empty());
}

TEST_P(HistoryReadTest, DocumentsOfAnUnknownOrMalformedRecordAreRefused) {
    seedFive();
    const struct {
        const char* name;
        std::string id;
        const char* text;
    } cases[] = {
        {"unknown", recordId(99), "Registro de histórico não encontrado."},
        {"short", "abc", "A chave do registro de histórico deve ter 32 dígitos hexadecimais."},
        {"not hex", std::string(31, 'a') + "'",
         "A chave do registro de histórico deve ter 32 dígitos hexadecimais."},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        try {
            api().GetHistCancAprovDoc(test.id);
            ADD_FAILURE() << "no refusal";
        } catch (const host::Exception& error) {
            EXPECT_STREQ(error.what(), test.text);
        }
    }
}

TEST_P(HistoryReadTest, TheListStopsAtTheCapAndSaysSo) {
    seedFive();
    ore::server::HistoryReader history(database());
    const ore::server::HistoryRecords cut = history.records({}, 3);
    EXPECT_TRUE(cut.truncated);
    EXPECT_EQ(ids(cut.records), (std::vector<int>{4, 3, 5}));
    const ore::server::HistoryRecords whole = history.records({}, 5);
    EXPECT_FALSE(whole.truncated);
    EXPECT_EQ(whole.records.rows.size(), 5u);
}

TEST_P(HistoryReadTest, AllowedBranchesNarrowTheList) {
    seedFive();
    ore::server::HistoryReader history(database());
    ore::server::HistoryQuery query;
    query.allowedBranches = std::vector<std::string>{"0002"};
    EXPECT_EQ(ids(history.records(query).records), (std::vector<int>{2}));
    query.allowedBranches = std::vector<std::string>{};
    EXPECT_TRUE(history.records(query).records.rows.empty());
    query.allowedBranches = std::vector<std::string>{"0001", "0002"};
    query.branch = "0002";
    EXPECT_EQ(ids(history.records(query).records), (std::vector<int>{2}));
}

TEST_P(HistoryReadTest, OnlyTheBranchesOfTheOperatorAreRead) {
    seedFive();
    testsupport::addTestOperator(database(), "SUL", "senha-sul", "0002", {{"0002", false}});
    testsupport::signOnAs(m_server->port(), "SUL", "senha-sul");
    EXPECT_EQ(ids(read({})), (std::vector<int>{2}));
    EXPECT_EQ(ids(read({.branch = "0002"})), (std::vector<int>{2}));
    EXPECT_EQ(readError({.branch = "0001"}),
              "Operador sem permissão para trabalhar na filial 0001.");
    try {
        api().GetHistCancAprovDoc(recordId(1));
        ADD_FAILURE() << "no refusal";
    } catch (const host::Exception& error) {
        EXPECT_STREQ(error.what(), "Operador sem permissão para trabalhar na filial 0001.");
    }
    EXPECT_EQ(api().GetHistCancAprovDoc(recordId(2)).AsArray().size(), 2u);
}

TEST_P(HistoryReadTest, NothingIsReadWithoutASession) {
    seedFive();
    host::CurrentSession().sessionToken.clear();
    EXPECT_EQ(readError({}), "Sessão não iniciada. Entre com seu operador e senha.");
    try {
        api().GetHistCancAprovDoc(recordId(1));
        ADD_FAILURE() << "no refusal";
    } catch (const host::Exception& error) {
        EXPECT_STREQ(error.what(), "Sessão não iniciada. Entre com seu operador e senha.");
    }
}

ORE_ON_BOTH_ENGINES(HistoryReadTest);

}  // namespace
