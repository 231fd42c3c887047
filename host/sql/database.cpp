#include "host/sql/database.h"

namespace host::sql {

std::unique_ptr<Database> Database::open(const std::string& target) {
    throw DatabaseError("No database driver for '" + target + "'");
}

}  // namespace host::sql
