#pragma once

#include <string_view>

#include "host/sql/database.h"

namespace db {

// The text of db/schema.sql, built into the library so programs need no path.
std::string_view schemaSql();

// What the engine adds to schemaSql() in its own dialect (triggers): the text
// of db/schema_sqlite.sql or db/schema_postgresql.sql.
std::string_view engineSchemaSql(host::sql::Engine engine);

// Creates every table and index that does not exist yet, and the engine's
// additions, in one transaction.
void createSchema(host::sql::Database& database);

}  // namespace db
