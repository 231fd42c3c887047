#include "db/operators.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>

namespace db {

std::string hashPassword(const std::string& password, HashCost cost) {
    if (sodium_init() < 0) {
        throw std::runtime_error("libsodium could not be initialised");
    }
    const bool minimal = cost == HashCost::minimal;
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(
            hash, password.data(), password.size(),
            minimal ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE,
            minimal ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        throw std::runtime_error("out of memory while hashing a password");
    }
    return std::string(hash);
}

void addOperator(host::sql::Database& database, const OperatorDefinition& definition) {
    database.execute(
        "INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, DSSENHAHASH, IDATIVO, CDFILIAL,"
        " IDFILIALFIXA, QTFALHALOGON) VALUES (:CDOPERADOR, :NMOPERADOR, :DSSENHAHASH, :IDATIVO,"
        " :CDFILIAL, :IDFILIALFIXA, 0)",
        {{"CDOPERADOR", definition.code},
         {"NMOPERADOR", definition.name},
         {"DSSENHAHASH", definition.passwordHash.empty()
                             ? hashPassword(definition.password, definition.cost)
                             : definition.passwordHash},
         {"IDATIVO", std::string(definition.active ? "S" : "N")},
         {"CDFILIAL", definition.branch},
         {"IDFILIALFIXA", std::string(definition.fixedBranch ? "S" : "N")}});
    std::vector<OperatorBranch> branches = definition.branches;
    const bool homeListed =
        std::any_of(branches.begin(), branches.end(),
                    [&](const OperatorBranch& entry) { return entry.branch == definition.branch; });
    if (!homeListed) {
        branches.push_back({definition.branch, false});
    }
    for (const OperatorBranch& entry : branches) {
        database.execute(
            "INSERT INTO OPERFILIAL (CDOPERADOR, CDFILIAL, IDCANCAPROV)"
            " VALUES (:CDOPERADOR, :CDFILIAL, :IDCANCAPROV)",
            {{"CDOPERADOR", definition.code},
             {"CDFILIAL", entry.branch},
             {"IDCANCAPROV", std::string(entry.mayCancel ? "S" : "N")}});
    }
}

bool operatorExists(host::sql::Database& database, const std::string& code) {
    return !database
                .query("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = :CDOPERADOR",
                       {{"CDOPERADOR", code}})
                .rows.empty();
}

void ensureOperatorOnEveryBranch(host::sql::Database& database, const std::string& code,
                                 const std::string& password, HashCost cost) {
    if (operatorExists(database, code)) {
        return;
    }
    const host::DataPacket branches =
        database.query("SELECT CDFILIAL FROM FILIAL ORDER BY CDFILIAL");
    if (branches.rows.empty()) {
        throw std::runtime_error("no branch in FILIAL for operator " + code);
    }
    OperatorDefinition definition;
    definition.code = code;
    definition.name = code;
    definition.password = password;
    definition.branch = branches.rows.front().front().AsString();
    for (const auto& row : branches.rows) {
        definition.branches.push_back({row.front().AsString(), true});
    }
    definition.cost = cost;
    addOperator(database, definition);
}

}  // namespace db
