// The PostgreSQL roles of db/roles_postgresql.sql, applied by psql as an
// installation does, then used by connections of each role.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_database.h"

namespace {

using host::sql::Database;
using host::sql::Engine;

// Runs a program with its arguments (no shell); its exit code, -1 when it
// could not run or was killed.
int run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

const std::vector<std::string> lookupTables = {"FILIAL",   "JUSTEXCHIS", "VENDEDOR", "CLIENTE",
                                               "ENDECLIE", "MUNICIPIO",  "PAIS"};
const std::vector<std::string> historyTables = {"HISTCANCAPROV",  "HISTCONTARECEBER",
                                                "HISTPEDIDO",     "HISTORCAEVENTO",
                                                "HISTITORCAEVEN", "HISTOBSJUSTORC"};

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

class PostgresqlRolesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (testsupport::postgresqlServer().empty()) {
            GTEST_SKIP() << "ORE_TEST_PG is not set";
        }
        m_database = std::make_unique<testsupport::TestDatabase>(Engine::postgresql);
        ASSERT_EQ(applyRoles(), 0);
    }

    int applyRoles() {
        ::setenv("ORE_SERVER_PASSWORD", "server-test-password", 1);
        ::setenv("ORE_LOOKUP_PASSWORD", "lookup-test-password", 1);
        const int code = run({"psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-f", ORE_ROLES_SCRIPT,
                              m_database->target()});
        ::unsetenv("ORE_SERVER_PASSWORD");
        ::unsetenv("ORE_LOOKUP_PASSWORD");
        return code;
    }

    Database& owner() { return m_database->database(); }

    std::unique_ptr<Database> as(const std::string& role) {
        // Later keywords of a connection string replace earlier ones.
        return Database::open(m_database->target() + " user=" + role);
    }

    // "" when the statement runs, else the database's error.
    static std::string attempt(Database& database, const std::string& statement) {
        try {
            database.execute(statement);
        } catch (const std::exception& error) {
            return error.what();
        }
        return "";
    }

    static void expectDenied(Database& database, const std::string& statement,
                             const std::string& table) {
        const std::string answer = attempt(database, statement);
        EXPECT_NE(answer.find("permission denied for table " + lower(table)), std::string::npos)
            << statement << " -> " << (answer.empty() ? "allowed" : answer);
    }

    // Tables on which `role` holds any of `privileges`, sorted, upper case.
    std::vector<std::string> tablesWith(const std::string& role, const std::string& privileges) {
        const auto packet = owner().query(
            "SELECT UPPER(tablename) FROM pg_tables WHERE schemaname = 'public'"
            " AND has_table_privilege(:R, format('%I.%I', schemaname, tablename), :P)"
            " ORDER BY 1",
            {{"R", role}, {"P", privileges}});
        std::vector<std::string> tables;
        for (const auto& row : packet.rows) {
            tables.push_back(row.front().AsString());
        }
        return tables;
    }

    void addHistoryRecord() {
        owner().execute(
            "INSERT INTO HISTCANCAPROV (IDHISTCANC, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE,"
            " CDOPERADOR, DTHRHISTCANC, IDRESULTADO)"
            " VALUES ('00000000000000000000000000000001', '0001', '0000000001', '00', 'OPER01',"
            " TIMESTAMP '2024-05-10 14:00:00', 'C')");
    }

    std::string historyState() {
        const auto packet = owner().query(
            "SELECT COUNT(*) || ' ' || MIN(IDRESULTADO) || ' ' || MIN(CDOPERADOR)"
            " FROM HISTCANCAPROV");
        return packet.rows.front().front().AsString();
    }

    std::unique_ptr<testsupport::TestDatabase> m_database;
};

TEST_F(PostgresqlRolesTest, LookupRoleReadsEachLookupTable) {
    auto lookup = as("ore_lookup");
    for (const std::string& table : lookupTables) {
        EXPECT_EQ(attempt(*lookup, "SELECT COUNT(*) FROM " + table), "") << table;
    }
}

TEST_F(PostgresqlRolesTest, LookupRoleTouchesNothingElse) {
    owner().execute("INSERT INTO FILIAL VALUES ('0001', 'MATRIZ')");
    addHistoryRecord();
    auto lookup = as("ore_lookup");
    const std::pair<std::string, std::string> tablesAndColumns[] = {{"ORCAEVENTO", "CDFILIAL"},
                                                                    {"OPERADOR", "CDOPERADOR"},
                                                                    {"SESSAOOPER", "CDOPERADOR"},
                                                                    {"HISTCANCAPROV", "CDFILIAL"},
                                                                    {"CONTARECEBER", "CDFILIAL"}};
    for (const auto& [table, column] : tablesAndColumns) {
        expectDenied(*lookup, "SELECT COUNT(*) FROM " + table, table);
        expectDenied(*lookup, "UPDATE " + table + " SET " + column + " = " + column, table);
        expectDenied(*lookup, "DELETE FROM " + table, table);
        expectDenied(*lookup, "INSERT INTO " + table + " DEFAULT VALUES", table);
    }
    // Nor does it change the lookups it reads.
    expectDenied(*lookup, "UPDATE FILIAL SET NMFILIAL = 'OUTRA'", "FILIAL");
    expectDenied(*lookup, "DELETE FROM FILIAL", "FILIAL");
    EXPECT_NE(attempt(*lookup, "CREATE TABLE ESCONDIDO (X INTEGER)"), "");
    EXPECT_EQ(owner().query("SELECT NMFILIAL FROM FILIAL").rows.front().front().AsString(),
              "MATRIZ");
    EXPECT_EQ(historyState(), "1 C OPER01");
    EXPECT_EQ(tablesWith("ore_lookup", "SELECT, INSERT, UPDATE, DELETE, TRUNCATE, REFERENCES"),
              (std::vector<std::string>{"CLIENTE", "ENDECLIE", "FILIAL", "JUSTEXCHIS", "MUNICIPIO",
                                        "PAIS", "VENDEDOR"}));
}

TEST_F(PostgresqlRolesTest, ServerRoleOnlyAppendsToHistory) {
    addHistoryRecord();
    auto server = as("ore_server");
    for (const std::string& table : historyTables) {
        EXPECT_EQ(attempt(*server, "SELECT COUNT(*) FROM " + table), "") << table;
        expectDenied(*server, "UPDATE " + table + " SET IDHISTCANC = IDHISTCANC", table);
        expectDenied(*server, "DELETE FROM " + table, table);
        expectDenied(*server, "TRUNCATE " + table, table);
    }
    EXPECT_EQ(attempt(*server,
                      "INSERT INTO HISTCANCAPROV (IDHISTCANC, CDFILIAL, NRORCAEVENTO,"
                      " NRSEQORCAEVE, CDOPERADOR, DTHRHISTCANC, IDRESULTADO)"
                      " VALUES ('00000000000000000000000000000002', '0001', '0000000002', '00',"
                      " 'OPER01', TIMESTAMP '2024-05-10 15:00:00', 'R')"),
              "");
    EXPECT_EQ(historyState(), "2 C OPER01");
    EXPECT_EQ(tablesWith("ore_server", "UPDATE, DELETE, TRUNCATE").size() + historyTables.size() +
                  lookupTables.size() + 2,
              tablesWith("ore_server", "SELECT").size())
        << "every table but the history, the lookups, PRECOBASE and PRODUTO is writable";
}

TEST_F(PostgresqlRolesTest, ServerRoleWorksTheOrders) {
    owner().execute(
        "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE)"
        " VALUES ('0001', '0000000001', '00', '2')");
    owner().execute("INSERT INTO PEDIDO VALUES ('0001', '0000000001', '0000000001', '00', 'A')");
    auto server = as("ore_server");
    EXPECT_EQ(attempt(*server, "UPDATE ORCAEVENTO SET IDSITUORCEVE = '1'"), "");
    EXPECT_EQ(attempt(*server, "DELETE FROM PEDIDO"), "");
    EXPECT_EQ(attempt(*server,
                      "INSERT INTO OBSJUSTORC (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE,"
                      " CDOPERADOR, TXOBSJUSTORC) VALUES ('0001', '0000000001', '00', 'OPER01',"
                      " 'desistiu')"),
              "");
    for (const std::string table : {"OPERADOR", "OPERFILIAL", "SESSAOOPER"}) {
        EXPECT_EQ(attempt(*server, "UPDATE " + table + " SET CDOPERADOR = CDOPERADOR"), "")
            << table;
    }
    for (const std::string& table : lookupTables) {
        EXPECT_EQ(attempt(*server, "SELECT COUNT(*) FROM " + table), "") << table;
        expectDenied(*server, "DELETE FROM " + table, table);
    }
    // The schema's tables all belong to one of the groups of the script: a
    // table added without a grant there would leave the server unable to use
    // it.
    EXPECT_EQ(tablesWith("ore_server", "SELECT"), tablesWith("postgres", "SELECT"))
        << "a table of the schema has no grant in db/roles_postgresql.sql";
}

TEST_F(PostgresqlRolesTest, ScriptRunsAgainAndSetsPasswords) {
    EXPECT_EQ(applyRoles(), 0);
    const auto packet = owner().query(
        "SELECT rolname || ' ' || CASE WHEN rolpassword IS NULL THEN 'none' ELSE 'set' END"
        " || ' ' || CASE WHEN rolcanlogin THEN 'login' ELSE 'nologin' END"
        " || ' ' || CASE WHEN rolsuper OR rolcreatedb OR rolcreaterole THEN 'powers'"
        " ELSE 'plain' END FROM pg_authid WHERE rolname IN ('ore_server', 'ore_lookup')"
        " ORDER BY rolname");
    ASSERT_EQ(packet.rows.size(), 2U);
    EXPECT_EQ(packet.rows[0].front().AsString(), "ore_lookup set login plain");
    EXPECT_EQ(packet.rows[1].front().AsString(), "ore_server set login plain");
}

}  // namespace
