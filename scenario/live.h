#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "host/sql/database.h"
#include "host/ui/scripted_platform.h"
#include "scenario/call_counter.h"
#include "scenario/environment.h"
#include "scenario/server_process.h"

namespace scenario {

struct LiveOptions {
    host::sql::Engine engine = host::sql::Engine::sqlite;
    bool keep = false;  // leave databases, logs and saved options behind
    // Where ore06100-server and libPKG_ORE06100.so are: the runner's own folder.
    std::filesystem::path programDirectory;
    // libpq connection string of the PostgreSQL server (ORE_TEST_PG).
    std::string postgresqlServer;
    // When set, two servers run on the scenario's database behind HAProxy
    // started with this configuration, and the screen talks to HAProxy.
    std::filesystem::path haproxyConfig;
};

// The folder of the running executable.
std::filesystem::path ownProgramDirectory();

// What lives as long as the process: the module (loaded once, finalized at
// the end), the counting of remote calls, the host's own screens and the demo
// template database (made on first use).
class LiveSystem {
public:
    // Loads the module and runs its Initialize. Raises std::runtime_error
    // naming the module and the entry when something is missing.
    LiveSystem(LiveOptions options, std::ostream& out);
    LiveSystem(const LiveSystem&) = delete;
    LiveSystem& operator=(const LiveSystem&) = delete;
    ~LiveSystem();

    const LiveOptions& options() const { return m_options; }
    std::ostream& out() { return m_out; }
    CallCounts& calls() { return m_calls; }

    // A new database for one scenario: a copy of the demo template, or the
    // schema alone. Returns what Database::open takes.
    std::string createDatabase(bool empty, const std::filesystem::path& folder);
    // Removes a database made by createDatabase (PostgreSQL; files go with
    // their folder).
    void dropDatabase(const std::string& target);

    void openScreen(const std::string& code);

    // The platform the application holds while no scenario plays, so a
    // module entry that reports an error always has somewhere to show it.
    host::ScriptedPlatform& idlePlatform() { return m_idlePlatform; }

    // Brings the module's units back to how a freshly loaded module has them.
    void resetModuleState();

private:
    std::string postgresqlTarget(const std::string& name) const;
    void ensureTemplate();

    LiveOptions m_options;
    std::ostream& m_out;
    CallCounts m_calls;
    host::ScriptedPlatform m_idlePlatform;
    void* m_module = nullptr;
    void (*m_iniProc)() = nullptr;
    void (*m_finalize)() = nullptr;
    std::filesystem::path m_workFolder;  // the SQLite template lives here
    std::optional<std::string> m_template;
    int m_databaseCounter = 0;
};

// One scenario file's system: its database, server, session and saved
// options, torn down when the object goes.
class LiveEnvironment : public Environment {
public:
    LiveEnvironment(LiveSystem& system, host::ScriptedPlatform& platform);
    LiveEnvironment(const LiveEnvironment&) = delete;
    LiveEnvironment& operator=(const LiveEnvironment&) = delete;
    ~LiveEnvironment() override;

    void useDatabase(bool empty) override;
    void runSql(const std::string& statement) override;
    void setSession(const SessionSettings& settings) override;
    void addOperator(const OperatorSettings& settings) override;
    void serverOff() override;
    void start() override;
    bool started() const override { return m_started; }
    void openScreen(const std::string& code) override;
    std::optional<host::Variant> queryFirstValue(const std::string& statement) override;
    int calls(const std::string& method) const override;
    void resetCalls() override;
    Observed filterField(const std::string& path) const override;

    const std::filesystem::path& folder() const { return m_folder; }

private:
    host::sql::Database& database();
    void applySession();
    void signOn();
    void finish();

    LiveSystem& m_system;
    host::ScriptedPlatform& m_platform;
    std::filesystem::path m_folder;
    bool m_emptyDatabase = false;
    std::string m_target;  // empty until the database exists
    std::unique_ptr<host::sql::Database> m_connection;
    SessionSettings m_session;
    bool m_serverOff = false;
    bool m_started = false;
    int m_port = 0;
    ServerProcess m_server;
    // With a balancer in front: the second server and HAProxy.
    ServerProcess m_secondServer;
    ServerProcess m_balancer;
};

// The module's filter record by path: NrOrcaEven.NrIni ... Cliente.Todos,
// IdSitu, TodosSitu; dates as dd/mm/yyyy. Raises for an unknown path.
Observed moduleFilterField(const std::string& path);

}  // namespace scenario
