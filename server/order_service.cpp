#include "server/order_service.h"

#include <spdlog/spdlog.h>

#include <chrono>
#include <ctime>

#include "proto/packet_codec.h"
#include "server/messages.h"
#include "server/order_repository.h"
#include "server/order_rules.h"
#include "server/request_checks.h"
#include "server/service_error.h"

namespace ore::server {

namespace {

grpc::StatusCode codeOf(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Refusal:
            return grpc::StatusCode::FAILED_PRECONDITION;
        case ErrorKind::InvalidArgument:
            return grpc::StatusCode::INVALID_ARGUMENT;
        case ErrorKind::NotFound:
            return grpc::StatusCode::NOT_FOUND;
        case ErrorKind::Conflict:
            return grpc::StatusCode::ABORTED;
        case ErrorKind::Internal:
            break;
    }
    return grpc::StatusCode::INTERNAL;
}

// Runs one call: `checks` validates the request before any database work,
// `body` fetches, acts and converts; here the timing, the log line and the
// translation of failures into statuses.
template <class Checks, class Body>
grpc::Status runCall(const char* method, grpc::ServerContext* context, ConnectionPool& pool,
                     Checks&& checks, Body&& body) {
    const auto started = std::chrono::steady_clock::now();
    grpc::Status status;
    std::string detail;
    try {
        checks();
        ConnectionPool::Lease lease = pool.acquire();
        try {
            OrderRepository repository(*lease);
            OrderRules rules(repository);
            body(rules);
        } catch (const host::sql::ConflictError&) {
            throw;
        } catch (const host::sql::DatabaseError&) {
            lease.discard();
            throw;
        }
    } catch (const ServiceError& error) {
        status = grpc::Status(codeOf(error.kind()), error.what());
    } catch (const proto::PacketCodecError& error) {
        status = grpc::Status(grpc::StatusCode::INVALID_ARGUMENT, error.what());
    } catch (const host::sql::ConflictError& error) {
        detail = error.what();
        status = grpc::Status(grpc::StatusCode::ABORTED, std::string(messages::databaseBusy));
    } catch (const host::sql::DatabaseError& error) {
        detail = error.what();
        status = grpc::Status(grpc::StatusCode::INTERNAL, std::string(messages::databaseFailure));
    } catch (const std::exception& error) {
        detail = error.what();
        status = grpc::Status(grpc::StatusCode::INTERNAL, std::string(messages::internalFailure));
    }
    const double milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    const std::string peer = context != nullptr ? context->peer() : std::string("-");
    // What a client sent can reach the log through a refusal or a database
    // error: escaped, so it cannot forge a line, and cut.
    if (status.ok()) {
        spdlog::info("{} from {} ok in {:.3f} ms", method, escapeForLog(peer), milliseconds);
    } else {
        spdlog::warn("{} from {} failed in {:.3f} ms: code {} \"{}\"{}{}", method,
                     escapeForLog(peer), milliseconds, static_cast<int>(status.error_code()),
                     escapeForLog(status.error_message()), detail.empty() ? "" : ": ",
                     escapeForLog(detail));
    }
    return status;
}

OrderKey keyOf(const ORE06100::OrderKey& key) {
    return {key.branch(), key.order_number(), key.sequence()};
}

OrderFilter filterOf(const ORE06100::OrderFilter& filter) {
    return {filter.order_from(),
            filter.order_to(),
            filter.all_orders(),
            host::TDateTime{filter.delivery_from()},
            host::TDateTime{filter.delivery_to()},
            filter.all_deliveries(),
            filter.salesman_list(),
            filter.all_salesmen(),
            filter.customer_list(),
            filter.all_customers()};
}

std::optional<std::string> givenText(bool present, const std::string& text) {
    if (!present || text.empty()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

host::TDateTime localNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    // Days from 1899-12-30 to the local calendar day, then the local time of day.
    const std::chrono::year_month_day day{
        std::chrono::year{local.tm_year + 1900},
        std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
        std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
    const auto epoch = std::chrono::sys_days{std::chrono::year{1899} / 12 / 30};
    const double days = static_cast<double>((std::chrono::sys_days{day} - epoch).count());
    const double secondsOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    return host::TDateTime{days + secondsOfDay / 86400.0};
}

OrderService::OrderService(ConnectionPool& pool, Clock clock)
    : m_pool(pool), m_clock(clock ? std::move(clock) : Clock(localNow)) {}

grpc::Status OrderService::GetEncomenda(grpc::ServerContext* context,
                                        const ORE06100::GetEncomendaRequest* request,
                                        grpc::ServerWriter<ORE06100::GetEncomendaChunk>* writer) {
    return runCall(
        "GetEncomenda", context, m_pool, [&] { checkRequest(*request); },
        [&](OrderRules& rules) {
            const host::DataPacket packet =
                rules.listOrders(request->branch(), filterOf(request->filter()));
            ORE06100::GetEncomendaChunk chunk;
            bool first = true;
            proto::encodeChunks(packet, proto::defaultChunkBytes, [&](ORE06100::Packet& part) {
                chunk.Clear();
                if (first) {
                    // The server leaves the by-reference filter fields as they came.
                    *chunk.mutable_filter() = request->filter();
                    first = false;
                }
                chunk.mutable_packet()->Swap(&part);
                return writer->Write(chunk);
            });
        });
}

grpc::Status OrderService::GetItemEnc(grpc::ServerContext* context,
                                      const ORE06100::GetItemEncRequest* request,
                                      ORE06100::GetItemEncReply* reply) {
    return runCall(
        "GetItemEnc", context, m_pool, [&] { checkRequest(*request); },
        [&](OrderRules& rules) {
            const auto [items, observation] = rules.itemsAndObservation(keyOf(request->key()));
            proto::encodePacket(items, *reply->mutable_items());
            proto::encodePacket(observation, *reply->mutable_observation());
        });
}

grpc::Status OrderService::GetEncomendaFilha(grpc::ServerContext* context,
                                             const ORE06100::GetEncomendaFilhaRequest* request,
                                             ORE06100::GetEncomendaFilhaReply* reply) {
    return runCall(
        "GetEncomendaFilha", context, m_pool, [&] { checkRequest(*request); },
        [&](OrderRules& rules) {
            proto::encodePacket(rules.childOrders(request->branch(), request->order_number()),
                                *reply->mutable_children());
        });
}

grpc::Status OrderService::CancAprovaEnc(grpc::ServerContext* context,
                                         const ORE06100::CancAprovaEncRequest* request,
                                         ORE06100::CancAprovaEncReply* reply) {
    return runCall(
        "CancAprovaEnc", context, m_pool, [&] { checkRequest(*request); },
        [&](OrderRules& rules) {
            CancellationReason reason;
            reason.justification =
                givenText(request->has_justification(), request->justification());
            reason.observation = givenText(request->has_observation(), request->observation());
            reason.operatorCode = givenText(request->has_operator_code(), request->operator_code());
            const CancellationOutcome outcome =
                rules.cancelApproval(keyOf(request->key()), reason, m_clock());
            *reply->mutable_key() = request->key();
            if (outcome.productionOrders) {
                proto::encodePacket(*outcome.productionOrders, *reply->mutable_production_orders());
            }
            if (outcome.shippedOrders) {
                proto::encodePacket(*outcome.shippedOrders, *reply->mutable_shipped_orders());
            }
        });
}

grpc::Status OrderService::SetEncomenda(grpc::ServerContext* context,
                                        const ORE06100::SetEncomendaRequest* request,
                                        ORE06100::SetEncomendaReply* /*reply*/) {
    host::DataPacket delta;
    return runCall(
        "SetEncomenda", context, m_pool,
        [&] {
            delta = proto::decodePacket(request->delta(), proto::requestLimits);
            readDelta(delta);
        },
        [&](OrderRules& rules) { rules.applyChanges(delta); });
}

}  // namespace ore::server
