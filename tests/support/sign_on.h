#pragma once

#include <string>
#include <vector>

#include "db/operators.h"
#include "host/sql/database.h"

namespace testsupport {

// The operator the server tests sign on as, unless a test says otherwise.
inline constexpr const char* testOperator = "TESTE";
inline constexpr const char* testPassword = "senha-de-teste";

// Adds an operator with the minimum hash cost (tests sign on often).
void addTestOperator(host::sql::Database& database, const std::string& code,
                     const std::string& password, const std::string& homeBranch,
                     const std::vector<db::OperatorBranch>& branches);

// Adds testOperator with the right to cancel on every branch in FILIAL
// (when it is not there yet).
void addTestOperatorOnEveryBranch(host::sql::Database& database);

// Signs on at 127.0.0.1:port (or the host given) and puts the token in the
// host's session, where the client reads it at each call. Returns the token.
std::string signOnAs(int port, const std::string& code = testOperator,
                     const std::string& password = testPassword,
                     const std::string& host = "127.0.0.1");

// The fixture's usual start: testOperator on every branch, signed on.
std::string signOnAsTester(host::sql::Database& database, int port,
                           const std::string& host = "127.0.0.1");

}  // namespace testsupport
