#pragma once

#include <memory>
#include <string>

#include "host/sql/database.h"

namespace host::sql {

std::unique_ptr<Database> openSqlite(const std::string& path);
std::unique_ptr<Database> openPostgresql(const std::string& connectionString);

}  // namespace host::sql
