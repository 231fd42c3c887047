#pragma once

#include <string>
#include <vector>

#include "host/data/data_packet.h"
#include "host/sql/database.h"

// What the server's readers share when they build and run a statement.
namespace ore::server {

// ":PREFIX0, :PREFIX1, ..." for an IN list, with each code bound in
// `params` under its own name.
std::string bindList(const std::string& prefix, const std::vector<std::string>& codes,
                     host::sql::Params& params);

// Puts `fields` on rows a statement answered: the engines differ in how they
// name and type result columns (PostgreSQL folds names to lower case), and
// the screens' data sets expect these. Raises DatabaseError when the
// statement answered another number of columns.
void useFields(host::DataPacket& packet, const std::vector<host::FieldDef>& fields);

// Runs `statement` and answers its rows under `fields` (see useFields).
host::DataPacket selectAs(host::sql::Database& database, const std::string& statement,
                          const host::sql::Params& params,
                          const std::vector<host::FieldDef>& fields);

}  // namespace ore::server
