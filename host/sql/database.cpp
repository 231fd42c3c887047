#include "host/sql/database.h"

#include <algorithm>
#include <iterator>

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

std::vector<DataPacket> Database::queryBatch(const Queries& queries) {
    std::vector<DataPacket> packets;
    packets.reserve(queries.size());
    for (const auto& [statement, params] : queries) {
        packets.push_back(query(statement, params));
    }
    return packets;
}

bool Database::queryInPackets(std::string_view statement, const Params& params,
                              std::size_t rowsPerPacket,
                              const std::function<bool(DataPacket&)>& sink) {
    // Engines without a reader of their own: the whole result, then cut.
    DataPacket all = query(statement, params);
    const std::size_t size = std::max<std::size_t>(rowsPerPacket, 1);
    if (all.rows.size() <= size) {
        return sink(all);
    }
    for (std::size_t begin = 0; begin < all.rows.size(); begin += size) {
        DataPacket part;
        part.fields = all.fields;
        const std::size_t end = std::min(all.rows.size(), begin + size);
        part.rows.assign(
            std::make_move_iterator(all.rows.begin() + static_cast<std::ptrdiff_t>(begin)),
            std::make_move_iterator(all.rows.begin() + static_cast<std::ptrdiff_t>(end)));
        if (!sink(part)) {
            return false;
        }
    }
    return true;
}

}  // namespace host::sql
