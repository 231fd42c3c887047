// ore-scenario: plays scenario files against the real module, a real server
// and a real database, and prints a transcript.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "scenario/runner.h"

int main(int argc, char** argv) {
    CLI::App app{"Plays scenario files against the ORE06100 module, server and database"};
    std::string engine = "sqlite";
    bool keep = false;
    std::vector<std::string> files;
    std::string haproxy;
    app.add_option("--engine", engine, "Database engine")
        ->check(CLI::IsMember({"sqlite", "postgresql"}))
        ->capture_default_str();
    app.add_flag("--keep", keep, "Keep each scenario's database, server log and saved options");
    app.add_option("--haproxy", haproxy,
                   "Run two servers behind HAProxy started with this configuration")
        ->check(CLI::ExistingFile);
    app.add_option("FILE", files, "Scenario files")->required()->check(CLI::ExistingFile);
    CLI11_PARSE(app, argc, argv);

    scenario::LiveOptions options;
    options.engine =
        engine == "postgresql" ? host::sql::Engine::postgresql : host::sql::Engine::sqlite;
    options.keep = keep;
    if (!haproxy.empty()) {
        options.haproxyConfig = std::filesystem::absolute(haproxy);
    }
    if (const char* server = std::getenv("ORE_TEST_PG")) {
        options.postgresqlServer = server;
    }
    try {
        options.programDirectory = scenario::ownProgramDirectory();
    } catch (const std::exception& error) {
        std::cout << "ore-scenario: FAIL: " << error.what() << "\n0 passed, 1 failed\n";
        return 1;
    }
    return scenario::runScenarioFiles(files, options, std::cout);
}
