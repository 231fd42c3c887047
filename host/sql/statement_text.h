#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/sql/database.h"

namespace host::sql {

// A statement with its :NAME placeholders replaced by the engine's numbered
// ones (?NNN for SQLite, $n for PostgreSQL). A name used twice gets one number.
struct TranslatedStatement {
    std::string text;
    std::vector<std::string> names;  // index i is placeholder number i + 1
};

// Skips quoted strings, quoted identifiers, comments and "::" casts.
TranslatedStatement translatePlaceholders(std::string_view statement, Engine engine);

// The values of `names` in placeholder order; raises DatabaseError naming the
// first placeholder that has no value. Names compare without regard to case.
std::vector<const Variant*> orderedValues(const std::vector<std::string>& names,
                                          const Params& params);

// Raises DatabaseError unless every row has one value per placeholder name.
void checkRowWidths(const std::vector<std::string>& names,
                    const std::vector<std::vector<Variant>>& rows);

// Column definition from a declared SQL type: VARCHAR(n)/CHAR(n) as strings of
// size n, TIMESTAMP/DATE as date-time, DOUBLE PRECISION/NUMERIC/REAL/FLOAT as
// float, INTEGER/BIGINT/SMALLINT as integer, TEXT/BLOB as blob. Returns false
// when the declared type says nothing (the caller types the column by value).
bool fieldFromDeclaredType(std::string_view declared, FieldDef& field);

// Result column names in upper case: PostgreSQL folds unquoted names to lower
// case, while data sets match fields by their upper-case names.
std::string upperCaseName(const char* name);

// Widest text of a string column typed by value, so expression columns get a
// size as table columns do.
void sizeStringColumnsByValue(DataPacket& packet, const std::vector<bool>& typedByValue);

}  // namespace host::sql
