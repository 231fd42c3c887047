#include "tests/support/test_database.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "db/schema.h"

namespace testsupport {

namespace {

std::atomic<int> g_counter{0};

std::string quotedConnectionValue(const std::string& value) {
    std::string quoted = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "'";
}

// The server's connection string with the database name replaced.
std::string withDatabaseName(const std::string& server, const std::string& name) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(server.c_str(), &error);
    if (options == nullptr) {
        const std::string message = error != nullptr ? error : "out of memory";
        PQfreemem(error);
        throw std::runtime_error("ORE_TEST_PG is not a connection string: " + message);
    }
    std::string result;
    for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        if (option->val == nullptr || std::string_view(option->keyword) == "dbname") {
            continue;
        }
        result += std::string(option->keyword) + "=" + quotedConnectionValue(option->val) + " ";
    }
    PQconninfoFree(options);
    return result + "dbname=" + name;
}

}  // namespace

std::string postgresqlServer() {
    const char* value = std::getenv("ORE_TEST_PG");
    return value != nullptr ? value : "";
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
        m_target = withDatabaseName(server, m_name);
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
