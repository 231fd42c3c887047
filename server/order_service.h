#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>

#include "host/data/variant.h"
#include "ore06100.grpc.pb.h"
#include "server/connection_pool.h"
#include "server/sessions.h"

namespace ore::server {

struct CallLimits {
    std::size_t maxCalls = 64;  // calls at once; beyond, RESOURCE_EXHAUSTED
    // How long a call waits for a free database connection.
    std::chrono::milliseconds connectionWait = std::chrono::seconds(2);
    // How long one write of a streamed list may wait for a client that does
    // not read; beyond, the call is cancelled (0: no limit).
    std::chrono::milliseconds writeStall = std::chrono::seconds(10);
};

// The gRPC face of "ORE06100.rdmCancAprovEnc": reads the request, runs the
// business rule on a pooled connection, converts the answer. Every call logs
// one line with its duration; every failure becomes a status whose text an
// operator can read.
class OrderService final : public ORE06100::rdmCancAprovEnc::Service {
public:
    using Clock = std::function<host::TDateTime()>;

    // `clock` gives the time stamped on observation records (local time by default).
    explicit OrderService(ConnectionPool& pool, Clock clock = {}, CallLimits limits = {},
                          SessionPolicy sessions = {});

    // From now on no call commits: each ends with UNAVAILABLE.
    void abandonCalls() { m_abandoned = true; }
    // Calls whose handler has not returned yet.
    std::size_t callsRunning() const { return m_calls.load(); }
    // Called with false when a call finds the database unreachable.
    void onDatabaseState(std::function<void(bool reachable)> listener) {
        m_databaseState = std::move(listener);
    }

    grpc::Status SignOn(grpc::ServerContext* context, const ORE06100::SignOnRequest* request,
                        ORE06100::SignOnReply* reply) override;
    grpc::Status GetEncomenda(grpc::ServerContext* context,
                              const ORE06100::GetEncomendaRequest* request,
                              grpc::ServerWriter<ORE06100::GetEncomendaChunk>* writer) override;
    grpc::Status GetItemEnc(grpc::ServerContext* context,
                            const ORE06100::GetItemEncRequest* request,
                            ORE06100::GetItemEncReply* reply) override;
    grpc::Status GetEncomendaFilha(grpc::ServerContext* context,
                                   const ORE06100::GetEncomendaFilhaRequest* request,
                                   ORE06100::GetEncomendaFilhaReply* reply) override;
    grpc::Status CancAprovaEnc(grpc::ServerContext* context,
                               const ORE06100::CancAprovaEncRequest* request,
                               ORE06100::CancAprovaEncReply* reply) override;
    grpc::Status SetEncomenda(grpc::ServerContext* context,
                              const ORE06100::SetEncomendaRequest* request,
                              ORE06100::SetEncomendaReply* reply) override;
    grpc::Status GetHistCancAprov(grpc::ServerContext* context,
                                  const ORE06100::GetHistCancAprovRequest* request,
                                  ORE06100::GetHistCancAprovReply* reply) override;
    grpc::Status GetHistCancAprovDoc(grpc::ServerContext* context,
                                     const ORE06100::GetHistCancAprovDocRequest* request,
                                     ORE06100::GetHistCancAprovDocReply* reply) override;
    grpc::Status PreviewCancAprovaEnc(grpc::ServerContext* context,
                                      const ORE06100::PreviewCancAprovaEncRequest* request,
                                      ORE06100::PreviewCancAprovaEncReply* reply) override;

    class Call;

private:
    template <class Body>
    grpc::Status run(const char* method, grpc::ServerContext* context, Body&& body);

    ConnectionPool& m_pool;
    Clock m_clock;
    CallLimits m_limits;
    SessionPolicy m_sessions;
    SessionCache m_sessionCache;
    std::atomic<std::size_t> m_calls{0};
    std::atomic<bool> m_abandoned{false};
    std::function<void(bool)> m_databaseState;
};

// The local time as the platform counts it (days since 1899-12-30).
host::TDateTime localNow();

}  // namespace ore::server
