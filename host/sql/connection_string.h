#pragma once

#include <string>

namespace host::sql {

// A libpq connection string naming another database on the same server;
// raises DatabaseError when the string cannot be parsed.
std::string withDatabaseName(const std::string& connection, const std::string& database);

}  // namespace host::sql
