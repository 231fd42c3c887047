#pragma once

#include <functional>

#include "host/data/variant.h"
#include "ore06100.grpc.pb.h"
#include "server/connection_pool.h"

namespace ore::server {

// The gRPC face of "ORE06100.rdmCancAprovEnc": reads the request, runs the
// business rule on a pooled connection, converts the answer. Every call logs
// one line with its duration; every failure becomes a status whose text an
// operator can read.
class OrderService final : public ORE06100::rdmCancAprovEnc::Service {
public:
    using Clock = std::function<host::TDateTime()>;

    // `clock` gives the time stamped on observation records (local time by default).
    explicit OrderService(ConnectionPool& pool, Clock clock = {});

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

private:
    ConnectionPool& m_pool;
    Clock m_clock;
};

// The local time as the platform counts it (days since 1899-12-30).
host::TDateTime localNow();

}  // namespace ore::server
