#include "host/sql/database.h"

#include "host/sql/drivers.h"

namespace host::sql {

std::optional<std::string> sqliteFileOf(const std::string& target) {
    if (target.rfind("sqlite:", 0) == 0) {
        return target.substr(7);
    }
    if (target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0 ||
        target.find("host=") != std::string::npos || target.find("dbname=") != std::string::npos) {
        return std::nullopt;
    }
    return target;
}

std::unique_ptr<Database> Database::open(const std::string& target) {
    if (target.empty()) {
        throw DatabaseError("No database given");
    }
    if (auto file = sqliteFileOf(target)) {
        return openSqlite(*file);
    }
    return openPostgresql(target);
}

}  // namespace host::sql
