#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/data/data_packet.h"
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
    explicit OrderRules(OrderRepository& repository) : m_repository(repository) {}

    host::DataPacket listOrders(const std::string& branch, const OrderFilter& filter);
    // The same list handed on while it is read (see OrderRepository::orders);
    // a refused filter raises before the first packet.
    bool listOrders(const std::string& branch, const OrderFilter& filter, std::size_t rowsPerPacket,
                    const std::function<bool(host::DataPacket&)>& sink);
    // [items, latest observation or no row]
    std::pair<host::DataPacket, host::DataPacket> itemsAndObservation(const OrderKey& key);
    host::DataPacket childOrders(const std::string& branch, const std::string& number);
    // `now` stamps the observation record, when one is added.
    CancellationOutcome cancelApproval(const OrderKey& key, const CancellationReason& reason,
                                       host::TDateTime now);
    // Applies a change log of the order list (optimistic concurrency). A
    // reason changed is recorded as given by `signedOnOperator` when there is
    // one, whatever operator the change log names.
    void applyChanges(const host::DataPacket& delta,
                      const std::optional<std::string>& signedOnOperator = std::nullopt);

private:
    OrderListQuery listQuery(const std::string& branch, const OrderFilter& filter);
    OrderRepository& m_repository;
};

}  // namespace ore::server
