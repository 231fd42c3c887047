#pragma once

#include <string>
#include <vector>

#include "host/sql/database.h"

namespace db {

// How much work and memory a password hash costs. Demo and real operators
// use the interactive limits; operators made by tests and scenarios use the
// minimum, which keeps a run of hundreds of sign-ons quick.
enum class HashCost { minimal, interactive };

// The Argon2id hash of `password` in libsodium's string form.
std::string hashPassword(const std::string& password, HashCost cost);

struct OperatorBranch {
    std::string branch;
    bool mayCancel = false;
};

struct OperatorDefinition {
    std::string code;
    std::string name;
    std::string password;
    std::string branch;  // home branch
    bool fixedBranch = false;
    bool active = true;
    // Branches the operator may work on; the home branch is added (without
    // the right to cancel) when missing.
    std::vector<OperatorBranch> branches;
    HashCost cost = HashCost::interactive;
    // When set, stored as it is instead of hashing `password` (a hash made
    // before a transaction opens, so hashing does not hold it).
    std::string passwordHash;
};

// Inserts the operator and its branches (the branches must exist in
// FILIAL). Runs inside the caller's transaction, if any.
void addOperator(host::sql::Database& database, const OperatorDefinition& definition);

bool operatorExists(host::sql::Database& database, const std::string& code);

// Adds `code` unless it is there, with the right to cancel on every branch
// in FILIAL (the first one its home), for the tools that play a busy
// operator (benchmarks, load runs, tests).
void ensureOperatorOnEveryBranch(host::sql::Database& database, const std::string& code,
                                 const std::string& password, HashCost cost);

}  // namespace db
