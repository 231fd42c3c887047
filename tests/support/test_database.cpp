#include "tests/support/test_database.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "db/schema.h"
#include "host/sql/connection_string.h"

namespace testsupport {

namespace {

std::atomic<int> g_counter{0};

}  // namespace

std::string postgresqlServer() {
    const char* value = std::getenv("ORE_TEST_PG");
    return value != nullptr ? value : "";
}

std::map<std::string, std::vector<std::string>> tableRows(host::sql::Database& database,
                                                          const std::vector<std::string>& tables) {
    std::map<std::string, std::vector<std::string>> result;
    for (const std::string& table : tables) {
        const host::DataPacket packet = database.query("SELECT * FROM " + table);
        std::vector<std::string>& rows = result[table];
        for (const auto& row : packet.rows) {
            std::string text;
            for (const host::Variant& value : row) {
                text += (value.IsNull() ? std::string("<null>") : value.AsString()) + "|";
            }
            rows.push_back(text);
        }
        std::sort(rows.begin(), rows.end());
    }
    return result;
}

std::string tableSnapshot(host::sql::Database& database, const std::vector<std::string>& tables) {
    const auto rows = tableRows(database, tables);
    std::string result;
    for (const std::string& table : tables) {
        result += table + ":\n";
        for (const std::string& row : rows.at(table)) {
            result += "  " + row + "\n";
        }
    }
    return result;
}

std::string engineName(host::sql::Engine engine) {
    return engine == host::sql::Engine::sqlite ? "sqlite" : "postgresql";
}

TestDatabase::TestDatabase(host::sql::Engine engine, bool withSchema) : m_engine(engine) {
    const std::string unique =
        std::to_string(::getpid()) + "_" + std::to_string(g_counter.fetch_add(1));
    if (engine == host::sql::Engine::sqlite) {
        m_name = (std::filesystem::temp_directory_path() / ("ore_t_" + unique + ".db")).string();
        std::filesystem::remove(m_name);
        m_target = "sqlite:" + m_name;
    } else {
        const std::string server = postgresqlServer();
        if (server.empty()) {
            throw std::runtime_error("ORE_TEST_PG is not set");
        }
        m_name = "ore_t_" + unique;
        auto admin = host::sql::Database::open(server);
        admin->executeScript("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
        // Copying the template's files is about twice as fast as logging it
        // (the default since PostgreSQL 15, which older servers do not know).
        try {
            admin->executeScript("CREATE DATABASE " + m_name + " STRATEGY = FILE_COPY");
        } catch (const host::sql::DatabaseError&) {
            admin->executeScript("CREATE DATABASE " + m_name);
        }
        m_target = host::sql::withDatabaseName(server, m_name);
    }
    m_database = host::sql::Database::open(m_target);
    if (withSchema) {
        db::createSchema(*m_database);
    }
}

TestDatabase::~TestDatabase() {
    m_database.reset();
    try {
        if (m_engine == host::sql::Engine::sqlite) {
            for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
                std::filesystem::remove(m_name + suffix);
            }
        } else {
            auto admin = host::sql::Database::open(postgresqlServer());
            admin->executeScript("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Could not remove test database %s: %s\n", m_name.c_str(),
                     error.what());
    }
}

std::unique_ptr<host::sql::Database> TestDatabase::connect() const {
    return host::sql::Database::open(m_target);
}

void EngineTest::SetUp() {
    if (GetParam() == host::sql::Engine::postgresql && postgresqlServer().empty()) {
        GTEST_SKIP() << "ORE_TEST_PG is not set";
    }
    m_testDatabase = std::make_unique<TestDatabase>(GetParam(), withSchema());
}

void EngineTest::TearDown() {
    m_testDatabase.reset();
}

}  // namespace testsupport
