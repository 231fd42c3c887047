#include "server/order_service.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <stdexcept>
#include <string>

#include "proto/packet_codec.h"
#include "server/history_read.h"
#include "server/messages.h"
#include "server/order_repository.h"
#include "server/order_rules.h"
#include "server/packet_relay.h"
#include "server/request_checks.h"
#include "server/service_error.h"
#include "server/sessions.h"
#include "server/write_stall.h"

namespace ore::server {

namespace {

// Rows read from the database per packet of a streamed list: about a chunk.
constexpr std::size_t listRowsPerRead = 2048;
// Packets read ahead of the one being sent: one keeps the reader busy while
// the sender works, more would only hold memory.
constexpr std::size_t listPacketsAhead = 1;

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
        case ErrorKind::Unauthenticated:
        case ErrorKind::SessionExpired:
            return grpc::StatusCode::UNAUTHENTICATED;
        case ErrorKind::PermissionDenied:
            return grpc::StatusCode::PERMISSION_DENIED;
        case ErrorKind::Internal:
            break;
    }
    return grpc::StatusCode::INTERNAL;
}

// Why a call may no longer commit; raised by the check before COMMIT.
struct CallEnded {
    grpc::Status status;
};

std::optional<std::chrono::steady_clock::time_point> steadyDeadlineOf(
    const grpc::ServerContext* context) {
    if (context == nullptr) {
        return std::nullopt;
    }
    const auto deadline = context->deadline();
    const auto now = std::chrono::system_clock::now();
    // A call without a deadline reports one at the end of time.
    if (deadline - now > std::chrono::hours(24 * 365)) {
        return std::nullopt;
    }
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(deadline - now);
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

// One call in flight: its deadline, the database connection it takes on
// first use, and whether it may still commit.
class OrderService::Call {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    Call(OrderService& service, grpc::ServerContext* context)
        : m_service(service), m_context(context), m_deadline(steadyDeadlineOf(context)) {}

    host::sql::Database& database() {
        if (!m_lease) {
            auto wait = std::chrono::steady_clock::now() + m_service.m_limits.connectionWait;
            if (m_deadline && *m_deadline < wait) {
                wait = *m_deadline;
            }
            m_lease.emplace(m_service.m_pool.acquire(wait));
            try {
                (*m_lease)->setDeadline(m_deadline);
            } catch (const host::sql::UnreachableError&) {
                // A connection kept from before the database went away;
                // nothing was done on it yet, so a fresh one may serve.
                discardDatabase();
                m_lease.emplace(m_service.m_pool.acquire(wait));
                (*m_lease)->setDeadline(m_deadline);
            }
            (*m_lease)->setCommitCheck([this] {
                if (auto status = ended()) {
                    throw CallEnded{*status};
                }
            });
        }
        return **m_lease;
    }

    OrderRules& rules() {
        if (!m_rules) {
            m_repository.emplace(database());
            m_rules.emplace(*m_repository);
        }
        return *m_rules;
    }

    // The operator of the call's session; raises when there is no valid one.
    const Caller& caller() {
        if (!m_caller) {
            m_caller.emplace(authenticateCall(database(), m_context, &m_service.m_sessionCache));
        }
        return *m_caller;
    }

    // Hands the connection back to the pool (a sign-on verifies the password
    // without holding one).
    void releaseDatabase() {
        m_rules.reset();
        m_repository.reset();
        if (m_lease) {
            (*m_lease)->setCommitCheck({});
            m_lease.reset();
        }
    }

    void discardDatabase() {
        m_rules.reset();
        m_repository.reset();
        if (m_lease) {
            m_lease->discard();
            m_lease.reset();
        }
    }

    // The status of a call that may no longer commit, or nothing.
    std::optional<grpc::Status> ended() const {
        if (m_service.m_abandoned) {
            return grpc::Status(grpc::StatusCode::UNAVAILABLE,
                                std::string(messages::serverStopping));
        }
        const bool late = m_deadline && std::chrono::steady_clock::now() >= *m_deadline;
        if (late) {
            return grpc::Status(grpc::StatusCode::DEADLINE_EXCEEDED,
                                std::string(messages::callTimedOut));
        }
        if (m_context != nullptr && m_context->IsCancelled()) {
            return grpc::Status(grpc::StatusCode::CANCELLED, std::string(messages::callCancelled));
        }
        return std::nullopt;
    }

private:
    OrderService& m_service;
    grpc::ServerContext* m_context;
    std::optional<TimePoint> m_deadline;
    std::optional<ConnectionPool::Lease> m_lease;
    std::optional<OrderRepository> m_repository;
    std::optional<OrderRules> m_rules;
    std::optional<Caller> m_caller;
};

// Runs one call: validate, fetch, act, convert inside `body`; here the
// bounds, the timing, the log line and the translation of failures into
// statuses.
template <class Body>
grpc::Status OrderService::run(const char* method, grpc::ServerContext* context, Body&& body) {
    const auto started = std::chrono::steady_clock::now();
    grpc::Status status;
    std::string detail;
    struct Slot {
        std::atomic<std::size_t>& calls;
        ~Slot() { --calls; }
    } slot{m_calls};
    if (m_calls.fetch_add(1) >= m_limits.maxCalls) {
        status =
            grpc::Status(grpc::StatusCode::RESOURCE_EXHAUSTED, std::string(messages::serverBusy));
        detail = "more than " + std::to_string(m_limits.maxCalls) + " calls at once";
    } else {
        Call call(*this, context);
        try {
            try {
                body(call);
            } catch (const host::sql::ConflictError&) {
                throw;
            } catch (const host::sql::InterruptedError&) {
                throw;
            } catch (const host::sql::DatabaseError&) {
                call.discardDatabase();
                throw;
            }
        } catch (const CallEnded& ended) {
            status = ended.status;
        } catch (const ServiceError& error) {
            status = grpc::Status(codeOf(error.kind()), error.what());
            if (error.kind() == ErrorKind::SessionExpired && context != nullptr) {
                context->AddTrailingMetadata(sessionExpiredKey, "1");
            }
        } catch (const proto::PacketCodecError& error) {
            status = grpc::Status(grpc::StatusCode::INVALID_ARGUMENT, error.what());
        } catch (const PoolExhausted& error) {
            detail = error.what();
            status = grpc::Status(grpc::StatusCode::RESOURCE_EXHAUSTED,
                                  std::string(messages::serverBusy));
        } catch (const host::sql::InterruptedError& error) {
            detail = error.what();
            status = grpc::Status(grpc::StatusCode::DEADLINE_EXCEEDED,
                                  std::string(messages::callTimedOut));
        } catch (const host::sql::ConflictError& error) {
            detail = error.what();
            status = grpc::Status(grpc::StatusCode::ABORTED, std::string(messages::databaseBusy));
        } catch (const host::sql::UnreachableError& error) {
            detail = error.what();
            status = grpc::Status(grpc::StatusCode::UNAVAILABLE,
                                  std::string(messages::databaseUnreachable));
            if (m_databaseState) {
                m_databaseState(false);
            }
        } catch (const host::sql::DatabaseError& error) {
            detail = error.what();
            status =
                grpc::Status(grpc::StatusCode::INTERNAL, std::string(messages::databaseFailure));
        } catch (const std::exception& error) {
            detail = error.what();
            status =
                grpc::Status(grpc::StatusCode::INTERNAL, std::string(messages::internalFailure));
        }
        // A failure of a call whose time ran out, whose caller left or whose
        // server is stopping is told as that: it is why the work stopped.
        if (!status.ok()) {
            if (auto ended = call.ended()) {
                status = *ended;
            }
        }
    }
    // Tells the client that the text is for the operator, as opposed to one
    // its transport made up with the same code.
    if (!status.ok() && context != nullptr) {
        context->AddTrailingMetadata("ore-operator-text", "1");
    }
    const double milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    // The peer's text costs an allocation per call; only a line that is
    // written needs it.
    if (!spdlog::should_log(status.ok() ? spdlog::level::info : spdlog::level::warn)) {
        return status;
    }
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

OrderService::OrderService(ConnectionPool& pool, Clock clock, CallLimits limits,
                           SessionPolicy sessions)
    : m_pool(pool),
      m_clock(clock ? std::move(clock) : Clock(localNow)),
      m_limits(limits),
      m_sessions(sessions),
      m_sessionCache(sessions.cache) {}

grpc::Status OrderService::GetEncomenda(grpc::ServerContext* context,
                                        const ORE06100::GetEncomendaRequest* request,
                                        grpc::ServerWriter<ORE06100::GetEncomendaChunk>* writer) {
    return run("GetEncomenda", context, [&](Call& call) {
        const Caller& caller = call.caller();
        checkRequest(*request);
        requireWorkOn(caller, request->branch());
        OrderRules& rules = call.rules();
        ORE06100::GetEncomendaChunk chunk;
        bool first = true;
        // A client that stops reading does not keep the connection: while it
        // stalls, the packet being sent, the next one read ahead and one
        // chunk waiting to go out are held, and only for the limit.
        WriteStallGuard guard(context, m_limits.writeStall);
        // Chunks go out while the rest is still being read, so the client
        // loads the first rows while the server reads the last; and the next
        // packet is read while this one is encoded and written, one waiting
        // between them.
        PacketRelay relay(listPacketsAhead, [&](host::DataPacket& rows) {
            return proto::encodeChunks(rows, proto::defaultChunkBytes, [&](ORE06100::Packet& part) {
                chunk.Clear();
                if (first) {
                    // The server leaves the by-reference filter fields as they came.
                    *chunk.mutable_filter() = request->filter();
                    first = false;
                } else {
                    // The field definitions travel once, in the first chunk.
                    part.clear_fields();
                }
                chunk.mutable_packet()->Swap(&part);
                return guard.write([&] { return writer->Write(chunk); });
            });
        });
        // A read that fails leaves the relay's destructor to drop what waits;
        // the error then goes to the client as before.
        rules.listOrders(request->branch(), filterOf(request->filter()), listRowsPerRead,
                         [&](host::DataPacket& rows) { return relay.push(rows); });
        relay.finish();
        if (guard.stalled()) {
            throw std::runtime_error("the client read nothing for " +
                                     std::to_string(m_limits.writeStall.count()) +
                                     " ms; the list was stopped");
        }
    });
}

grpc::Status OrderService::GetItemEnc(grpc::ServerContext* context,
                                      const ORE06100::GetItemEncRequest* request,
                                      ORE06100::GetItemEncReply* reply) {
    return run("GetItemEnc", context, [&](Call& call) {
        const Caller& caller = call.caller();
        checkRequest(*request);
        requireWorkOn(caller, request->key().branch());
        OrderRules& rules = call.rules();
        const auto [items, observation] = rules.itemsAndObservation(keyOf(request->key()));
        proto::encodePacket(items, *reply->mutable_items());
        proto::encodePacket(observation, *reply->mutable_observation());
    });
}

grpc::Status OrderService::GetEncomendaFilha(grpc::ServerContext* context,
                                             const ORE06100::GetEncomendaFilhaRequest* request,
                                             ORE06100::GetEncomendaFilhaReply* reply) {
    return run("GetEncomendaFilha", context, [&](Call& call) {
        const Caller& caller = call.caller();
        checkRequest(*request);
        requireWorkOn(caller, request->branch());
        OrderRules& rules = call.rules();
        proto::encodePacket(rules.childOrders(request->branch(), request->order_number()),
                            *reply->mutable_children());
    });
}

grpc::Status OrderService::CancAprovaEnc(grpc::ServerContext* context,
                                         const ORE06100::CancAprovaEncRequest* request,
                                         ORE06100::CancAprovaEncReply* reply) {
    return run("CancAprovaEnc", context, [&](Call& call) {
        const Caller& caller = call.caller();
        checkRequest(*request);
        CancellationReason reason;
        reason.justification = givenText(request->has_justification(), request->justification());
        reason.observation = givenText(request->has_observation(), request->observation());
        // The operator recorded is the session's; the request's field is
        // ignored (older screens send the host's command-line operator).
        const OrderKey key = keyOf(request->key());
        OrderRules& rules = call.rules();
        if (!caller.mayCancelOn(key.branch)) {
            // The refusal changes nothing but leaves its history record, in a
            // transaction of its own.
            rules.recordAuthorizationRefusal(
                key, reason, caller, messages::refusal(messages::cancelNotAllowedKey, key.branch),
                m_clock());
            requireCancelOn(caller, key.branch);
        }
        const CancellationOutcome outcome = rules.cancelApproval(key, reason, caller, m_clock());
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
    return run("SetEncomenda", context, [&](Call& call) {
        const Caller& caller = call.caller();
        host::DataPacket delta = proto::decodePacket(request->delta(), proto::requestLimits);
        // Every row is checked before anything is written: a change log
        // touching one branch the operator may not cancel on changes nothing.
        for (const OrderChange& change : readDelta(delta)) {
            requireCancelOn(caller, change.key.branch);
        }
        call.rules().applyChanges(delta, caller, m_clock());
    });
}

grpc::Status OrderService::SignOn(grpc::ServerContext* context,
                                  const ORE06100::SignOnRequest* request,
                                  ORE06100::SignOnReply* reply) {
    return run("SignOn", context, [&](Call& call) {
        checkRequest(*request);
        const std::string& code = request->operator_code();
        if (code.empty() || request->password().empty()) {
            throw ServiceError(ErrorKind::Unauthenticated, std::string(messages::signOnRefused));
        }
        const auto now = std::chrono::system_clock::now();
        const SignOnCandidate candidate =
            findSignOnCandidate(call.database(), code, m_sessions, now);
        // A guesser waits out the back-off by being refused, not by holding
        // a server thread or a connection.
        if (candidate.found && candidate.waitSeconds > 0) {
            throw ServiceError(ErrorKind::Unauthenticated,
                               messages::signOnWait(candidate.waitSeconds));
        }
        // Verifying is slow on purpose; nobody else needs to wait for the
        // connection meanwhile.
        call.releaseDatabase();
        // The attempt was already counted against the operator, so a wrong
        // password has nothing more to record.
        if (!passwordMatches(candidate, request->password(), m_sessions)) {
            throw ServiceError(ErrorKind::Unauthenticated, std::string(messages::signOnRefused));
        }
        const SignOnAnswer answer = openSession(call.database(), code, m_sessions, now);
        reply->set_token(answer.token);
        reply->set_expires_at(answer.expiresAt);
        reply->set_operator_code(code);
        reply->set_operator_name(candidate.name);
        reply->set_branch(candidate.branch);
        reply->set_branch_name(candidate.branchName);
        reply->set_fixed_branch(candidate.fixedBranch);
    });
}

namespace {

// The branches whose history the caller may read: those the caller may work on.
std::vector<std::string> historyBranchesOf(const Caller& caller) {
    std::vector<std::string> branches;
    for (const auto& [branch, mayCancel] : caller.branches) {
        (void)mayCancel;
        branches.push_back(branch);
    }
    return branches;
}

}  // namespace

grpc::Status OrderService::GetHistCancAprov(grpc::ServerContext* context,
                                            const ORE06100::GetHistCancAprovRequest* request,
                                            ORE06100::GetHistCancAprovReply* reply) {
    return run("GetHistCancAprov", context, [&](Call& call) {
        const Caller& caller = call.caller();
        checkRequest(*request);
        // A branch named in the filter is refused as the order list refuses
        // it; without one, the records of every branch the caller may see.
        if (!request->filter().branch().empty()) {
            requireWorkOn(caller, request->filter().branch());
        }
        HistoryQuery query = historyQueryOf(request->filter());
        query.allowedBranches = historyBranchesOf(caller);
        HistoryReader history(call.database());
        const HistoryRecords found = history.records(query);
        proto::encodePacket(found.records, *reply->mutable_records());
        reply->set_truncated(found.truncated);
    });
}

grpc::Status OrderService::GetHistCancAprovDoc(grpc::ServerContext* context,
                                               const ORE06100::GetHistCancAprovDocRequest* request,
                                               ORE06100::GetHistCancAprovDocReply* reply) {
    return run("GetHistCancAprovDoc", context, [&](Call& call) {
        const Caller& caller = call.caller();
        checkRequest(*request);
        HistoryReader history(call.database());
        const std::optional<std::string> branch = history.branchOf(request->record_id());
        if (!branch) {
            throw ServiceError(ErrorKind::NotFound, std::string(messages::historyRecordNotFound));
        }
        requireWorkOn(caller, *branch);
        proto::encodePacket(history.removedReceivables(request->record_id()),
                            *reply->mutable_receivables());
        proto::encodePacket(history.removedSalesOrders(request->record_id()),
                            *reply->mutable_sales_orders());
    });
}

grpc::Status OrderService::PreviewCancAprovaEnc(
    grpc::ServerContext* context, const ORE06100::PreviewCancAprovaEncRequest* request,
    ORE06100::PreviewCancAprovaEncReply* reply) {
    return run("PreviewCancAprovaEnc", context, [&](Call& call) {
        const Caller& caller = call.caller();
        checkRequest(*request);
        // The same permission as the cancellation itself, checked before
        // anything is read. A refused preview records nothing: it is no
        // attempt to cancel.
        const OrderKey key = keyOf(request->key());
        requireCancelOn(caller, key.branch);
        const CancellationPreview preview = call.rules().previewCancellation(key);
        proto::encodePacket(preview.childOrders, *reply->mutable_child_orders());
        proto::encodePacket(preview.productionOrders, *reply->mutable_production_orders());
        proto::encodePacket(preview.shippedOrders, *reply->mutable_shipped_orders());
        proto::encodePacket(preview.paidReceivables, *reply->mutable_paid_receivables());
        proto::encodePacket(preview.bankSlipsSent, *reply->mutable_bank_slips_sent());
        proto::encodePacket(preview.deletedReceivables, *reply->mutable_deleted_receivables());
        proto::encodePacket(preview.deletedSalesOrders, *reply->mutable_deleted_sales_orders());
        reply->set_new_status(preview.newStatus);
    });
}

}  // namespace ore::server
