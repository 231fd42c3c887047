#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/data/data_packet.h"
#include "host/sql/database.h"
#include "server/order_types.h"

namespace ore::server {

// Which orders the list holds; an empty optional leaves that criterion out.
struct OrderListQuery {
    std::string branch;
    std::optional<std::pair<std::string, std::string>> numberRange;            // inclusive, as text
    std::optional<std::pair<host::TDateTime, host::TDateTime>> deliveryRange;  // [from, until)
    std::optional<std::vector<std::string>> salesmen;
    std::optional<std::vector<std::string>> customers;
};

// The order tables, over either engine. Every value is bound; the packets it
// returns carry exactly the fields, types and sizes the screen's data sets
// expect.
class OrderRepository {
public:
    explicit OrderRepository(host::sql::Database& database) : m_database(database) {}

    host::sql::Database& database() { return m_database; }

    host::DataPacket orders(const OrderListQuery& query);
    // The same list handed on while it is read, in packets of at most
    // `rowsPerPacket` rows; stops when `sink` returns false.
    bool orders(const OrderListQuery& query, std::size_t rowsPerPacket,
                const std::function<bool(host::DataPacket&)>& sink);
    host::DataPacket items(const OrderKey& key);
    host::DataPacket latestObservation(const OrderKey& key);
    // Both of the above in one request to the database.
    std::pair<host::DataPacket, host::DataPacket> itemsAndObservation(const OrderKey& key);
    host::DataPacket childOrders(const std::string& branch, const std::string& number);

    bool justificationExists(const std::string& code);
    bool hasChildOrders(const std::string& branch, const std::string& number);

    // The order's status, or nothing when there is no such order.
    std::optional<std::string> status(const OrderKey& key);
    // Sets status "1" (and the justification and operator given; empty
    // operator: none) when the order is "2" or "3" and the justification
    // given is registered; false when no row qualified. Locks the row until
    // the transaction ends.
    bool markPending(const OrderKey& key, const std::optional<std::string>& justification,
                     const std::string& operatorCode);
    // What a cancellation needs to know of an order, in one statement.
    struct CancellationFacts {
        // Child orders (of a sequence "00"), production orders, shipped sales
        // orders, paid receivables or bank slips sent: any of them.
        bool blocked = false;
        std::int64_t receivables = 0;
        std::int64_t salesOrders = 0;
        // CDCLIENTE, NMCLIEORCEVE, CDVENDEDOR: what the history record copies.
        std::vector<host::Variant> recordColumns;
        // The number and earliest time of a new observation.
        std::int64_t nextObservation = 1;
        host::Variant latestObservationTime;
    };
    // Nothing when there is no such order.
    std::optional<CancellationFacts> cancellationFacts(const OrderKey& key);
    host::DataPacket productionOrders(const OrderKey& key);
    host::DataPacket shippedSalesOrders(const OrderKey& key);
    std::optional<std::string> firstPaidReceivable(const OrderKey& key);
    std::optional<std::string> firstReceivableWithSlipSent(const OrderKey& key);
    void deleteReceivablesAndSalesOrders(const OrderKey& key);
    // Records an observation numbered `number` at `when`, never earlier than
    // `latestTime` (the order's latest observation, null if none): both as
    // cancellationFacts() reads them.
    void addObservation(const OrderKey& key, const std::string& text,
                        const std::optional<std::string>& operatorCode,
                        const std::optional<std::string>& justification, host::TDateTime when,
                        std::int64_t number, const host::Variant& latestTime);

    // The stored columns of the order (storedOrderColumns()), locked for this
    // transaction; nothing when the order is gone.
    std::optional<std::vector<host::Variant>> lockOrder(const OrderKey& key);
    static const std::vector<host::FieldDef>& storedOrderColumns();
    void updateReason(const OrderKey& key, const host::Variant& justification,
                      const host::Variant& operatorCode);
    std::int64_t countSalesOrders(const OrderKey& key);
    std::int64_t countProductionOrders(const OrderKey& key);
    std::int64_t countReceivables(const OrderKey& key);
    // Removes the order with its items and observations.
    void deleteOrder(const OrderKey& key);

    // Field lists of the packets the screen loads.
    static const std::vector<host::FieldDef>& orderListFields();
    static const std::vector<host::FieldDef>& itemFields();
    static const std::vector<host::FieldDef>& observationFields();
    static const std::vector<host::FieldDef>& childOrderFields();
    static const std::vector<host::FieldDef>& productionOrderFields();
    static const std::vector<host::FieldDef>& shippedOrderFields();

    // Starts a transaction that only reads: one snapshot for several queries,
    // no lock taken, and on PostgreSQL any write refused. End it with rollback.
    void beginReadOnly();
    // Receivables of the order (receivableFields()): all of them, the paid
    // ones, and those whose bank slip was sent; by document number.
    host::DataPacket receivables(const OrderKey& key);
    host::DataPacket paidReceivables(const OrderKey& key);
    host::DataPacket receivablesWithSlipSent(const OrderKey& key);
    // Every sales order of the order (shippedOrderFields()), by number.
    host::DataPacket salesOrders(const OrderKey& key);
    static const std::vector<host::FieldDef>& receivableFields();

private:
    std::string orderListStatement(const OrderListQuery& query, host::sql::Params& params) const;
    class ListDescriptions;
    host::DataPacket select(const std::string& statement, const host::sql::Params& params,
                            const std::vector<host::FieldDef>& fields);
    std::int64_t count(const std::string& statement, const OrderKey& key);
    // Receivables of the order meeting `condition` (SQL after AND, or empty).
    host::DataPacket receivablesWhere(const OrderKey& key, const char* condition,
                                      const char* limit = "");
    // Sales orders of the order meeting `condition` (" AND ...", or empty).
    host::DataPacket salesOrdersWhere(const OrderKey& key, const char* condition);

    host::sql::Database& m_database;
};

}  // namespace ore::server
