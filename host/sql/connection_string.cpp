#include "host/sql/connection_string.h"

#include <libpq-fe.h>

#include <string_view>

#include "host/sql/database.h"

namespace host::sql {

namespace {

std::string quotedConnectionValue(const std::string& value) {
    std::string quoted = "'";
    for (const char c : value) {
        if (c == '\'' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "'";
}

}  // namespace

std::string withDatabaseName(const std::string& connection, const std::string& database) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.c_str(), &error);
    if (options == nullptr) {
        const std::string message = error != nullptr ? error : "out of memory";
        PQfreemem(error);
        throw DatabaseError("Not a PostgreSQL connection string: " + message);
    }
    std::string result;
    for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        if (option->val == nullptr || std::string_view(option->keyword) == "dbname") {
            continue;
        }
        result += std::string(option->keyword) + "=" + quotedConnectionValue(option->val) + " ";
    }
    PQconninfoFree(options);
    return result + "dbname=" + database;
}

}  // namespace host::sql
