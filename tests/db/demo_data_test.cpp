#include "db/demo_data.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tests/support/test_database.h"

namespace db {
namespace {

using host::Variant;
using Rows = std::vector<std::vector<Variant>>;

const std::map<std::string, std::string> kKeys = {
    {"FILIAL", "CDFILIAL"},
    {"JUSTEXCHIS", "CDJUSTEXCHIS"},
    {"VENDEDOR", "CDVENDEDOR"},
    {"PAIS", "CDPAIS"},
    {"MUNICIPIO", "CDPAIS, SGESTADO, CDMUNICIPIO"},
    {"CLIENTE", "CDCLIENTE"},
    {"ENDECLIE", "CDCLIENTE, IDTPENDECLIE"},
    {"PRECOBASE", "CDPRECOBASE"},
    {"PRODUTO", "CDPRODUTO"},
    {"ORCAEVENTO", "CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE"},
    {"ITORCAEVEN", "CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRITEMORCEVE"},
    {"OBSJUSTORC", "CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRSEQHISTORCA"},
    {"PEDIDO", "CDFILIAL, NRPEDIDO"},
    {"ORDEMPROD", "CDFILIAL, NRORDPROD, NRSUBORDPROD"},
    {"CONTARECEBER", "CDFILIAL, NRDOCUMENTO"},
};

std::map<std::string, Rows> dump(host::sql::Database& database) {
    std::map<std::string, Rows> tables;
    for (const auto& [table, key] : kKeys) {
        tables[table] = database.query("SELECT * FROM " + table + " ORDER BY " + key).rows;
    }
    return tables;
}

std::vector<std::string> strings(const host::DataPacket& packet, std::size_t column = 0) {
    std::vector<std::string> values;
    for (const auto& row : packet.rows) {
        values.push_back(row.at(column).AsString());
    }
    return values;
}

class DemoDataTest : public testsupport::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (!IsSkipped()) {
            m_summary = generateDemoData(database());
        }
    }

    host::DataPacket query(const std::string& statement, const host::sql::Params& params = {}) {
        return database().query(statement, params);
    }

    // The listed orders of a branch, as the order list selects them.
    std::vector<std::string> listed(const char* branch, const char* from, const char* to) {
        return strings(
            query("SELECT NRORCAEVENTO || '/' || NRSEQORCAEVE AS K FROM ORCAEVENTO "
                  "WHERE CDFILIAL = :B AND IDSITUORCEVE IN ('2', '3') AND "
                  "NRORCAEVENTO BETWEEN :F AND :T ORDER BY NRORCAEVENTO, NRSEQORCAEVE",
                  {{"B", Variant(branch)}, {"F", Variant(from)}, {"T", Variant(to)}}));
    }

    DemoSummary m_summary;
};

TEST_P(DemoDataTest, WritesTheRequestedNumberOfOrders) {
    EXPECT_EQ(m_summary.orders, 60);
    EXPECT_EQ(query("SELECT COUNT(*) AS N FROM ORCAEVENTO").rows[0][0], Variant(std::int64_t{60}));
    EXPECT_EQ(m_summary.branches, 3);
    EXPECT_EQ(query("SELECT COUNT(*) AS N FROM ITORCAEVEN").rows[0][0].AsInteger(),
              m_summary.items);
}

TEST_P(DemoDataTest, BranchesAndJustifications) {
    EXPECT_EQ(strings(query("SELECT CDFILIAL || ' ' || NMFILIAL AS X FROM FILIAL "
                            "ORDER BY CDFILIAL")),
              (std::vector<std::string>{"0001 MATRIZ", "0002 FILIAL CENTRO", "0003 FILIAL NORTE"}));
    EXPECT_EQ(query("SELECT DSJUSTEXCHIS FROM JUSTEXCHIS WHERE CDJUSTEXCHIS = '0001'").rows[0][0],
              Variant("CLIENTE DESISTIU"));
    EXPECT_EQ(strings(query("SELECT CDVENDEDOR FROM VENDEDOR ORDER BY CDVENDEDOR")),
              (std::vector<std::string>{"0001", "0002", "0003", "0004", "0005"}));
}

TEST_P(DemoDataTest, FixedOrdersOfTheMainBranchThatTheListShows) {
    EXPECT_EQ(listed("0001", "0000000100", "0000000199"),
              (std::vector<std::string>{"0000000101/00", "0000000102/00", "0000000103/00",
                                        "0000000104/00", "0000000105/00", "0000000106/00",
                                        "0000000107/00", "0000000108/00", "0000000109/00",
                                        "0000000110/00", "0000000110/01", "0000000110/02"}));
    EXPECT_EQ(strings(query("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE CDFILIAL = '0001' AND "
                            "NRORCAEVENTO IN ('0000000111', '0000000112', '0000000113') "
                            "ORDER BY NRORCAEVENTO")),
              (std::vector<std::string>{"1", "8", "9"}));
    EXPECT_EQ(listed("0002", "0000000200", "0000000299"),
              (std::vector<std::string>{"0000000201/00", "0000000202/00"}));
    EXPECT_EQ(listed("0003", "0000000300", "0000000399"),
              (std::vector<std::string>{"0000000301/00", "0000000302/00"}));
}

TEST_P(DemoDataTest, ItemTotalsOfOrder101) {
    const auto items = query(
        "SELECT QTITEMORCEVE, VRITEMORCEVE, NRITEMORCEVE FROM ITORCAEVEN WHERE CDFILIAL = '0001' "
        "AND NRORCAEVENTO = '0000000101' AND NRSEQORCAEVE = '00' ORDER BY NRITEMORCEVE");
    ASSERT_EQ(items.rows.size(), 2u);
    EXPECT_EQ(items.rows[0][0], Variant(3.0));
    EXPECT_EQ(items.rows[0][1], Variant(1.234));
    EXPECT_EQ(items.rows[0][2], Variant("0000000001"));
    EXPECT_EQ(items.rows[1][0], Variant(2.5));
    EXPECT_EQ(items.rows[1][1], Variant(4.0));
    EXPECT_DOUBLE_EQ(items.rows[0][0].AsFloat() * items.rows[0][1].AsFloat(), 3.702);
}

TEST_P(DemoDataTest, LatestObservationOfOrder101) {
    const auto latest = query(
        "SELECT TXOBSJUSTORC, CDOPERADOR FROM OBSJUSTORC WHERE CDFILIAL = '0001' AND "
        "NRORCAEVENTO = '0000000101' AND NRSEQORCAEVE = '00' "
        "ORDER BY DTHRHISTORCA DESC, NRSEQHISTORCA DESC");
    ASSERT_EQ(latest.rows.size(), 2u);
    EXPECT_EQ(latest.rows[0][0], Variant(host::Blob{"Observação mais recente da encomenda 101."}));
    EXPECT_EQ(latest.rows[0][1], Variant("SUPERVISOR"));
}

struct OutcomeCase {
    const char* number;
    std::int64_t salesOrders;
    std::int64_t shipped;
    std::int64_t productionOrders;
    std::int64_t paid;
    std::int64_t slipsSent;
    std::int64_t openReceivables;
};

TEST_P(DemoDataTest, WhatBlocksEachFixedOrder) {
    const std::vector<OutcomeCase> cases = {
        {"0000000101", 1, 0, 0, 0, 0, 1}, {"0000000102", 0, 0, 0, 0, 0, 0},
        {"0000000103", 0, 0, 0, 0, 0, 1}, {"0000000104", 0, 0, 0, 0, 0, 0},
        {"0000000105", 1, 0, 2, 0, 0, 0}, {"0000000106", 1, 1, 0, 0, 0, 0},
        {"0000000107", 0, 0, 0, 1, 0, 0}, {"0000000108", 0, 0, 0, 0, 1, 0},
        {"0000000109", 0, 0, 0, 0, 0, 0}, {"0000000110", 0, 0, 0, 0, 0, 0},
    };
    for (const OutcomeCase& c : cases) {
        const host::sql::Params key{{"N", Variant(c.number)}};
        const auto count = [&](const std::string& statement) {
            return query(statement, key).rows.at(0).at(0).AsInteger();
        };
        EXPECT_EQ(count("SELECT COUNT(*) AS N FROM PEDIDO WHERE CDFILIAL = '0001' AND "
                        "NRORCAEVENTO = :N"),
                  c.salesOrders)
            << c.number;
        EXPECT_EQ(count("SELECT COUNT(*) AS N FROM PEDIDO WHERE CDFILIAL = '0001' AND "
                        "NRORCAEVENTO = :N AND IDSITUPEDIDO = 'E'"),
                  c.shipped)
            << c.number;
        EXPECT_EQ(count("SELECT COUNT(*) AS N FROM ORDEMPROD O, PEDIDO P WHERE "
                        "O.CDFILIAL = P.CDFILIAL AND O.NRPEDIDO = P.NRPEDIDO AND "
                        "P.CDFILIAL = '0001' AND P.NRORCAEVENTO = :N"),
                  c.productionOrders)
            << c.number;
        EXPECT_EQ(count("SELECT COUNT(*) AS N FROM CONTARECEBER WHERE CDFILIAL = '0001' AND "
                        "NRORCAEVENTO = :N AND IDBAIXADA = 'S'"),
                  c.paid)
            << c.number;
        EXPECT_EQ(count("SELECT COUNT(*) AS N FROM CONTARECEBER WHERE CDFILIAL = '0001' AND "
                        "NRORCAEVENTO = :N AND IDBOLETOENVIADO = 'S'"),
                  c.slipsSent)
            << c.number;
        EXPECT_EQ(count("SELECT COUNT(*) AS N FROM CONTARECEBER WHERE CDFILIAL = '0001' AND "
                        "NRORCAEVENTO = :N AND IDBAIXADA = 'N' AND IDBOLETOENVIADO = 'N'"),
                  c.openReceivables)
            << c.number;
    }
    EXPECT_EQ(query("SELECT NRDOCUMENTO FROM CONTARECEBER WHERE CDFILIAL = '0001' AND "
                    "IDBAIXADA = 'S' AND NRORCAEVENTO = '0000000107'")
                  .rows.at(0)
                  .at(0),
              Variant("0000000107"));
}

TEST_P(DemoDataTest, DeliveryDaysOfTheFixedOrders) {
    const auto days = query(
        "SELECT CAST(DTHRENTROREV AS VARCHAR(30)) AS D FROM ORCAEVENTO WHERE CDFILIAL = '0001' "
        "AND NRORCAEVENTO BETWEEN '0000000101' AND '0000000110' "
        "ORDER BY NRORCAEVENTO, NRSEQORCAEVE");
    EXPECT_EQ(strings(days),
              (std::vector<std::string>{
                  "2025-03-10 09:00:00", "2025-03-10 14:30:00", "2025-03-11 10:00:00",
                  "2025-03-11 18:00:00", "2025-03-12 08:00:00", "2025-03-12 12:00:00",
                  "2025-03-13 09:30:00", "2025-03-13 16:00:00", "2025-03-13 20:00:00",
                  "2025-03-14 10:00:00", "2025-03-14 10:00:00", "2025-03-14 15:00:00"}));
}

TEST_P(DemoDataTest, CustomerLookupShowsEachCustomerOnceWithItsPrincipalAddress) {
    // The customer pick list's own statement.
    const auto rows = query(
        "SELECT\n   C.CDCLIENTE , C.IDTPIJURCLIE, C.NRINSJURCLIE,\n"
        "   C.NMFANTCLIE, C.NMRAZSOCCLIE, P.NMPAIS, \n"
        "   M.SGESTADO  , M.NMMUNICIPIO , E.DSENDECLIE \nFROM\n   CLIENTE C, PAIS P, \n"
        "   MUNICIPIO M, ENDECLIE E\nWHERE \n   (C.CDCLIENTE   = E.CDCLIENTE  ) AND\n"
        "   (E.CDPAIS      = M.CDPAIS     ) AND\n   (E.SGESTADO    = M.SGESTADO   ) AND\n"
        "   (E.CDMUNICIPIO = M.CDMUNICIPIO) AND\n   (M.CDPAIS      = P.CDPAIS     ) AND\n"
        "   (IDTPENDECLIE  = 'P')\nORDER BY\n   NRINSJURCLIE");
    EXPECT_EQ(static_cast<std::int64_t>(rows.rows.size()), m_summary.customers);
    std::set<std::string> codes;
    int persons = 0;
    int companies = 0;
    for (const auto& row : rows.rows) {
        codes.insert(row[0].AsString());
        EXPECT_EQ(row[0].AsString().size(), 6u);
        const std::string kind = row[1].AsString();
        const std::string registration = row[2].AsString();
        EXPECT_EQ(registration.size(), kind == "F" ? 11u : 14u) << registration;
        (kind == "F" ? persons : companies)++;
        EXPECT_EQ(row[5], Variant("BRASIL"));
        EXPECT_FALSE(row[7].AsString().empty());
    }
    EXPECT_EQ(codes.size(), rows.rows.size());
    EXPECT_GE(persons, 3);
    EXPECT_GE(companies, 3);
    EXPECT_EQ(query("SELECT NMFANTCLIE FROM CLIENTE WHERE CDCLIENTE = '000004'").rows[0][0],
              Variant("BUFFET D'ÁVILA"));
}

TEST_P(DemoDataTest, ParentWithChildren) {
    EXPECT_EQ(strings(query("SELECT NRSEQORCAEVE FROM ORCAEVENTO WHERE CDFILIAL = '0001' AND "
                            "NRORCAEVENTO = '0000000110' ORDER BY NRSEQORCAEVE")),
              (std::vector<std::string>{"00", "01", "02"}));
}

TEST_P(DemoDataTest, RefusesADatabaseThatHoldsData) {
    try {
        generateDemoData(database());
        FAIL() << "no error";
    } catch (const host::sql::DatabaseError& error) {
        EXPECT_STREQ(error.what(),
                     "The database already holds branches or orders; demo data needs an empty one");
    }
    EXPECT_EQ(query("SELECT COUNT(*) AS N FROM ORCAEVENTO").rows[0][0].AsInteger(), 60);
}

TEST_P(DemoDataTest, SameRowsEveryTime) {
    testsupport::TestDatabase other(engine());
    generateDemoData(other.database());
    EXPECT_EQ(dump(database()), dump(other.database()));
}

ORE_ON_BOTH_ENGINES(DemoDataTest);

TEST(DemoData, GeneratedOrdersSpreadOverBranchesStatusesAndDays) {
    testsupport::TestDatabase scratch(host::sql::Engine::sqlite);
    const DemoSummary summary = generateDemoData(scratch.database(), 2000);
    EXPECT_EQ(summary.orders, 2000);
    auto& database = scratch.database();
    const auto perBranch = database.query(
        "SELECT CDFILIAL, COUNT(*) AS N FROM ORCAEVENTO GROUP BY CDFILIAL ORDER BY CDFILIAL");
    ASSERT_EQ(perBranch.rows.size(), 3u);
    for (const auto& row : perBranch.rows) {
        EXPECT_GT(row[1].AsInteger(), 600) << row[0].AsString();
    }
    EXPECT_EQ(strings(database.query(
                  "SELECT DISTINCT IDSITUORCEVE FROM ORCAEVENTO ORDER BY IDSITUORCEVE")),
              (std::vector<std::string>{"1", "2", "3", "8", "9"}));
    EXPECT_GT(database
                  .query("SELECT COUNT(DISTINCT SUBSTR(CAST(DTHRENTROREV AS VARCHAR(30)), 1, "
                         "10)) AS N FROM ORCAEVENTO")
                  .rows[0][0]
                  .AsInteger(),
              300);
    EXPECT_GT(database
                  .query("SELECT COUNT(*) AS N FROM ORCAEVENTO WHERE NRSEQORCAEVE = '01' "
                         "AND NRORCAEVENTO >= '0000001000'")
                  .rows[0][0]
                  .AsInteger(),
              10);
    for (const char* table : {"ORDEMPROD", "OBSJUSTORC"}) {
        EXPECT_GT(database.query(std::string("SELECT COUNT(*) AS N FROM ") + table)
                      .rows[0][0]
                      .AsInteger(),
                  10)
            << table;
    }
}

TEST(DemoData, FewerOrdersThanTheFixedOnesStillWritesThemAll) {
    testsupport::TestDatabase scratch(host::sql::Engine::sqlite);
    EXPECT_EQ(generateDemoData(scratch.database(), 0).orders, kFixedOrderCount);
    EXPECT_THROW(generateDemoData(scratch.database(), -1), host::sql::DatabaseError);
}

TEST(DemoData, SameRowsOnBothEngines) {
    if (testsupport::postgresqlServer().empty()) {
        GTEST_SKIP() << "ORE_TEST_PG is not set";
    }
    testsupport::TestDatabase sqlite(host::sql::Engine::sqlite);
    testsupport::TestDatabase postgresql(host::sql::Engine::postgresql);
    generateDemoData(sqlite.database(), 300);
    generateDemoData(postgresql.database(), 300);
    EXPECT_EQ(dump(sqlite.database()), dump(postgresql.database()));
}

}  // namespace
}  // namespace db
