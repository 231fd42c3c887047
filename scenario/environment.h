#pragma once

#include <optional>
#include <string>

#include "host/data/variant.h"
#include "scenario/script.h"
#include "scenario/values.h"

namespace scenario {

// What a scenario plays against: the database, the server, the session and
// the module. Each operation raises std::exception with a readable text when
// it cannot be done; the executor reports it as the command's failure.
class Environment {
public:
    virtual ~Environment() = default;

    // Setup. useDatabase raises once the database exists.
    virtual void useDatabase(bool empty) = 0;
    virtual void runSql(const std::string& statement) = 0;
    virtual void setSession(const SessionSettings& settings) = 0;
    // Adds an operator with its branches and rights to the database.
    virtual void addOperator(const OperatorSettings& settings) = 0;
    virtual void serverOff() = 0;

    // Brings up what the operator commands need (database, server, session,
    // platform). Called before the first command that is not setup.
    virtual void start() = 0;
    virtual bool started() const = 0;

    // Opens a screen the way the host's menu does.
    virtual void openScreen(const std::string& code) = 0;

    // First column of the first row; nothing when there is no row.
    virtual std::optional<host::Variant> queryFirstValue(const std::string& statement) = 0;

    // Remote calls per method since the last reset.
    virtual int calls(const std::string& method) const = 0;
    virtual void resetCalls() = 0;

    // A field of the module's filter record by path (NrOrcaEven.NrIni, ...);
    // raises for an unknown path.
    virtual Observed filterField(const std::string& path) const = 0;
};

}  // namespace scenario
