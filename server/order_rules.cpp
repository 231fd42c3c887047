#include "server/order_rules.h"

#include <utf8.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "host/data/exceptions.h"
#include "host/sql/database.h"
#include "server/messages.h"
#include "server/request_checks.h"
#include "server/service_error.h"

namespace ore::server {

using host::DataPacket;
using host::FieldType;
using host::Variant;

namespace {

// More codes than this would crowd the engines' parameter limits; a pick list
// never produces that many.
constexpr int maxCodesInList = 5000;

void checkKey(const OrderKey& key) {
    checkText(key.branch, "CDFILIAL", branchWidth);
    checkText(key.number, "NRORCAEVENTO", orderNumberWidth);
    checkText(key.sequence, "NRSEQORCAEVE", sequenceWidth);
}

bool isBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
}

std::string trimRight(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// Whether a value read back from the database still equals the one the
// client started from. CHAR columns come back padded, empty text and null are
// the same to a data set, and timestamps are stored to the second.
bool sameValue(const Variant& a, const Variant& b, FieldType type) {
    try {
        switch (type) {
            case FieldType::String:
            case FieldType::FixedString:
                return trimRight(a.AsString()) == trimRight(b.AsString());
            case FieldType::Blob:
                return a.AsString() == b.AsString();
            default:
                break;
        }
        if (a.IsNull() || b.IsNull()) {
            return a.IsNull() == b.IsNull();
        }
        if (type == FieldType::Integer) {
            return a.AsInteger() == b.AsInteger();
        }
        if (type == FieldType::DateTime) {
            return std::fabs(a.AsDateTime().days - b.AsDateTime().days) < 0.5 / 86400.0;
        }
        const double x = a.AsFloat();
        const double y = b.AsFloat();
        return std::fabs(x - y) <= 1e-9 * std::max({1.0, std::fabs(x), std::fabs(y)});
    } catch (const host::EVariantError&) {
        return false;
    }
}

int requireField(const DataPacket& delta, std::string_view name) {
    const int index = delta.FieldIndex(name);
    if (index < 0) {
        throw ServiceError(ErrorKind::InvalidArgument, messages::deltaMissingField(name));
    }
    return index;
}

// Only the reason columns may change; the status changes only by cancelling
// the approval, with its checks.
void checkUpdatableFields(const DataPacket& delta, const OrderChange& change) {
    for (std::size_t field = 0; field < delta.fields.size(); ++field) {
        const host::FieldDef& def = delta.fields[field];
        if (sameValue((*change.original)[field], (*change.updated)[field], def.type)) {
            continue;
        }
        if (def.name == "IDSITUORCEVE") {
            throw ServiceError(ErrorKind::Refusal, std::string(messages::statusChangeRefused));
        }
        // The description only follows the justification code; it is not stored.
        if (def.name == "CDJUSTEXCHIS" || def.name == "CDOPEJUSTORC" ||
            def.name == "DSJUSTEXCHIS") {
            continue;
        }
        throw ServiceError(ErrorKind::Refusal, messages::fieldNotUpdatable(def.name));
    }
}

bool isTextType(FieldType type) {
    return type == FieldType::String || type == FieldType::FixedString;
}

// The delta's own field types must be those of the columns they name, and
// every value must fit its column: a change log is checked whole before any
// row of it is applied.
void checkDeltaValues(const DataPacket& delta) {
    const auto& known = OrderRepository::orderListFields();
    for (std::size_t field = 0; field < delta.fields.size(); ++field) {
        const host::FieldDef& def = delta.fields[field];
        const auto column = std::find_if(known.begin(), known.end(),
                                         [&](const auto& item) { return item.name == def.name; });
        if (column == known.end()) {
            // Fields the order list does not have are ignored unless changed;
            // their texts are still held to the encoding.
            if (isTextType(def.type)) {
                for (const auto& row : delta.rows) {
                    checkText(row[field].AsString(), def.name, row[field].AsString().size());
                }
            }
            continue;
        }
        const bool fits = isTextType(column->type) ? isTextType(def.type)
                          : column->type == FieldType::Float
                              ? def.type == FieldType::Float || def.type == FieldType::Integer
                              : def.type == column->type;
        if (!fits) {
            throw ServiceError(ErrorKind::InvalidArgument, messages::deltaFieldWrongType(def.name));
        }
        for (const auto& row : delta.rows) {
            const Variant& value = row[field];
            if (value.IsNull()) {
                continue;
            }
            if (isTextType(column->type)) {
                checkText(value.AsString(), def.name, static_cast<std::size_t>(column->size));
            } else if (column->type == FieldType::DateTime) {
                checkDate(value.AsDateTime(), def.name);
            } else if (def.type == FieldType::Float && !std::isfinite(value.AsFloat())) {
                throw ServiceError(ErrorKind::InvalidArgument, messages::invalidNumber(def.name));
            }
        }
    }
}

std::vector<OrderChange> readChanges(const DataPacket& delta) {
    // The optimistic check compares every stored column: a row that left one
    // out would pass it whatever the order holds now.
    for (const host::FieldDef& column : OrderRepository::storedOrderColumns()) {
        requireField(delta, column.name);
    }
    checkDeltaValues(delta);
    const int branch = requireField(delta, "CDFILIAL");
    const int number = requireField(delta, "NRORCAEVENTO");
    const int sequence = requireField(delta, "NRSEQORCAEVE");
    auto keyOf = [&](const std::vector<Variant>& row) {
        OrderKey key{trimRight(row[static_cast<std::size_t>(branch)].AsString()),
                     trimRight(row[static_cast<std::size_t>(number)].AsString()),
                     row[static_cast<std::size_t>(sequence)].AsString()};
        checkKey(key);
        return key;
    };

    std::vector<OrderChange> changes;
    for (std::size_t row = 0; row < delta.rows.size(); ++row) {
        if (delta.rows[row].size() != delta.fields.size()) {
            throw ServiceError(ErrorKind::InvalidArgument,
                               messages::deltaMalformed("registro com número errado de valores."));
        }
        switch (delta.rowStatus[row]) {
            case host::RowStatus::Inserted:
                throw ServiceError(ErrorKind::Refusal, std::string(messages::insertRefused));
            case host::RowStatus::Deleted:
                changes.push_back({keyOf(delta.rows[row]), &delta.rows[row], nullptr});
                break;
            case host::RowStatus::Unmodified:
                if (row + 1 >= delta.rows.size() ||
                    delta.rowStatus[row + 1] != host::RowStatus::Modified ||
                    delta.rows[row + 1].size() != delta.fields.size()) {
                    throw ServiceError(
                        ErrorKind::InvalidArgument,
                        messages::deltaMalformed("registro original sem os novos valores."));
                }
                changes.push_back({keyOf(delta.rows[row]), &delta.rows[row], &delta.rows[row + 1]});
                checkUpdatableFields(delta, changes.back());
                ++row;
                break;
            case host::RowStatus::Modified:
                throw ServiceError(
                    ErrorKind::InvalidArgument,
                    messages::deltaMalformed("novos valores sem o registro original."));
        }
    }
    return changes;
}

}  // namespace

std::vector<OrderChange> readDelta(const DataPacket& delta) {
    if (delta.rows.empty()) {
        return {};
    }
    if (!delta.IsDelta() || delta.rowStatus.size() != delta.rows.size()) {
        throw ServiceError(ErrorKind::InvalidArgument,
                           messages::deltaMalformed("o pacote não traz a situação dos registros."));
    }
    return readChanges(delta);
}

std::vector<std::string> parseCodeList(std::string_view list, std::string_view listName,
                                       int width) {
    checkText(list, "Lista de " + std::string(listName), list.size());
    std::vector<std::string> codes;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        const std::string_view code = list.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (code.empty()) {
            throw ServiceError(ErrorKind::InvalidArgument, messages::emptyCode(listName));
        }
        if (code.size() > static_cast<std::size_t>(width) &&
            utf8::distance(code.begin(), code.end()) > width) {
            throw ServiceError(ErrorKind::InvalidArgument,
                               messages::codeTooLong(listName, quotePrefix(code), width));
        }
        if (codes.size() == static_cast<std::size_t>(maxCodesInList)) {
            throw ServiceError(ErrorKind::InvalidArgument,
                               messages::tooManyCodes(listName, maxCodesInList));
        }
        codes.emplace_back(code);
        if (comma == std::string_view::npos) {
            return codes;
        }
        start = comma + 1;
    }
}

DataPacket OrderRules::listOrders(const std::string& branch, const OrderFilter& filter) {
    return m_repository.orders(listQuery(branch, filter));
}

bool OrderRules::listOrders(const std::string& branch, const OrderFilter& filter,
                            std::size_t rowsPerPacket,
                            const std::function<bool(DataPacket&)>& sink) {
    return m_repository.orders(listQuery(branch, filter), rowsPerPacket, sink);
}

OrderListQuery OrderRules::listQuery(const std::string& branch, const OrderFilter& filter) {
    checkText(branch, "CDFILIAL", branchWidth);
    OrderListQuery query;
    query.branch = branch;
    if (filter.allOrders != "T") {
        query.numberRange = std::make_pair(filter.orderFrom, filter.orderTo);
    }
    if (filter.allDeliveries != "T") {
        checkDate(filter.deliveryFrom, "DtEntrega.DtIni");
        checkDate(filter.deliveryTo, "DtEntrega.DtFin");
        // Whole days: from the start of the first to the end of the last. The
        // day after 9999-12-31 has no stored form; its last second stands in.
        host::TDateTime until{std::floor(filter.deliveryTo.days) + 1.0};
        if (!isValidDate(until)) {
            until.days -= 1.0 / 86400.0;
        }
        query.deliveryRange =
            std::make_pair(host::TDateTime{std::floor(filter.deliveryFrom.days)}, until);
    }
    if (filter.allSalesmen != "T") {
        query.salesmen = parseCodeList(filter.salesmanList, "vendedores", 4);
    }
    if (filter.allCustomers != "T") {
        query.customers = parseCodeList(filter.customerList, "clientes", 21);
    }
    return query;
}

std::pair<DataPacket, DataPacket> OrderRules::itemsAndObservation(const OrderKey& key) {
    checkKey(key);
    return m_repository.itemsAndObservation(key);
}

DataPacket OrderRules::childOrders(const std::string& branch, const std::string& number) {
    checkText(branch, "CDFILIAL", branchWidth);
    checkText(number, "NRORCAEVENTO", orderNumberWidth);
    return m_repository.childOrders(branch, number);
}

namespace {

void checkReason(const CancellationReason& reason, const Caller& caller) {
    if (reason.justification) {
        checkText(*reason.justification, "CDJUSTEXCHIS", justificationWidth);
    }
    if (reason.observation) {
        checkText(*reason.observation, "TXOBSJUSTORC", observationWidth);
    }
    checkText(caller.operatorCode, "CDOPERADOR", operatorWidth);
}

}  // namespace

CancellationOutcome OrderRules::cancelApproval(const OrderKey& key,
                                               const CancellationReason& reason,
                                               const Caller& caller, host::TDateTime now) {
    checkKey(key);
    checkReason(reason, caller);
    HistoryEntry entry{.key = key,
                       .caller = caller,
                       .when = now,
                       .justification = reason.justification,
                       .observation = reason.observation};
    CancellationOutcome outcome;
    try {
        outcome = cancelInTransaction(key, reason, entry);
    } catch (const ServiceError& refusal) {
        if (refusal.historyKey().empty()) {
            throw;
        }
        // The refused transaction has rolled back by now: the record is all
        // that the refusal leaves.
        entry.outcome = HistoryOutcome::refused;
        entry.refusal = refusal.historyKey();
        m_history.writeRecordAlone(entry);
        throw;
    }
    if (outcome.productionOrders || outcome.shippedOrders) {
        entry.outcome = outcome.productionOrders ? HistoryOutcome::blockedByProduction
                                                 : HistoryOutcome::blockedByShipped;
        m_history.writeRecordAlone(entry);
    }
    return outcome;
}

CancellationOutcome OrderRules::cancelInTransaction(const OrderKey& key,
                                                    const CancellationReason& reason,
                                                    HistoryEntry& entry) {
    const std::string& operatorCode = entry.caller.operatorCode;
    CancellationOutcome outcome;
    // Every refusal and block below leaves the transaction to roll back, so
    // nothing of them stays. Marking the order first takes its row lock: of
    // two operators cancelling at once, the second finds it no longer
    // approved.
    host::sql::Transaction transaction(m_repository.database());
    if (!m_repository.markPending(key, reason.justification, operatorCode)) {
        if (reason.justification && !m_repository.justificationExists(*reason.justification)) {
            throw ServiceError(
                ErrorKind::InvalidArgument, std::string(messages::justificationNotRegistered),
                messages::refusal(messages::justificationNotRegisteredKey, *reason.justification));
        }
        if (const auto status = m_repository.status(key)) {
            throw ServiceError(ErrorKind::Refusal, std::string(messages::orderNotApproved),
                               messages::refusal(messages::orderNotApprovedKey, *status));
        }
        throw ServiceError(ErrorKind::NotFound, std::string(messages::orderNotFound),
                           std::string(messages::orderNotFoundKey));
    }
    // One statement tells whether anything blocks the cancellation and reads
    // what the writes below need; only a blocked order is looked at again,
    // check by check, for what blocks it.
    auto facts = m_repository.cancellationFacts(key);
    if (!facts) {
        throw ServiceError(ErrorKind::NotFound, std::string(messages::orderNotFound),
                           std::string(messages::orderNotFoundKey));
    }
    if (facts->blocked) {
        if (auto stop = blockingReason(key)) {
            return std::move(*stop);
        }
    }
    // The record and the copies go in with the deletion, so they commit or
    // roll back together: no cancelled record without its effects, and no
    // deleted row without its copy.
    const std::string id = HistoryRepository::newRecordId();
    entry.outcome = HistoryOutcome::cancelled;
    m_history.writeRecord(id, entry, facts->recordColumns);
    if (facts->blocked || facts->receivables > 0 || facts->salesOrders > 0) {
        m_history.copyReceivablesAndSalesOrders(id, key);
        m_repository.deleteReceivablesAndSalesOrders(key);
    }
    if (reason.observation && !isBlank(*reason.observation)) {
        m_repository.addObservation(
            key, *reason.observation,
            operatorCode.empty() ? std::nullopt : std::optional<std::string>(operatorCode),
            reason.justification, entry.when, facts->nextObservation, facts->latestObservationTime);
    }
    transaction.commit();
    return outcome;
}

std::optional<CancellationOutcome> OrderRules::blockingReason(const OrderKey& key) {
    // The screen refuses this before it asks; a client that did not is refused here.
    if (key.sequence == "00" && m_repository.hasChildOrders(key.branch, key.number)) {
        throw ServiceError(ErrorKind::Refusal, std::string(messages::parentWithChildOrders),
                           std::string(messages::parentWithChildOrdersKey));
    }
    CancellationOutcome outcome;
    DataPacket production = m_repository.productionOrders(key);
    if (!production.rows.empty()) {
        outcome.productionOrders = std::move(production);
        return outcome;
    }
    DataPacket shipped = m_repository.shippedSalesOrders(key);
    if (!shipped.rows.empty()) {
        outcome.shippedOrders = std::move(shipped);
        return outcome;
    }
    if (const auto document = m_repository.firstPaidReceivable(key)) {
        const std::string text = messages::refusal(messages::paidReceivableKey, *document);
        throw ServiceError(ErrorKind::Refusal, text, text);
    }
    if (const auto document = m_repository.firstReceivableWithSlipSent(key)) {
        const std::string text = messages::refusal(messages::bankSlipSentKey, *document);
        throw ServiceError(ErrorKind::Refusal, text, text);
    }
    return std::nullopt;
}

void OrderRules::recordAuthorizationRefusal(const OrderKey& key, const CancellationReason& reason,
                                            const Caller& caller, const std::string& refusal,
                                            host::TDateTime now) {
    checkKey(key);
    checkReason(reason, caller);
    HistoryEntry entry{.key = key,
                       .caller = caller,
                       .when = now,
                       .justification = reason.justification,
                       .observation = reason.observation};
    entry.outcome = HistoryOutcome::refusedByAuthorization;
    entry.refusal = refusal;
    m_history.writeRecordAlone(entry);
}

void OrderRules::applyChanges(const DataPacket& delta, const Caller& caller, host::TDateTime now) {
    const std::vector<OrderChange> changes = readDelta(delta);
    if (changes.empty()) {
        return;
    }
    const int justification = delta.FieldIndex("CDJUSTEXCHIS");
    const int operatorCode = delta.FieldIndex("CDOPEJUSTORC");
    const auto& stored = OrderRepository::storedOrderColumns();

    host::sql::Transaction transaction(m_repository.database());
    for (const OrderChange& change : changes) {
        const auto current = m_repository.lockOrder(change.key);
        if (!current) {
            throw ServiceError(ErrorKind::Conflict, std::string(messages::changedByAnotherUser));
        }
        for (std::size_t column = 0; column < stored.size(); ++column) {
            const int field = delta.FieldIndex(stored[column].name);
            if (field >= 0 && !sameValue((*change.original)[static_cast<std::size_t>(field)],
                                         (*current)[column], stored[column].type)) {
                throw ServiceError(ErrorKind::Conflict,
                                   std::string(messages::changedByAnotherUser));
            }
        }
        if (change.updated != nullptr) {
            auto newValue = [&](int field, std::string_view name) {
                if (field >= 0) {
                    return (*change.updated)[static_cast<std::size_t>(field)];
                }
                const auto at = std::find_if(stored.begin(), stored.end(),
                                             [&](const auto& def) { return def.name == name; });
                return (*current)[static_cast<std::size_t>(at - stored.begin())];
            };
            const Variant code = newValue(justification, "CDJUSTEXCHIS");
            if (!code.IsNull() && !trimRight(code.AsString()).empty() &&
                !m_repository.justificationExists(trimRight(code.AsString()))) {
                throw ServiceError(ErrorKind::InvalidArgument,
                                   std::string(messages::justificationNotRegistered));
            }
            // A signed-on caller is who changed the reason, whatever operator
            // the change log names.
            m_repository.updateReason(change.key, code,
                                      caller.operatorCode.empty()
                                          ? newValue(operatorCode, "CDOPEJUSTORC")
                                          : Variant(caller.operatorCode));
            continue;
        }
        const auto statusAt = std::find_if(stored.begin(), stored.end(), [](const auto& def) {
            return def.name == "IDSITUORCEVE";
        });
        const std::string status =
            (*current)[static_cast<std::size_t>(statusAt - stored.begin())].AsString();
        // The screen lists only approved and closed orders; nothing else is its to delete.
        if (status != "2" && status != "3") {
            throw ServiceError(ErrorKind::Refusal, std::string(messages::deleteRefusedNotApproved));
        }
        if (change.key.sequence == "00" &&
            m_repository.hasChildOrders(change.key.branch, change.key.number)) {
            throw ServiceError(ErrorKind::Refusal, std::string(messages::deleteRefusedChildOrders));
        }
        if (m_repository.countProductionOrders(change.key) > 0) {
            throw ServiceError(ErrorKind::Refusal,
                               std::string(messages::deleteRefusedProductionOrders));
        }
        if (m_repository.countSalesOrders(change.key) > 0) {
            throw ServiceError(ErrorKind::Refusal, std::string(messages::deleteRefusedSalesOrders));
        }
        if (m_repository.countReceivables(change.key) > 0) {
            throw ServiceError(ErrorKind::Refusal, std::string(messages::deleteRefusedReceivables));
        }
        // The copies go in with the deletion: both commit or neither does.
        const HistoryEntry entry{
            .key = change.key, .caller = caller, .when = now, .outcome = HistoryOutcome::deleted};
        const std::string id = HistoryRepository::newRecordId();
        m_history.writeRecord(id, entry);
        m_history.copyOrder(id, change.key);
        m_repository.deleteOrder(change.key);
    }
    transaction.commit();
}

CancellationPreview OrderRules::previewCancellation(const OrderKey& key) {
    checkKey(key);
    CancellationPreview preview;
    // Nothing here writes: the read-only transaction is only for one snapshot
    // of all the lists, and it is rolled back on every way out.
    struct ReadOnly {
        OrderRepository& repository;
        ~ReadOnly() {
            try {
                repository.database().rollback();
            } catch (...) {
            }
        }
    } readOnly{m_repository};
    m_repository.beginReadOnly();
    const std::optional<std::string> status = m_repository.status(key);
    if (!status) {
        throw ServiceError(ErrorKind::NotFound, std::string(messages::orderNotFound));
    }
    if (*status != "2" && *status != "3") {
        throw ServiceError(ErrorKind::Refusal, std::string(messages::orderNotApproved));
    }
    preview.childOrders = key.sequence == "00"
                              ? m_repository.childOrders(key.branch, key.number)
                              : DataPacket{OrderRepository::childOrderFields(), {}, {}};
    preview.productionOrders = m_repository.productionOrders(key);
    preview.shippedOrders = m_repository.shippedSalesOrders(key);
    preview.paidReceivables = m_repository.paidReceivables(key);
    preview.bankSlipsSent = m_repository.receivablesWithSlipSent(key);
    if (preview.blocked()) {
        preview.deletedReceivables.fields = OrderRepository::receivableFields();
        preview.deletedSalesOrders.fields = OrderRepository::shippedOrderFields();
    } else {
        preview.deletedReceivables = m_repository.receivables(key);
        preview.deletedSalesOrders = m_repository.salesOrders(key);
        preview.newStatus = "1";
    }
    return preview;
}

}  // namespace ore::server
