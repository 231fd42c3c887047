#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/sql/database.h"

namespace testsupport {

// The libpq connection string in ORE_TEST_PG, or empty when PostgreSQL tests
// are to be skipped.
std::string postgresqlServer();

// "sqlite" or "postgresql": names the engine in test names and messages.
std::string engineName(host::sql::Engine engine);

// Every row of each table as text ("value|value|", "<null>" for null),
// sorted: what a test compares before and after a call to see what it
// changed.
std::map<std::string, std::vector<std::string>> tableRows(host::sql::Database& database,
                                                          const std::vector<std::string>& tables);
// The same as one text, "TABLE:\n  row\n" for each table in the order given.
std::string tableSnapshot(host::sql::Database& database, const std::vector<std::string>& tables);

// A fresh database for one test, removed when the object goes: a temporary
// SQLite file, or a database ore_t_<pid>_<n> created on the ORE_TEST_PG server
// (dropped at the end even while other sessions still use it).
class TestDatabase {
public:
    explicit TestDatabase(host::sql::Engine engine, bool withSchema = true);
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;
    ~TestDatabase();

    host::sql::Engine engine() const { return m_engine; }
    // What Database::open takes (for a server or a second connection).
    const std::string& target() const { return m_target; }
    // The fixture's own connection.
    host::sql::Database& database() { return *m_database; }
    // Another connection to the same database.
    std::unique_ptr<host::sql::Database> connect() const;

private:
    host::sql::Engine m_engine;
    std::string m_target;
    std::string m_name;  // file path (SQLite) or database name (PostgreSQL)
    std::unique_ptr<host::sql::Database> m_database;
};

// Base of tests that run once per engine:
//
//   class RepositoryTest : public testsupport::EngineTest {};
//   TEST_P(RepositoryTest, ...) { database().query(...); }
//   ORE_ON_BOTH_ENGINES(RepositoryTest);
//
// The PostgreSQL instance skips itself when ORE_TEST_PG is unset.
class EngineTest : public ::testing::TestWithParam<host::sql::Engine> {
protected:
    void SetUp() override;
    void TearDown() override;
    // False leaves the database empty (no tables).
    virtual bool withSchema() const { return true; }

    TestDatabase& testDatabase() { return *m_testDatabase; }
    host::sql::Database& database() { return m_testDatabase->database(); }
    host::sql::Engine engine() const { return GetParam(); }

private:
    std::unique_ptr<TestDatabase> m_testDatabase;
};

struct EngineParamName {
    std::string operator()(const ::testing::TestParamInfo<host::sql::Engine>& info) const {
        return engineName(info.param);
    }
};

}  // namespace testsupport

#define ORE_ON_BOTH_ENGINES(Suite)                                                   \
    INSTANTIATE_TEST_SUITE_P(                                                        \
        Engines, Suite,                                                              \
        ::testing::Values(host::sql::Engine::sqlite, host::sql::Engine::postgresql), \
        ::testsupport::EngineParamName())
