#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "host/data/data_packet.h"
#include "host/sql/database.h"
#include "ore06100.pb.h"

namespace ore::server {

// At most this many history records go out in one answer; the newest come
// first, so a wide period still shows the latest ones.
inline constexpr std::size_t historyRowCap = 2000;
// The observation column of the list is cut to this many characters so that
// a full answer stays a few megabytes.
inline constexpr std::size_t historyObservationListWidth = 1000;

// Which history records to read; an empty optional leaves its criterion out.
struct HistoryQuery {
    std::optional<host::TDateTime> from;   // inclusive
    std::optional<host::TDateTime> until;  // exclusive
    std::optional<std::string> branch;
    std::optional<std::string> operatorCode;
    std::optional<std::string> justification;
    std::optional<std::string> outcome;
    // The branches whose records the caller may read; nothing: every branch.
    std::optional<std::vector<std::string>> allowedBranches;
};

struct HistoryRecords {
    host::DataPacket records;
    bool truncated = false;
};

// Read-only access to the history of approval cancellations, over either
// engine, with bound values only.
class HistoryReader {
public:
    explicit HistoryReader(host::sql::Database& database) : m_database(database) {}

    // Newest first (time, then key), at most `cap` records; VRREMOVIDO is the
    // total of the receivables the record removed (null when none).
    HistoryRecords records(const HistoryQuery& query, std::size_t cap = historyRowCap);
    // The branch of a record, or nothing when there is no such record.
    std::optional<std::string> branchOf(const std::string& recordId);
    host::DataPacket removedReceivables(const std::string& recordId);
    host::DataPacket removedSalesOrders(const std::string& recordId);

    static const std::vector<host::FieldDef>& recordFields();
    static const std::vector<host::FieldDef>& receivableFields();
    static const std::vector<host::FieldDef>& salesOrderFields();

private:
    host::DataPacket select(const std::string& statement, const host::sql::Params& params,
                            const std::vector<host::FieldDef>& fields);
    host::sql::Database& m_database;
};

// Raise ServiceError (InvalidArgument) with the operator's text.
void checkRequest(const ORE06100::GetHistCancAprovRequest& request);
void checkRequest(const ORE06100::GetHistCancAprovDocRequest& request);

// The query a checked filter asks for (the period's last day included).
HistoryQuery historyQueryOf(const ORE06100::HistCancAprovFilter& filter);

}  // namespace ore::server
