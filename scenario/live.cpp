#include "scenario/live.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "cancellation_screen/unit.h"
#include "db/demo_data.h"
#include "db/operators.h"
#include "db/schema.h"
#include "filter_dialog/unit.h"
#include "host/net/grpc_canc_aprov_enc.h"
#include "host/screens/ore00610.h"
#include "host/services/session.h"
#include "host/sql/adoib_query.h"
#include "host/sql/connection_string.h"
#include "host/ui/form.h"

namespace scenario {

namespace {

constexpr const char* kModuleFile = "libPKG_ORE06100.so";
constexpr const char* kServerProgram = "ore06100-server";
constexpr auto kServerStartTimeout = std::chrono::seconds(10);

std::filesystem::path makeTemporaryFolder(const char* prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder: " +
                                 std::error_code(errno, std::generic_category()).message());
    }
    return pattern;
}

void removeFolder(const std::filesystem::path& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::string databaseNameOf(const std::string& target) {
    const auto at = target.rfind("dbname=");
    return at == std::string::npos ? std::string() : target.substr(at + 7);
}

template <class T>
T resolve(void* module, const char* entry) {
    void* symbol = ::dlsym(module, entry);
    if (symbol == nullptr) {
        throw std::runtime_error(std::string(kModuleFile) + ": entry " + entry + " not found");
    }
    return reinterpret_cast<T>(symbol);
}

std::string messagesSince(const host::ScriptedPlatform& platform, std::size_t first) {
    std::string texts;
    const auto& messages = platform.messages();
    for (std::size_t i = first; i < messages.size(); ++i) {
        texts += (texts.empty() ? "" : "; ") + messages[i].text;
    }
    return texts;
}

}  // namespace

std::filesystem::path ownProgramDirectory() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        throw std::runtime_error("cannot find the program's own folder: " + error.message());
    }
    return self.parent_path();
}

// ---- LiveSystem ----

LiveSystem::LiveSystem(LiveOptions options, std::ostream& out)
    : m_options(std::move(options)), m_out(out) {
    host::Application().SetPlatform(&m_idlePlatform);
    const auto modulePath = m_options.programDirectory / kModuleFile;
    m_module = ::dlopen(modulePath.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (m_module == nullptr) {
        const char* error = ::dlerror();
        throw std::runtime_error("cannot load " + modulePath.string() + ": " +
                                 (error != nullptr ? error : "unknown error"));
    }
    try {
        // Every entry is checked before any is called.
        auto initialize = resolve<void (*)()>(m_module, "Initialize");
        m_iniProc = resolve<void (*)()>(m_module, "IniProc");
        m_finalize = resolve<void (*)()>(m_module, "Finalize");
        const std::size_t before = m_idlePlatform.messages().size();
        initialize();
        const std::string reported = messagesSince(m_idlePlatform, before);
        if (!reported.empty()) {
            m_finalize();
            throw std::runtime_error(std::string(kModuleFile) + ": Initialize failed: " + reported);
        }
    } catch (...) {
        ::dlclose(m_module);
        m_module = nullptr;
        m_finalize = nullptr;
        throw;
    }
    countCancAprovEncCalls(m_calls);
    host::RegisterHostScreens();
    m_workFolder = makeTemporaryFolder("ore-scenario-run.");
}

LiveSystem::~LiveSystem() {
    host::Application().Reset();
    if (m_finalize != nullptr) {
        m_finalize();
    }
    if (m_template && m_options.engine == host::sql::Engine::postgresql) {
        dropDatabase(*m_template);
    }
    host::Application().SetPlatform(nullptr);
    removeFolder(m_workFolder);
    // The module stays mapped: the runner links it, and code of it may still
    // sit in registries until the process ends.
}

std::string LiveSystem::postgresqlTarget(const std::string& name) const {
    return host::sql::withDatabaseName(m_options.postgresqlServer, name);
}

void LiveSystem::ensureTemplate() {
    if (m_template) {
        return;
    }
    if (m_options.engine == host::sql::Engine::sqlite) {
        const auto path = m_workFolder / "demo-template.db";
        {
            auto database = host::sql::Database::open(path.string());
            db::createSchema(*database);
            db::generateDemoData(*database);
        }
        m_template = path.string();
        return;
    }
    const std::string name = "ore_scn_" + std::to_string(::getpid()) + "_template";
    auto admin = host::sql::Database::open(m_options.postgresqlServer);
    admin->executeScript("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    admin->executeScript("CREATE DATABASE " + name);
    const std::string target = postgresqlTarget(name);
    {
        auto database = host::sql::Database::open(target);
        db::createSchema(*database);
        db::generateDemoData(*database);
    }
    m_template = target;
}

std::string LiveSystem::createDatabase(bool empty, const std::filesystem::path& folder) {
    if (!empty) {
        ensureTemplate();
    }
    if (m_options.engine == host::sql::Engine::sqlite) {
        const auto path = folder / "scenario.db";
        if (empty) {
            auto database = host::sql::Database::open(path.string());
            db::createSchema(*database);
        } else {
            std::filesystem::copy_file(*m_template, path,
                                       std::filesystem::copy_options::overwrite_existing);
        }
        return path.string();
    }
    const std::string name =
        "ore_scn_" + std::to_string(::getpid()) + "_" + std::to_string(++m_databaseCounter);
    auto admin = host::sql::Database::open(m_options.postgresqlServer);
    admin->executeScript("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    if (empty) {
        admin->executeScript("CREATE DATABASE " + name);
        auto database = host::sql::Database::open(postgresqlTarget(name));
        db::createSchema(*database);
    } else {
        admin->executeScript("CREATE DATABASE " + name + " TEMPLATE " +
                             databaseNameOf(*m_template));
    }
    return postgresqlTarget(name);
}

void LiveSystem::dropDatabase(const std::string& target) {
    if (m_options.engine != host::sql::Engine::postgresql) {
        return;
    }
    const std::string name = databaseNameOf(target);
    try {
        auto admin = host::sql::Database::open(m_options.postgresqlServer);
        admin->executeScript("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    } catch (const std::exception& error) {
        m_out << "warning: could not drop database " << name << ": " << error.what() << "\n";
    }
}

void LiveSystem::openScreen(const std::string& code) {
    if (code != "ORE06100") {
        throw std::runtime_error("unknown screen " + code + " (this runner opens ORE06100)");
    }
    // The host's menu choice is an operator event like any other.
    host::Application().Dispatch([this] { m_iniProc(); });
}

void LiveSystem::resetModuleState() {
    Cli_ore06100::boStCriado = false;
    Cli_ore06100::frmCancAprovEnc = nullptr;
    Cli_ore06100::ReleaseFiltro(Cli_ore06100::Filtro);
    Cli_ore06101::boIdCriado = false;
    Cli_ore06101::frmFiltroCancAprovEnc = nullptr;
    Cli_ore06101::stCliente.clear();
    Cli_ore06101::stVendedor.clear();
}

// ---- LiveEnvironment ----

LiveEnvironment::LiveEnvironment(LiveSystem& system, host::ScriptedPlatform& platform)
    : m_system(system), m_platform(platform), m_folder(makeTemporaryFolder("ore-scenario.")) {}

LiveEnvironment::~LiveEnvironment() {
    try {
        finish();
    } catch (const std::exception& error) {
        m_system.out() << "warning: cleaning up after the scenario: " << error.what() << "\n";
    }
}

void LiveEnvironment::finish() {
    host::Application().Reset();
    m_system.resetModuleState();
    host::Application().SetPlatform(&m_system.idlePlatform());
    m_balancer.stop();
    m_server.stop();
    m_secondServer.stop();
    host::dtmDBGeral().Disconnect();
    m_connection.reset();
    if (m_started) {
        ::unsetenv("ORE_CONFIG_DIR");
    }
    if (m_system.options().keep) {
        m_system.out() << "kept: " << m_folder.string()
                       << (m_target.empty() ? std::string() : " (database " + m_target + ")")
                       << "\n";
        return;
    }
    if (!m_target.empty()) {
        m_system.dropDatabase(m_target);
    }
    removeFolder(m_folder);
}

host::sql::Database& LiveEnvironment::database() {
    if (m_target.empty()) {
        m_target = m_system.createDatabase(m_emptyDatabase, m_folder);
    }
    if (!m_connection) {
        m_connection = host::sql::Database::open(m_target);
    }
    return *m_connection;
}

void LiveEnvironment::useDatabase(bool empty) {
    if (!m_target.empty()) {
        throw std::runtime_error(
            "the database already exists: `database` comes before sql, "
            "open and every check");
    }
    m_emptyDatabase = empty;
}

void LiveEnvironment::runSql(const std::string& statement) {
    database().executeScript(statement);
}

void LiveEnvironment::setSession(const SessionSettings& settings) {
    m_session = settings;
    if (m_started) {
        applySession();
        signOn();
    }
}

void LiveEnvironment::addOperator(const OperatorSettings& settings) {
    db::OperatorDefinition definition;
    definition.code = settings.code;
    definition.name = settings.name.empty() ? settings.code : settings.name;
    definition.password = settings.password;
    definition.branch = settings.branch;
    definition.fixedBranch = settings.fixedBranch;
    definition.active = settings.active;
    for (const OperatorBranchSetting& branch : settings.branches) {
        definition.branches.push_back({branch.branch, branch.mayCancel});
    }
    definition.cost = db::HashCost::minimal;
    db::addOperator(database(), definition);
}

// Signs the session's operator on through the server, as the host's sign-on
// window does. An operator the database lacks is created first: home on the
// session's branch, with the right to cancel there and on every other branch
// of the scenario's database (scenarios written before sign-on move to other
// branches on the screen), so such a scenario plays unchanged. A session whose
// branch is not in FILIAL (a host with no branch) signs nobody on: its calls
// go without a token.
void LiveEnvironment::signOn() {
    host::Session& session = host::CurrentSession();
    session.sessionToken.clear();
    if (m_serverOff || m_session.operatorCode.empty()) {
        return;
    }
    host::sql::Database& db = database();
    if (!db::operatorExists(db, m_session.operatorCode)) {
        const host::DataPacket branches = db.query("SELECT CDFILIAL FROM FILIAL ORDER BY CDFILIAL");
        db::OperatorDefinition definition;
        for (const auto& row : branches.rows) {
            const std::string branch = row.front().AsString();
            definition.branches.push_back({branch, true});
            if (branch == m_session.branch) {
                definition.branch = branch;
            }
        }
        if (definition.branch.empty()) {
            return;
        }
        definition.code = m_session.operatorCode;
        definition.name = m_session.operatorCode;
        definition.password = m_session.password;
        definition.fixedBranch = m_session.fixedBranch;
        definition.cost = db::HashCost::minimal;
        db::addOperator(db, definition);
    }
    const host::net::SignOnResult result =
        host::net::signOn("127.0.0.1", m_port, m_session.operatorCode, m_session.password);
    session.sessionToken = result.token;
    session.sessionExpiresAt = result.expiresAt;
}

void LiveEnvironment::serverOff() {
    m_serverOff = true;
    m_balancer.stop();
    m_server.stop();
    m_secondServer.stop();
}

void LiveEnvironment::applySession() {
    host::Session& session = host::CurrentSession();
    session.branchCode = m_session.branch;
    session.branchName = m_session.branchName;
    session.operatorCode = m_session.operatorCode;
    session.fixedBranch = m_session.fixedBranch;
}

void LiveEnvironment::start() {
    if (m_started) {
        return;
    }
    database();
    m_port = freeLoopbackPort();
    if (!m_serverOff) {
        const auto program = m_system.options().programDirectory / kServerProgram;
        const auto& balancer = m_system.options().haproxyConfig;
        if (balancer.empty()) {
            m_server.start(
                program,
                {"--listen", "127.0.0.1:" + std::to_string(m_port), "--database", m_target},
                m_folder / "server.log");
            m_server.waitUntilListening(m_port, kServerStartTimeout);
        } else {
            // Two servers on the one database, HAProxy in front on the port
            // the screen connects to; the configuration reads the addresses
            // from the environment.
            const int first = freeLoopbackPort();
            m_server.start(
                program, {"--listen", "127.0.0.1:" + std::to_string(first), "--database", m_target},
                m_folder / "server-1.log");
            m_server.waitUntilListening(first, kServerStartTimeout);
            const int second = freeLoopbackPort();
            m_secondServer.start(
                program,
                {"--listen", "127.0.0.1:" + std::to_string(second), "--database", m_target},
                m_folder / "server-2.log");
            m_secondServer.waitUntilListening(second, kServerStartTimeout);
            ::setenv("ORE_HAPROXY_FRONT", ("127.0.0.1:" + std::to_string(m_port)).c_str(), 1);
            ::setenv("ORE_SERVER_1", ("127.0.0.1:" + std::to_string(first)).c_str(), 1);
            ::setenv("ORE_SERVER_2", ("127.0.0.1:" + std::to_string(second)).c_str(), 1);
            m_balancer.start("/usr/sbin/haproxy", {"-db", "-f", balancer.string()},
                             m_folder / "haproxy.log");
            m_balancer.waitUntilListening(m_port, kServerStartTimeout);
        }
    }

    host::Session& session = host::CurrentSession();
    session = host::Session{};
    session.serverHost = "127.0.0.1";
    session.serverPort = m_port;
    session.database = m_target;
    applySession();
    signOn();

    host::dtmDBGeral().Connect(m_target);
    const auto config = m_folder / "config";
    std::filesystem::create_directories(config);
    ::setenv("ORE_CONFIG_DIR", config.c_str(), 1);
    m_system.calls().reset();
    host::Application().SetPlatform(&m_platform);
    m_started = true;
}

void LiveEnvironment::openScreen(const std::string& code) {
    m_system.openScreen(code);
}

std::optional<host::Variant> LiveEnvironment::queryFirstValue(const std::string& statement) {
    const host::DataPacket packet = database().query(statement);
    if (packet.fields.empty()) {
        throw std::runtime_error("the statement returns no column");
    }
    if (packet.rows.empty()) {
        return std::nullopt;
    }
    return packet.rows.front().front();
}

int LiveEnvironment::calls(const std::string& method) const {
    return m_system.calls().count(method);
}

void LiveEnvironment::resetCalls() {
    m_system.calls().reset();
}

Observed LiveEnvironment::filterField(const std::string& path) const {
    return moduleFilterField(path);
}

Observed moduleFilterField(const std::string& path) {
    const Cli_ore06100::TFiltro& filtro = Cli_ore06100::Filtro;
    const std::vector<std::pair<const char*, const std::string*>> texts = {
        {"NrOrcaEven.NrIni", &filtro.NrOrcaEven.NrIni},
        {"NrOrcaEven.NrFin", &filtro.NrOrcaEven.NrFin},
        {"NrOrcaEven.Todos", &filtro.NrOrcaEven.Todos},
        {"DtEntrega.Todos", &filtro.DtEntrega.Todos},
        {"Vendedor.Lista", &filtro.Vendedor.Lista},
        {"Vendedor.Todos", &filtro.Vendedor.Todos},
        {"Cliente.Lista", &filtro.Cliente.Lista},
        {"Cliente.Todos", &filtro.Cliente.Todos},
        {"IdSitu", &filtro.IdSitu},
        {"TodosSitu", &filtro.TodosSitu},
    };
    for (const auto& [name, text] : texts) {
        if (path == name) {
            return {*text, ValueKind::Plain};
        }
    }
    if (path == "DtEntrega.DtIni") {
        return {dateText(filtro.DtEntrega.DtIni), ValueKind::Date};
    }
    if (path == "DtEntrega.DtFin") {
        return {dateText(filtro.DtEntrega.DtFin), ValueKind::Date};
    }
    throw std::runtime_error("unknown filter field " + path +
                             " (NrOrcaEven.NrIni|NrFin|Todos, DtEntrega.DtIni|DtFin|Todos, "
                             "Vendedor.Lista|Todos, Cliente.Lista|Todos, IdSitu, TodosSitu)");
}

}  // namespace scenario
