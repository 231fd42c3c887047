#include "scenario/runner.h"

#include <fstream>
#include <memory>
#include <sstream>

namespace scenario {

Script loadScript(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Script script;
        script.fileName = path;
        script.errors.push_back({0, "cannot read the file"});
        return script;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseScript(text.str(), path);
}

Totals playFile(LiveSystem& system, host::ScriptedPlatform& platform, const std::string& path,
                std::ostream& out, const Executor::ExtraCommands& extra) {
    const Script script = loadScript(path);
    out << "== " << path << "\n";
    Totals totals;
    {
        LiveEnvironment environment(system, platform);
        Executor executor(platform, &environment, out);
        executor.setExtraCommands(extra);
        totals = executor.run(script);
    }
    out << "== " << path << ": " << totals.passed << " passed, " << totals.failed << " failed\n";
    return totals;
}

int runScenarioFiles(const std::vector<std::string>& files, const LiveOptions& options,
                     std::ostream& out) {
    if (options.engine == host::sql::Engine::postgresql && options.postgresqlServer.empty()) {
        out << "ore-scenario: skipped (ORE_TEST_PG is not set: no PostgreSQL server to play "
               "against)\n";
        out << "0 passed, 0 failed\n";
        return 0;
    }
    Totals totals;
    try {
        LiveSystem system(options, out);
        for (const std::string& file : files) {
            host::ScriptedPlatform platform;
            try {
                totals += playFile(system, platform, file, out);
            } catch (const std::exception& error) {
                out << file << ": FAIL: " << error.what() << "\n";
                ++totals.failed;
            }
        }
    } catch (const std::exception& error) {
        out << "ore-scenario: FAIL: " << error.what() << "\n";
        ++totals.failed;
    }
    out << totals.passed << " passed, " << totals.failed << " failed\n";
    out.flush();
    return totals.failed == 0 ? 0 : 1;
}

}  // namespace scenario
