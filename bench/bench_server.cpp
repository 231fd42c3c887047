// Figures of the order server against their floors, with the server on SQLite
// and on PostgreSQL. Each figure is measured in interleaved pairs (floor,
// figure, floor, figure...) and reported as the median of the ratios with
// their spread, beside the absolute medians:
//  - GetItemEnc round trip through the real client, against an empty gRPC
//    call plus the same SQL run in-process;
//  - a 100,000-order list loaded into a client data set, against the
//    in-process SQL read of the same rows and against the two-tier way (the
//    client reading the rows from PostgreSQL itself into the data set);
//  - CancAprovaEnc (durable), against an empty call plus the same
//    transaction in-process; four writers at once against one;
//  - throughput of 16 asynchronous clients, alone and while lists stream,
//    and with one server against two;
//  - the client's resident growth for the list against its size on the wire.
#include <grpcpp/grpcpp.h>
#include <grpcpp/impl/codegen/client_unary_call.h>
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/figures.h"
#include "bench/load_generator.h"
#include "bench/server_process.h"
#include "db/demo_data.h"
#include "db/operators.h"
#include "db/schema.h"
#include "host/data/client_data_set.h"
#include "host/net/grpc_canc_aprov_enc.h"
#include "host/net/net_connection.h"
#include "host/services/session.h"
#include "host/sql/connection_string.h"
#include "ore06100.grpc.pb.h"
#include "proto/grpc_runtime.h"
#include "server/order_repository.h"
#include "server/order_rules.h"
#include "server/order_server.h"

namespace {

constexpr const char* benchOperator = "BENCH";
constexpr const char* benchPassword = "bench-senha";

using bench::Clock;
using bench::Figure;
using bench::millisecondsSince;
using bench::residentBytes;
using bench::ServerProcess;
using host::sql::Database;
using ore::server::OrderKey;

struct Settings {
    std::int64_t orders = 400000;
    int listRows = 100000;
    int pairs = 5;
    int samples = 1000;      // GetItemEnc calls per batch
    int writeSamples = 300;  // CancAprovaEnc calls per batch
    int loadMilliseconds = 2000;
    int clients = 16;
    bool vacuum = true;
    std::string only;  // parts to run: item,list,write,load,memory; empty for all
    std::string clientMemoryProgram;
    std::string serverProgram;  // the order server, for the figures of its own memory
};

std::int64_t orderCount(Database& database) {
    return database.query("SELECT COUNT(*) FROM ORCAEVENTO").rows.front().front().AsInteger();
}

void prepare(Database& database, const Settings& settings, const std::string& what) {
    db::createSchema(database);
    if (orderCount(database) == 0) {
        std::printf("generating %lld orders in %s...\n", static_cast<long long>(settings.orders),
                    what.c_str());
        std::fflush(stdout);
        const auto start = Clock::now();
        db::generateDemoData(database, settings.orders);
        std::printf("  done in %.1f s\n", millisecondsSince(start) / 1000.0);
    }
    if (settings.vacuum) {
        const auto start = Clock::now();
        db::compactAndAnalyze(database);
        std::printf("%s compacted and analysed in %.1f s\n", what.c_str(),
                    millisecondsSince(start) / 1000.0);
    }
}

void addOrderFields(host::TClientDataSet& dataSet) {
    for (const host::FieldDef& field : ore::server::OrderRepository::orderListFields()) {
        dataSet.AddField(field);
    }
}

struct ResidentParts {
    long long anonymous = 0;
    long long file = 0;
};

// The process's resident memory split into its own (anonymous) pages and the
// pages of mapped files, which are the system's file cache.
ResidentParts residentParts(pid_t process) {
    ResidentParts parts;
    std::FILE* file = std::fopen(("/proc/" + std::to_string(process) + "/status").c_str(), "r");
    if (file == nullptr) {
        return parts;
    }
    char line[256];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        long long kilobytes = 0;
        if (std::sscanf(line, "RssAnon: %lld", &kilobytes) == 1) {
            parts.anonymous = kilobytes * 1024;
        } else if (std::sscanf(line, "RssFile: %lld", &kilobytes) == 1) {
            parts.file = kilobytes * 1024;
        }
    }
    std::fclose(file);
    return parts;
}

// Empty unary call: the health check of the whole server, made the way the
// measured calls are (a blocking call on the calling thread). A callback
// call handed on to a waiting thread added a thread switch to the floor
// that the measured calls do not make.
class EmptyCall {
public:
    explicit EmptyCall(const std::string& address)
        : m_channel(grpc::CreateChannel(address, grpc::InsecureChannelCredentials())),
          m_method("/grpc.health.v1.Health/Check", grpc::internal::RpcMethod::NORMAL_RPC) {}
    void operator()() {
        grpc::ClientContext context;
        grpc::Slice nothing(std::string{});
        grpc::ByteBuffer request(&nothing, 1);
        grpc::ByteBuffer response;
        const grpc::Status status =
            grpc::internal::BlockingUnaryCall<grpc::ByteBuffer, grpc::ByteBuffer>(
                m_channel.get(), m_method, &context, request, &response);
        if (!status.ok()) {
            throw std::runtime_error("health check failed: " + status.error_message());
        }
    }

private:
    std::shared_ptr<grpc::Channel> m_channel;
    grpc::internal::RpcMethod m_method;
};

// Latencies (ms) of `count` calls.
std::vector<double> timeCalls(int count, const std::function<void(int)>& call) {
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        const auto start = Clock::now();
        call(index);
        samples.push_back(millisecondsSince(start));
    }
    return samples;
}

std::vector<OrderKey> keysOf(const host::DataPacket& packet) {
    std::vector<OrderKey> keys;
    for (const auto& row : packet.rows) {
        keys.push_back({row[0].AsString(), row[1].AsString(), row[2].AsString()});
    }
    return keys;
}

// Orders a cancellation goes through: approved, nothing that blocks or refuses it
// (no sales or receivables, and no child order under a parent).
std::vector<OrderKey> cancellableOrders(Database& database, int count) {
    return keysOf(database.query(
        "SELECT o.CDFILIAL, o.NRORCAEVENTO, o.NRSEQORCAEVE FROM ORCAEVENTO o"
        " WHERE o.IDSITUORCEVE IN ('2', '3') AND NOT EXISTS (SELECT 1 FROM PEDIDO p"
        " WHERE p.CDFILIAL = o.CDFILIAL AND p.NRORCAEVENTO = o.NRORCAEVENTO"
        " AND p.NRSEQORCAEVE = o.NRSEQORCAEVE) AND NOT EXISTS (SELECT 1 FROM CONTARECEBER r"
        " WHERE r.CDFILIAL = o.CDFILIAL AND r.NRORCAEVENTO = o.NRORCAEVENTO"
        " AND r.NRSEQORCAEVE = o.NRSEQORCAEVE) AND NOT (o.NRSEQORCAEVE = '00' AND EXISTS"
        " (SELECT 1 FROM ORCAEVENTO c WHERE c.CDFILIAL = o.CDFILIAL"
        " AND c.NRORCAEVENTO = o.NRORCAEVENTO AND c.NRSEQORCAEVE <> '00'))"
        " ORDER BY o.NRORCAEVENTO DESC, o.CDFILIAL LIMIT :N",
        {{"N", std::int64_t{count}}}));
}

// The orders the write figures cancel, kept as they were and put back after
// each batch, outside any timing: left alone, every run would add its
// observations to the same orders, and the item reads and the writes would
// measure a database that grows slower run after run. The history stays: it
// is append-only, and nothing the figures time reads it.
class CancelledOrders {
public:
    CancelledOrders(Database& database, std::vector<OrderKey> keys)
        : m_database(database), m_keys(std::move(keys)) {
        for (const OrderKey& key : m_keys) {
            const auto packet = database.query(
                "SELECT IDSITUORCEVE, CDJUSTEXCHIS, CDOPEJUSTORC FROM ORCAEVENTO"
                " WHERE CDFILIAL = :B AND NRORCAEVENTO = :N AND NRSEQORCAEVE = :S",
                {{"B", key.branch}, {"N", key.number}, {"S", key.sequence}});
            const auto& row = packet.rows.at(0);
            m_original.push_back({row[0], row[1], row[2], key.branch, key.number, key.sequence});
        }
        // What an earlier run left behind goes too.
        restore();
    }

    const std::vector<OrderKey>& keys() const { return m_keys; }

    void restore() {
        std::vector<std::vector<host::Variant>> keys;
        for (const OrderKey& key : m_keys) {
            keys.push_back({key.branch, key.number, key.sequence, std::string(benchOperator)});
        }
        host::sql::Transaction transaction(m_database);
        m_database.executeMany(
            "UPDATE ORCAEVENTO SET IDSITUORCEVE = :T, CDJUSTEXCHIS = :J, CDOPEJUSTORC = :P"
            " WHERE CDFILIAL = :B AND NRORCAEVENTO = :N AND NRSEQORCAEVE = :S",
            m_original);
        m_database.executeMany(
            "DELETE FROM OBSJUSTORC WHERE CDFILIAL = :B AND NRORCAEVENTO = :N"
            " AND NRSEQORCAEVE = :S AND CDOPERADOR = :O",
            keys);
        transaction.commit();
    }

private:
    Database& m_database;
    std::vector<OrderKey> m_keys;
    std::vector<std::vector<host::Variant>> m_original;  // T, J, P, B, N, S
};

class EngineBench {
public:
    EngineBench(std::string engine, std::string target, std::string twoTierTarget,
                const Settings& settings, std::deque<Figure>& figures)
        : m_engine(std::move(engine)),
          m_target(std::move(target)),
          m_twoTierTarget(std::move(twoTierTarget)),
          m_settings(settings),
          m_figures(figures) {}

    void run() {
        m_database = Database::open(m_target);
        prepare(*m_database, m_settings, m_engine);
        std::printf("%s: %lld orders\n", m_engine.c_str(),
                    static_cast<long long>(orderCount(*m_database)));
        ore::server::ServerOptions options;
        options.listenAddress = "127.0.0.1:0";
        options.database = m_target;
        m_server = std::make_unique<ore::server::OrderServer>(options);
        m_server->start();
        // The benchmark signs on as an operator of every branch, once: the
        // session serves every client and every server of the run.
        db::ensureOperatorOnEveryBranch(*m_database, benchOperator, benchPassword,
                                        db::HashCost::minimal);
        m_token =
            host::net::signOn("127.0.0.1", m_server->port(), benchOperator, benchPassword).token;
        host::CurrentSession().sessionToken = m_token;
        m_connection = std::make_unique<host::TNetConnection>("netCancAprovEnc");
        m_connection->ServerName = "ORE06100.rdmCancAprovEnc";
        m_connection->Port = m_server->port();
        m_connection->SetConnected(true);
        m_client = &m_connection->AppServerAs<host::IRdmCancAprovEnc>();

        // Orders spread over the table, each with its items.
        m_keys = keysOf(
            m_database->query("SELECT CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE FROM ITORCAEVEN"
                              " WHERE NRITEMORCEVE = (SELECT MIN(NRITEMORCEVE) FROM ITORCAEVEN)"
                              " ORDER BY NRORCAEVENTO DESC LIMIT 2000"));
        if (m_keys.empty()) {
            throw std::runtime_error("no order with items");
        }
        m_cancelled.emplace(*m_database,
                            cancellableOrders(*m_database, 2 * m_settings.writeSamples));
        chooseList();
        const auto wanted = [&](const char* part) {
            return m_settings.only.empty() || m_settings.only.find(part) != std::string::npos;
        };
        if (wanted("item")) {
            itemFetch();
        }
        if (wanted("list")) {
            list();
        }
        if (wanted("write")) {
            writes();
            concurrentWriters();
        }
        if (wanted("load")) {
            throughput();
            twoServers();
        }
        if (wanted("memory")) {
            clientMemory();
        }
        m_connection->SetConnected(false);
        m_server->shutdown(std::chrono::milliseconds(0));
        m_server.reset();
    }

private:
    Figure& figure(const std::string& name, const std::string& floorName) {
        Figure f;
        f.engine = m_engine;
        f.name = name;
        f.floorName = floorName;
        m_figures.push_back(std::move(f));
        return m_figures.back();
    }

    bool sqlite() const { return m_engine == "sqlite"; }

    // The branch with the most listed orders, cut at listRows orders.
    void chooseList() {
        const host::DataPacket branch = m_database->query(
            "SELECT CDFILIAL, COUNT(*) AS N FROM ORCAEVENTO WHERE IDSITUORCEVE IN ('2', '3')"
            " GROUP BY CDFILIAL ORDER BY N DESC, CDFILIAL LIMIT 1");
        m_branch = branch.rows.front()[0].AsString();
        const host::DataPacket bound = m_database->query(
            "SELECT NRORCAEVENTO FROM ORCAEVENTO WHERE CDFILIAL = :B AND IDSITUORCEVE IN ('2', "
            "'3') ORDER BY NRORCAEVENTO, NRSEQORCAEVE LIMIT 1 OFFSET :N",
            {{"B", m_branch}, {"N", std::int64_t{m_settings.listRows - 1}}});
        m_listTo =
            bound.rows.empty() ? std::string("9999999999") : bound.rows.front()[0].AsString();
        m_query.branch = m_branch;
        m_query.numberRange = std::make_pair(std::string("0"), m_listTo);
    }

    host::Variant serverList() {
        std::string from = "0", to = m_listTo, all, allDates = "T", salesmen, allSalesmen = "T",
                    customers, allCustomers = "T";
        host::TDateTime dateFrom, dateTo;
        return m_client->GetEncomenda(m_branch, from, to, all, dateFrom, dateTo, allDates, salesmen,
                                      allSalesmen, customers, allCustomers);
    }

    void itemFetch() {
        ore::server::OrderRepository repository(*m_database);
        EmptyCall empty(m_server->address());
        auto fetch = [&](int index) {
            const OrderKey& key = m_keys[static_cast<std::size_t>(index) % m_keys.size()];
            m_client->GetItemEnc(key.branch, key.number, key.sequence);
        };
        // The same reads the server makes, in the same one exchange: on
        // PostgreSQL two separate reads would be two round trips and a floor
        // the server does not have to pay.
        auto sql = [&](int index) {
            const OrderKey& key = m_keys[static_cast<std::size_t>(index) % m_keys.size()];
            repository.itemsAndObservation(key);
        };
        const int warm = std::min(200, m_settings.samples);
        timeCalls(warm, fetch);
        timeCalls(warm, sql);
        timeCalls(warm, [&](int) { empty(); });

        Figure& f = figure("GetItemEnc p50", "empty call p50 + in-process SQL p50");
        std::vector<double> all;
        std::vector<double> emptyAll;
        std::vector<double> sqlAll;
        bench::interleave(
            f, m_settings.pairs,
            [&] {
                const auto emptyCalls = timeCalls(m_settings.samples, [&](int) { empty(); });
                const auto sqlCalls = timeCalls(m_settings.samples, sql);
                emptyAll.insert(emptyAll.end(), emptyCalls.begin(), emptyCalls.end());
                sqlAll.insert(sqlAll.end(), sqlCalls.begin(), sqlCalls.end());
                return bench::quantile(emptyCalls, 0.5) + bench::quantile(sqlCalls, 0.5);
            },
            [&] {
                const auto calls = timeCalls(m_settings.samples, fetch);
                all.insert(all.end(), calls.begin(), calls.end());
                return bench::quantile(calls, 0.5);
            });
        if (sqlite()) {
            f.ratioTarget = 1.3;
        } else {
            f.absoluteTarget = 0.3;
            f.absoluteWhat = "p50 ms <=";
            f.absoluteValue = bench::quantile(all, 0.5);
        }
        // The parts of the floor, to tell which of them a target is beyond.
        std::printf(
            "  GetItemEnc floor parts: empty call p50 %.3f ms, in-process SQL p50 %.3f ms\n",
            bench::quantile(emptyAll, 0.5), bench::quantile(sqlAll, 0.5));
        Figure& tail = figure("GetItemEnc p99", "empty call p99 + in-process SQL p99");
        tail.values.push_back(bench::quantile(all, 0.99));
        tail.floors.push_back(bench::quantile(emptyAll, 0.99) + bench::quantile(sqlAll, 0.99));
        if (sqlite()) {
            tail.absoluteTarget = 1.0;
            tail.absoluteWhat = "p99 ms <";
            tail.absoluteValue = tail.values.front();
        }
    }

    void list() {
        ore::server::OrderRepository repository(*m_database);
        std::unique_ptr<Database> remote;
        std::unique_ptr<ore::server::OrderRepository> twoTier;
        if (!m_twoTierTarget.empty()) {
            remote = Database::open(m_twoTierTarget);
            twoTier = std::make_unique<ore::server::OrderRepository>(*remote);
        }
        std::size_t rows = 0;
        std::size_t loaded = 0;
        std::size_t remoteRows = 0;
        auto sqlRead = [&] {
            const auto start = Clock::now();
            rows = repository.orders(m_query).rows.size();
            return millisecondsSince(start);
        };
        auto throughServer = [&] {
            const auto start = Clock::now();
            host::TClientDataSet dataSet("cdsEncomenda");
            addOrderFields(dataSet);
            dataSet.SetData(serverList());
            loaded = static_cast<std::size_t>(dataSet.RecordCount());
            return millisecondsSince(start);
        };
        auto twoTierRead = [&] {
            const auto start = Clock::now();
            host::DataPacket packet = twoTier->orders(m_query);
            remoteRows = packet.rows.size();
            host::TClientDataSet dataSet("cdsEncomenda");
            addOrderFields(dataSet);
            dataSet.LoadFromPacket(std::move(packet));
            return millisecondsSince(start);
        };
        sqlRead();
        throughServer();
        Figure& f = figure("list into data set, through the server", "in-process SQL read");
        Figure* t = nullptr;
        if (twoTier) {
            twoTierRead();
            t = &figure("list into data set, through the server",
                        "two-tier: libpq from PostgreSQL into the data set");
            t->ratioTarget = sqlite() ? 0.67 : 1.0;
        }
        for (int pair = 0; pair < m_settings.pairs; ++pair) {
            f.floors.push_back(sqlRead());
            const double server = throughServer();
            f.values.push_back(server);
            if (t != nullptr) {
                t->floors.push_back(twoTierRead());
                t->values.push_back(server);
            }
        }
        if (sqlite()) {
            f.ratioTarget = 1.2;
        }
        f.name = "list of " + std::to_string(loaded) + " into data set, through the server";
        if (t != nullptr) {
            t->name = f.name;
            if (remoteRows != rows) {
                std::printf("warning: two-tier read %zu orders, the server %zu\n", remoteRows,
                            rows);
            }
        }
        streamingMemory();
    }

    // The server's memory while 16 lists stream at once, against one list's
    // size on the wire: the growth of the server process's own resident pages
    // at their peak. The pages of the memory-mapped database are left out (and
    // printed apart): they are the system's file cache, shared and given back
    // under pressure, and the first lists map most of the file once. The
    // server runs as a process of its own, so the clients' buffers do not
    // count, with a connection per list, so all 16 really stream at once
    // instead of waiting for the pool.
    void streamingMemory() {
        constexpr int streams = 16;
        if (m_settings.serverProgram.empty()) {
            std::printf("warning: no order server program next to the benchmark\n");
            return;
        }
        ServerProcess server(m_settings.serverProgram,
                             {"--database", m_target, "--max-connections", std::to_string(streams),
                              "--connection-wait-ms", "60000"});
        Figure& f = figure("server's own resident growth while " + std::to_string(streams) +
                               " lists stream at once",
                           "one list's size on the wire");
        f.unit = "B";
        long long failures = 0;
        std::string firstFailure;
        for (int pair = 0; pair < m_settings.pairs; ++pair) {
            const ResidentParts before = residentParts(server.pid());
            std::atomic<bool> done{false};
            std::atomic<long long> peakAnonymous{before.anonymous};
            std::atomic<long long> peakFile{before.file};
            std::thread sampler([&] {
                while (!done) {
                    const ResidentParts parts = residentParts(server.pid());
                    peakAnonymous = std::max(peakAnonymous.load(), parts.anonymous);
                    peakFile = std::max(peakFile.load(), parts.file);
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
            });
            std::vector<long long> wire(streams, 0);
            std::vector<grpc::Status> statuses(streams);
            std::vector<std::thread> clients;
            for (int index = 0; index < streams; ++index) {
                clients.emplace_back([&, index] {
                    auto stub = ORE06100::rdmCancAprovEnc::NewStub(
                        grpc::CreateChannel(server.address(), grpc::InsecureChannelCredentials()));
                    ORE06100::GetEncomendaRequest request;
                    request.set_branch(m_branch);
                    auto* filter = request.mutable_filter();
                    filter->set_order_from("0");
                    filter->set_order_to(m_listTo);
                    filter->set_all_deliveries("T");
                    filter->set_all_salesmen("T");
                    filter->set_all_customers("T");
                    grpc::ClientContext context;
                    context.AddMetadata("ore-session", m_token);
                    context.set_deadline(std::chrono::system_clock::now() +
                                         std::chrono::seconds(120));
                    auto reader = stub->GetEncomenda(&context, request);
                    ORE06100::GetEncomendaChunk chunk;
                    while (reader->Read(&chunk)) {
                        wire[static_cast<std::size_t>(index)] +=
                            static_cast<long long>(chunk.ByteSizeLong());
                    }
                    statuses[static_cast<std::size_t>(index)] = reader->Finish();
                });
            }
            for (auto& client : clients) {
                client.join();
            }
            done = true;
            sampler.join();
            for (const grpc::Status& status : statuses) {
                if (!status.ok() && failures++ == 0) {
                    firstFailure = status.error_message();
                }
            }
            f.floors.push_back(static_cast<double>(*std::max_element(wire.begin(), wire.end())));
            const long long anonymous = peakAnonymous.load() - before.anonymous;
            f.values.push_back(static_cast<double>(anonymous));
            std::printf(
                "  streaming memory pair %d: server's own pages +%.1f MB, mapped file pages"
                " +%.1f MB\n",
                pair + 1, static_cast<double>(anonymous) / 1e6,
                static_cast<double>(peakFile.load() - before.file) / 1e6);
        }
        f.absoluteWhat = "failed lists <=";
        f.absoluteTarget = 0.0;
        f.absoluteValue = static_cast<double>(failures);
        if (failures > 0) {
            std::printf("warning: %lld of %d streamed lists failed: %s\n", failures,
                        streams * m_settings.pairs, firstFailure.c_str());
        }
    }

    void writes() {
        const int perBatch = m_settings.writeSamples;
        const std::vector<OrderKey>& keys = m_cancelled->keys();
        if (keys.size() < static_cast<std::size_t>(2 * perBatch)) {
            std::printf("warning: only %zu cancellable orders\n", keys.size());
        }
        const std::size_t half = keys.size() / 2;
        const std::vector<OrderKey> remoteKeys(keys.begin(), keys.begin() + half);
        const std::vector<OrderKey> localKeys(keys.begin() + half, keys.end());
        EmptyCall empty(m_server->address());
        auto connection = Database::open(m_target);
        ore::server::OrderRepository repository(*connection);
        ore::server::OrderRules rules(repository);
        const ore::server::CancellationReason reason{"0001", "Cancelada pelo teste de carga."};
        const ore::server::Caller caller{"BENCH", "in-process", {}};
        auto cancelRemote = [&](const OrderKey& key) {
            std::string branch = key.branch, number = key.number, sequence = key.sequence;
            m_client->CancAprovaEnc(branch, number, sequence, *reason.justification,
                                    host::Variant(*reason.observation), caller.operatorCode);
        };
        Figure& f = figure("CancAprovaEnc p50", "empty call p50 + in-process transaction p50");
        std::vector<double> all;
        bench::interleave(
            f, m_settings.pairs,
            [&] {
                const auto emptyCalls =
                    timeCalls(static_cast<int>(localKeys.size()), [&](int) { empty(); });
                const auto local = timeCalls(static_cast<int>(localKeys.size()), [&](int index) {
                    rules.cancelApproval(localKeys[static_cast<std::size_t>(index)], reason, caller,
                                         host::TDateTime{46000.5});
                });
                m_cancelled->restore();
                return bench::quantile(emptyCalls, 0.5) + bench::quantile(local, 0.5);
            },
            [&] {
                const auto calls = timeCalls(static_cast<int>(remoteKeys.size()), [&](int index) {
                    cancelRemote(remoteKeys[static_cast<std::size_t>(index)]);
                });
                m_cancelled->restore();
                all.insert(all.end(), calls.begin(), calls.end());
                return bench::quantile(calls, 0.5);
            });
        f.absoluteValue = bench::quantile(all, 0.5);
        Figure& tail = figure("CancAprovaEnc p99", "CancAprovaEnc p50");
        tail.values.push_back(bench::quantile(all, 0.99));
        tail.floors.push_back(bench::quantile(all, 0.5));
        tail.absoluteValue = tail.values.front();
        if (sqlite()) {
            f.absoluteTarget = 0.5;
            f.absoluteWhat = "p50 ms <=";
            tail.absoluteTarget = 2.0;
            tail.absoluteWhat = "p99 ms <=";
        }
    }

    // `writers` threads, each with its own client, cancelling its own orders.
    struct WriterResult {
        double worst = 0;
        long long failures = 0;
        std::string firstFailure;
    };
    WriterResult writeConcurrently(int writers) {
        const std::vector<OrderKey>& cancellable = m_cancelled->keys();
        const std::size_t share = cancellable.size() / 4;
        std::vector<std::thread> threads;
        std::mutex mutex;
        WriterResult result;
        for (int writer = 0; writer < writers; ++writer) {
            threads.emplace_back([&, writer] {
                host::TNetConnection connection("netCancAprovEnc");
                connection.ServerName = "ORE06100.rdmCancAprovEnc";
                connection.Port = m_server->port();
                connection.SetConnected(true);
                auto& client = connection.AppServerAs<host::IRdmCancAprovEnc>();
                double worst = 0;
                long long failures = 0;
                std::string first;
                for (std::size_t index = 0; index < share; ++index) {
                    const OrderKey& key =
                        cancellable[static_cast<std::size_t>(writer) * share + index];
                    std::string branch = key.branch, number = key.number, sequence = key.sequence;
                    const auto start = Clock::now();
                    try {
                        client.CancAprovaEnc(branch, number, sequence, "0001",
                                             host::Variant("Quatro ao mesmo tempo."), "BENCH");
                    } catch (const std::exception& error) {
                        if (failures++ == 0) {
                            first = error.what();
                        }
                    }
                    worst = std::max(worst, millisecondsSince(start));
                }
                std::lock_guard lock(mutex);
                result.worst = std::max(result.worst, worst);
                result.failures += failures;
                if (result.firstFailure.empty()) {
                    result.firstFailure = first;
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        m_cancelled->restore();
        return result;
    }

    void concurrentWriters() {
        Figure& f = figure("4 writers at once, worst wait", "1 writer, worst wait");
        Figure& busy = figure("4 writers at once, failed calls", "1 writer, failed calls");
        busy.unit = "";
        std::string firstFailure;
        for (int pair = 0; pair < m_settings.pairs; ++pair) {
            const WriterResult one = writeConcurrently(1);
            const WriterResult four = writeConcurrently(4);
            f.floors.push_back(one.worst);
            f.values.push_back(four.worst);
            busy.floors.push_back(static_cast<double>(one.failures));
            busy.values.push_back(static_cast<double>(four.failures));
            if (firstFailure.empty()) {
                firstFailure = !four.firstFailure.empty() ? four.firstFailure : one.firstFailure;
            }
        }
        f.absoluteWhat = "worst ms <=";
        f.absoluteTarget = 100.0;
        f.absoluteValue = *std::max_element(f.values.begin(), f.values.end());
        busy.absoluteWhat = "failures <=";
        busy.absoluteTarget = 0.0;
        busy.absoluteValue = *std::max_element(busy.values.begin(), busy.values.end());
        if (!firstFailure.empty()) {
            std::printf("first failure of a writer: %s\n", firstFailure.c_str());
        }
    }

    void throughput() {
        const auto duration = std::chrono::milliseconds(m_settings.loadMilliseconds);
        const std::string target = m_server->address();
        const int clients = m_settings.clients;
        bench::runItemLoad(target, m_keys, clients, 4, duration / 4, m_token);  // warm up
        Figure& rate =
            figure("GetItemEnc " + std::to_string(clients) + " clients, calls/s while lists stream",
                   "calls/s alone");
        rate.unit = "/s";
        Figure& p99 =
            figure("GetItemEnc " + std::to_string(clients) + " clients, p99 alone", "p50 alone");
        std::vector<double> alone;
        std::vector<double> streaming;
        std::vector<double> p99s;
        long long failures = 0;
        for (int pair = 0; pair < m_settings.pairs; ++pair) {
            const bench::LoadResult quiet =
                bench::runItemLoad(target, m_keys, clients, 4, duration, m_token);
            std::atomic<bool> stop{false};
            std::atomic<int> lists{0};
            std::thread streamer([&] {
                host::TNetConnection connection("netCancAprovEnc");
                connection.ServerName = "ORE06100.rdmCancAprovEnc";
                connection.Port = m_server->port();
                connection.SetConnected(true);
                auto& client = connection.AppServerAs<host::IRdmCancAprovEnc>();
                while (!stop) {
                    std::string from = "0", to = m_listTo, all, allDates = "T", salesmen,
                                allSalesmen = "T", customers, allCustomers = "T";
                    host::TDateTime dateFrom, dateTo;
                    host::TClientDataSet dataSet("cdsEncomenda");
                    addOrderFields(dataSet);
                    dataSet.SetData(client.GetEncomenda(m_branch, from, to, all, dateFrom, dateTo,
                                                        allDates, salesmen, allSalesmen, customers,
                                                        allCustomers));
                    ++lists;
                }
            });
            const bench::LoadResult busy =
                bench::runItemLoad(target, m_keys, clients, 4, duration, m_token);
            stop = true;
            streamer.join();
            failures += quiet.failures + busy.failures;
            rate.floors.push_back(quiet.callsPerSecond());
            rate.values.push_back(busy.callsPerSecond());
            p99.values.push_back(quiet.p99);
            p99.floors.push_back(quiet.p50);
            alone.push_back(quiet.callsPerSecond());
            std::printf(
                "  load pair %d: alone %.0f calls/s p50 %.3f p99 %.3f ms (CPU %.0f us and %.2f"
                " context switches a call); with %d lists streamed %.0f calls/s p99 %.3f ms\n",
                pair + 1, quiet.callsPerSecond(), quiet.p50, quiet.p99,
                quiet.cpuMicrosecondsPerCall, quiet.contextSwitchesPerCall, lists.load(),
                busy.callsPerSecond(), busy.p99);
        }
        if (failures > 0) {
            std::printf("warning: %lld failed calls under load\n", failures);
        }
        rate.absoluteWhat = "calls/s while streaming >=";
        rate.absoluteValue = bench::median(rate.values);
        p99.absoluteValue = bench::median(p99.values);
        Figure& plain =
            figure("GetItemEnc " + std::to_string(clients) + " clients, calls/s alone", "-");
        plain.unit = "/s";
        plain.values = alone;
        plain.absoluteValue = bench::median(alone);
        plain.absoluteWhat = "calls/s >=";
        if (sqlite()) {
            rate.absoluteTarget = 5000;
            p99.absoluteTarget = 2.0;
            p99.absoluteWhat = "p99 ms <=";
            plain.absoluteTarget = 10000;
        }
    }

    void twoServers() {
        ore::server::ServerOptions options;
        options.listenAddress = "127.0.0.1:0";
        options.database = m_target;
        ore::server::OrderServer second(options);
        second.start();
        const std::string one = m_server->address();
        const std::string both = "ipv4:" + one + "," + second.address();
        const auto duration = std::chrono::milliseconds(m_settings.loadMilliseconds);
        Figure& f = figure(
            "GetItemEnc " + std::to_string(m_settings.clients) + " clients, calls/s on two servers",
            "calls/s on one server");
        f.unit = "/s";
        bench::runItemLoad(both, m_keys, m_settings.clients, 4, duration / 4, m_token);
        for (int pair = 0; pair < m_settings.pairs; ++pair) {
            f.floors.push_back(
                bench::runItemLoad(one, m_keys, m_settings.clients, 4, duration, m_token)
                    .callsPerSecond());
            f.values.push_back(
                bench::runItemLoad(both, m_keys, m_settings.clients, 4, duration, m_token)
                    .callsPerSecond());
        }
        second.shutdown(std::chrono::milliseconds(0));
    }

    void clientMemory() {
        if (m_settings.clientMemoryProgram.empty()) {
            return;
        }
        Figure& f = figure("client resident growth for the list", "list size on the wire");
        f.unit = "B";
        f.ratioTarget = 2.0;
        const std::string command = m_settings.clientMemoryProgram + " --port " +
                                    std::to_string(m_server->port()) + " --branch " + m_branch +
                                    " --to " + m_listTo;
        // The token goes through the environment, not the command line that
        // anyone on the machine can read.
        ::setenv("ORE_BENCH_SESSION", m_token.c_str(), 1);
        for (int pair = 0; pair < m_settings.pairs; ++pair) {
            std::FILE* pipe = ::popen(command.c_str(), "r");
            if (pipe == nullptr) {
                return;
            }
            long long growth = 0;
            long long wire = 0;
            std::size_t rows = 0;
            const int read = std::fscanf(pipe, "rss_growth_bytes=%lld wire_bytes=%lld rows=%zu",
                                         &growth, &wire, &rows);
            if (::pclose(pipe) != 0 || read != 3) {
                std::printf("warning: %s failed\n", command.c_str());
                return;
            }
            f.floors.push_back(static_cast<double>(wire));
            f.values.push_back(static_cast<double>(growth));
        }
    }

    std::string m_engine;
    std::string m_target;
    std::string m_twoTierTarget;
    const Settings& m_settings;
    std::deque<Figure>& m_figures;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<ore::server::OrderServer> m_server;
    std::string m_token;
    std::unique_ptr<host::TNetConnection> m_connection;
    host::IRdmCancAprovEnc* m_client = nullptr;
    std::vector<OrderKey> m_keys;
    std::optional<CancelledOrders> m_cancelled;
    std::string m_branch;
    std::string m_listTo;
    ore::server::OrderListQuery m_query;
};

// The benchmark's own database on the PostgreSQL server, created when missing.
std::string benchDatabase(const std::string& server, const std::string& name, bool fresh) {
    auto admin = Database::open(server);
    if (fresh) {
        admin->executeScript("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    }
    const auto found =
        admin->query("SELECT COUNT(*) FROM pg_database WHERE datname = :N", {{"N", name}});
    if (found.rows.front().front().AsInteger() == 0) {
        admin->executeScript("CREATE DATABASE " + name);
    }
    return host::sql::withDatabaseName(server, name);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Order server benchmark"};
    Settings settings;
    std::string sqlitePath = "/tmp/ore-bench.sqlite";
    std::string postgresql;
    std::string json;
    std::string engines = "sqlite,postgresql";
    std::string pgDatabase;
    bool quick = false;
    app.add_option("--sqlite", sqlitePath, "SQLite file (generated when missing)")
        ->capture_default_str();
    app.add_option("--postgresql", postgresql,
                   "PostgreSQL server (libpq string); the benchmark uses its own database there."
                   " Default: ORE_TEST_PG");
    app.add_option("--engines", engines, "Engines the server runs on")->capture_default_str();
    app.add_option("--orders", settings.orders, "Orders to generate")->capture_default_str();
    app.add_option("--list-rows", settings.listRows, "Orders in the measured list")
        ->capture_default_str();
    app.add_option("--pairs", settings.pairs, "Interleaved floor/figure pairs")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000));
    app.add_option("--samples", settings.samples, "GetItemEnc calls per batch")
        ->capture_default_str();
    app.add_option("--write-samples", settings.writeSamples, "CancAprovaEnc calls per batch")
        ->capture_default_str();
    app.add_option("--load-ms", settings.loadMilliseconds, "Length of each load run")
        ->capture_default_str();
    app.add_option("--clients", settings.clients, "Concurrent clients of the load runs")
        ->capture_default_str();
    app.add_option("--only", settings.only, "Parts to run: item,list,write,load,memory");
    app.add_flag(
        "--no-vacuum", [&](std::int64_t) { settings.vacuum = false; },
        "Skip compacting the databases before timing");
    app.add_flag("--quick", quick,
                 "Tiny sizes, fresh databases: a run of seconds that keeps the benchmark working");
    app.add_option("--json", json, "Write the figures to this file as JSON");
    app.add_option("--pg-database", pgDatabase,
                   "Name of the benchmark's own database on the PostgreSQL server"
                   " (default ore_bench, ore_bench_quick with --quick)")
        // The name goes into CREATE/DROP DATABASE as it stands.
        ->check([](const std::string& name) {
            const bool plain = !name.empty() && name.size() <= 63 &&
                               std::isalpha(static_cast<unsigned char>(name[0])) &&
                               std::all_of(name.begin(), name.end(), [](char c) {
                                   return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                               });
            return plain ? std::string() : std::string("letters, digits and _ only");
        });
    CLI11_PARSE(app, argc, argv);
    ore::proto::useReleaseLockChecks();
    spdlog::set_level(spdlog::level::warn);

    if (quick) {
        settings.orders = 3000;
        settings.listRows = 800;
        settings.samples = 60;
        settings.writeSamples = 20;
        settings.loadMilliseconds = 150;
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(sqlitePath + suffix);
        }
    }
    if (postgresql.empty()) {
        if (const char* server = std::getenv("ORE_TEST_PG")) {
            postgresql = server;
        }
    }
    const auto programs = std::filesystem::canonical("/proc/self/exe").parent_path();
    if (std::filesystem::exists(programs / "bench_client_memory")) {
        settings.clientMemoryProgram = (programs / "bench_client_memory").string();
    }
    if (std::filesystem::exists(programs / "ore06100-server")) {
        settings.serverProgram = (programs / "ore06100-server").string();
    }

    std::deque<Figure> figures;
    std::string pgTarget;
    if (!postgresql.empty()) {
        if (pgDatabase.empty()) {
            pgDatabase = quick ? "ore_bench_quick" : "ore_bench";
        }
        pgTarget = benchDatabase(postgresql, pgDatabase, quick);
        // The two-tier floor reads the same rows from PostgreSQL.
        auto remote = Database::open(pgTarget);
        prepare(*remote, settings, "postgresql");
    } else {
        std::printf(
            "no PostgreSQL server (--postgresql or ORE_TEST_PG): SQLite only, no two-tier"
            " figure\n");
    }
    const long long residentAtStart = residentBytes();
    bool failure = false;
    try {
        if (engines.find("sqlite") != std::string::npos) {
            EngineBench("sqlite", "sqlite:" + sqlitePath, pgTarget, settings, figures).run();
        }
        if (!pgTarget.empty() && engines.find("postgresql") != std::string::npos) {
            Settings again = settings;
            again.vacuum = false;  // compacted above
            EngineBench("postgresql", pgTarget, pgTarget, again, figures).run();
        }
    } catch (const std::exception& error) {
        // What was measured before the failure is still worth seeing.
        std::fprintf(stderr, "bench_server: %s\n", error.what());
        failure = true;
    }

    std::printf("\nmedians of %d interleaved pairs; ratio = figure / floor, [spread]\n",
                settings.pairs);
    bench::printHeader();
    int notMet = 0;
    for (const Figure& f : figures) {
        bench::printFigure(f);
        if (const auto ok = f.met(); ok && !*ok) {
            ++notMet;
        }
    }
    std::printf("%d figure(s) miss their target; resident size grew %.1f MB during the run\n",
                notMet, static_cast<double>(residentBytes() - residentAtStart) / 1e6);
    if (!json.empty()) {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        const std::vector<std::pair<std::string, std::string>> context = {
            {"host", host},
            {"cores", std::to_string(std::thread::hardware_concurrency())},
            {"orders", std::to_string(settings.orders)},
            {"list_rows", std::to_string(settings.listRows)},
            {"pairs", std::to_string(settings.pairs)},
            {"quick", quick ? "yes" : "no"},
        };
        if (!bench::writeJson(json, context, figures)) {
            std::fprintf(stderr, "bench_server: cannot write %s\n", json.c_str());
            return 1;
        }
    }
    return failure ? 1 : 0;
}
