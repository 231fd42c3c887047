#include "db/schema.h"

#include <gtest/gtest.h>

#include "tests/support/test_database.h"

namespace db {
namespace {

using host::FieldDef;
using host::FieldType;

FieldDef text(const char* name, int size) {
    return {name, FieldType::String, size};
}
FieldDef when(const char* name) {
    return {name, FieldType::DateTime, 0};
}
FieldDef number(const char* name) {
    return {name, FieldType::Float, 0};
}

struct TableCase {
    const char* table;
    std::vector<FieldDef> columns;
};

const std::vector<TableCase> kTables = {
    {"FILIAL", {text("CDFILIAL", 4), text("NMFILIAL", 30)}},
    {"JUSTEXCHIS", {text("CDJUSTEXCHIS", 4), text("DSJUSTEXCHIS", 40)}},
    {"VENDEDOR", {text("CDVENDEDOR", 4), text("NMFANVEN", 50)}},
    {"PAIS", {text("CDPAIS", 4), text("NMPAIS", 30)}},
    {"MUNICIPIO",
     {text("CDPAIS", 4), text("SGESTADO", 2), text("CDMUNICIPIO", 7), text("NMMUNICIPIO", 30)}},
    {"CLIENTE",
     {text("CDCLIENTE", 21), text("IDTPIJURCLIE", 1), text("NRINSJURCLIE", 20),
      text("NMFANTCLIE", 50), text("NMRAZSOCCLIE", 50)}},
    {"ENDECLIE",
     {text("CDCLIENTE", 21), text("IDTPENDECLIE", 1), text("CDPAIS", 4), text("SGESTADO", 2),
      text("CDMUNICIPIO", 7), text("DSENDECLIE", 50)}},
    {"PRECOBASE", {text("CDPRECOBASE", 2), text("DSPRECOBASE", 30)}},
    {"PRODUTO",
     {text("CDPRODUTO", 10), text("CDARVPROD", 20), text("NMPRODUTO", 50), text("SGUNIDADE", 10)}},
    {"ORCAEVENTO",
     {text("CDFILIAL", 4), text("NRORCAEVENTO", 10), text("NRSEQORCAEVE", 2),
      text("IDSITUORCEVE", 1), when("DTEVENTO"), number("QTCONVORCEVE"), text("CDPRECOBASE", 2),
      when("DTVALIORCEVE"), text("CDVENDEDOR", 4), text("CDCLIENTE", 21), text("DSTITUORCEVE", 100),
      text("NMCLIEORCEVE", 50), text("CDJUSTEXCHIS", 4), text("CDOPEJUSTORC", 12),
      when("DTHRENTROREV")}},
    {"ITORCAEVEN",
     {text("CDFILIAL", 4), text("NRORCAEVENTO", 10), text("NRSEQORCAEVE", 2),
      text("NRITEMORCEVE", 10), text("CDPRODUTO", 10), number("QTITEMORCEVE"),
      number("VRITEMORCEVE"), number("VRDESCITOREV"), text("IDITOREVPROD", 1),
      text("NROPCAITOREV", 2), text("CDGRTOTAPROD", 3)}},
    {"OBSJUSTORC",
     {text("CDFILIAL", 4),
      text("NRORCAEVENTO", 10),
      text("NRSEQORCAEVE", 2),
      {"NRSEQHISTORCA", FieldType::Integer, 0},
      when("DTHRHISTORCA"),
      {"TXOBSJUSTORC", FieldType::Blob, 0},
      text("CDOPERADOR", 12),
      text("CDJUSTEXCHIS", 4)}},
    {"PEDIDO",
     {text("CDFILIAL", 4), text("NRPEDIDO", 10), text("NRORCAEVENTO", 10), text("NRSEQORCAEVE", 2),
      text("IDSITUPEDIDO", 1)}},
    {"ORDEMPROD",
     {text("CDFILIAL", 4), text("NRORDPROD", 10), text("NRSUBORDPROD", 1), text("NRPEDIDO", 10),
      text("CDPRODUTO", 10)}},
    {"CONTARECEBER",
     {text("CDFILIAL", 4), text("NRDOCUMENTO", 10), text("NRORCAEVENTO", 10),
      text("NRSEQORCAEVE", 2), number("VRDOCUMENTO"), text("IDBAIXADA", 1),
      text("IDBOLETOENVIADO", 1)}},
};

class SchemaTest : public testsupport::EngineTest {};

TEST_P(SchemaTest, EveryTableHasItsColumnsWithTheirTypesAndSizes) {
    for (const TableCase& table : kTables) {
        const auto packet =
            database().query("SELECT * FROM " + std::string(table.table) + " WHERE 1 = 0");
        EXPECT_EQ(packet.fields, table.columns) << table.table;
    }
}

TEST_P(SchemaTest, CreatingItAgainChangesNothing) {
    database().execute("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'MATRIZ')");
    createSchema(database());
    EXPECT_EQ(database().query("SELECT NMFILIAL FROM FILIAL").rows.at(0).at(0),
              host::Variant("MATRIZ"));
}

TEST_P(SchemaTest, KeysAreEnforced) {
    database().execute("INSERT INTO FILIAL (CDFILIAL) VALUES ('0001')");
    EXPECT_THROW(database().execute("INSERT INTO FILIAL (CDFILIAL) VALUES ('0001')"),
                 host::sql::DatabaseError);
    EXPECT_THROW(database().execute("INSERT INTO FILIAL (CDFILIAL) VALUES (NULL)"),
                 host::sql::DatabaseError);
    // Children need their order.
    EXPECT_THROW(database().execute("INSERT INTO ITORCAEVEN (CDFILIAL, NRORCAEVENTO, "
                                    "NRSEQORCAEVE, NRITEMORCEVE) VALUES ('0001', '1', '00', '1')"),
                 host::sql::DatabaseError);
    // Every other column takes a null.
    EXPECT_EQ(database().execute("INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE) "
                                 "VALUES ('0001', '0000000001', '00')"),
              1);
}

TEST_P(SchemaTest, AnObservationWrittenWithoutItsNumberGetsTheNextNumberOfItsOrder) {
    database().execute("INSERT INTO FILIAL (CDFILIAL) VALUES ('0001')");
    database().execute(
        "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE) VALUES "
        "('0001', '0000000001', '00'), ('0001', '0000000001', '01'), "
        "('0001', '0000000002', '00')");
    const auto observe = [this](const std::string& order, const std::string& sequence,
                                const std::string& text) {
        return database().execute(
            "INSERT INTO OBSJUSTORC (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, DTHRHISTORCA, "
            "TXOBSJUSTORC, CDOPERADOR, CDJUSTEXCHIS) VALUES ('0001', '" +
            order + "', '" + sequence + "', '2025-03-05 00:00:00', '" + text +
            "', 'OUTRO', '0001')");
    };
    EXPECT_EQ(observe("0000000001", "00", "a"), 1);
    EXPECT_EQ(observe("0000000001", "00", "b"), 1);
    EXPECT_EQ(observe("0000000001", "01", "c"), 1);
    // A number given is kept; the next one left out follows it.
    database().execute(
        "INSERT INTO OBSJUSTORC (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRSEQHISTORCA, "
        "TXOBSJUSTORC) VALUES ('0001', '0000000002', '00', 7, 'd')");
    EXPECT_EQ(observe("0000000002", "00", "e"), 1);
    // Several rows of one statement are numbered one after the other.
    EXPECT_EQ(database().execute(
                  "INSERT INTO OBSJUSTORC (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, TXOBSJUSTORC) "
                  "VALUES ('0001', '0000000001', '00', 'f'), ('0001', '0000000001', '00', 'g')"),
              2);

    const struct {
        const char* text;
        std::int64_t number;
    } expected[] = {{"a", 1}, {"b", 2}, {"c", 1}, {"d", 7}, {"e", 8}, {"f", 3}, {"g", 4}};
    for (const auto& observation : expected) {
        SCOPED_TRACE(observation.text);
        const auto packet = database().query(
            std::string("SELECT NRSEQHISTORCA FROM OBSJUSTORC WHERE TXOBSJUSTORC = '") +
            observation.text + "'");
        ASSERT_EQ(packet.rows.size(), 1u);
        EXPECT_EQ(packet.rows[0][0].AsInteger(), observation.number);
    }
    // The other columns are stored as written.
    const auto row = database().query(
        "SELECT CDOPERADOR, CDJUSTEXCHIS FROM OBSJUSTORC WHERE TXOBSJUSTORC = 'b'");
    ASSERT_EQ(row.rows.size(), 1u);
    EXPECT_EQ(row.rows[0][0], host::Variant("OUTRO"));
    EXPECT_EQ(row.rows[0][1], host::Variant("0001"));
}

TEST_P(SchemaTest, AnObservationNumberGivenTwiceForOneOrderIsRefused) {
    database().execute("INSERT INTO FILIAL (CDFILIAL) VALUES ('0001')");
    database().execute(
        "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE) VALUES "
        "('0001', '0000000001', '00')");
    const std::string insert =
        "INSERT INTO OBSJUSTORC (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRSEQHISTORCA) "
        "VALUES ('0001', '0000000001', '00', 1)";
    database().execute(insert);
    EXPECT_THROW(database().execute(insert), host::sql::DatabaseError);
}

ORE_ON_BOTH_ENGINES(SchemaTest);

TEST(SchemaText, IsTheOneCompiledIn) {
    EXPECT_NE(schemaSql().find("CREATE TABLE IF NOT EXISTS ORCAEVENTO"), std::string_view::npos);
    EXPECT_NE(schemaSql().find("IX_ORDEMPROD_PEDIDO"), std::string_view::npos);
}

}  // namespace
}  // namespace db

namespace {

// On SQLite the orders and the tables joined with them live in their primary
// key: no rowid to go through, a branch's orders stored together.
TEST(SchemaLayout, SqliteKeepsOrdersAndTheirLookupsInTheirKey) {
    testsupport::TestDatabase sqlite(host::sql::Engine::sqlite);
    for (const char* table :
         {"ORCAEVENTO", "ITORCAEVEN", "CLIENTE", "PRECOBASE", "JUSTEXCHIS", "PRODUTO"}) {
        EXPECT_THROW(sqlite.database().query("SELECT rowid FROM " + std::string(table)),
                     host::sql::DatabaseError)
            << table;
    }
    EXPECT_EQ(db::schemaSql(host::sql::Engine::postgresql), std::string(db::schemaSql()));
    EXPECT_EQ(db::schemaSql(host::sql::Engine::postgresql).find(") WITHOUT ROWID"),
              std::string::npos);
}

}  // namespace
