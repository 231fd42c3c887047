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

// Runs `statement` and answers its rows under `fields`: the engines differ in
// how they name and type result columns (PostgreSQL folds names to lower
// case), and the screens' data sets expect these. Raises DatabaseError when
// the statement answers another number of columns.
host::DataPacket selectAs(host::sql::Database& database, const std::string& statement,
                          const host::sql::Params& params,
                          const std::vector<host::FieldDef>& fields);

}  // namespace ore::server
