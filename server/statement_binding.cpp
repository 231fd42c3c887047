#include "server/statement_binding.h"

namespace ore::server {

std::string bindList(const std::string& prefix, const std::vector<std::string>& codes,
                     host::sql::Params& params) {
    std::string placeholders;
    for (std::size_t index = 0; index < codes.size(); ++index) {
        const std::string name = prefix + std::to_string(index);
        placeholders += (index == 0 ? ":" : ", :") + name;
        params.emplace_back(name, codes[index]);
    }
    return placeholders;
}

void useFields(host::DataPacket& packet, const std::vector<host::FieldDef>& fields) {
    if (packet.fields.size() != fields.size()) {
        throw host::sql::DatabaseError("query returned " + std::to_string(packet.fields.size()) +
                                       " columns, expected " + std::to_string(fields.size()));
    }
    packet.fields = fields;
}

host::DataPacket selectAs(host::sql::Database& database, const std::string& statement,
                          const host::sql::Params& params,
                          const std::vector<host::FieldDef>& fields) {
    host::DataPacket packet = database.query(statement, params);
    useFields(packet, fields);
    return packet;
}

}  // namespace ore::server
