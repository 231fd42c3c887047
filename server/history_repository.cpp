#include "server/history_repository.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace ore::server {

using host::DataPacket;
using host::Variant;
using host::sql::Params;

namespace {

const char* const orderKeyCondition =
    "CDFILIAL = :CDFILIAL AND NRORCAEVENTO = :NRORCAEVENTO AND NRSEQORCAEVE = :NRSEQORCAEVE";

// Widths of the record's free-text columns, in characters.
constexpr std::size_t clientAddressWidth = 100;
constexpr std::size_t refusalWidth = 200;

Params keyParams(const OrderKey& key) {
    return {{"CDFILIAL", key.branch}, {"NRORCAEVENTO", key.number}, {"NRSEQORCAEVE", key.sequence}};
}

Variant optionalText(const std::optional<std::string>& text) {
    return text ? Variant(*text) : Variant();
}

// At most `characters` UTF-8 characters of `text`, never cut inside one.
std::string cut(const std::string& text, std::size_t characters) {
    std::size_t seen = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && seen++ == characters) {
            return text.substr(0, at);
        }
    }
    return text;
}

// The copy of every row of `table` that belongs to the order, each under the
// record `id`, in one statement: the rows go over as the engine holds them.
void copyRows(host::sql::Database& database, const std::string& id, const OrderKey& key,
              const char* table, const char* columns) {
    Params params = keyParams(key);
    params.emplace_back("IDHISTCANC", id);
    database.execute(std::string("INSERT INTO HIST") + table + " (IDHISTCANC, " + columns +
                         ") SELECT CAST(:IDHISTCANC AS VARCHAR(32)), " + columns + " FROM " +
                         table + " WHERE " + orderKeyCondition,
                     params);
}

}  // namespace

std::string HistoryRepository::newRecordId() {
    unsigned char bytes[16];
    std::size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error(std::string("no random bytes for a history key: ") +
                                     std::strerror(errno));
        }
        filled += static_cast<std::size_t>(got);
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string id;
    id.reserve(2 * sizeof bytes);
    for (const unsigned char byte : bytes) {
        id += digits[byte >> 4];
        id += digits[byte & 0x0F];
    }
    return id;
}

void HistoryRepository::writeRecord(const std::string& id, const HistoryEntry& entry) {
    const DataPacket order = m_database.query(
        std::string("SELECT CDCLIENTE, NMCLIEORCEVE, CDVENDEDOR FROM ORCAEVENTO WHERE ") +
            orderKeyCondition,
        keyParams(entry.key));
    writeRecord(id, entry, order.rows.empty() ? std::vector<Variant>(3) : order.rows.front());
}

void HistoryRepository::writeRecord(const std::string& id, const HistoryEntry& entry,
                                    const std::vector<Variant>& orderColumns) {
    Params params = keyParams(entry.key);
    params.emplace_back("IDHISTCANC", id);
    static const char* const copied[] = {"CDCLIENTE", "NMCLIEORCEVE", "CDVENDEDOR"};
    for (std::size_t column = 0; column < 3; ++column) {
        params.emplace_back(copied[column], orderColumns.at(column));
    }
    params.emplace_back("CDOPERADOR", entry.caller.operatorCode);
    params.emplace_back("DTHRHISTCANC", entry.when);
    params.emplace_back("DSENDCLIENTE",
                        entry.caller.clientAddress.empty()
                            ? Variant()
                            : Variant(cut(entry.caller.clientAddress, clientAddressWidth)));
    params.emplace_back("CDJUSTEXCHIS", optionalText(entry.justification));
    params.emplace_back("TXOBSJUSTORC", optionalText(entry.observation));
    params.emplace_back("IDRESULTADO", std::string(1, static_cast<char>(entry.outcome)));
    params.emplace_back(
        "DSRECUSA", entry.refusal.empty() ? Variant() : Variant(cut(entry.refusal, refusalWidth)));
    m_database.execute(
        "INSERT INTO HISTCANCAPROV (IDHISTCANC, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, CDCLIENTE,"
        " NMCLIEORCEVE, CDVENDEDOR, CDOPERADOR, DTHRHISTCANC, DSENDCLIENTE, CDJUSTEXCHIS,"
        " TXOBSJUSTORC, IDRESULTADO, DSRECUSA) VALUES (:IDHISTCANC, :CDFILIAL, :NRORCAEVENTO,"
        " :NRSEQORCAEVE, :CDCLIENTE, :NMCLIEORCEVE, :CDVENDEDOR, :CDOPERADOR, :DTHRHISTCANC,"
        " :DSENDCLIENTE, :CDJUSTEXCHIS, :TXOBSJUSTORC, :IDRESULTADO, :DSRECUSA)",
        params);
}

std::string HistoryRepository::writeRecordAlone(const HistoryEntry& entry) {
    std::string id = newRecordId();
    host::sql::Transaction transaction(m_database);
    writeRecord(id, entry);
    transaction.commit();
    return id;
}

void HistoryRepository::copyReceivablesAndSalesOrders(const std::string& id, const OrderKey& key) {
    copyRows(m_database, id, key, "CONTARECEBER",
             "CDFILIAL, NRDOCUMENTO, NRORCAEVENTO, NRSEQORCAEVE, VRDOCUMENTO, IDBAIXADA,"
             " IDBOLETOENVIADO");
    copyRows(m_database, id, key, "PEDIDO",
             "CDFILIAL, NRPEDIDO, NRORCAEVENTO, NRSEQORCAEVE, IDSITUPEDIDO");
}

void HistoryRepository::copyOrder(const std::string& id, const OrderKey& key) {
    copyRows(m_database, id, key, "ORCAEVENTO",
             "CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE, DTEVENTO, QTCONVORCEVE,"
             " CDPRECOBASE, DTVALIORCEVE, CDVENDEDOR, CDCLIENTE, DSTITUORCEVE, NMCLIEORCEVE,"
             " CDJUSTEXCHIS, CDOPEJUSTORC, DTHRENTROREV");
    copyRows(m_database, id, key, "ITORCAEVEN",
             "CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRITEMORCEVE, CDPRODUTO, QTITEMORCEVE,"
             " VRITEMORCEVE, VRDESCITOREV, IDITOREVPROD, NROPCAITOREV, CDGRTOTAPROD");
    copyRows(m_database, id, key, "OBSJUSTORC",
             "CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRSEQHISTORCA, DTHRHISTORCA, TXOBSJUSTORC,"
             " CDOPERADOR, CDJUSTEXCHIS");
}

}  // namespace ore::server
