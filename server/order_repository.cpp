#include "server/order_repository.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "host/sql/sql_dates.h"
#include "server/statement_binding.h"

namespace ore::server {

using host::DataPacket;
using host::FieldDef;
using host::FieldType;
using host::Variant;
using host::sql::Params;

namespace {

const char* const orderKeyCondition =
    "CDFILIAL = :CDFILIAL AND NRORCAEVENTO = :NRORCAEVENTO AND NRSEQORCAEVE = :NRSEQORCAEVE";

// The engines sort nulls differently; a record without a time is never the latest.
const char* const latestObservationFirst =
    " ORDER BY CASE WHEN DTHRHISTORCA IS NULL THEN 1 ELSE 0 END, DTHRHISTORCA DESC,"
    " NRSEQHISTORCA DESC";

const std::string itemsStatement =
    "SELECT i.CDFILIAL, i.NRORCAEVENTO, i.NRITEMORCEVE, i.CDPRODUTO, i.QTITEMORCEVE,"
    " i.VRITEMORCEVE, i.VRDESCITOREV, i.IDITOREVPROD, i.NROPCAITOREV, i.CDGRTOTAPROD,"
    " p.CDARVPROD, p.NMPRODUTO, p.SGUNIDADE"
    " FROM ITORCAEVEN i LEFT JOIN PRODUTO p ON p.CDPRODUTO = i.CDPRODUTO"
    " WHERE i.CDFILIAL = :CDFILIAL AND i.NRORCAEVENTO = :NRORCAEVENTO"
    " AND i.NRSEQORCAEVE = :NRSEQORCAEVE ORDER BY i.NRITEMORCEVE";

const std::string latestObservationStatement =
    std::string(
        "SELECT TXOBSJUSTORC, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE,"
        " CDOPERADOR, DTHRHISTORCA FROM OBSJUSTORC WHERE ") +
    orderKeyCondition + latestObservationFirst + " LIMIT 1";

// Which receivables block a cancellation: the check and the preview share them.
const char* const paidCondition = "IDBAIXADA = 'S'";
const char* const slipSentCondition = "IDBOLETOENVIADO = 'S'";

Params keyParams(const OrderKey& key) {
    return {{"CDFILIAL", key.branch}, {"NRORCAEVENTO", key.number}, {"NRSEQORCAEVE", key.sequence}};
}

Variant optionalText(const std::optional<std::string>& text) {
    return text ? Variant(*text) : Variant();
}

// Columns of the order list filled from the small code tables (see
// ListDescriptions).
constexpr std::size_t priceBaseColumn = 7;
constexpr std::size_t priceBaseDescriptionColumn = 8;
constexpr std::size_t justificationColumn = 14;
constexpr std::size_t justificationDescriptionColumn = 16;

}  // namespace

// On SQLite every join is a B-tree search per listed row, a large part of a
// long list's read; the price bases and the justifications are a handful of
// codes (two and four characters wide), so the list reads both tables once,
// in the list's own read snapshot, and fills their descriptions itself.
// PostgreSQL joins them by hashing, which costs next to nothing.
class OrderRepository::ListDescriptions {
public:
    explicit ListDescriptions(host::sql::Database& database)
        : m_priceBases(read(database, "SELECT CDPRECOBASE, DSPRECOBASE FROM PRECOBASE")),
          m_justifications(read(database, "SELECT CDJUSTEXCHIS, DSJUSTEXCHIS FROM JUSTEXCHIS")) {}

    void fill(DataPacket& packet) const {
        for (std::vector<Variant>& row : packet.rows) {
            fillOne(m_priceBases, row[priceBaseColumn], row[priceBaseDescriptionColumn]);
            fillOne(m_justifications, row[justificationColumn],
                    row[justificationDescriptionColumn]);
        }
    }

private:
    using Table = std::unordered_map<std::string, Variant>;

    static Table read(host::sql::Database& database, const char* statement) {
        Table table;
        for (std::vector<Variant>& row : database.query(statement).rows) {
            table.emplace(row[0].AsString(), std::move(row[1]));
        }
        return table;
    }

    // A code without its row in the table reads as null, as the outer join gave.
    static void fillOne(const Table& table, const Variant& code, Variant& description) {
        if (code.Type() != host::VarType::Text) {
            return;
        }
        if (auto found = table.find(code.AsText()); found != table.end()) {
            description = found->second;
        }
    }

    Table m_priceBases;
    Table m_justifications;
};

const std::vector<FieldDef>& OrderRepository::orderListFields() {
    static const std::vector<FieldDef> fields = {
        {"NRORCAEVENTO", FieldType::String, 10},     {"NMFANTCLIE", FieldType::String, 50},
        {"IDSITUORCEVE", FieldType::String, 1},      {"CDFILIAL", FieldType::String, 4},
        {"NRSEQORCAEVE", FieldType::FixedString, 2}, {"DTEVENTO", FieldType::DateTime, 0},
        {"QTCONVORCEVE", FieldType::Float, 0},       {"CDPRECOBASE", FieldType::String, 2},
        {"DSPRECOBASE", FieldType::String, 30},      {"DTVALIORCEVE", FieldType::DateTime, 0},
        {"CDVENDEDOR", FieldType::String, 4},        {"CDCLIENTE", FieldType::String, 21},
        {"DSTITUORCEVE", FieldType::String, 100},    {"NMCLIEORCEVE", FieldType::String, 50},
        {"CDJUSTEXCHIS", FieldType::String, 4},      {"CDOPEJUSTORC", FieldType::String, 12},
        {"DSJUSTEXCHIS", FieldType::String, 40},     {"DTHRENTROREV", FieldType::DateTime, 0},
    };
    return fields;
}

const std::vector<FieldDef>& OrderRepository::itemFields() {
    static const std::vector<FieldDef> fields = {
        {"CDFILIAL", FieldType::String, 4},      {"NRORCAEVENTO", FieldType::String, 10},
        {"NRITEMORCEVE", FieldType::String, 10}, {"CDPRODUTO", FieldType::String, 10},
        {"QTITEMORCEVE", FieldType::Float, 0},   {"VRITEMORCEVE", FieldType::Float, 0},
        {"VRDESCITOREV", FieldType::Float, 0},   {"IDITOREVPROD", FieldType::String, 1},
        {"NROPCAITOREV", FieldType::String, 2},  {"CDGRTOTAPROD", FieldType::String, 3},
        {"CDARVPROD", FieldType::String, 20},    {"NMPRODUTO", FieldType::String, 50},
        {"SGUNIDADE", FieldType::String, 10},
    };
    return fields;
}

const std::vector<FieldDef>& OrderRepository::observationFields() {
    static const std::vector<FieldDef> fields = {
        {"TXOBSJUSTORC", FieldType::Blob, 0},    {"CDFILIAL", FieldType::String, 4},
        {"NRORCAEVENTO", FieldType::String, 10}, {"NRSEQORCAEVE", FieldType::FixedString, 2},
        {"CDOPERADOR", FieldType::String, 12},   {"DTHRHISTORCA", FieldType::DateTime, 0},
    };
    return fields;
}

const std::vector<FieldDef>& OrderRepository::childOrderFields() {
    static const std::vector<FieldDef> fields = {
        {"NRORCAEVENTO", FieldType::String, 10},
        {"NRSEQORCAEVE", FieldType::FixedString, 2},
    };
    return fields;
}

const std::vector<FieldDef>& OrderRepository::productionOrderFields() {
    static const std::vector<FieldDef> fields = {
        {"CDFILIAL", FieldType::String, 4},   {"NRPEDIDO", FieldType::String, 10},
        {"NRORDPROD", FieldType::String, 10}, {"NRSUBORDPROD", FieldType::String, 1},
        {"NMPRODUTO", FieldType::String, 50}, {"CDPRODUTO", FieldType::String, 10},
        {"CDARVPROD", FieldType::String, 20},
    };
    return fields;
}

const std::vector<FieldDef>& OrderRepository::shippedOrderFields() {
    static const std::vector<FieldDef> fields = {
        {"CDFILIAL", FieldType::String, 4},
        {"NRPEDIDO", FieldType::String, 10},
    };
    return fields;
}

const std::vector<FieldDef>& OrderRepository::storedOrderColumns() {
    static const std::vector<FieldDef> fields = [] {
        std::vector<FieldDef> stored;
        for (const FieldDef& field : orderListFields()) {
            if (field.name != "NMFANTCLIE" && field.name != "DSPRECOBASE" &&
                field.name != "DSJUSTEXCHIS") {
                stored.push_back(field);
            }
        }
        return stored;
    }();
    return fields;
}

DataPacket OrderRepository::select(const std::string& statement, const Params& params,
                                   const std::vector<FieldDef>& fields) {
    return selectAs(m_database, statement, params, fields);
}

DataPacket OrderRepository::orders(const OrderListQuery& query) {
    DataPacket all;
    orders(query, 0, [&](DataPacket& packet) {
        all = std::move(packet);
        return true;
    });
    return all;
}

bool OrderRepository::orders(const OrderListQuery& query, std::size_t rowsPerPacket,
                             const std::function<bool(DataPacket&)>& sink) {
    Params params;
    const std::string statement = orderListStatement(query, params);
    const std::vector<FieldDef>& fields = orderListFields();
    std::optional<ListDescriptions> descriptions;
    auto deliver = [&](DataPacket& packet) {
        if (packet.fields.size() != fields.size()) {
            throw host::sql::DatabaseError("query returned " +
                                           std::to_string(packet.fields.size()) +
                                           " columns, expected " + std::to_string(fields.size()));
        }
        packet.fields = fields;
        if (descriptions) {
            descriptions->fill(packet);
        }
        return sink(packet);
    };
    if (m_database.engine() != host::sql::Engine::sqlite) {
        if (rowsPerPacket == 0) {
            DataPacket packet = m_database.query(statement, params);
            return deliver(packet);
        }
        return m_database.queryInPackets(statement, params, rowsPerPacket, deliver);
    }
    // The code tables are read in the same snapshot as the orders: a list
    // outside a transaction gets one of its own.
    const bool ownTransaction = !m_database.inTransaction();
    if (ownTransaction) {
        m_database.execute("BEGIN DEFERRED");
    }
    try {
        descriptions.emplace(m_database);
        bool complete = true;
        if (rowsPerPacket == 0) {
            DataPacket packet = m_database.query(statement, params);
            complete = deliver(packet);
        } else {
            complete = m_database.queryInPackets(statement, params, rowsPerPacket, deliver);
        }
        if (ownTransaction) {
            m_database.execute("COMMIT");
        }
        return complete;
    } catch (...) {
        if (ownTransaction) {
            m_database.rollback();
        }
        throw;
    }
}

DataPacket OrderRepository::salesOrdersWhere(const OrderKey& key, const char* condition) {
    return select(std::string("SELECT CDFILIAL, NRPEDIDO FROM PEDIDO WHERE ") + orderKeyCondition +
                      condition + " ORDER BY NRPEDIDO",
                  keyParams(key), shippedOrderFields());
}

std::string OrderRepository::orderListStatement(const OrderListQuery& query, Params& params) const {
    // SQLite: the descriptions of the code tables come from ListDescriptions.
    const bool joinCodeTables = m_database.engine() != host::sql::Engine::sqlite;
    std::string statement =
        std::string(
            "SELECT o.NRORCAEVENTO, c.NMFANTCLIE, o.IDSITUORCEVE, o.CDFILIAL,"
            " o.NRSEQORCAEVE, o.DTEVENTO, o.QTCONVORCEVE, o.CDPRECOBASE, ") +
        (joinCodeTables ? "p.DSPRECOBASE" : "NULL") +
        ", o.DTVALIORCEVE, o.CDVENDEDOR, o.CDCLIENTE, o.DSTITUORCEVE, o.NMCLIEORCEVE,"
        " o.CDJUSTEXCHIS, o.CDOPEJUSTORC, " +
        (joinCodeTables ? "j.DSJUSTEXCHIS" : "NULL") +
        ", o.DTHRENTROREV"
        " FROM ORCAEVENTO o"
        " LEFT JOIN CLIENTE c ON c.CDCLIENTE = o.CDCLIENTE" +
        (joinCodeTables ? " LEFT JOIN PRECOBASE p ON p.CDPRECOBASE = o.CDPRECOBASE"
                          " LEFT JOIN JUSTEXCHIS j ON j.CDJUSTEXCHIS = o.CDJUSTEXCHIS"
                        : "") +
        " WHERE o.CDFILIAL = :CDFILIAL AND o.IDSITUORCEVE IN ('2', '3')";
    params = {{"CDFILIAL", query.branch}};
    if (query.numberRange) {
        statement += " AND o.NRORCAEVENTO >= :NRINI AND o.NRORCAEVENTO <= :NRFIN";
        params.emplace_back("NRINI", query.numberRange->first);
        params.emplace_back("NRFIN", query.numberRange->second);
    }
    if (query.deliveryRange) {
        statement += " AND o.DTHRENTROREV >= :DTINI AND o.DTHRENTROREV < :DTFIM";
        params.emplace_back("DTINI", query.deliveryRange->first);
        params.emplace_back("DTFIM", query.deliveryRange->second);
    }
    if (query.salesmen) {
        statement += " AND o.CDVENDEDOR IN (" + bindList("VEND", *query.salesmen, params) + ")";
    }
    if (query.customers) {
        statement += " AND o.CDCLIENTE IN (" + bindList("CLIE", *query.customers, params) + ")";
    }
    statement += " ORDER BY o.NRORCAEVENTO, o.NRSEQORCAEVE";
    return statement;
}

DataPacket OrderRepository::items(const OrderKey& key) {
    return select(itemsStatement, keyParams(key), itemFields());
}

DataPacket OrderRepository::latestObservation(const OrderKey& key) {
    return select(latestObservationStatement, keyParams(key), observationFields());
}

std::pair<DataPacket, DataPacket> OrderRepository::itemsAndObservation(const OrderKey& key) {
    const Params params = keyParams(key);
    std::vector<DataPacket> packets =
        m_database.queryBatch({{itemsStatement, params}, {latestObservationStatement, params}});
    useFields(packets[0], itemFields());
    useFields(packets[1], observationFields());
    return {std::move(packets[0]), std::move(packets[1])};
}

DataPacket OrderRepository::childOrders(const std::string& branch, const std::string& number) {
    return select(
        "SELECT NRORCAEVENTO, NRSEQORCAEVE FROM ORCAEVENTO"
        " WHERE CDFILIAL = :CDFILIAL AND NRORCAEVENTO = :NRORCAEVENTO AND NRSEQORCAEVE <> '00'"
        " ORDER BY NRSEQORCAEVE",
        {{"CDFILIAL", branch}, {"NRORCAEVENTO", number}}, childOrderFields());
}

bool OrderRepository::justificationExists(const std::string& code) {
    return !m_database
                .query("SELECT 1 FROM JUSTEXCHIS WHERE CDJUSTEXCHIS = :CDJUSTEXCHIS",
                       {{"CDJUSTEXCHIS", code}})
                .rows.empty();
}

bool OrderRepository::hasChildOrders(const std::string& branch, const std::string& number) {
    return !m_database
                .query(
                    "SELECT 1 FROM ORCAEVENTO WHERE CDFILIAL = :CDFILIAL AND NRORCAEVENTO ="
                    " :NRORCAEVENTO AND NRSEQORCAEVE <> '00' LIMIT 1",
                    {{"CDFILIAL", branch}, {"NRORCAEVENTO", number}})
                .rows.empty();
}

std::optional<std::string> OrderRepository::status(const OrderKey& key) {
    const DataPacket packet = m_database.query(
        std::string("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE ") + orderKeyCondition,
        keyParams(key));
    if (packet.rows.empty()) {
        return std::nullopt;
    }
    return packet.rows.front().front().AsString();
}

bool OrderRepository::markPending(const OrderKey& key,
                                  const std::optional<std::string>& justification,
                                  const std::string& operatorCode) {
    std::string statement = "UPDATE ORCAEVENTO SET IDSITUORCEVE = '1'";
    Params params = keyParams(key);
    if (justification) {
        statement += ", CDJUSTEXCHIS = :CDJUSTEXCHIS";
        params.emplace_back("CDJUSTEXCHIS", *justification);
    }
    if (!operatorCode.empty()) {
        statement += ", CDOPEJUSTORC = :CDOPEJUSTORC";
        params.emplace_back("CDOPEJUSTORC", operatorCode);
    }
    statement += std::string(" WHERE ") + orderKeyCondition + " AND IDSITUORCEVE IN ('2', '3')";
    if (justification) {
        statement +=
            " AND EXISTS (SELECT 1 FROM JUSTEXCHIS j WHERE j.CDJUSTEXCHIS = :CDJUSTEXCHIS)";
    }
    return m_database.execute(statement, params) == 1;
}

std::optional<OrderRepository::CancellationFacts> OrderRepository::cancellationFacts(
    const OrderKey& key) {
    // Each subquery is one index lookup; together they replace a statement
    // (a round trip on PostgreSQL) apiece.
    static const std::string statement = [] {
        auto of = [](const std::string& alias) {
            return alias + ".CDFILIAL = o.CDFILIAL AND " + alias +
                   ".NRORCAEVENTO = o.NRORCAEVENTO AND " + alias + ".NRSEQORCAEVE = o.NRSEQORCAEVE";
        };
        return "SELECT o.CDCLIENTE, o.NMCLIEORCEVE, o.CDVENDEDOR,"
               " CASE WHEN (o.NRSEQORCAEVE = '00' AND EXISTS (SELECT 1 FROM ORCAEVENTO c"
               " WHERE c.CDFILIAL = o.CDFILIAL AND c.NRORCAEVENTO = o.NRORCAEVENTO"
               " AND c.NRSEQORCAEVE <> '00'))"
               " OR EXISTS (SELECT 1 FROM PEDIDO pe JOIN ORDEMPROD op ON op.CDFILIAL ="
               " pe.CDFILIAL AND op.NRPEDIDO = pe.NRPEDIDO WHERE " +
               of("pe") +
               ")"
               " OR EXISTS (SELECT 1 FROM PEDIDO pe WHERE " +
               of("pe") +
               " AND pe.IDSITUPEDIDO = 'E')"
               " OR EXISTS (SELECT 1 FROM CONTARECEBER r WHERE " +
               of("r") + " AND (r." + paidCondition + " OR r." + slipSentCondition +
               ")) THEN 1 ELSE 0 END,"
               " (SELECT COUNT(*) FROM CONTARECEBER r WHERE " +
               of("r") +
               "),"
               " (SELECT COUNT(*) FROM PEDIDO pe WHERE " +
               of("pe") +
               "),"
               " (SELECT COALESCE(MAX(b.NRSEQHISTORCA), 0) + 1 FROM OBSJUSTORC b WHERE " +
               of("b") +
               "), l.DTHRHISTORCA"
               " FROM ORCAEVENTO o LEFT JOIN OBSJUSTORC l ON " +
               of("l") + " AND l.NRSEQHISTORCA = (SELECT b.NRSEQHISTORCA FROM OBSJUSTORC b WHERE " +
               of("b") +
               " ORDER BY CASE WHEN b.DTHRHISTORCA IS NULL THEN 1 ELSE 0 END,"
               " b.DTHRHISTORCA DESC, b.NRSEQHISTORCA DESC LIMIT 1)"
               " WHERE o.CDFILIAL = :CDFILIAL AND o.NRORCAEVENTO = :NRORCAEVENTO"
               " AND o.NRSEQORCAEVE = :NRSEQORCAEVE";
    }();
    DataPacket packet = m_database.query(statement, keyParams(key));
    if (packet.rows.empty()) {
        return std::nullopt;
    }
    std::vector<Variant>& row = packet.rows.front();
    CancellationFacts facts;
    facts.blocked = row[3].AsInteger() != 0;
    facts.receivables = row[4].AsInteger();
    facts.salesOrders = row[5].AsInteger();
    facts.nextObservation = row[6].AsInteger();
    facts.latestObservationTime = std::move(row[7]);
    row.resize(3);
    facts.recordColumns = std::move(row);
    return facts;
}

DataPacket OrderRepository::productionOrders(const OrderKey& key) {
    return select(
        "SELECT op.CDFILIAL, op.NRPEDIDO, op.NRORDPROD, op.NRSUBORDPROD, p.NMPRODUTO,"
        " op.CDPRODUTO, p.CDARVPROD"
        " FROM PEDIDO pe"
        " JOIN ORDEMPROD op ON op.CDFILIAL = pe.CDFILIAL AND op.NRPEDIDO = pe.NRPEDIDO"
        " LEFT JOIN PRODUTO p ON p.CDPRODUTO = op.CDPRODUTO"
        " WHERE pe.CDFILIAL = :CDFILIAL AND pe.NRORCAEVENTO = :NRORCAEVENTO"
        " AND pe.NRSEQORCAEVE = :NRSEQORCAEVE"
        " ORDER BY op.NRORDPROD, op.NRSUBORDPROD",
        keyParams(key), productionOrderFields());
}

DataPacket OrderRepository::shippedSalesOrders(const OrderKey& key) {
    return salesOrdersWhere(key, " AND IDSITUPEDIDO = 'E'");
}

std::optional<std::string> OrderRepository::firstPaidReceivable(const OrderKey& key) {
    const DataPacket packet = receivablesWhere(key, paidCondition, " LIMIT 1");
    if (packet.rows.empty()) {
        return std::nullopt;
    }
    return packet.rows.front().front().AsString();
}

std::optional<std::string> OrderRepository::firstReceivableWithSlipSent(const OrderKey& key) {
    const DataPacket packet = receivablesWhere(key, slipSentCondition, " LIMIT 1");
    if (packet.rows.empty()) {
        return std::nullopt;
    }
    return packet.rows.front().front().AsString();
}

void OrderRepository::deleteReceivablesAndSalesOrders(const OrderKey& key) {
    m_database.execute(std::string("DELETE FROM CONTARECEBER WHERE ") + orderKeyCondition,
                       keyParams(key));
    m_database.execute(std::string("DELETE FROM PEDIDO WHERE ") + orderKeyCondition,
                       keyParams(key));
}

void OrderRepository::addObservation(const OrderKey& key, const std::string& text,
                                     const std::optional<std::string>& operatorCode,
                                     const std::optional<std::string>& justification,
                                     host::TDateTime when, std::int64_t number,
                                     const Variant& latestTime) {
    if (!latestTime.IsNull()) {
        // A clock set back must not make the new record older than the latest.
        when.days = std::max(when.days, latestTime.AsDateTime().days);
    }
    Params params = keyParams(key);
    params.emplace_back("NRSEQHISTORCA", number);
    params.emplace_back("DTHRHISTORCA", when);
    params.emplace_back("TXOBSJUSTORC", text);
    params.emplace_back("CDOPERADOR", optionalText(operatorCode));
    params.emplace_back("CDJUSTEXCHIS", optionalText(justification));
    m_database.execute(
        "INSERT INTO OBSJUSTORC (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRSEQHISTORCA,"
        " DTHRHISTORCA, TXOBSJUSTORC, CDOPERADOR, CDJUSTEXCHIS) VALUES (:CDFILIAL,"
        " :NRORCAEVENTO, :NRSEQORCAEVE, :NRSEQHISTORCA, :DTHRHISTORCA, :TXOBSJUSTORC,"
        " :CDOPERADOR, :CDJUSTEXCHIS)",
        params);
}

std::optional<std::vector<Variant>> OrderRepository::lockOrder(const OrderKey& key) {
    std::string columns;
    for (const FieldDef& field : storedOrderColumns()) {
        columns += (columns.empty() ? "" : ", ") + field.name;
    }
    std::string statement =
        "SELECT " + columns + " FROM ORCAEVENTO WHERE " + std::string(orderKeyCondition);
    // SQLite's write transactions already hold the database's write lock.
    if (m_database.engine() == host::sql::Engine::postgresql) {
        statement += " FOR UPDATE";
    }
    DataPacket packet = select(statement, keyParams(key), storedOrderColumns());
    if (packet.rows.empty()) {
        return std::nullopt;
    }
    return std::move(packet.rows.front());
}

void OrderRepository::updateReason(const OrderKey& key, const Variant& justification,
                                   const Variant& operatorCode) {
    Params params = keyParams(key);
    params.emplace_back("CDJUSTEXCHIS", justification);
    params.emplace_back("CDOPEJUSTORC", operatorCode);
    m_database.execute(std::string("UPDATE ORCAEVENTO SET CDJUSTEXCHIS = :CDJUSTEXCHIS,"
                                   " CDOPEJUSTORC = :CDOPEJUSTORC WHERE ") +
                           orderKeyCondition,
                       params);
}

std::int64_t OrderRepository::count(const std::string& statement, const OrderKey& key) {
    const DataPacket packet = m_database.query(statement, keyParams(key));
    return packet.rows.empty() ? 0 : packet.rows.front().front().AsInteger();
}

std::int64_t OrderRepository::countSalesOrders(const OrderKey& key) {
    return count(std::string("SELECT COUNT(*) FROM PEDIDO WHERE ") + orderKeyCondition, key);
}

std::int64_t OrderRepository::countProductionOrders(const OrderKey& key) {
    return count(
        "SELECT COUNT(*) FROM PEDIDO pe"
        " JOIN ORDEMPROD op ON op.CDFILIAL = pe.CDFILIAL AND op.NRPEDIDO = pe.NRPEDIDO"
        " WHERE pe.CDFILIAL = :CDFILIAL AND pe.NRORCAEVENTO = :NRORCAEVENTO"
        " AND pe.NRSEQORCAEVE = :NRSEQORCAEVE",
        key);
}

std::int64_t OrderRepository::countReceivables(const OrderKey& key) {
    return count(std::string("SELECT COUNT(*) FROM CONTARECEBER WHERE ") + orderKeyCondition, key);
}

void OrderRepository::deleteOrder(const OrderKey& key) {
    for (const char* table : {"OBSJUSTORC", "ITORCAEVEN", "ORCAEVENTO"}) {
        m_database.execute(std::string("DELETE FROM ") + table + " WHERE " + orderKeyCondition,
                           keyParams(key));
    }
}

const std::vector<FieldDef>& OrderRepository::receivableFields() {
    static const std::vector<FieldDef> fields = {
        {"NRDOCUMENTO", FieldType::String, 10},
        {"VRDOCUMENTO", FieldType::Float, 0},
    };
    return fields;
}

void OrderRepository::beginReadOnly() {
    // SQLite: a deferred transaction reads one snapshot and takes the write
    // lock only on a write, which never comes.
    m_database.execute(m_database.engine() == host::sql::Engine::postgresql
                           ? "BEGIN TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY"
                           : "BEGIN DEFERRED");
}

DataPacket OrderRepository::receivablesWhere(const OrderKey& key, const char* condition,
                                             const char* limit) {
    return select(std::string("SELECT NRDOCUMENTO, VRDOCUMENTO FROM CONTARECEBER WHERE ") +
                      orderKeyCondition + (*condition != 0 ? " AND " : "") + condition +
                      " ORDER BY NRDOCUMENTO" + limit,
                  keyParams(key), receivableFields());
}

DataPacket OrderRepository::receivables(const OrderKey& key) {
    return receivablesWhere(key, "");
}

DataPacket OrderRepository::paidReceivables(const OrderKey& key) {
    return receivablesWhere(key, paidCondition);
}

DataPacket OrderRepository::receivablesWithSlipSent(const OrderKey& key) {
    return receivablesWhere(key, slipSentCondition);
}

DataPacket OrderRepository::salesOrders(const OrderKey& key) {
    return salesOrdersWhere(key, "");
}

}  // namespace ore::server
