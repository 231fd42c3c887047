#include "server/request_checks.h"

#include <utf8.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "server/messages.h"
#include "server/service_error.h"

namespace ore::server {

namespace {

constexpr auto dateEpoch = std::chrono::sys_days{std::chrono::year{1899} / 12 / 30};
// 0001-01-01 00:00 and 10000-01-01 00:00 as days since the epoch.
const double firstDay =
    static_cast<double>((std::chrono::sys_days{std::chrono::year{1} / 1 / 1} - dateEpoch).count());
const double endDay = static_cast<double>(
    (std::chrono::sys_days{std::chrono::year{9999} / 12 / 31} - dateEpoch).count() + 1);

// Length of the UTF-8 sequence starting at `at`, or 0 when the bytes there
// are not a valid one.
std::size_t sequenceLength(std::string_view text, std::size_t at) {
    const auto begin = text.begin() + static_cast<std::ptrdiff_t>(at);
    auto next = begin;
    try {
        utf8::next(next, text.end());
    } catch (const utf8::exception&) {
        return 0;
    }
    return static_cast<std::size_t>(next - begin);
}

void checkKey(const ORE06100::OrderKey& key) {
    checkText(key.branch(), "CDFILIAL", branchWidth);
    checkText(key.order_number(), "NRORCAEVENTO", orderNumberWidth);
    checkText(key.sequence(), "NRSEQORCAEVE", sequenceWidth);
}

}  // namespace

void checkText(std::string_view value, std::string_view field, std::size_t width) {
    if (!utf8::is_valid(value.begin(), value.end())) {
        throw ServiceError(ErrorKind::InvalidArgument, messages::textNotUtf8(field));
    }
    if (value.find('\0') != std::string_view::npos) {
        throw ServiceError(ErrorKind::InvalidArgument, messages::textWithNul(field));
    }
    // Fewer bytes than the width are fewer characters too; only longer texts are counted.
    if (value.size() > width &&
        static_cast<std::size_t>(utf8::distance(value.begin(), value.end())) > width) {
        throw ServiceError(ErrorKind::InvalidArgument,
                           messages::keyFieldTooLong(field, static_cast<int>(width)));
    }
}

bool isValidDate(host::TDateTime when) {
    return std::isfinite(when.days) && when.days >= firstDay && when.days < endDay;
}

void checkDate(host::TDateTime when, std::string_view field) {
    if (!isValidDate(when)) {
        throw ServiceError(ErrorKind::InvalidArgument, messages::invalidDate(field));
    }
}

std::string quotePrefix(std::string_view value, std::size_t characters) {
    std::string quoted;
    std::size_t at = 0;
    for (std::size_t taken = 0; at < value.size() && taken < characters; ++taken) {
        const std::size_t length = sequenceLength(value, at);
        const auto byte = static_cast<unsigned char>(value[at]);
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            quoted += '?';
            at += length == 0 ? 1 : length;
        } else {
            quoted.append(value.substr(at, length));
            at += length;
        }
    }
    if (at < value.size()) {
        quoted += "...";
    }
    return quoted;
}

std::string escapeForLog(std::string_view value, std::size_t maxBytes) {
    std::string escaped;
    std::size_t at = 0;
    while (at < value.size() && escaped.size() < maxBytes) {
        const auto byte = static_cast<unsigned char>(value[at]);
        if (byte >= 0x80) {
            const std::size_t length = sequenceLength(value, at);
            if (length > 0) {
                escaped.append(value.substr(at, length));
                at += length;
                continue;
            }
        } else if (byte >= 0x20 && byte != 0x7F && byte != '\\') {
            escaped += static_cast<char>(byte);
            ++at;
            continue;
        }
        switch (byte) {
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\\':
                escaped += "\\\\";
                break;
            default: {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                escaped += hex;
            }
        }
        ++at;
    }
    if (at < value.size()) {
        escaped += "... (" + std::to_string(value.size() - at) + " bytes more)";
    }
    return escaped;
}

void checkRequest(const ORE06100::GetEncomendaRequest& request) {
    checkText(request.branch(), "CDFILIAL", branchWidth);
    const ORE06100::OrderFilter& filter = request.filter();
    checkText(filter.order_from(), "NrOrcaEven.NrIni", orderNumberWidth);
    checkText(filter.order_to(), "NrOrcaEven.NrFin", orderNumberWidth);
    checkText(filter.all_orders(), "NrOrcaEven.Todos", flagWidth);
    // Checked even when the all-flag leaves them unused: they travel back as they came.
    checkDate(host::TDateTime{filter.delivery_from()}, "DtEntrega.DtIni");
    checkDate(host::TDateTime{filter.delivery_to()}, "DtEntrega.DtFin");
    checkText(filter.all_deliveries(), "DtEntrega.Todos", flagWidth);
    checkText(filter.all_salesmen(), "Vendedor.Todos", flagWidth);
    checkText(filter.all_customers(), "Cliente.Todos", flagWidth);
    // Each code of a list in use is measured when the list is read.
    checkText(filter.salesman_list(), "Lista de vendedores", filter.salesman_list().size());
    checkText(filter.customer_list(), "Lista de clientes", filter.customer_list().size());
}

void checkRequest(const ORE06100::GetItemEncRequest& request) {
    checkKey(request.key());
}

void checkRequest(const ORE06100::GetEncomendaFilhaRequest& request) {
    checkText(request.branch(), "CDFILIAL", branchWidth);
    checkText(request.order_number(), "NRORCAEVENTO", orderNumberWidth);
}

void checkRequest(const ORE06100::CancAprovaEncRequest& request) {
    checkKey(request.key());
    checkText(request.justification(), "CDJUSTEXCHIS", justificationWidth);
    checkText(request.observation(), "TXOBSJUSTORC", observationWidth);
    checkText(request.operator_code(), "CDOPERADOR", operatorWidth);
}

void checkRequest(const ORE06100::PreviewCancAprovaEncRequest& request) {
    checkKey(request.key());
}

void checkRequest(const ORE06100::SignOnRequest& request) {
    checkText(request.operator_code(), "CDOPERADOR", operatorWidth);
    checkText(request.password(), "senha", passwordWidth);
}

}  // namespace ore::server
