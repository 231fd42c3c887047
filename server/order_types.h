#pragma once

#include <map>
#include <optional>
#include <string>

#include "host/data/data_packet.h"
#include "host/data/variant.h"

namespace ore::server {

// An order: branch, number and sequence ("00" for a parent order).
struct OrderKey {
    std::string branch;
    std::string number;
    std::string sequence;
};

// The criteria of the order list as the screen sends them: an all-flag "T"
// switches its criterion off.
struct OrderFilter {
    std::string orderFrom;
    std::string orderTo;
    std::string allOrders;
    host::TDateTime deliveryFrom;
    host::TDateTime deliveryTo;
    std::string allDeliveries;
    std::string salesmanList;
    std::string allSalesmen;
    std::string customerList;
    std::string allCustomers;
};

// Who makes a call: the operator recorded on what it writes (empty: none
// known), the client's address as the transport names it, and the branches
// the operator may work on with whether approvals may be cancelled there
// (filled from the caller's session, server/sessions.h).
struct Caller {
    std::string operatorCode;
    std::string clientAddress;
    std::map<std::string, bool> branches;  // branch -> may cancel approvals there

    bool mayWorkOn(const std::string& branch) const;
    bool mayCancelOn(const std::string& branch) const;
};

// Why an approval is cancelled; a request from an older screen carries none.
struct CancellationReason {
    std::optional<std::string> justification;
    std::optional<std::string> observation;
};

// Both empty: the approval was cancelled.
struct CancellationOutcome {
    std::optional<host::DataPacket> productionOrders;
    std::optional<host::DataPacket> shippedOrders;
};

// What cancelling an approval would meet, read without changing anything.
// Any row in a blocker list means the cancellation is refused; the effects are
// left empty then, since a refused cancellation changes nothing.
struct CancellationPreview {
    host::DataPacket childOrders;
    host::DataPacket productionOrders;
    host::DataPacket shippedOrders;
    host::DataPacket paidReceivables;
    host::DataPacket bankSlipsSent;
    host::DataPacket deletedReceivables;
    host::DataPacket deletedSalesOrders;
    std::string newStatus;  // "1", or empty while blocked

    bool blocked() const {
        return !childOrders.rows.empty() || !productionOrders.rows.empty() ||
               !shippedOrders.rows.empty() || !paidReceivables.rows.empty() ||
               !bankSlipsSent.rows.empty();
    }
};

}  // namespace ore::server
