#include "tests/support/sign_on.h"

#include "host/net/grpc_canc_aprov_enc.h"
#include "host/services/session.h"

namespace testsupport {

void addTestOperator(host::sql::Database& database, const std::string& code,
                     const std::string& password, const std::string& homeBranch,
                     const std::vector<db::OperatorBranch>& branches) {
    db::OperatorDefinition definition;
    definition.code = code;
    definition.name = "Operador " + code;
    definition.password = password;
    definition.branch = homeBranch;
    definition.branches = branches;
    definition.cost = db::HashCost::minimal;
    db::addOperator(database, definition);
}

void addTestOperatorOnEveryBranch(host::sql::Database& database) {
    if (database.query("SELECT 1 FROM FILIAL").rows.empty()) {
        // An operator needs a home branch.
        database.execute("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'MATRIZ')");
    }
    db::ensureOperatorOnEveryBranch(database, testOperator, testPassword, db::HashCost::minimal);
}

std::string signOnAs(int port, const std::string& code, const std::string& password,
                     const std::string& host) {
    const host::net::SignOnResult result = host::net::signOn(host, port, code, password);
    host::CurrentSession().sessionToken = result.token;
    host::CurrentSession().sessionExpiresAt = result.expiresAt;
    return result.token;
}

std::string signOnAsTester(host::sql::Database& database, int port, const std::string& host) {
    addTestOperatorOnEveryBranch(database);
    return signOnAs(port, testOperator, testPassword, host);
}

}  // namespace testsupport
