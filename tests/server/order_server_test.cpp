#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/data/data_packet.h"
#include "host/net/net_connection.h"
#include "host/services/session.h"
#include "host/sql/sql_dates.h"
#include "server/order_server.h"
#include "tests/support/server_fixture.h"
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

namespace {

using host::DataPacket;
using host::FieldDef;
using host::FieldType;
using host::RowStatus;
using host::TDateTime;
using host::Variant;
using host::sql::Params;

TDateTime at(const char* text) {
    return *host::sql::parseTimestamp(text);
}

const TDateTime fixedNow = testsupport::serverNow();

struct Order {
    std::string branch = "0001";
    std::string number;
    std::string sequence = "00";
    std::string status = "2";
    std::string salesman = "0001";
    std::string customer = "000000000000000000001";
    const char* delivery = "2024-05-10 14:00:00";
    Variant justification{};
};

struct Filter {
    std::string numberFrom{};
    std::string numberTo{};
    std::string allNumbers = "T";
    TDateTime deliveryFrom{};
    TDateTime deliveryTo{};
    std::string allDeliveries = "T";
    std::string salesmen{};
    std::string allSalesmen = "T";
    std::string customers{};
    std::string allCustomers = "T";
};

class OrderServerTest : public testsupport::ServerTest {
protected:
    std::string count(const std::string& table, const std::string& number) {
        return scalar("SELECT COUNT(*) FROM " + table + " WHERE NRORCAEVENTO = :N",
                      {{"N", number}});
    }

    std::string orderColumn(const std::string& column, const std::string& number,
                            const std::string& sequence = "00") {
        return scalar("SELECT " + column +
                          " FROM ORCAEVENTO WHERE CDFILIAL = '0001' AND NRORCAEVENTO = :N AND "
                          "NRSEQORCAEVE = :S",
                      {{"N", number}, {"S", sequence}});
    }

    void seedLookups() override {
        exec("INSERT INTO FILIAL VALUES ('0001', 'Matriz'), ('0002', 'Filial Sul')");
        exec(
            "INSERT INTO JUSTEXCHIS VALUES ('0001', 'Desistência do cliente'),"
            " ('0002', 'Erro de digitação')");
        exec(
            "INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NMFANTCLIE) VALUES"
            " ('000000000000000000001', 'J', 'Buffet Alegria'),"
            " ('000000000000000000002', 'F', 'Maria Souza'),"
            " ('O''BRIEN;1', 'F', 'Código estranho')");
        exec("INSERT INTO PRECOBASE VALUES ('01', 'Tabela padrão')");
        exec(
            "INSERT INTO PRODUTO VALUES ('0000000001', '1.01.001', 'Bolo de chocolate', 'UN'),"
            " ('0000000002', '1.02.001', 'Salgado sortido', 'CENTO')");
    }

    void addOrder(const Order& order) {
        exec(
            "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE,"
            " DTEVENTO, QTCONVORCEVE, CDPRECOBASE, CDVENDEDOR, CDCLIENTE, DSTITUORCEVE,"
            " CDJUSTEXCHIS, DTHRENTROREV) VALUES (:B, :N, :S, :ST, :EV, 120, '01', :V, :C,"
            " 'Festa', :J, :D)",
            {{"B", order.branch},
             {"N", order.number},
             {"S", order.sequence},
             {"ST", order.status},
             {"EV", at("2024-05-20 19:00:00")},
             {"V", order.salesman},
             {"C", order.customer},
             {"J", order.justification},
             {"D", at(order.delivery)}});
    }

    void addSalesOrder(const std::string& order, const std::string& salesOrder,
                       const std::string& status = "A") {
        exec("INSERT INTO PEDIDO VALUES ('0001', :P, :N, '00', :ST)",
             {{"P", salesOrder}, {"N", order}, {"ST", status}});
    }

    void addReceivable(const std::string& order, const std::string& document,
                       const std::string& paid = "N", const std::string& slipSent = "N") {
        exec("INSERT INTO CONTARECEBER VALUES ('0001', :D, :N, '00', 100.5, :P, :B)",
             {{"D", document}, {"N", order}, {"P", paid}, {"B", slipSent}});
    }

    DataPacket list(const std::string& branch, Filter filter = {}) {
        return api()
            .GetEncomenda(branch, filter.numberFrom, filter.numberTo, filter.allNumbers,
                          filter.deliveryFrom, filter.deliveryTo, filter.allDeliveries,
                          filter.salesmen, filter.allSalesmen, filter.customers,
                          filter.allCustomers)
            .AsPacket();
    }

    static std::vector<std::string> keys(const DataPacket& packet) {
        const int number = packet.FieldIndex("NRORCAEVENTO");
        const int sequence = packet.FieldIndex("NRSEQORCAEVE");
        std::vector<std::string> result;
        for (const auto& row : packet.rows) {
            result.push_back(row[static_cast<std::size_t>(number)].AsString() + "/" +
                             row[static_cast<std::size_t>(sequence)].AsString());
        }
        return result;
    }

    std::string cancelError(const std::string& number, const std::string& sequence = "00") {
        std::string branch = "0001", order = number, seq = sequence;
        try {
            api().CancAprovaEnc(branch, order, seq, "0001", Variant("texto"), "OPER");
        } catch (const host::Exception& error) {
            return error.what();
        }
        return "<no error>";
    }
};

std::string number(int value) {
    std::string text = std::to_string(value);
    return std::string(10 - text.size(), '0') + text;
}

TEST_P(OrderServerTest, ListHoldsApprovedAndClosedOrdersOfTheBranchInOrder) {
    addOrder({.number = number(3)});
    addOrder({.number = number(1), .sequence = "01", .status = "3"});
    addOrder({.number = number(1)});
    addOrder({.number = number(2), .status = "1"});
    addOrder({.number = number(4), .status = "8"});
    addOrder({.number = number(5), .status = "9"});
    addOrder({.branch = "0002", .number = number(6)});

    const DataPacket packet = list("0001");
    EXPECT_EQ(keys(packet),
              (std::vector<std::string>{number(1) + "/00", number(1) + "/01", number(3) + "/00"}));
}

TEST_P(OrderServerTest, ListPacketHasTheFieldsOfTheOrderDataSet) {
    addOrder({.number = number(1), .justification = Variant("0002")});
    const DataPacket packet = list("0001");
    const std::vector<FieldDef> expected = {
        {"NRORCAEVENTO", FieldType::String, 10},     {"NMFANTCLIE", FieldType::String, 50},
        {"IDSITUORCEVE", FieldType::String, 1},      {"CDFILIAL", FieldType::String, 4},
        {"NRSEQORCAEVE", FieldType::FixedString, 2}, {"DTEVENTO", FieldType::DateTime, 0},
        {"QTCONVORCEVE", FieldType::Float, 0},       {"CDPRECOBASE", FieldType::String, 2},
        {"DSPRECOBASE", FieldType::String, 30},      {"DTVALIORCEVE", FieldType::DateTime, 0},
        {"CDVENDEDOR", FieldType::String, 4},        {"CDCLIENTE", FieldType::String, 21},
        {"DSTITUORCEVE", FieldType::String, 100},    {"NMCLIEORCEVE", FieldType::String, 50},
        {"CDJUSTEXCHIS", FieldType::String, 4},      {"CDOPEJUSTORC", FieldType::String, 12},
        {"DSJUSTEXCHIS", FieldType::String, 40},     {"DTHRENTROREV", FieldType::DateTime, 0},
    };
    EXPECT_EQ(packet.fields, expected);
    ASSERT_EQ(packet.rows.size(), 1u);
    const auto& row = packet.rows[0];
    EXPECT_EQ(row[1], Variant("Buffet Alegria"));
    EXPECT_EQ(row[2], Variant("2"));
    EXPECT_EQ(row[4], Variant("00"));
    EXPECT_EQ(row[5], Variant(at("2024-05-20 19:00:00")));
    EXPECT_EQ(row[6], Variant(120.0));
    EXPECT_EQ(row[8], Variant("Tabela padrão"));
    EXPECT_TRUE(row[9].IsNull());
    EXPECT_TRUE(row[13].IsNull());
    EXPECT_EQ(row[16], Variant("Erro de digitação"));
    EXPECT_EQ(row[17], Variant(at("2024-05-10 14:00:00")));
}

TEST_P(OrderServerTest, ListDescribesCodesAsTheirTablesHoldThemNow) {
    addOrder({.number = number(1), .justification = Variant("0002")});
    addOrder({.number = number(2), .justification = Variant("0009")});
    exec("UPDATE ORCAEVENTO SET CDPRECOBASE = '99' WHERE NRORCAEVENTO = :N", {{"N", number(2)}});
    DataPacket packet = list("0001");
    ASSERT_EQ(packet.rows.size(), 2u);
    EXPECT_EQ(packet.rows[0][8], Variant("Tabela padrão"));
    EXPECT_EQ(packet.rows[0][16], Variant("Erro de digitação"));
    // A code without its row in the code table lists without a description.
    EXPECT_EQ(packet.rows[1][7], Variant("99"));
    EXPECT_TRUE(packet.rows[1][8].IsNull());
    EXPECT_EQ(packet.rows[1][14], Variant("0009"));
    EXPECT_TRUE(packet.rows[1][16].IsNull());

    exec("UPDATE JUSTEXCHIS SET DSJUSTEXCHIS = 'Outro motivo' WHERE CDJUSTEXCHIS = '0002'");
    exec("INSERT INTO PRECOBASE VALUES ('99', 'Tabela nova')");
    packet = list("0001");
    ASSERT_EQ(packet.rows.size(), 2u);
    EXPECT_EQ(packet.rows[0][16], Variant("Outro motivo"));
    EXPECT_EQ(packet.rows[1][8], Variant("Tabela nova"));
}

TEST_P(OrderServerTest, ListCriteriaApplyUnlessTheirFlagIsT) {
    addOrder({.number = number(1), .salesman = "0001", .delivery = "2024-05-09 23:59:59"});
    addOrder({.number = number(2), .salesman = "0002", .delivery = "2024-05-10 00:00:00"});
    addOrder({.number = number(3), .salesman = "0003", .delivery = "2024-05-11 23:59:59"});
    addOrder({.number = number(4),
              .salesman = "0002",
              .customer = "000000000000000000002",
              .delivery = "2024-05-12 00:00:00"});
    addOrder({.number = number(5), .customer = "000000000000000000002"});

    struct Case {
        const char* name;
        Filter filter;
        std::vector<int> numbers;
    };
    const std::vector<Case> cases = {
        {"everything", {}, {1, 2, 3, 4, 5}},
        {"number range inclusive",
         {.numberFrom = number(2), .numberTo = number(4), .allNumbers = ""},
         {2, 3, 4}},
        {"single number", {.numberFrom = number(3), .numberTo = number(3), .allNumbers = ""}, {3}},
        {"whole days from the first to the last",
         {.deliveryFrom = at("2024-05-10 15:00:00"),
          .deliveryTo = at("2024-05-11 08:00:00"),
          .allDeliveries = ""},
         {2, 3, 5}},
        {"salesman list", {.salesmen = "0002,0003", .allSalesmen = ""}, {2, 3, 4}},
        {"customer list", {.customers = "000000000000000000002", .allCustomers = ""}, {4, 5}},
        {"criteria together",
         {.numberFrom = number(1),
          .numberTo = number(4),
          .allNumbers = "",
          .salesmen = "0002",
          .allSalesmen = "",
          .customers = "000000000000000000002",
          .allCustomers = ""},
         {4}},
        {"flag T ignores a malformed list",
         {.salesmen = ",,", .allSalesmen = "T", .customers = "", .allCustomers = "T"},
         {1, 2, 3, 4, 5}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::string> expected;
        for (int value : test.numbers) {
            expected.push_back(number(value) + "/00");
        }
        EXPECT_EQ(keys(list("0001", test.filter)), expected);
    }
}

TEST_P(OrderServerTest, CodesWithQuotesSemicolonsAndSqlArePlainCodes) {
    addOrder({.number = number(1)});
    addOrder({.number = number(2), .customer = "000000000000000000002"});
    addOrder({.number = number(3), .customer = "O'BRIEN;1"});

    EXPECT_EQ(keys(list("0001", {.customers = "000000000000000000001,x' OR '1'='1,a;DELETE",
                                 .allCustomers = ""})),
              std::vector<std::string>{number(1) + "/00"});
    EXPECT_EQ(keys(list("0001", {.customers = "O'BRIEN;1", .allCustomers = ""})),
              std::vector<std::string>{number(3) + "/00"});
    EXPECT_TRUE(list("0001", {.salesmen = "'--", .allSalesmen = ""}).rows.empty());
    EXPECT_TRUE(list("0001", {.salesmen = "1;--", .allSalesmen = ""}).rows.empty());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM ORCAEVENTO"), "3");
}

TEST_P(OrderServerTest, MalformedListsAreRefusedWithAClearText) {
    addOrder({.number = number(1)});
    struct Case {
        Filter filter;
        const char* text;
    };
    const std::vector<Case> cases = {
        {{.salesmen = "0001,,0002", .allSalesmen = ""},
         "Lista de vendedores inválida: há um código vazio."},
        {{.salesmen = "", .allSalesmen = ""}, "Lista de vendedores inválida: há um código vazio."},
        {{.salesmen = "0001; DROP TABLE ORCAEVENTO", .allSalesmen = ""},
         "Lista de vendedores inválida: o código \"0001; DROP TABLE ORCAEVENTO\" tem mais de 4 "
         "caracteres."},
        {{.customers = "0000000000000000000001", .allCustomers = ""},
         "Lista de clientes inválida: o código \"0000000000000000000001\" tem mais de 21 "
         "caracteres."},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.text);
        try {
            list("0001", test.filter);
            ADD_FAILURE() << "accepted";
        } catch (const host::Exception& error) {
            EXPECT_STREQ(error.what(), test.text);
        }
    }
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM ORCAEVENTO"), "1");
}

TEST_P(OrderServerTest, ByReferenceFiltersComeBackAsSent) {
    addOrder({.number = number(1)});
    std::string from = number(1), to = number(9), allNumbers = "";
    TDateTime deliveryFrom = at("2024-05-01 00:00:00"), deliveryTo = at("2024-05-31 00:00:00");
    std::string allDeliveries = "", salesmen = "0001", allSalesmen = "", customers = "",
                allCustomers = "T";
    const Variant answer =
        api().GetEncomenda("0001", from, to, allNumbers, deliveryFrom, deliveryTo, allDeliveries,
                           salesmen, allSalesmen, customers, allCustomers);
    EXPECT_EQ(answer.AsPacket().rows.size(), 1u);
    EXPECT_EQ(from, number(1));
    EXPECT_EQ(to, number(9));
    EXPECT_EQ(allNumbers, "");
    EXPECT_EQ(deliveryFrom, at("2024-05-01 00:00:00"));
    EXPECT_EQ(deliveryTo, at("2024-05-31 00:00:00"));
    EXPECT_EQ(salesmen, "0001");
    EXPECT_EQ(allCustomers, "T");
}

TEST_P(OrderServerTest, ItemsAndTheLatestObservation) {
    addOrder({.number = number(1)});
    exec(
        "INSERT INTO ITORCAEVEN VALUES ('0001', :N, '00', '0000000002', '0000000002', 2.5,"
        " 80.456, 0, 'P', '01', '001'), ('0001', :N, '00', '0000000001', '0000000001', 1, 55.5,"
        " NULL, NULL, NULL, NULL)",
        {{"N", number(1)}});
    exec(
        "INSERT INTO OBSJUSTORC VALUES ('0001', :N, '00', 1, '2024-05-01 10:00:00', 'antiga',"
        " 'ANA', '0001'), ('0001', :N, '00', 2, '2024-05-02 10:00:00', 'Cliente desistiu.',"
        " 'JOSE', '0002'), ('0001', :N, '00', 3, NULL, 'sem data', 'X', NULL)",
        {{"N", number(1)}});

    const auto answer = api().GetItemEnc("0001", number(1), "00").AsArray();
    ASSERT_EQ(answer.size(), 2u);
    const DataPacket& items = answer[0].AsPacket();
    const std::vector<FieldDef> itemFields = {
        {"CDFILIAL", FieldType::String, 4},      {"NRORCAEVENTO", FieldType::String, 10},
        {"NRITEMORCEVE", FieldType::String, 10}, {"CDPRODUTO", FieldType::String, 10},
        {"QTITEMORCEVE", FieldType::Float, 0},   {"VRITEMORCEVE", FieldType::Float, 0},
        {"VRDESCITOREV", FieldType::Float, 0},   {"IDITOREVPROD", FieldType::String, 1},
        {"NROPCAITOREV", FieldType::String, 2},  {"CDGRTOTAPROD", FieldType::String, 3},
        {"CDARVPROD", FieldType::String, 20},    {"NMPRODUTO", FieldType::String, 50},
        {"SGUNIDADE", FieldType::String, 10},
    };
    EXPECT_EQ(items.fields, itemFields);
    ASSERT_EQ(items.rows.size(), 2u);
    EXPECT_EQ(items.rows[0][2], Variant("0000000001"));
    EXPECT_EQ(items.rows[0][11], Variant("Bolo de chocolate"));
    EXPECT_TRUE(items.rows[0][6].IsNull());
    EXPECT_EQ(items.rows[1][4], Variant(2.5));
    EXPECT_EQ(items.rows[1][5], Variant(80.456));
    EXPECT_EQ(items.rows[1][12], Variant("CENTO"));

    const DataPacket& observation = answer[1].AsPacket();
    const std::vector<FieldDef> observationFields = {
        {"TXOBSJUSTORC", FieldType::Blob, 0},    {"CDFILIAL", FieldType::String, 4},
        {"NRORCAEVENTO", FieldType::String, 10}, {"NRSEQORCAEVE", FieldType::FixedString, 2},
        {"CDOPERADOR", FieldType::String, 12},   {"DTHRHISTORCA", FieldType::DateTime, 0},
    };
    EXPECT_EQ(observation.fields, observationFields);
    ASSERT_EQ(observation.rows.size(), 1u);
    EXPECT_EQ(observation.rows[0][0].AsString(), "Cliente desistiu.");
    EXPECT_EQ(observation.rows[0][4], Variant("JOSE"));
}

TEST_P(OrderServerTest, TheItemsOfABigOrderArriveWhole) {
    // Far more than the client's first block for an answer (16 KiB).
    constexpr int itemCount = 1500;
    addOrder({.number = number(1)});
    std::string insert = "INSERT INTO ITORCAEVEN VALUES ";
    for (int item = 1; item <= itemCount; ++item) {
        insert += (item > 1 ? ", " : "") + std::string("('0001', :N, '00', '") + number(item) +
                  "', '0000000001', " + std::to_string(item) + ", 55.5, NULL, 'P', '01', '001')";
    }
    exec(insert, {{"N", number(1)}});

    const auto answer = api().GetItemEnc("0001", number(1), "00").AsArray();
    ASSERT_EQ(answer.size(), 2u);
    const DataPacket& items = answer[0].AsPacket();
    ASSERT_EQ(items.rows.size(), static_cast<std::size_t>(itemCount));
    for (int item = 1; item <= itemCount; ++item) {
        const auto& row = items.rows[static_cast<std::size_t>(item - 1)];
        ASSERT_EQ(row[2], Variant(number(item))) << "item " << item;
        ASSERT_EQ(row[4], Variant(static_cast<double>(item))) << "item " << item;
        ASSERT_EQ(row[11], Variant("Bolo de chocolate")) << "item " << item;
    }
    EXPECT_TRUE(answer[1].AsPacket().rows.empty());
}

TEST_P(OrderServerTest, OrderWithoutItemsOrObservationGivesEmptyPackets) {
    addOrder({.number = number(1)});
    const auto answer = api().GetItemEnc("0001", number(1), "00").AsArray();
    EXPECT_TRUE(answer[0].AsPacket().rows.empty());
    EXPECT_EQ(answer[0].AsPacket().fields.size(), 13u);
    EXPECT_TRUE(answer[1].AsPacket().rows.empty());
    EXPECT_EQ(answer[1].AsPacket().fields.size(), 6u);
}

TEST_P(OrderServerTest, ChildOrdersAreTheOtherSequencesOfTheNumber) {
    addOrder({.number = number(1)});
    addOrder({.number = number(1), .sequence = "02", .status = "1"});
    addOrder({.number = number(1), .sequence = "01"});
    addOrder({.branch = "0002", .number = number(1), .sequence = "03"});
    addOrder({.number = number(2)});

    const DataPacket children = api().GetEncomendaFilha("0001", number(1)).AsPacket();
    EXPECT_EQ(children.fields,
              (std::vector<FieldDef>{{"NRORCAEVENTO", FieldType::String, 10},
                                     {"NRSEQORCAEVE", FieldType::FixedString, 2}}));
    EXPECT_EQ(keys(children), (std::vector<std::string>{number(1) + "/01", number(1) + "/02"}));
    EXPECT_TRUE(api().GetEncomendaFilha("0001", number(2)).AsPacket().rows.empty());
}

TEST_P(OrderServerTest, CancellationRemovesWhatTheApprovalGeneratedAndRecordsTheReason) {
    addOrder({.number = number(1)});
    addOrder({.number = number(2)});
    addSalesOrder(number(1), "P000000001");
    addSalesOrder(number(2), "P000000002");
    addReceivable(number(1), "0000001234");
    addReceivable(number(2), "0000009999");

    std::string branch = "0001", order = number(1), sequence = "00";
    const auto answer = api()
                            .CancAprovaEnc(branch, order, sequence, "0002",
                                           Variant("Cliente desistiu da festa."), "OPERADOR1")
                            .AsArray();
    ASSERT_EQ(answer.size(), 2u);
    EXPECT_TRUE(answer[0].IsNull());
    EXPECT_TRUE(answer[1].IsNull());
    EXPECT_EQ(branch, "0001");
    EXPECT_EQ(order, number(1));
    EXPECT_EQ(sequence, "00");

    EXPECT_EQ(orderColumn("IDSITUORCEVE", number(1)), "1");
    EXPECT_EQ(orderColumn("CDJUSTEXCHIS", number(1)), "0002");
    // The session's operator, not the request's "OPERADOR1".
    EXPECT_EQ(orderColumn("CDOPEJUSTORC", number(1)), testsupport::testOperator);
    EXPECT_EQ(count("PEDIDO", number(1)), "0");
    EXPECT_EQ(count("CONTARECEBER", number(1)), "0");
    EXPECT_EQ(
        scalar("SELECT TXOBSJUSTORC FROM OBSJUSTORC WHERE NRORCAEVENTO = :N", {{"N", number(1)}}),
        "Cliente desistiu da festa.");
    EXPECT_EQ(
        scalar("SELECT CDOPERADOR FROM OBSJUSTORC WHERE NRORCAEVENTO = :N", {{"N", number(1)}}),
        testsupport::testOperator);
    EXPECT_EQ(
        scalar("SELECT DTHRHISTORCA FROM OBSJUSTORC WHERE NRORCAEVENTO = :N", {{"N", number(1)}}),
        Variant(fixedNow).AsString());
    // The other order is untouched.
    EXPECT_EQ(orderColumn("IDSITUORCEVE", number(2)), "2");
    EXPECT_EQ(count("PEDIDO", number(2)), "1");
    EXPECT_EQ(count("CONTARECEBER", number(2)), "1");
    // The order has left the list.
    EXPECT_EQ(keys(list("0001")), std::vector<std::string>{number(2) + "/00"});
}

TEST_P(OrderServerTest, CancellationWithoutReasonOrObservation) {
    addOrder({.number = number(1), .status = "3", .justification = Variant("0001")});
    std::string branch = "0001", order = number(1), sequence = "00";
    const auto answer = api().CancAprovaEnc(branch, order, sequence, "", Variant(), "").AsArray();
    EXPECT_TRUE(answer[0].IsNull() && answer[1].IsNull());
    EXPECT_EQ(orderColumn("IDSITUORCEVE", number(1)), "1");
    EXPECT_EQ(orderColumn("CDJUSTEXCHIS", number(1)), "0001");
    EXPECT_EQ(count("OBSJUSTORC", number(1)), "0");
}

TEST_P(OrderServerTest, ProductionOrdersBlockTheCancellationAndAreListed) {
    addOrder({.number = number(1)});
    addSalesOrder(number(1), "P000000001");
    addReceivable(number(1), "0000001234");
    exec(
        "INSERT INTO ORDEMPROD VALUES ('0001', 'OP00000002', '1', 'P000000001', '0000000002'),"
        " ('0001', 'OP00000001', '2', 'P000000001', '0000000001')");

    std::string branch = "0001", order = number(1), sequence = "00";
    const auto answer =
        api().CancAprovaEnc(branch, order, sequence, "0001", Variant("obs"), "OPER").AsArray();
    ASSERT_FALSE(answer[0].IsNull());
    EXPECT_TRUE(answer[1].IsNull());
    const DataPacket& production = answer[0].AsPacket();
    const std::vector<FieldDef> fields = {
        {"CDFILIAL", FieldType::String, 4},   {"NRPEDIDO", FieldType::String, 10},
        {"NRORDPROD", FieldType::String, 10}, {"NRSUBORDPROD", FieldType::String, 1},
        {"NMPRODUTO", FieldType::String, 50}, {"CDPRODUTO", FieldType::String, 10},
        {"CDARVPROD", FieldType::String, 20},
    };
    EXPECT_EQ(production.fields, fields);
    ASSERT_EQ(production.rows.size(), 2u);
    EXPECT_EQ(production.rows[0][2], Variant("OP00000001"));
    EXPECT_EQ(production.rows[0][4], Variant("Bolo de chocolate"));
    EXPECT_EQ(production.rows[1][6], Variant("1.02.001"));

    EXPECT_EQ(orderColumn("IDSITUORCEVE", number(1)), "2");
    EXPECT_EQ(orderColumn("CDJUSTEXCHIS", number(1)), "<null>");
    EXPECT_EQ(count("PEDIDO", number(1)), "1");
    EXPECT_EQ(count("CONTARECEBER", number(1)), "1");
    EXPECT_EQ(count("OBSJUSTORC", number(1)), "0");
}

TEST_P(OrderServerTest, ShippedSalesOrdersBlockTheCancellation) {
    addOrder({.number = number(1)});
    addSalesOrder(number(1), "P000000001");
    addSalesOrder(number(1), "P000000002", "E");
    addReceivable(number(1), "0000001234", "S");

    std::string branch = "0001", order = number(1), sequence = "00";
    const auto answer =
        api().CancAprovaEnc(branch, order, sequence, "0001", Variant("obs"), "OPER").AsArray();
    EXPECT_TRUE(answer[0].IsNull());
    ASSERT_FALSE(answer[1].IsNull());
    EXPECT_EQ(keys(list("0001")), std::vector<std::string>{number(1) + "/00"});
    EXPECT_EQ(orderColumn("IDSITUORCEVE", number(1)), "2");
    EXPECT_EQ(count("PEDIDO", number(1)), "2");
    EXPECT_EQ(count("CONTARECEBER", number(1)), "1");
    EXPECT_EQ(count("OBSJUSTORC", number(1)), "0");
}

TEST_P(OrderServerTest, KeyedRefusalsNameTheDocumentAndRollBack) {
    struct Case {
        const char* name;
        const char* paid;
        const char* slipSent;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"paid receivable", "S", "N", "N_PARAM_CONTARECBAIXADA|0000001234"},
        {"bank slip sent", "N", "S", "N_PARAM_BOLETO_ENVIADO|0000001234"},
        {"paid goes first", "S", "S", "N_PARAM_CONTARECBAIXADA|0000001234"},
    };
    int next = 1;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string order = number(next++);
        addOrder({.number = order});
        addSalesOrder(order, "P" + order.substr(1));
        addReceivable(order, "0000001234", test.paid, test.slipSent);
        addReceivable(order, "0000009999");
        EXPECT_EQ(cancelError(order), test.text);
        EXPECT_EQ(orderColumn("IDSITUORCEVE", order), "2");
        EXPECT_EQ(orderColumn("CDJUSTEXCHIS", order), "<null>");
        EXPECT_EQ(orderColumn("CDOPEJUSTORC", order), "<null>");
        EXPECT_EQ(count("PEDIDO", order), "1");
        EXPECT_EQ(count("CONTARECEBER", order), "2");
        EXPECT_EQ(count("OBSJUSTORC", order), "0");
        exec("DELETE FROM CONTARECEBER");
    }
}

TEST_P(OrderServerTest, OnlyApprovedOrClosedOrdersCanBeCancelled) {
    addOrder({.number = number(1), .status = "1"});
    addOrder({.number = number(2), .status = "8"});
    EXPECT_EQ(cancelError(number(1)),
              "A aprovação da encomenda não pode ser cancelada, pois a encomenda não está "
              "aprovada.");
    EXPECT_EQ(cancelError(number(2)),
              "A aprovação da encomenda não pode ser cancelada, pois a encomenda não está "
              "aprovada.");
    EXPECT_EQ(cancelError(number(3)), "Encomenda não encontrada.");
    EXPECT_EQ(orderColumn("IDSITUORCEVE", number(2)), "8");
    EXPECT_EQ(orderColumn("CDOPEJUSTORC", number(1)), "<null>");
}

TEST_P(OrderServerTest, AnUnregisteredJustificationIsRefusedWhateverTheOrder) {
    addOrder({.number = number(1), .status = "2"});
    addOrder({.number = number(2), .status = "1"});
    auto cancelWith = [&](const std::string& code, const std::string& number) {
        std::string branch = "0001", order = number, sequence = "00";
        try {
            api().CancAprovaEnc(branch, order, sequence, code, Variant("texto"), "OPER");
        } catch (const host::Exception& error) {
            return std::string(error.what());
        }
        return std::string("<no error>");
    };
    const std::string refused = "Justificativa de exclusão do histórico não cadastrada.";
    // Approved, not approved, missing: the justification is what is wrong.
    EXPECT_EQ(cancelWith("0009", number(1)), refused);
    EXPECT_EQ(cancelWith("0009", number(2)), refused);
    EXPECT_EQ(cancelWith("0009", number(3)), refused);
    EXPECT_EQ(orderColumn("IDSITUORCEVE", number(1)), "2");
    EXPECT_EQ(orderColumn("CDJUSTEXCHIS", number(1)), "<null>");
    EXPECT_EQ(orderColumn("CDOPEJUSTORC", number(1)), "<null>");
    EXPECT_EQ(cancelWith("0001", number(1)), "<no error>");
    EXPECT_EQ(orderColumn("IDSITUORCEVE", number(1)), "1");
}

TEST_P(OrderServerTest, OfTwoSimultaneousCancellationsExactlyOneSucceeds) {
    constexpr int orders = 4;
    for (int index = 1; index <= orders; ++index) {
        addOrder({.number = number(index)});
        addSalesOrder(number(index), "P" + number(index).substr(1));
        addReceivable(number(index), number(index));
    }
    for (int index = 1; index <= orders; ++index) {
        std::atomic<int> successes = 0;
        std::vector<std::string> errors(2);
        std::atomic<int> ready = 0;
        auto cancel = [&](int who) {
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
                ++successes;
            } catch (const host::Exception& error) {
                errors[static_cast<std::size_t>(who)] = error.what();
            }
        };
        std::thread first(cancel, 0);
        std::thread second(cancel, 1);
        first.join();
        second.join();
        EXPECT_EQ(successes.load(), 1) << "order " << index;
        const std::string& error = errors[0].empty() ? errors[1] : errors[0];
        EXPECT_EQ(error,
                  "A aprovação da encomenda não pode ser cancelada, pois a encomenda não está "
                  "aprovada.");
        EXPECT_EQ(count("OBSJUSTORC", number(index)), "1");
        EXPECT_EQ(count("PEDIDO", number(index)), "0");
    }
}

// A delta as the order list's data set makes it: the loaded row, then its new
// values (or the row alone, deleted).
class DeltaBuilder {
public:
    explicit DeltaBuilder(const DataPacket& list) : m_list(list) { m_delta.fields = list.fields; }
    DeltaBuilder& modify(std::size_t row,
                         const std::vector<std::pair<std::string, Variant>>& changes) {
        m_delta.rows.push_back(m_list.rows[row]);
        m_delta.rowStatus.push_back(RowStatus::Unmodified);
        auto values = m_list.rows[row];
        for (const auto& [name, value] : changes) {
            values[static_cast<std::size_t>(m_list.FieldIndex(name))] = value;
        }
        m_delta.rows.push_back(values);
        m_delta.rowStatus.push_back(RowStatus::Modified);
        return *this;
    }
    DeltaBuilder& remove(std::size_t row) {
        m_delta.rows.push_back(m_list.rows[row]);
        m_delta.rowStatus.push_back(RowStatus::Deleted);
        return *this;
    }
    DeltaBuilder& insert(std::size_t row) {
        m_delta.rows.push_back(m_list.rows[row]);
        m_delta.rowStatus.push_back(RowStatus::Inserted);
        return *this;
    }
    Variant packet() const { return Variant(m_delta); }

private:
    const DataPacket& m_list;
    DataPacket m_delta;
};

TEST_P(OrderServerTest, DeltaUpdatesTheReasonColumns) {
    addOrder({.number = number(1)});
    addOrder({.number = number(2)});
    const DataPacket orders = list("0001");
    api().SetEncomenda(DeltaBuilder(orders)
                           .modify(1, {{"CDJUSTEXCHIS", Variant("0002")},
                                       {"DSJUSTEXCHIS", Variant("Erro de digitação")},
                                       {"CDOPEJUSTORC", Variant("MARIA")}})
                           .packet());
    EXPECT_EQ(orderColumn("CDJUSTEXCHIS", number(2)), "0002");
    // The change log's "MARIA" gives way to the session's operator.
    EXPECT_EQ(orderColumn("CDOPEJUSTORC", number(2)), testsupport::testOperator);
    EXPECT_EQ(orderColumn("CDOPEJUSTORC", number(1)), "<null>");
}

TEST_P(OrderServerTest, DeltaRefusals) {
    addOrder({.number = number(1)});
    addOrder({.number = number(2)});
    const DataPacket orders = list("0001");
    struct Case {
        const char* name;
        Variant delta;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"status change",
         DeltaBuilder(orders)
             .modify(0, {{"CDOPEJUSTORC", Variant("MARIA")}, {"IDSITUORCEVE", Variant("1")}})
             .packet(),
         "A situação da encomenda só pode ser alterada pelo cancelamento da aprovação."},
        {"other column",
         DeltaBuilder(orders).modify(0, {{"DSTITUORCEVE", Variant("Outra festa")}}).packet(),
         "O campo DSTITUORCEVE da encomenda não pode ser alterado."},
        {"insert", DeltaBuilder(orders).insert(0).packet(), "Não é permitido incluir encomendas."},
        {"a later refusal undoes an earlier change",
         DeltaBuilder(orders)
             .modify(0, {{"CDOPEJUSTORC", Variant("MARIA")}})
             .modify(1, {{"IDSITUORCEVE", Variant("1")}})
             .packet(),
         "A situação da encomenda só pode ser alterada pelo cancelamento da aprovação."},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        try {
            api().SetEncomenda(test.delta);
            ADD_FAILURE() << "accepted";
        } catch (const host::Exception& error) {
            EXPECT_STREQ(error.what(), test.text);
        }
        EXPECT_EQ(orderColumn("IDSITUORCEVE", number(1)), "2");
        EXPECT_EQ(orderColumn("CDOPEJUSTORC", number(1)), "<null>");
        EXPECT_EQ(orderColumn("DSTITUORCEVE", number(1)), "Festa");
        EXPECT_EQ(scalar("SELECT COUNT(*) FROM ORCAEVENTO"), "2");
    }
}

TEST_P(OrderServerTest, DeltaOnARowChangedMeanwhileIsRefused) {
    addOrder({.number = number(1)});
    addOrder({.number = number(2)});
    const DataPacket orders = list("0001");
    exec("UPDATE ORCAEVENTO SET CDOPEJUSTORC = 'OUTRO' WHERE NRORCAEVENTO = :N",
         {{"N", number(2)}});
    struct Case {
        const char* name;
        Variant delta;
    };
    const std::vector<Case> cases = {
        {"update", DeltaBuilder(orders)
                       .modify(0, {{"CDOPEJUSTORC", Variant("MARIA")}})
                       .modify(1, {{"CDOPEJUSTORC", Variant("MARIA")}})
                       .packet()},
        {"delete", DeltaBuilder(orders).remove(1).packet()},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        try {
            api().SetEncomenda(test.delta);
            ADD_FAILURE() << "accepted";
        } catch (const host::Exception& error) {
            EXPECT_STREQ(error.what(), "Registro alterado por outro usuário.");
        }
        EXPECT_EQ(orderColumn("CDOPEJUSTORC", number(1)), "<null>");
        EXPECT_EQ(orderColumn("CDOPEJUSTORC", number(2)), "OUTRO");
    }
    exec("DELETE FROM ORCAEVENTO WHERE NRORCAEVENTO = :N", {{"N", number(1)}});
    try {
        api().SetEncomenda(
            DeltaBuilder(orders).modify(0, {{"CDOPEJUSTORC", Variant("X")}}).packet());
        ADD_FAILURE() << "accepted";
    } catch (const host::Exception& error) {
        EXPECT_STREQ(error.what(), "Registro alterado por outro usuário.");
    }
}

TEST_P(OrderServerTest, DeletionRemovesTheOrderWithItsItemsAndObservations) {
    addOrder({.number = number(1)});
    addOrder({.number = number(2)});
    exec(
        "INSERT INTO ITORCAEVEN (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRITEMORCEVE) VALUES"
        " ('0001', :N, '00', '1'), ('0001', :N, '00', '2'), ('0001', :M, '00', '1')",
        {{"N", number(1)}, {"M", number(2)}});
    exec(
        "INSERT INTO OBSJUSTORC (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRSEQHISTORCA,"
        " TXOBSJUSTORC) VALUES ('0001', :N, '00', 1, 'obs')",
        {{"N", number(1)}});
    api().SetEncomenda(DeltaBuilder(list("0001")).remove(0).packet());
    EXPECT_EQ(count("ORCAEVENTO", number(1)), "0");
    EXPECT_EQ(count("ITORCAEVEN", number(1)), "0");
    EXPECT_EQ(count("OBSJUSTORC", number(1)), "0");
    EXPECT_EQ(count("ORCAEVENTO", number(2)), "1");
    EXPECT_EQ(count("ITORCAEVEN", number(2)), "1");
}

TEST_P(OrderServerTest, DeletionIsRefusedWhileOthersReferToTheOrder) {
    addOrder({.number = number(1)});
    addOrder({.number = number(2)});
    addOrder({.number = number(3)});
    addSalesOrder(number(1), "P000000001");
    addSalesOrder(number(2), "P000000002");
    exec("INSERT INTO ORDEMPROD VALUES ('0001', 'OP00000001', '1', 'P000000002', NULL)");
    addReceivable(number(3), "0000000003");
    const DataPacket orders = list("0001");
    const std::vector<std::pair<std::size_t, const char*>> cases = {
        {0, "A encomenda não pode ser excluída, pois existe(m) pedido(s) gerado(s) por ela."},
        {1,
         "A encomenda não pode ser excluída, pois existe(m) ordem(ns) de produção ligada(s) a "
         "ela."},
        {2,
         "A encomenda não pode ser excluída, pois existe(m) conta(s) a receber ligada(s) a ela."},
    };
    for (const auto& [row, text] : cases) {
        SCOPED_TRACE(text);
        try {
            api().SetEncomenda(DeltaBuilder(orders).remove(row).packet());
            ADD_FAILURE() << "accepted";
        } catch (const host::Exception& error) {
            EXPECT_STREQ(error.what(), text);
        }
    }
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM ORCAEVENTO"), "3");
}

ORE_ON_BOTH_ENGINES(OrderServerTest);

}  // namespace
