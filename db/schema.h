#pragma once

#include <string_view>

#include "host/sql/database.h"

namespace db {

// The text of db/schema.sql, built into the library so programs need no path.
std::string_view schemaSql();

// Creates every table and index that does not exist yet, in one transaction.
void createSchema(host::sql::Database& database);

}  // namespace db
