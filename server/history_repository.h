#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/data/variant.h"
#include "host/sql/database.h"
#include "server/order_types.h"

namespace ore::server {

// What one history record says (table HISTCANCAPROV); the customer and the
// salesman are read from the order itself when it is written.
enum class HistoryOutcome : char {
    cancelled = 'C',
    blockedByProduction = 'P',
    blockedByShipped = 'E',
    refused = 'R',
    refusedByAuthorization = 'A',
    deleted = 'X',
};

struct HistoryEntry {
    OrderKey key{};
    Caller caller{};
    host::TDateTime when{};
    std::optional<std::string> justification{};
    std::optional<std::string> observation{};
    HistoryOutcome outcome = HistoryOutcome::cancelled;
    std::string refusal{};  // "KEY" or "KEY|detail"; empty unless refused
};

// The history tables, over either engine: records and the copies of the rows
// their operations delete. Only ever inserts; every value is bound.
class HistoryRepository {
public:
    explicit HistoryRepository(host::sql::Database& database) : m_database(database) {}

    // A new record key: 128 bits from the kernel's random source, as 32
    // lower-case hex digits. Raises std::runtime_error when that source fails.
    static std::string newRecordId();

    // Writes the record under `id`, in the transaction open on the connection
    // (the caller's), copying customer and salesman from the order if it exists.
    void writeRecord(const std::string& id, const HistoryEntry& entry);
    // The same with the order's CDCLIENTE, NMCLIEORCEVE and CDVENDEDOR
    // already read.
    void writeRecord(const std::string& id, const HistoryEntry& entry,
                     const std::vector<host::Variant>& orderColumns);
    // The same in a transaction of its own; returns the record's key.
    std::string writeRecordAlone(const HistoryEntry& entry);

    // Copies, every column, of the receivables and sales orders of the order,
    // linked to the record `id` (written before, in the same transaction).
    void copyReceivablesAndSalesOrders(const std::string& id, const OrderKey& key);
    // Copies of the order's row, its items and its observations.
    void copyOrder(const std::string& id, const OrderKey& key);

private:
    host::sql::Database& m_database;
};

}  // namespace ore::server
