#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "scenario/executor.h"
#include "scenario/live.h"
#include "scenario/script.h"

namespace scenario {

// Reads and parses a scenario file; a file that cannot be read gives a script
// with one error at line 0.
Script loadScript(const std::string& path);

// Plays one file against a fresh system of its own: database, server,
// session, saved options; `extra` handles the host's own commands.
Totals playFile(LiveSystem& system, host::ScriptedPlatform& platform, const std::string& path,
                std::ostream& out, const Executor::ExtraCommands& extra = {});

// What ore-scenario does: plays every file, then prints "N passed, N failed"
// as the last line. Returns the process exit status (0 only when nothing
// failed). PostgreSQL without a server in options is skipped with status 0.
int runScenarioFiles(const std::vector<std::string>& files, const LiveOptions& options,
                     std::ostream& out);

}  // namespace scenario
