#pragma once

#include <string>
#include <string_view>

#include "host/sql/database.h"

namespace db {

// The text of db/schema.sql, built into the library so programs need no path.
std::string_view schemaSql();
// The same text as the engine runs it (SQLite's table options switched on).
std::string schemaSql(host::sql::Engine engine);

// What the engine adds to schemaSql() in its own dialect (triggers): the text
// of db/schema_sqlite.sql or db/schema_postgresql.sql.
std::string_view engineSchemaSql(host::sql::Engine engine);

// Creates every table and index that does not exist yet, and the engine's
// additions, in one transaction.
void createSchema(host::sql::Database& database);

// Rewrites the tables so that a branch's orders lie together in the order of
// the list (PostgreSQL only keeps that order until rows change, so this is
// periodic maintenance there), drops free pages and refreshes the planner's
// statistics. Takes the whole database for as long as it runs.
void compactAndAnalyze(host::sql::Database& database);

}  // namespace db
