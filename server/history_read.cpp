#include "server/history_read.h"

#include <cmath>

#include "server/messages.h"
#include "server/request_checks.h"
#include "server/service_error.h"
#include "server/statement_binding.h"

namespace ore::server {

using host::DataPacket;
using host::FieldDef;
using host::FieldType;
using host::sql::Params;

namespace {

constexpr std::string_view outcomeCodes = "CPERAX";
constexpr std::size_t recordIdWidth = 32;

std::optional<std::string> givenCode(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

const std::vector<FieldDef>& HistoryReader::recordFields() {
    static const std::vector<FieldDef> fields = {
        {"IDHISTCANC", FieldType::String, 32},
        {"CDFILIAL", FieldType::String, 4},
        {"NRORCAEVENTO", FieldType::String, 10},
        {"NRSEQORCAEVE", FieldType::FixedString, 2},
        {"CDCLIENTE", FieldType::String, 21},
        {"NMCLIENTE", FieldType::String, 50},
        {"CDVENDEDOR", FieldType::String, 4},
        {"CDOPERADOR", FieldType::String, 12},
        {"NMOPERADOR", FieldType::String, 40},
        {"DTHRHISTCANC", FieldType::DateTime, 0},
        {"CDJUSTEXCHIS", FieldType::String, 4},
        {"DSJUSTEXCHIS", FieldType::String, 40},
        {"IDRESULTADO", FieldType::String, 1},
        {"DSRECUSA", FieldType::String, 200},
        {"TXOBSJUSTORC", FieldType::String, static_cast<int>(historyObservationListWidth)},
        {"VRREMOVIDO", FieldType::Float, 0},
    };
    return fields;
}

const std::vector<FieldDef>& HistoryReader::receivableFields() {
    static const std::vector<FieldDef> fields = {
        {"CDFILIAL", FieldType::String, 4},        {"NRDOCUMENTO", FieldType::String, 10},
        {"NRORCAEVENTO", FieldType::String, 10},   {"NRSEQORCAEVE", FieldType::FixedString, 2},
        {"VRDOCUMENTO", FieldType::Float, 0},      {"IDBAIXADA", FieldType::String, 1},
        {"IDBOLETOENVIADO", FieldType::String, 1},
    };
    return fields;
}

const std::vector<FieldDef>& HistoryReader::salesOrderFields() {
    static const std::vector<FieldDef> fields = {
        {"CDFILIAL", FieldType::String, 4},      {"NRPEDIDO", FieldType::String, 10},
        {"NRORCAEVENTO", FieldType::String, 10}, {"NRSEQORCAEVE", FieldType::FixedString, 2},
        {"IDSITUPEDIDO", FieldType::String, 1},
    };
    return fields;
}

DataPacket HistoryReader::select(const std::string& statement, const Params& params,
                                 const std::vector<FieldDef>& fields) {
    return selectAs(m_database, statement, params, fields);
}

HistoryRecords HistoryReader::records(const HistoryQuery& query, std::size_t cap) {
    std::string statement =
        "SELECT h.IDHISTCANC, h.CDFILIAL, h.NRORCAEVENTO, h.NRSEQORCAEVE, h.CDCLIENTE,"
        " COALESCE(c.NMFANTCLIE, h.NMCLIEORCEVE), h.CDVENDEDOR, h.CDOPERADOR, o.NMOPERADOR,"
        " h.DTHRHISTCANC, h.CDJUSTEXCHIS, j.DSJUSTEXCHIS, h.IDRESULTADO, h.DSRECUSA,"
        " CAST(SUBSTR(h.TXOBSJUSTORC, 1, " +
        std::to_string(historyObservationListWidth) + ") AS VARCHAR(" +
        std::to_string(historyObservationListWidth) +
        ")),"
        " (SELECT SUM(r.VRDOCUMENTO) FROM HISTCONTARECEBER r WHERE r.IDHISTCANC = h.IDHISTCANC)"
        " FROM HISTCANCAPROV h"
        " LEFT JOIN CLIENTE c ON c.CDCLIENTE = h.CDCLIENTE"
        " LEFT JOIN OPERADOR o ON o.CDOPERADOR = h.CDOPERADOR"
        " LEFT JOIN JUSTEXCHIS j ON j.CDJUSTEXCHIS = h.CDJUSTEXCHIS"
        " WHERE 1 = 1";
    Params params;
    if (query.from) {
        statement += " AND h.DTHRHISTCANC >= :DTINI";
        params.emplace_back("DTINI", *query.from);
    }
    if (query.until) {
        statement += " AND h.DTHRHISTCANC < :DTFIM";
        params.emplace_back("DTFIM", *query.until);
    }
    if (query.branch) {
        statement += " AND h.CDFILIAL = :CDFILIAL";
        params.emplace_back("CDFILIAL", *query.branch);
    }
    if (query.operatorCode) {
        statement += " AND h.CDOPERADOR = :CDOPERADOR";
        params.emplace_back("CDOPERADOR", *query.operatorCode);
    }
    if (query.justification) {
        statement += " AND h.CDJUSTEXCHIS = :CDJUSTEXCHIS";
        params.emplace_back("CDJUSTEXCHIS", *query.justification);
    }
    if (query.outcome) {
        statement += " AND h.IDRESULTADO = :IDRESULTADO";
        params.emplace_back("IDRESULTADO", *query.outcome);
    }
    if (query.allowedBranches) {
        if (query.allowedBranches->empty()) {
            return {select(statement + " AND 1 = 0", params, recordFields()), false};
        }
        statement +=
            " AND h.CDFILIAL IN (" + bindList("FILIAL", *query.allowedBranches, params) + ")";
    }
    // One row more than the cap tells whether the answer was cut.
    statement +=
        " ORDER BY h.DTHRHISTCANC DESC, h.IDHISTCANC DESC LIMIT " + std::to_string(cap + 1);
    HistoryRecords result{select(statement, params, recordFields()), false};
    if (result.records.rows.size() > cap) {
        result.records.rows.resize(cap);
        result.truncated = true;
    }
    return result;
}

std::optional<std::string> HistoryReader::branchOf(const std::string& recordId) {
    const DataPacket packet = m_database.query(
        "SELECT CDFILIAL FROM HISTCANCAPROV WHERE IDHISTCANC = :ID", {{"ID", recordId}});
    if (packet.rows.empty()) {
        return std::nullopt;
    }
    return packet.rows.front().front().AsString();
}

DataPacket HistoryReader::removedReceivables(const std::string& recordId) {
    return select(
        "SELECT CDFILIAL, NRDOCUMENTO, NRORCAEVENTO, NRSEQORCAEVE, VRDOCUMENTO, IDBAIXADA,"
        " IDBOLETOENVIADO FROM HISTCONTARECEBER WHERE IDHISTCANC = :ID"
        " ORDER BY CDFILIAL, NRDOCUMENTO",
        {{"ID", recordId}}, receivableFields());
}

DataPacket HistoryReader::removedSalesOrders(const std::string& recordId) {
    return select(
        "SELECT CDFILIAL, NRPEDIDO, NRORCAEVENTO, NRSEQORCAEVE, IDSITUPEDIDO"
        " FROM HISTPEDIDO WHERE IDHISTCANC = :ID ORDER BY CDFILIAL, NRPEDIDO",
        {{"ID", recordId}}, salesOrderFields());
}

void checkRequest(const ORE06100::GetHistCancAprovRequest& request) {
    const ORE06100::HistCancAprovFilter& filter = request.filter();
    const host::TDateTime from{filter.period_from()};
    const host::TDateTime to{filter.period_to()};
    if (from.days != 0) {
        checkDate(from, "Período inicial");
    }
    if (to.days != 0) {
        checkDate(to, "Período final");
    }
    if (from.days != 0 && to.days != 0 && std::floor(from.days) > std::floor(to.days)) {
        throw ServiceError(ErrorKind::InvalidArgument,
                           std::string(messages::historyPeriodReversed));
    }
    checkText(filter.branch(), "CDFILIAL", branchWidth);
    checkText(filter.operator_code(), "CDOPERADOR", operatorWidth);
    checkText(filter.justification(), "CDJUSTEXCHIS", justificationWidth);
    checkText(filter.outcome(), "IDRESULTADO", flagWidth);
    if (!filter.outcome().empty() && outcomeCodes.find(filter.outcome()) == std::string::npos) {
        throw ServiceError(ErrorKind::InvalidArgument,
                           std::string(messages::historyOutcomeInvalid));
    }
}

void checkRequest(const ORE06100::GetHistCancAprovDocRequest& request) {
    const std::string& id = request.record_id();
    if (id.size() != recordIdWidth ||
        id.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        throw ServiceError(ErrorKind::InvalidArgument,
                           std::string(messages::historyRecordIdInvalid));
    }
}

HistoryQuery historyQueryOf(const ORE06100::HistCancAprovFilter& filter) {
    HistoryQuery query;
    if (filter.period_from() != 0) {
        query.from = host::TDateTime{std::floor(filter.period_from())};
    }
    if (filter.period_to() != 0) {
        query.until = host::TDateTime{std::floor(filter.period_to()) + 1};
    }
    query.branch = givenCode(filter.branch());
    query.operatorCode = givenCode(filter.operator_code());
    query.justification = givenCode(filter.justification());
    query.outcome = givenCode(filter.outcome());
    return query;
}

}  // namespace ore::server
