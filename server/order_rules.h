#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/data/data_packet.h"
#include "server/history_repository.h"
#include "server/order_repository.h"
#include "server/order_types.h"

namespace ore::server {

// Codes joined by commas, no blanks, no quotes ("0001,0002"): each element is
// one code, taken literally. Raises ServiceError (InvalidArgument) naming the
// list for an empty element, a code wider than `width` or too many codes.
std::vector<std::string> parseCodeList(std::string_view list, std::string_view listName, int width);

// One change of a change log: the order it names, its values as the client
// read them and, for an update, the new values (null for a deletion). The
// pointers are into the delta packet.
struct OrderChange {
    OrderKey key;
    const std::vector<host::Variant>* original = nullptr;
    const std::vector<host::Variant>* updated = nullptr;
};

// Reads a change log of the order list without the database: every stored
// column present, types and values fitting their columns, rows paired as a
// change log pairs them. Raises ServiceError with the operator's text.
std::vector<OrderChange> readDelta(const host::DataPacket& delta);

// The business rules of the order server. Each call is complete in itself
// (nothing is remembered between calls); each write runs in one transaction.
// Failures raise ServiceError with the text the operator sees.
class OrderRules {
public:
    explicit OrderRules(OrderRepository& repository)
        : m_repository(repository), m_history(repository.database()) {}

    host::DataPacket listOrders(const std::string& branch, const OrderFilter& filter);
    // The same list handed on while it is read (see OrderRepository::orders);
    // a refused filter raises before the first packet.
    bool listOrders(const std::string& branch, const OrderFilter& filter, std::size_t rowsPerPacket,
                    const std::function<bool(host::DataPacket&)>& sink);
    // [items, latest observation or no row]
    std::pair<host::DataPacket, host::DataPacket> itemsAndObservation(const OrderKey& key);
    host::DataPacket childOrders(const std::string& branch, const std::string& number);
    // Every decision on the order leaves one history record stamped `now`
    // (which also stamps the observation, when one is added): a cancellation
    // with its effects, in their transaction; a blocked or refused one alone,
    // after its effects have rolled back. A malformed request leaves none.
    CancellationOutcome cancelApproval(const OrderKey& key, const CancellationReason& reason,
                                       const Caller& caller, host::TDateTime now);
    // A cancellation the caller may not make: its history record, in a
    // transaction of its own; `refusal` is "KEY" or "KEY|detail".
    void recordAuthorizationRefusal(const OrderKey& key, const CancellationReason& reason,
                                    const Caller& caller, const std::string& refusal,
                                    host::TDateTime now);
    // Everything cancelApproval would refuse for, or remove, read in one
    // snapshot without writing or locking. Raises as cancelApproval does for
    // a malformed key, a missing order or one that is not approved.
    CancellationPreview previewCancellation(const OrderKey& key);
    // Applies a change log of the order list (optimistic concurrency); each
    // deleted order is copied into the history first, under a record of
    // `caller` stamped `now`. A reason changed is recorded as the caller's
    // (when the caller has an operator), whatever the change log names.
    void applyChanges(const host::DataPacket& delta, const Caller& caller, host::TDateTime now);

private:
    OrderListQuery listQuery(const std::string& branch, const OrderFilter& filter);
    CancellationOutcome cancelInTransaction(const OrderKey& key, const CancellationReason& reason,
                                            HistoryEntry& entry);
    // What blocks cancelling the order (its production or shipped orders),
    // nothing when nothing does; raises for what refuses it.
    std::optional<CancellationOutcome> blockingReason(const OrderKey& key);
    OrderRepository& m_repository;
    HistoryRepository m_history;
};

}  // namespace ore::server
