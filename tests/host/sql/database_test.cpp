#include "host/sql/database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "tests/support/test_database.h"

namespace host::sql {
namespace {

using testsupport::EngineTest;

const std::string kBranchQuery =
    "SELECT CDFILIAL, NMFILIAL\n"
    "FROM FILIAL\n"
    "WHERE CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T'\n"
    "ORDER BY CDFILIAL";

std::vector<std::string> column(const DataPacket& packet, std::size_t index) {
    std::vector<std::string> values;
    for (const auto& row : packet.rows) {
        values.push_back(row.at(index).AsString());
    }
    return values;
}

class DatabaseTest : public EngineTest {
protected:
    void addBranches() {
        database().executeMany("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (:CD, :NM)",
                               {{Variant("0003"), Variant("TERCEIRA")},
                                {Variant("0001"), Variant("MATRIZ")},
                                {Variant("0002"), Variant("SEGUNDA")}});
    }

    std::int64_t count(const std::string& table) {
        return database().query("SELECT COUNT(*) AS N FROM " + table).rows.at(0).at(0).AsInteger();
    }

    // A table with one column of each type the schema uses.
    void createValueTable() {
        database().executeScript(
            "CREATE TABLE VALORES (ID INTEGER NOT NULL PRIMARY KEY, TX VARCHAR(7), "
            "DT TIMESTAMP, VR DOUBLE PRECISION, QT INTEGER, MEMO TEXT)");
    }
};

TEST_P(DatabaseTest, HostileTextIsAPlainValue) {
    const std::vector<std::string> texts = {
        "O'Brien", "'; DROP TABLE FILIAL; --", "' OR '1'='1", ":P_TCDFILIAL", "a::text",
        "/* x */", "Ação \"quoted\"",          "$$;$$"};
    int code = 0;
    for (const std::string& text : texts) {
        const std::string cd = std::to_string(++code);
        EXPECT_EQ(database().execute("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (:CD, :NM)",
                                     {{"CD", Variant(cd)}, {"NM", Variant(text)}}),
                  1);
        const DataPacket found = database().query(
            "SELECT CDFILIAL FROM FILIAL WHERE NMFILIAL = :NM", {{"NM", Variant(text)}});
        ASSERT_EQ(found.rows.size(), 1u) << text;
        EXPECT_EQ(found.rows[0][0].AsString(), cd);
    }
    const DataPacket all = database().query("SELECT NMFILIAL FROM FILIAL ORDER BY NMFILIAL");
    std::vector<std::string> sorted = texts;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::string> stored = column(all, 0);
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, sorted);
}

TEST_P(DatabaseTest, RepeatedParameterTakesOneValue) {
    addBranches();
    const DataPacket found = database().query(
        "SELECT CDFILIAL FROM FILIAL WHERE CDFILIAL = :CODE OR NMFILIAL = :CODE OR "
        "NMFILIAL = :NAME ORDER BY CDFILIAL",
        {{"NAME", Variant("SEGUNDA")}, {"CODE", Variant("0003")}});
    EXPECT_EQ(column(found, 0), (std::vector<std::string>{"0002", "0003"}));
}

TEST_P(DatabaseTest, MissingParameterIsNamedAndNothingRuns) {
    try {
        database().execute("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (:CD, :NM)",
                           {{"CD", Variant("0001")}});
        FAIL() << "no error";
    } catch (const DatabaseError& error) {
        EXPECT_STREQ(error.what(), "No value for parameter :NM");
    }
    EXPECT_EQ(count("FILIAL"), 0);
}

struct BranchCase {
    const char* name;
    const char* code;
    const char* allFlag;
    std::vector<std::string> expected;
};

TEST_P(DatabaseTest, BranchQueryOfTheScreen) {
    addBranches();
    const std::vector<BranchCase> cases = {
        {"AllFlagReturnsEveryBranchByCode", "", "T", {"0001", "0002", "0003"}},
        {"AllFlagIgnoresTheCode", "0002", "T", {"0001", "0002", "0003"}},
        {"EmptyFlagReturnsTheOneBranch", "0002", "", {"0002"}},
        {"EmptyFlagUnknownCode", "9999", "", {}},
        {"EmptyFlagShortCodeIsNotAdjusted", "2", "", {}},
        {"LowerCaseFlagIsNotAll", "", "t", {}},
    };
    for (const BranchCase& c : cases) {
        const DataPacket found = database().query(
            kBranchQuery, {{"P_CDFILIAL", Variant(c.code)}, {"P_TCDFILIAL", Variant(c.allFlag)}});
        EXPECT_EQ(column(found, 0), c.expected) << c.name;
        ASSERT_EQ(found.fields.size(), 2u);
        EXPECT_EQ(found.fields[0], (FieldDef{"CDFILIAL", FieldType::String, 4}));
        EXPECT_EQ(found.fields[1], (FieldDef{"NMFILIAL", FieldType::String, 30}));
    }
}

TEST_P(DatabaseTest, TypesAndNullsRoundTrip) {
    createValueTable();
    const Params values{{"ID", Variant(1)},
                        {"TX", Variant("abc")},
                        {"DT", Variant(TDateTime{36526.5})},
                        {"VR", Variant(1.234)},
                        {"QT", Variant(std::int64_t{2147483647})},
                        {"MEMO", Variant(Blob{"linha 1\nlinha 2 'x'"})}};
    const std::string insert =
        "INSERT INTO VALORES (ID, TX, DT, VR, QT, MEMO) VALUES (:ID, :TX, :DT, :VR, :QT, :MEMO)";
    database().execute(insert, values);
    database().execute(insert, {{"ID", Variant(2)},
                                {"TX", Variant()},
                                {"DT", Variant()},
                                {"VR", Variant()},
                                {"QT", Variant()},
                                {"MEMO", Variant()}});

    const DataPacket packet =
        database().query("SELECT TX, DT, VR, QT, MEMO, ID FROM VALORES ORDER BY ID");
    const std::vector<FieldDef> expectedFields = {
        {"TX", FieldType::String, 7}, {"DT", FieldType::DateTime, 0},
        {"VR", FieldType::Float, 0},  {"QT", FieldType::Integer, 0},
        {"MEMO", FieldType::Blob, 0}, {"ID", FieldType::Integer, 0}};
    EXPECT_EQ(packet.fields, expectedFields);
    ASSERT_EQ(packet.rows.size(), 2u);
    EXPECT_EQ(packet.rows[0][0], Variant("abc"));
    EXPECT_EQ(packet.rows[0][1], Variant(TDateTime{36526.5}));
    EXPECT_EQ(packet.rows[0][2], Variant(1.234));
    EXPECT_EQ(packet.rows[0][3], Variant(std::int64_t{2147483647}));
    EXPECT_EQ(packet.rows[0][4], Variant(Blob{"linha 1\nlinha 2 'x'"}));
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(packet.rows[1][i].IsNull()) << i;
    }

    // The stored form of a date is the same text on both engines.
    const DataPacket text = database().query(
        "SELECT CAST(DT AS VARCHAR(30)) AS T FROM VALORES "
        "WHERE ID = 1");
    EXPECT_EQ(text.rows.at(0).at(0), Variant("2000-01-01 12:00:00"));
}

TEST_P(DatabaseTest, DateParametersCompareWithStoredDates) {
    createValueTable();
    database().executeMany("INSERT INTO VALORES (ID, DT) VALUES (:ID, :DT)",
                           {{Variant(1), Variant(TDateTime{45000.25})},
                            {Variant(2), Variant(TDateTime{45001.75})},
                            {Variant(3), Variant(TDateTime{45002.0})}});
    const DataPacket found = database().query(
        "SELECT ID FROM VALORES WHERE DT >= :FROM AND DT < :UNTIL ORDER BY ID",
        {{"FROM", Variant(TDateTime{45001.0})}, {"UNTIL", Variant(TDateTime{45002.0})}});
    EXPECT_EQ(column(found, 0), std::vector<std::string>{"2"});
}

TEST_P(DatabaseTest, ExpressionColumnsAreTypedByValue) {
    addBranches();
    const DataPacket packet =
        database().query("SELECT COUNT(*) AS N, MAX(NMFILIAL) AS M, 'abcde' AS K FROM FILIAL");
    ASSERT_EQ(packet.fields.size(), 3u);
    EXPECT_EQ(packet.fields[0].type, FieldType::Integer);
    EXPECT_EQ(packet.rows[0][0], Variant(std::int64_t{3}));
    EXPECT_EQ(packet.fields[1].type, FieldType::String);
    EXPECT_EQ(packet.rows[0][1], Variant("TERCEIRA"));
    EXPECT_EQ(packet.fields[2], (FieldDef{"K", FieldType::String, 5}));
}

TEST_P(DatabaseTest, ExecuteCountsChangedRows) {
    addBranches();
    EXPECT_EQ(database().execute("UPDATE FILIAL SET NMFILIAL = :NM WHERE CDFILIAL <> :CD",
                                 {{"NM", Variant("X")}, {"CD", Variant("0001")}}),
              2);
    EXPECT_EQ(
        database().execute("DELETE FROM FILIAL WHERE CDFILIAL = :CD", {{"CD", Variant("9999")}}),
        0);
}

TEST_P(DatabaseTest, EngineErrorsCarryTheEngineText) {
    addBranches();
    try {
        database().execute("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (:CD, :NM)",
                           {{"CD", Variant("0001")}, {"NM", Variant("DUPLICADA")}});
        FAIL() << "no error";
    } catch (const ConflictError&) {
        FAIL() << "a duplicate key is no conflict";
    } catch (const DatabaseError& error) {
        const std::string text = error.what();
        EXPECT_TRUE(text.find("UNIQUE constraint failed") != std::string::npos ||
                    text.find("duplicate key value") != std::string::npos)
            << text;
    }
    EXPECT_THROW(database().query("SELECT NOPE FROM FILIAL"), DatabaseError);
    EXPECT_EQ(count("FILIAL"), 3);
}

TEST_P(DatabaseTest, ExecuteManyChecksEveryRowBeforeWriting) {
    try {
        database().executeMany("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (:CD, :NM)",
                               {{Variant("0001"), Variant("A")}, {Variant("0002")}});
        FAIL() << "no error";
    } catch (const DatabaseError& error) {
        EXPECT_STREQ(error.what(), "Row 2 has 1 values for 2 parameters");
    }
    EXPECT_EQ(count("FILIAL"), 0);
}

TEST_P(DatabaseTest, ExecuteManyFailureInsideTransactionRollsBackEverything) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= 2500; ++i) {
        rows.push_back({Variant(std::to_string(i)), Variant("N")});
    }
    rows.push_back({Variant("7"), Variant("DUPLICADA")});
    {
        Transaction transaction(database());
        EXPECT_THROW(database().executeMany(
                         "INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (:CD, :NM)", rows),
                     DatabaseError);
    }
    EXPECT_FALSE(database().inTransaction());
    EXPECT_EQ(count("FILIAL"), 0);
    rows.pop_back();
    EXPECT_EQ(
        database().executeMany("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (:CD, :NM)", rows),
        2500);
    EXPECT_EQ(count("FILIAL"), 2500);
}

TEST_P(DatabaseTest, TransactionCommitsOrRollsBack) {
    {
        Transaction transaction(database());
        EXPECT_TRUE(database().inTransaction());
        addBranches();
    }
    EXPECT_FALSE(database().inTransaction());
    EXPECT_EQ(count("FILIAL"), 0);
    {
        Transaction transaction(database());
        addBranches();
        transaction.commit();
    }
    EXPECT_EQ(count("FILIAL"), 3);
    auto other = testDatabase().connect();
    EXPECT_EQ(other->query("SELECT CDFILIAL FROM FILIAL").rows.size(), 3u);
}

TEST_P(DatabaseTest, SecondWriterWaitsForTheFirst) {
    addBranches();
    auto first = testDatabase().connect();
    auto second = testDatabase().connect();
    first->begin();
    first->execute("UPDATE FILIAL SET NMFILIAL = 'PRIMEIRO' WHERE CDFILIAL = '0001'");

    const auto started = std::chrono::steady_clock::now();
    auto writer = std::async(std::launch::async, [&] {
        Transaction transaction(*second);
        second->execute(
            "UPDATE FILIAL SET NMFILIAL = NMFILIAL || '+SEGUNDO' "
            "WHERE CDFILIAL = '0001'");
        transaction.commit();
        return std::chrono::steady_clock::now();
    });
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    first->commit();
    const auto finished = writer.get();
    EXPECT_GE(finished - started, std::chrono::milliseconds(300));
    EXPECT_EQ(database().query("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = '0001'").rows[0][0],
              Variant("PRIMEIRO+SEGUNDO"));
}

TEST_P(DatabaseTest, SingleStatementOnlyOutsideScripts) {
    if (engine() == Engine::postgresql) {
        GTEST_SKIP() << "PostgreSQL refuses several statements with parameters by itself";
    }
    EXPECT_THROW(database().execute("DELETE FROM FILIAL; DELETE FROM VENDEDOR"), DatabaseError);
    database().executeScript("DELETE FROM FILIAL; DELETE FROM VENDEDOR;");
}

TEST_P(DatabaseTest, ArrayParameterIsRefused) {
    try {
        database().query("SELECT CDFILIAL FROM FILIAL WHERE CDFILIAL = :CD",
                         {{"CD", VarArrayOf({Variant("0001")})}});
        FAIL() << "no error";
    } catch (const DatabaseError& error) {
        EXPECT_STREQ(error.what(), "Parameter :CD cannot take an array or a data packet");
    }
}

ORE_ON_BOTH_ENGINES(DatabaseTest);

TEST_P(DatabaseTest, QueryBatchAnswersEachStatementInOrder) {
    database().execute("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'MATRIZ')");
    database().execute("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0002', 'SUL')");
    const std::vector<DataPacket> packets = database().queryBatch(
        {{"SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = :B", {{"B", std::string("0002")}}},
         {"SELECT COUNT(*) AS N FROM FILIAL", {}},
         {"SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = :B", {{"B", std::string("0009")}}}});
    ASSERT_EQ(packets.size(), 3U);
    ASSERT_EQ(packets[0].rows.size(), 1U);
    EXPECT_EQ(packets[0].rows[0][0].AsString(), "SUL");
    EXPECT_EQ(packets[1].rows.at(0).at(0).AsInteger(), 2);
    EXPECT_EQ(packets[1].fields.at(0).name, "N");
    EXPECT_TRUE(packets[2].rows.empty());
    EXPECT_EQ(packets[2].fields.at(0).name, "NMFILIAL");
}

TEST_P(DatabaseTest, AFailingStatementOfABatchRaisesAndTheConnectionGoesOn) {
    database().execute("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'MATRIZ')");
    EXPECT_THROW(database().queryBatch({{"SELECT NMFILIAL FROM FILIAL", {}},
                                        {"SELECT NOTHING FROM NO_SUCH_TABLE", {}}}),
                 DatabaseError);
    EXPECT_FALSE(database().inTransaction());
    const auto packets = database().queryBatch({{"SELECT NMFILIAL FROM FILIAL", {}}});
    EXPECT_EQ(packets.at(0).rows.at(0).at(0).AsString(), "MATRIZ");
}

// Statements are kept prepared on the connection: the same text runs again
// with other values, after a failure of its own, and (PostgreSQL, whose
// plans are kept on the server) after its table was made again with other
// columns.
TEST_P(DatabaseTest, ARepeatedStatementSeesNewValuesAndNewTables) {
    const std::string insert = "INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (:B, :N)";
    database().execute(insert, {{"B", std::string("0001")}, {"N", std::string("MATRIZ")}});
    EXPECT_THROW(database().execute(insert, {{"B", std::string("0001")}, {"N", std::string("X")}}),
                 DatabaseError);
    database().execute(insert, {{"B", std::string("0002")}, {"N", std::string("SUL")}});
    EXPECT_EQ(database().query("SELECT COUNT(*) FROM FILIAL").rows.at(0).at(0).AsInteger(), 2);
    // A table made again with other columns: the kept statement answers
    // with the new columns, named and typed as they are now.
    const std::string read = "SELECT * FROM SCRATCH WHERE A = :A";
    database().executeScript("CREATE TABLE SCRATCH (A INTEGER, B VARCHAR(4))");
    database().execute("INSERT INTO SCRATCH VALUES (1, 'UM')");
    EXPECT_EQ(database().query(read, {{"A", std::int64_t{1}}}).rows.at(0).at(1).AsString(), "UM");
    database().executeScript("DROP TABLE SCRATCH");
    database().executeScript("CREATE TABLE SCRATCH (A INTEGER, B INTEGER, C VARCHAR(4))");
    database().execute("INSERT INTO SCRATCH VALUES (1, 7, 'SETE')");
    const DataPacket again = database().query(read, {{"A", std::int64_t{1}}});
    ASSERT_EQ(again.fields.size(), 3U);
    EXPECT_EQ(again.fields.at(2).name, "C");
    EXPECT_EQ(again.fields.at(1).type, FieldType::Integer);
    EXPECT_EQ(again.rows.at(0).at(1).AsInteger(), 7);
    EXPECT_EQ(again.rows.at(0).at(2).AsString(), "SETE");
}

TEST_P(DatabaseTest, ManyDistinctStatementsKeepWorking) {
    for (int index = 0; index < 600; ++index) {
        const std::string statement = "SELECT " + std::to_string(index) + " AS N";
        ASSERT_EQ(database().query(statement).rows.at(0).at(0).AsInteger(), index);
    }
    if (engine() == Engine::postgresql) {
        // The connection does not keep every text it ever ran prepared.
        EXPECT_LE(database()
                      .query("SELECT COUNT(*) FROM pg_prepared_statements")
                      .rows.at(0)
                      .at(0)
                      .AsInteger(),
                  260);
    }
}

TEST(DatabaseOpen, UnreachableTargetsRaiseDatabaseError) {
    try {
        Database::open("sqlite:/nonexistent/folder/x.db");
        FAIL() << "no error";
    } catch (const DatabaseError& error) {
        EXPECT_EQ(
            std::string(error.what()).rfind("Cannot open database '/nonexistent/folder/x.db': ", 0),
            0u)
            << error.what();
    }
    try {
        Database::open("host=127.0.0.1 port=1 dbname=none connect_timeout=2");
        FAIL() << "no error";
    } catch (const DatabaseError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Cannot connect to PostgreSQL: ", 0), 0u)
            << error.what();
    }
    EXPECT_THROW(Database::open(""), DatabaseError);
}

TEST(DatabaseOpen, PlainPathAndPrefixOpenSqlite) {
    testsupport::TestDatabase scratch(Engine::sqlite, false);
    const std::string path = scratch.target().substr(7);
    EXPECT_EQ(Database::open(path)->engine(), Engine::sqlite);
    auto database = Database::open("sqlite:" + path);
    EXPECT_EQ(database->engine(), Engine::sqlite);
    EXPECT_EQ(database->query("PRAGMA journal_mode").rows.at(0).at(0), Variant("wal"));
    // FULL: every commit's log is on disk before the commit returns.
    EXPECT_EQ(database->query("PRAGMA synchronous").rows.at(0).at(0), Variant(std::int64_t{2}));
    EXPECT_EQ(database->query("PRAGMA foreign_keys").rows.at(0).at(0), Variant(std::int64_t{1}));
}

TEST(DatabaseOpen, SqliteWriterGivesUpWithAConflictAfterTheBusyTimeout) {
    // Covered in spirit by SecondWriterWaitsForTheFirst: waiting 5 s here would
    // slow the suite, so only the error kind of a held lock is checked.
    testsupport::TestDatabase scratch(Engine::sqlite, true);
    auto first = scratch.connect();
    first->begin();
    auto second = scratch.connect();
    second->executeScript("PRAGMA busy_timeout = 50");
    EXPECT_THROW(second->begin(), ConflictError);
    first->rollback();
}

TEST(PostgresqlOnly, LockTimeoutIsAConflict) {
    if (testsupport::postgresqlServer().empty()) {
        GTEST_SKIP() << "ORE_TEST_PG is not set";
    }
    testsupport::TestDatabase scratch(Engine::postgresql, true);
    scratch.database().execute("INSERT INTO FILIAL (CDFILIAL) VALUES ('0001')");
    auto first = scratch.connect();
    auto second = scratch.connect();
    first->begin();
    first->execute("UPDATE FILIAL SET NMFILIAL = 'A' WHERE CDFILIAL = '0001'");
    second->executeScript("SET lock_timeout = '50ms'");
    second->begin();
    EXPECT_THROW(second->execute("UPDATE FILIAL SET NMFILIAL = 'B' WHERE CDFILIAL = '0001'"),
                 ConflictError);
    second->rollback();
    first->commit();
}

// A pooled connection whose backend was stopped says so when the next call
// takes it, before anything is sent: the caller may take another one.
TEST(PostgresqlOnly, AConnectionClosedByTheServerIsUnreachableAtItsNextDeadline) {
    if (testsupport::postgresqlServer().empty()) {
        GTEST_SKIP() << "ORE_TEST_PG is not set";
    }
    testsupport::TestDatabase scratch(Engine::postgresql, true);
    auto pooled = scratch.connect();
    const std::int64_t backend =
        pooled->query("SELECT pg_backend_pid()").rows.at(0).at(0).AsInteger();
    scratch.database().query("SELECT pg_terminate_backend(:P)", {{"P", backend}});
    // The close reaches this side some time after the backend was told to
    // stop; until then there is nothing to see, and asking sends nothing.
    const auto gone = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool unreachable = false;
    while (!unreachable && std::chrono::steady_clock::now() < gone) {
        try {
            pooled->setDeadline(std::chrono::steady_clock::now() + std::chrono::seconds(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } catch (const UnreachableError&) {
            unreachable = true;
        }
    }
    EXPECT_TRUE(unreachable);
}

TEST(PostgresqlOnly, CommitAfterAFailedStatementIsAnError) {
    if (testsupport::postgresqlServer().empty()) {
        GTEST_SKIP() << "ORE_TEST_PG is not set";
    }
    testsupport::TestDatabase scratch(Engine::postgresql, true);
    auto& database = scratch.database();
    database.begin();
    database.execute("INSERT INTO FILIAL (CDFILIAL) VALUES ('0001')");
    EXPECT_THROW(database.execute("INSERT INTO FILIAL (CDFILIAL) VALUES ('0001')"), DatabaseError);
    try {
        database.commit();
        FAIL() << "no error";
    } catch (const DatabaseError& error) {
        EXPECT_STREQ(error.what(), "The transaction was rolled back after an earlier error");
    }
    EXPECT_FALSE(database.inTransaction());
    EXPECT_TRUE(database.query("SELECT CDFILIAL FROM FILIAL").rows.empty());
}

}  // namespace
}  // namespace host::sql
